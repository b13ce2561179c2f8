#include "platform/CodePage.h"
#include "platform/Debugger.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

TEST(CodePage, EveryByteSurvivesTheRoundTrip) {
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
  const std::u16string wide = AnsiToWide(bytes);
  ASSERT_EQ(wide.size(), 256u);
  EXPECT_EQ(wide[0xE9], u'\u00E9');
  EXPECT_EQ(WideToAnsi(wide), bytes);
}

TEST(CodePage, CharactersWithoutAnEightBitFormBecomeQuestionMarks) {
  EXPECT_EQ(WideToAnsi(u"PU\u20AC1,\u00FF;"), "PU?1,\xFF;");
}

// Test mode is for a debugger, not for any tracer such as strace.
TEST(Debugger, ReadsTracerPid) {
  const auto proc = std::filesystem::temp_directory_path() / ("korvex-proc-test-" + std::to_string(::getpid()));
  std::filesystem::create_directories(proc / "self");
  auto tracedBy = [&](const char* tracerPid, const char* comm) {
    std::ofstream(proc / "self/status") << "Name:\tkorvex\nState:\tR\nTracerPid:\t" << tracerPid << "\nUid:\t0\n";
    std::filesystem::remove_all(proc / "4242");
    if (comm) {
      std::filesystem::create_directories(proc / "4242");
      std::ofstream(proc / "4242/comm") << comm << "\n";
    }
    return IsDebuggerPresent(proc.string());
  };
  EXPECT_FALSE(tracedBy("0", "gdb"));
  EXPECT_TRUE(tracedBy("4242", "gdb"));
  EXPECT_TRUE(tracedBy("4242", "lldb-server"));
  EXPECT_FALSE(tracedBy("4242", "strace"));
  EXPECT_FALSE(tracedBy("4242", "ltrace"));
  EXPECT_FALSE(tracedBy("4242", nullptr));  // gone before it could be named
  std::filesystem::remove_all(proc);
  EXPECT_FALSE(IsDebuggerPresent(proc.string()));
}
