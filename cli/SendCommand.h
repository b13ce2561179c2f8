#pragma once
// korvex-cli send FILE --port NAME [--baud N] [--flow cts/rts|xon/xoff|none] [--tx-buffer N]

#include <iosfwd>
#include <string>
#include <vector>

// What `korvex-cli send --help` prints; its first line is the synopsis.
extern const char kSendHelp[];

// Sends the file's bytes unchanged over the direct path. Exit codes: 0 every byte was
// written, 1 the port could not be opened or the send did not finish, 2 bad arguments
// or an unreadable file, 130 cancelled with Ctrl-C.
// The activity log and, on a terminal, a progress bar go to err.
int RunSendCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);
