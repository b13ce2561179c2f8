#include "transmission/ActivityLog.h"
#include "platform/JobFile.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <algorithm>
#include <regex>
#include <vector>

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

TEST(JobFile, OnlyARegularFileThatFitsIsLoaded) {
  const auto dir = std::filesystem::temp_directory_path() / "korvex-jobfile-test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string fifo = (dir / "fifo.plt").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);  // opening it for reading would wait for a writer
  const std::string socketPath = (dir / "socket.plt").string();
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const std::string huge = (dir / "huge.plt").string();
  std::ofstream(huge).close();
  std::filesystem::resize_file(huge, std::uintmax_t{600} << 20);  // sparse: costs no disk

  const std::pair<std::string, std::string> refused[] = {
      {"/nonexistent/job.plt", "No such file or directory"},
      {dir.string(), "It is a folder, not a file."},
      {fifo, "It is a named pipe, not a file."},
      {"/dev/null", "It is a device, not a file."},
      {socketPath, "It is a socket, not a file."},
      {huge, "It is too large to load (600 MB; at most 512 MB)."},
  };
  for (const auto& [path, why] : refused) {
    std::string bytes = "kept", reason;
    EXPECT_FALSE(LoadJobFile(path, bytes, reason)) << path;
    EXPECT_EQ(reason, why);
    EXPECT_EQ(bytes, "kept");
  }
  close(listener);
  std::filesystem::remove_all(dir);
}

TEST(JobFile, ReadsInPiecesAllTheFileHoldsEvenWhenItGrowsOrReportsNoSize) {
  const auto path = std::filesystem::temp_directory_path() / ("korvex-jobfile-pieces-" + std::to_string(getpid()));
  std::string bytes;
  for (int i = 0; i < 300001; ++i) bytes.push_back(static_cast<char>(i * 7));
  std::ofstream(path, std::ios::binary) << bytes;
  TJobFileReader reader;
  std::string reason;
  ASSERT_TRUE(reader.Open(path.string(), reason));
  std::ofstream(path, std::ios::binary | std::ios::app) << "PU0,0;";  // grows after it was opened
  std::vector<double> progress;
  while (!reader.Done()) {
    ASSERT_TRUE(reader.ReadSome(65536, reason));
    progress.push_back(reader.Progress());
  }
  EXPECT_EQ(reader.Take(), bytes + "PU0,0;");
  EXPECT_GE(progress.size(), 5u);
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_EQ(progress.back(), 1.0);
  std::filesystem::remove(path);

  // A file of the proc file system reports no size at all.
  std::string status;
  ASSERT_TRUE(LoadJobFile("/proc/self/status", status, reason));
  EXPECT_NE(status.find("VmRSS"), std::string::npos);
}
