#include "platform/CodePage.h"
#include "platform/Debugger.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

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

TEST(Debugger, ReadsTracerPid) {
  const auto path = std::filesystem::temp_directory_path() / "korvex-status-test";
  auto statusWith = [&](const char* tracer) {
    std::ofstream(path) << "Name:\tkorvex\nState:\tR\nTracerPid:\t" << tracer << "\nUid:\t0\n";
    return IsDebuggerPresent(path.string());
  };
  EXPECT_FALSE(statusWith("0"));
  EXPECT_TRUE(statusWith("4242"));
  std::filesystem::remove(path);
  EXPECT_FALSE(IsDebuggerPresent(path.string()));
}
