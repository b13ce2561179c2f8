#include "transmission/ActivityLog.h"
#include "platform/JobFile.h"

#include <gtest/gtest.h>
#include <regex>

TEST(ActivityLog, StampedLinesCarrySecondsWithThreeDecimals) {
  TActivityLog log;
  // Before any restart the stamp counts from system start: a large number.
  EXPECT_GT(std::stod(log.LogClockText()), 0.0);
  log.RestartLogClock();
  const std::string line = log.FormatLine("Opening:\t\\\\.\\COM3", true);
  EXPECT_TRUE(std::regex_match(line, std::regex(R"(0\.0\d\d\tOpening:\t\\\\\.\\COM3)"))) << line;
  EXPECT_EQ(log.FormatLine("Begin-----------------------DCB", false), "Begin-----------------------DCB");
}

TEST(JobFile, SizeText) {
  EXPECT_EQ(JobSizeText(0), "0 (0.00 Kb)");
  EXPECT_EQ(JobSizeText(1536), "1536 (1.50 Kb)");
  EXPECT_EQ(JobSizeText(2048), "2048 (2.00 Kb)");
}

TEST(JobFile, UnreadableFilesGiveAReason) {
  std::string bytes = "kept", reason;
  EXPECT_FALSE(LoadJobFile("/nonexistent/job.plt", bytes, reason));
  EXPECT_EQ(reason, "No such file or directory");
  EXPECT_FALSE(LoadJobFile("/tmp", bytes, reason));
  EXPECT_EQ(reason, "It is a folder, not a file.");
  EXPECT_EQ(bytes, "kept");
}
