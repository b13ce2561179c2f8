#pragma once
// korvex-cli virtual-cutter [--link PATH] [--baud N] [--flow none|xon/xoff] [--buffer BYTES] [--out FILE]

#include <iosfwd>
#include <string>
#include <vector>

// What `korvex-cli virtual-cutter --help` prints; its first line is the synopsis.
extern const char kVirtualCutterHelp[];

// A pseudo-terminal that acts as a cutter until SIGINT, SIGTERM or SIGHUP; PATH links to its
// slave side, and the port name to send to is printed as "Port: PATH". Page and job
// summaries go to out; when out fails the cutter goes on without them. Exit codes: 0 ended
// by a signal, 1 the pseudo-terminal, link or output file failed or out could not be
// written, 2 bad arguments.
int RunVirtualCutterCommand(const std::vector<std::string>& Args, std::istream& In, std::ostream& Out,
                            std::ostream& Err);
