#pragma once
// The window's command line, read before the toolkit starts so that --help, --version and
// a mistyped option answer on the terminal without a display.

#include <string>

struct TStartArguments {
  enum class TAction { Open, Help, Version, Refuse };
  TAction Action = TAction::Open;
  std::string JobFile;  // the job to load at start; empty for the built-in job
  std::string Error;    // why the arguments were refused
  bool NoSettings = false;  // the form's defaults, and nothing remembered
};

// argv[0] is the program. Options of the GUI toolkit (-platform NAME, -style NAME, ...)
// are let through for it; anything else beginning with "-" is refused unless it follows
// "--". One job file at most.
TStartArguments ReadStartArguments(int argc, const char* const* argv);

// What `korvex --help` prints; its first line is the synopsis.
extern const char kWindowHelp[];
