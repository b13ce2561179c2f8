// Help, version and usage of the korvex-cli program as a user runs it.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

struct TRun {
  int Status;
  std::string Out;
};

// Runs korvex-cli with Args (shell words) in an empty scratch folder, so that no file
// named after an option exists; standard error goes where Stderr says.
TRun RunCli(const std::string& Args, const std::string& Stderr = "2>/dev/null") {
  const std::string command = "cd \"$(mktemp -d)\" && " + std::string(KORVEX_CLI) + " " + Args + " " + Stderr +
                              "; s=$?; rmdir \"$PWD\"; exit $s";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return {-1, ""};
  std::string out;
  char chunk[4096];
  for (std::size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

const char* const kCommands[] = {"contours", "ports", "preview", "send", "virtual-cutter"};

}  // namespace

TEST(CliHelp, EveryWayOfAskingListsTheCommands) {
  for (const char* ask : {"--help", "-h", "help"}) {
    const TRun run = RunCli(ask);
    EXPECT_EQ(run.Status, 0) << ask;
    EXPECT_TRUE(run.Out.starts_with("usage: korvex-cli COMMAND")) << ask;
    for (const char* command : kCommands)
      EXPECT_NE(run.Out.find("\n  " + std::string(command) + " "), std::string::npos) << ask << " " << command;
  }
}

TEST(CliHelp, EveryCommandAnswersHelpInsteadOfRunning) {
  // "-h" once went to send as its file and "--help" to contours as a file to read; the
  // virtual cutter would have opened a pseudo-terminal.
  for (const char* command : kCommands) {
    const std::string name = command;
    for (const std::string& args : {name + " --help", name + " -h", "help " + name, name + " job.plt --help"}) {
      const TRun run = RunCli(args);
      EXPECT_EQ(run.Status, 0) << args;
      EXPECT_TRUE(run.Out.starts_with("usage: korvex-cli " + name)) << args;
      EXPECT_NE(run.Out.find("\nExit status:\n  0 "), std::string::npos) << args;
    }
  }
}

TEST(CliHelp, SendHelpGivesDefaultsAndExitCodes) {
  const std::string help = RunCli("send --help").Out;
  for (const char* text : {"(default 38400)", "(default cts/rts)", "(default 0)", "--port NAME", "\n  130 "})
    EXPECT_NE(help.find(text), std::string::npos) << text;
}

TEST(CliHelp, VersionEverywhere) {
  for (const char* args : {"--version", "send --version", "virtual-cutter --version"}) {
    const TRun run = RunCli(args);
    EXPECT_EQ(run.Status, 0) << args;
    EXPECT_EQ(run.Out, "korvex-cli " KORVEX_VERSION "\n") << args;
  }
}

TEST(CliHelp, MistakesExitWithTwoAndShowTheSynopsisOnStandardError) {
  EXPECT_EQ(RunCli("").Status, 2);
  EXPECT_EQ(RunCli("bogus").Status, 2);
  EXPECT_EQ(RunCli("help bogus").Out, "");
  const TRun send = RunCli("send job.plt", "2>&1 >/dev/null");
  EXPECT_EQ(send.Status, 2);
  EXPECT_NE(send.Out.find("no port given"), std::string::npos);
  EXPECT_NE(send.Out.find("\nusage: korvex-cli send FILE --port NAME"), std::string::npos) << send.Out;
  EXPECT_EQ(RunCli("--help >/dev/full").Status, 1);
}

TEST(CliHelp, EachUsageErrorSaysWhatIsWrongBeforeTheUsage) {
  const struct {
    const char* args;
    std::string says;
  } rows[] = {
      {"help send extra", "korvex-cli: help takes one command; unexpected argument: extra\nusage: korvex-cli COMMAND"},
      {"help bogus", "korvex-cli: no help on bogus: there is no such command\nusage: korvex-cli COMMAND"},
      {"contours", "korvex-cli: no job file given (FILE, or - for standard input)\nusage: korvex-cli contours"},
      {"contours a.plt b.plt", "korvex-cli: unexpected argument: b.plt\nusage: korvex-cli contours"},
  };
  for (const auto& row : rows) {
    const TRun run = RunCli(row.args, "2>&1 >/dev/null");
    EXPECT_EQ(run.Status, 2) << row.args;
    EXPECT_TRUE(run.Out.starts_with(row.says)) << run.Out;
  }
}
