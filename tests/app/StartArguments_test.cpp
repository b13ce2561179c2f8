#include "app/StartArguments.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using TAction = TStartArguments::TAction;

struct TCase {
  std::vector<const char*> Args;  // after the program's name
  TAction Action;
  std::string JobFile;  // when it opens
};

TStartArguments Read(std::vector<const char*> Args) {
  Args.insert(Args.begin(), "korvex");
  return ReadStartArguments(static_cast<int>(Args.size()), Args.data());
}

}  // namespace

TEST(StartArguments, Table) {
  const TCase cases[] = {
      {{}, TAction::Open, ""},
      {{"job.plt"}, TAction::Open, "job.plt"},
      {{"--help"}, TAction::Help, ""},
      {{"-h"}, TAction::Help, ""},
      {{"job.plt", "--help"}, TAction::Help, ""},
      {{"--version"}, TAction::Version, ""},
      {{"--bogus"}, TAction::Refuse, ""},
      {{"-x", "job.plt"}, TAction::Refuse, ""},
      {{"a.plt", "b.plt"}, TAction::Refuse, ""},
      // A file whose name begins with "-" follows "--"; so does one named --help.
      {{"--", "-job.plt"}, TAction::Open, "-job.plt"},
      {{"--", "--help"}, TAction::Open, "--help"},
      {{"-"}, TAction::Open, "-"},
      // The toolkit's options pass, with their values, in either spelling.
      {{"-platform", "offscreen", "job.plt"}, TAction::Open, "job.plt"},
      {{"--style=fusion", "-reverse", "job.plt"}, TAction::Open, "job.plt"},
      {{"-style", "-reverse"}, TAction::Open, ""},
      {{"-reverse=1"}, TAction::Refuse, ""},
      {{"--no-settings", "job.plt"}, TAction::Open, "job.plt"},
  };
  for (const TCase& c : cases) {
    const TStartArguments read = Read(c.Args);
    const std::string shown = c.Args.empty() ? "(none)" : c.Args.front();
    EXPECT_EQ(read.Action, c.Action) << shown;
    if (c.Action == TAction::Open) {
      EXPECT_EQ(read.JobFile, c.JobFile) << shown;
    }
    EXPECT_EQ(read.Error.empty(), c.Action != TAction::Refuse) << shown;
    EXPECT_EQ(read.NoSettings, shown == "--no-settings") << shown;
  }
}

TEST(StartArguments, HelpStartsWithTheSynopsisAndGivesExitCodes) {
  const std::string help = kWindowHelp;
  EXPECT_TRUE(help.starts_with("usage: korvex [--no-settings] [--] [JOB.plt]\n"));
  EXPECT_NE(help.find("\n  2    "), std::string::npos);
}
