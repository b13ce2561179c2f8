// korvex-cli: the headless companion. Each subcommand lives in its own file pair and
// is one row of the table below.

#include "cli/ContoursCommand.h"
#include "cli/PortsCommand.h"
#include "cli/PreviewCommand.h"
#include "cli/SendCommand.h"
#include "cli/VirtualCutterCommand.h"

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

using TCommand = int (*)(const std::vector<std::string>& Args, std::istream& In,
                         std::ostream& Out, std::ostream& Err);

struct TCommandEntry {
  const char* Name;
  TCommand Run;
  const char* Synopsis;
};

constexpr TCommandEntry kCommands[] = {
    {"contours", RunContoursCommand, "contours FILE|-    print the job's contours as JSON"},
    {"ports", RunPortsCommand, "ports [--json]     list the serial ports present without opening any"},
    {"preview", RunPreviewCommand,
     "preview FILE OUT.png [--width W --height H] [--box-only]\n"
     "                      draw the job's preview with its rulers as PNG"},
    {"send", RunSendCommand,
     "send FILE --port NAME [--baud N] [--flow cts/rts|xon/xoff|none] [--tx-buffer N]\n"
     "                      send the job to the cutter on a serial port"},
    {"virtual-cutter", RunVirtualCutterCommand,
     "virtual-cutter [--link PATH] [--baud N] [--flow none|xon/xoff] [--buffer BYTES] [--out FILE]\n"
     "                      act as a cutter on a pseudo-terminal (--help tells more)"},
};

int Usage() {
  std::cerr << "usage: korvex-cli COMMAND [ARGS]\n";
  for (const TCommandEntry& c : kCommands) std::cerr << "  " << c.Synopsis << "\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Standard input is read in large blocks; it is never mixed with C stdio here.
  std::ios::sync_with_stdio(false);
  if (argc < 2) return Usage();
  for (const TCommandEntry& c : kCommands) {
    if (std::strcmp(argv[1], c.Name) == 0)
      return c.Run(std::vector<std::string>(argv + 2, argv + argc), std::cin, std::cout, std::cerr);
  }
  std::cerr << "korvex-cli: unknown command " << argv[1] << "\n";
  return Usage();
}
