#pragma once
// korvex-cli send FILE --port NAME [--baud N] [--flow cts/rts|xon/xoff|none] [--tx-buffer N]
// korvex-cli send FILE --queue NAME

#include <iosfwd>
#include <string>
#include <vector>

// What `korvex-cli send --help` prints; its first line is the synopsis.
extern const char kSendHelp[];

// Sends the file's bytes unchanged over the direct path or to a print queue. Exit codes:
// 0 every byte was written (the queue's job completed), 1 the port could not be opened or
// the send did not finish, 2 bad arguments or an unreadable file, 128 plus the signal's
// number when a stop signal cancelled it.
// The activity log and, on a terminal, a progress bar go to err.
int RunSendCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);
