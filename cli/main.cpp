// korvex-cli: the headless companion. Each subcommand lives in its own file pair, with
// its help text, and is one row of the table below.

#include "cli/ContoursCommand.h"
#include "cli/PortsCommand.h"
#include "cli/PreviewCommand.h"
#include "cli/SendCommand.h"
#include "cli/VirtualCutterCommand.h"

#include <algorithm>
#include <csignal>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using TCommand = int (*)(const std::vector<std::string>& Args, std::istream& In, std::ostream& Out, std::ostream& Err);

struct TCommandEntry {
  std::string_view Name;
  TCommand Run;
  const char* Summary;  // one line in the command list
  const char* Help;     // what `korvex-cli NAME --help` prints
};

constexpr TCommandEntry kCommands[] = {
    {"contours", RunContoursCommand, "print the job's contours as JSON", kContoursHelp},
    {"ports", RunPortsCommand, "list the serial ports present without opening any, and the print queues", kPortsHelp},
    {"preview", RunPreviewCommand, "draw the job's preview with its rulers as PNG", kPreviewHelp},
    {"send", RunSendCommand, "send the job to the cutter on a serial port", kSendHelp},
    {"virtual-cutter", RunVirtualCutterCommand, "act as a cutter on a pseudo-terminal", kVirtualCutterHelp},
};

std::string HelpText() {
  std::string text =
      "usage: korvex-cli COMMAND [ARGS]\n"
      "       korvex-cli COMMAND --help\n"
      "       korvex-cli help [COMMAND]\n"
      "       korvex-cli --help | --version\n"
      "Sends cutting jobs to a vinyl cutter, previews them and acts as a cutter, without a window.\n"
      "\n"
      "Commands:\n";
  for (const TCommandEntry& c : kCommands) {
    text += "  " + std::string(c.Name) + std::string(16 - c.Name.size(), ' ') + c.Summary + "\n";
  }
  return text +
         "\n"
         "Options:\n"
         "  -h, --help      print this help, or with a command that command's help, and exit\n"
         "  --version       print the version and exit\n"
         "\n"
         "Exit status: 2 for an unknown command or bad arguments; each command's help lists its own.\n";
}

constexpr const char* kVersion = "korvex-cli " KORVEX_VERSION "\n";

const TCommandEntry* FindCommand(std::string_view Name) {
  const auto found = std::find_if(std::begin(kCommands), std::end(kCommands),
                                  [Name](const TCommandEntry& c) { return c.Name == Name; });
  return found == std::end(kCommands) ? nullptr : found;
}

// Help and version go to standard output; a closed or full one is an error.
int Print(std::string_view Text) {
  std::cout << Text << std::flush;
  if (std::cout) return 0;
  std::cerr << "korvex-cli: cannot write the output\n";
  return 1;
}

int Usage(const std::string& Error) {
  std::cerr << "korvex-cli: " << Error
            << "\nusage: korvex-cli COMMAND [ARGS]\n(korvex-cli --help lists the commands)\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Standard input is read in large blocks; it is never mixed with C stdio here.
  std::ios::sync_with_stdio(false);
  // A reader that went away (| head) makes a write fail, as a full disk does, instead of
  // killing the program: a send finishes, the virtual cutter keeps cutting and removes its link.
  std::signal(SIGPIPE, SIG_IGN);
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return Usage("no command given");
  const std::string& first = args.front();
  if (first == "--help" || first == "-h" || (first == "help" && args.size() == 1)) return Print(HelpText());
  if (first == "--version") return Print(kVersion);
  if (first == "help") {
    const TCommandEntry* command = FindCommand(args[1]);
    if (!command) return Usage("no help on " + args[1] + ": there is no such command");
    if (args.size() > 2) return Usage("help takes one command; unexpected argument: " + args[2]);
    return Print(command->Help);
  }
  const TCommandEntry* command = FindCommand(first);
  if (!command) return Usage("unknown command " + first);
  // Asked anywhere among the arguments, help wins over running; a file of that name
  // can still be given as ./-h.
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  for (const std::string& a : rest) {
    if (a == "--help" || a == "-h") return Print(command->Help);
    if (a == "--version") return Print(kVersion);
  }
  return command->Run(rest, std::cin, std::cout, std::cerr);
}
