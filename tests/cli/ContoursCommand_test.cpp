#include "cli/ContoursCommand.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace {

struct TRun {
  int Status;
  std::string Out, Err;
};

TRun RunContours(const std::vector<std::string>& Args, const std::string& Stdin = "") {
  std::istringstream in(Stdin);
  std::ostringstream out, err;
  const int status = RunContoursCommand(Args, in, out, err);
  return {status, out.str(), err.str()};
}

}  // namespace

TEST(ContoursJson, WorkedExample) {
  EXPECT_EQ(ContoursJson("IN;PU0,0;PD1,1;PU4000,4000;PD4001,4001;PU0,0;"),
            "{\"contours\": [{\"pen\": 0, \"points\": [[0, 0], [0.025, 0.025]]}, "
            "{\"pen\": 0, \"points\": [[100, 100], [100.025, 100.025]]}], "
            "\"bounds\": [0, 0, 100.025, 100.025], \"events\": [2, 3, 2, 3, 2, 4], \"unread\": null}\n");
}

TEST(ContoursJson, EmptyTextHasNoListAndSeparatorsAnEmptyOneWithoutBoundsAsTheHelpSays) {
  EXPECT_EQ(ContoursJson(""), "{\"contours\": null, \"bounds\": null, \"events\": [], \"unread\": null}\n");
  EXPECT_EQ(ContoursJson(";\r\n"), "{\"contours\": [], \"bounds\": null, \"events\": [4], \"unread\": null}\n");
  // The help's words, with its line breaks taken out.
  std::string help = kContoursHelp;
  std::replace(help.begin(), help.end(), '\n', ' ');
  EXPECT_NE(help.find("a job that draws nothing gives \"contours\": [] and \"bounds\": null, an empty file "
                      "\"contours\": null and \"bounds\": null."),
            std::string::npos)
      << help;
}

TEST(ContoursJson, SaysWhatTheContoursLeaveOut) {
  EXPECT_EQ(ContoursJson("PD;PA0,4000,2000,4000;"),
            "{\"contours\": [], \"bounds\": null, \"events\": [2, 2, 4], \"unread\": {\"count\": 1, \"first_offset\": 3, "
            "\"first_token\": \"PA0,4000,2000,4000\"}}\n");
  // The token's bytes as JSON text: quotes, backslashes, control and Latin-1 bytes escaped.
  const std::string json = ContoursJson("PU0,0;PD40,40;pe\"\\\x01\xe9;ci1;");
  EXPECT_NE(json.find(", \"unread\": {\"count\": 2, \"first_offset\": 14, "
                      "\"first_token\": \"pe\\\"\\\\\\u0001\\u00e9\"}}\n"),
            std::string::npos)
      << json;
}

TEST(ContoursJson, FloatsReadBackExactly) {
  // 1/40 steps are not binary fractions; the shortest text must still give the same float.
  const std::string json = ContoursJson("PD12345,-987653;");
  const std::size_t at = json.find("[[0, 0], [");
  ASSERT_NE(at, std::string::npos);
  const char* p = json.c_str() + at + 10;
  char* end;
  EXPECT_EQ(std::strtof(p, &end), static_cast<float>(-987653 / 40.0));
  EXPECT_EQ(std::strtof(end + 2, nullptr), static_cast<float>(12345 / 40.0));
}

TEST(ContoursCommand, ReadsAFileOrStandardInput) {
  const auto path = std::filesystem::temp_directory_path() / "korvex-contours-test.plt";
  std::ofstream(path, std::ios::binary) << "SP2;PD40,80;";
  const TRun fromFile = RunContours({path.string()});
  std::filesystem::remove(path);
  EXPECT_EQ(fromFile.Status, 0);
  EXPECT_EQ(fromFile.Out, ContoursJson("SP2;PD40,80;"));
  EXPECT_EQ(fromFile.Err, "");

  const TRun fromStdin = RunContours({"-"}, std::string("PD40,\0;PD40,40;", 15));
  EXPECT_EQ(fromStdin.Status, 0);
  EXPECT_EQ(fromStdin.Out, ContoursJson(std::string("PD40,\0;PD40,40;", 15)));
}

// Count zero bytes, none of them held: standard input fed from /dev/zero, say.
class TZeroStream : public std::streambuf {
public:
  explicit TZeroStream(std::size_t count) : Left(count) {}

protected:
  std::streamsize xsgetn(char* s, std::streamsize n) override {
    const std::size_t given = std::min(static_cast<std::size_t>(n), Left);
    std::memset(s, 0, given);
    Left -= given;
    return static_cast<std::streamsize>(given);
  }

private:
  std::size_t Left;
};

TEST(ContoursCommand, StandardInputBeyondTheFileLimitIsRefusedLikeAFile) {
  TZeroStream zeros((std::size_t{512} << 20) + 1);
  std::istream in(&zeros);
  std::ostringstream out, err;
  EXPECT_EQ(RunContoursCommand({"-"}, in, out, err), 2);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), "korvex-cli: cannot read standard input: It is too large to load (at most 512 MB).\n");
}

TEST(ContoursCommand, UnreadableFileAndBadUsageExitWithTwo) {
  const TRun missing = RunContours({"/nonexistent/job.plt"});
  EXPECT_EQ(missing.Status, 2);
  EXPECT_EQ(missing.Out, "");
  EXPECT_NE(missing.Err.find("/nonexistent/job.plt"), std::string::npos);

  // A directory opens but cannot be read; it must not pass for an empty job.
  const TRun directory = RunContours({std::filesystem::temp_directory_path().string()});
  EXPECT_EQ(directory.Status, 2);
  EXPECT_EQ(directory.Out, "");

  EXPECT_EQ(RunContours({}).Status, 2);
  EXPECT_EQ(RunContours({"a", "b"}).Status, 2);
}

TEST(CliBinary, DispatchesSubcommands) {
  const std::string cli = KORVEX_CLI;
  FILE* pipe = popen(("printf 'PD40,40;' | " + cli + " contours - 2>/dev/null").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buf[256];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe)) out.append(buf, n);
  EXPECT_EQ(WEXITSTATUS(pclose(pipe)), 0);
  EXPECT_EQ(out, ContoursJson("PD40,40;"));

  EXPECT_EQ(WEXITSTATUS(std::system((cli + " frobnicate 2>/dev/null").c_str())), 2);
  EXPECT_EQ(WEXITSTATUS(std::system((cli + " 2>/dev/null").c_str())), 2);
}
