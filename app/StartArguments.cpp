#include "StartArguments.h"

#include <algorithm>
#include <iterator>
#include <string_view>

namespace {

// The toolkit's own options, which it takes out of the arguments itself; the first
// group takes a value, given either as the next argument or after "=".
constexpr std::string_view kToolkitOptionsWithValue[] = {
    "-platform", "-platformpluginpath", "-platformtheme", "-plugin", "-style", "-stylesheet", "-session",
    "-display", "-geometry", "-qwindowgeometry", "-qwindowicon", "-qwindowtitle", "-title", "-icon"};
constexpr std::string_view kToolkitFlags[] = {"-reverse", "-widgetcount", "-nograb", "-dograb", "-sync"};

template <std::size_t N>
bool Lists(const std::string_view (&Names)[N], std::string_view Name) {
  return std::find(std::begin(Names), std::end(Names), Name) != std::end(Names);
}

}  // namespace

const char kWindowHelp[] =
    "usage: korvex [--no-settings] [--] [JOB.plt]\n"
    "       korvex --help | --version\n"
    "Opens the window that sends cutting jobs to a vinyl cutter over a serial line, with the job\n"
    "in JOB.plt loaded as \"Load\" would; without it the window starts with its built-in job.\n"
    "\n"
    "Options:\n"
    "  -h, --help       print this help and exit\n"
    "  --version        print the version and exit\n"
    "  --no-settings    start with the form's defaults and remember nothing of this run\n"
    "                   (otherwise the ports, pacing, last folder, recent jobs and window\n"
    "                   place are kept in ~/.config/korvex/korvex.conf)\n"
    "  --               what follows is the job file, even when it begins with \"-\"\n"
    "  -platform NAME, -style NAME, -stylesheet FILE, -geometry WxH+X+Y, -display DISPLAY,\n"
    "  -reverse and the toolkit's other standard options are passed on to it\n"
    "\n"
    "Exit status:\n"
    "  0    the window was closed, or help or version was printed\n"
    "  2    an unknown option or more than one job file\n"
    "  130  closed by Ctrl-C (128 plus the signal's number for other signals)\n";

TStartArguments ReadStartArguments(int argc, const char* const* argv) {
  TStartArguments result;
  bool filesOnly = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (!filesOnly && arg.size() > 1 && arg.front() == '-') {
      if (arg == "--help" || arg == "-h") {
        result.Action = TStartArguments::TAction::Help;
        return result;
      }
      if (arg == "--version") {
        result.Action = TStartArguments::TAction::Version;
        return result;
      }
      if (arg == "--no-settings") {
        result.NoSettings = true;
        continue;
      }
      if (arg == "--") {
        filesOnly = true;
        continue;
      }
      // The toolkit takes its options with one dash or two.
      std::string_view name = arg.substr(0, arg.find('='));
      if (name.starts_with("--")) name.remove_prefix(1);
      const bool hasValue = arg.find('=') != std::string_view::npos;
      if (Lists(kToolkitOptionsWithValue, name)) {
        if (!hasValue) ++i;  // a missing value the toolkit reports itself
        continue;
      }
      if (!hasValue && Lists(kToolkitFlags, name)) continue;
      result.Action = TStartArguments::TAction::Refuse;
      result.Error = "unknown option " + std::string(arg);
      return result;
    }
    if (!result.JobFile.empty()) {
      result.Action = TStartArguments::TAction::Refuse;
      result.Error = "one job file at most: " + std::string(arg);
      return result;
    }
    result.JobFile = arg;
  }
  return result;
}
