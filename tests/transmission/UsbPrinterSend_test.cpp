#include "transmission/UsbPrinterSend.h"

#include "translation/TransUtils.h"

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// A FIFO stands in for the printer node: it holds writes back while its reader is slow,
// and fails them once the reader has gone, as the driver does when the cutter does.
class UsbPrinterSendTest : public ::testing::Test {
protected:
  void SetUp() override {
    signal(SIGPIPE, SIG_IGN);  // the driver fails a write to a vanished device; a pipe would signal
    ASSERT_EQ(mkfifo(node.c_str(), 0600), 0);
    reader = ::open(node.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
  }
  void TearDown() override {
    if (reader >= 0) ::close(reader);
    fs::remove(node);
  }

  // Reads until told to stop, `pause` between reads of at most `chunk` bytes.
  void readSlowly(std::size_t chunk, std::chrono::milliseconds pause, std::size_t stopAt = SIZE_MAX) {
    std::vector<char> buffer(chunk);
    while (received.size() < stopAt && !done) {
      const ssize_t n = ::read(reader, buffer.data(), std::min(chunk, stopAt - received.size()));
      if (n > 0) received.append(buffer.data(), static_cast<std::size_t>(n));
      receivedCount = received.size();
      std::this_thread::sleep_for(pause);
    }
  }

  struct QuietView : ISendView {
    void ShowStatus(const std::u16string&) override {}
    void ShowProgressText(const std::string&) override {}
    void ShowProgress(std::size_t, std::size_t) override {}
    void ShowWaiting(bool) override {}
    void Pump() override {}
  } view;

  const std::string node = (fs::temp_directory_path() / ("korvex-lp-" + std::to_string(getpid()))).string();
  int reader = -1;
  std::string received;
  std::atomic<bool> done = false;
  std::atomic<std::size_t> receivedCount = 0;
  std::size_t abortAt = 0;  // the user aborts once the cutter has this many bytes; 0: never
  std::vector<std::string> log;
  TUsbSendHooks hooks{[this](const std::string& line) { log.push_back(line); },
                      [this](const std::string& message, const std::string& hint) {
                        log.push_back("box: " + message + " / " + hint);
                      },
                      [this](const TSendLine& line, const std::string& job) {
                        return TransferToUsbPrinter(view, line, job, [this] { return abortAt && receivedCount >= abortAt; });
                      },
                      [this](const std::u16string& message) { log.push_back("failed: " + WideToUtf8(message)); }};
};

std::string everyByte(std::size_t size) {
  std::string job(size, '\0');
  for (std::size_t i = 0; i < size; ++i) job[i] = static_cast<char>(i * 7 + i / 256);
  return job;
}

}  // namespace

TEST_F(UsbPrinterSendTest, ASlowCutterGetsEveryByteUnchanged) {
  const std::string job = everyByte(100 * 1024);
  std::thread cutter([&] { readSlowly(4096, std::chrono::milliseconds(2), job.size()); });
  EXPECT_TRUE(RunUsbPrinterSend(job, node, hooks));
  cutter.join();
  EXPECT_EQ(received, job);
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log[0], "DirectUSB\t102400 bytes");
  EXPECT_EQ(log[1], "Opening:\t" + node);
  EXPECT_EQ(log[2], "Port Opened");
  EXPECT_EQ(log.back(), "SendRes\tTrue");
}

TEST_F(UsbPrinterSendTest, ACutterThatGoesAwayEndsTheSendWithWhatTheDriverTook) {
  const std::string job = everyByte(300 * 1024);
  std::thread cutter([&] {
    readSlowly(4096, std::chrono::milliseconds(1), 100 * 1024);
    ::close(reader);  // unplugged
    reader = -1;
  });
  EXPECT_FALSE(RunUsbPrinterSend(job, node, hooks));
  cutter.join();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[log.size() - 3], "SendRes\tFalse");
  // What went into the FIFO and was never read is lost with the cutter, as bytes a real
  // cutter had taken and not cut would be: the figure counts what the driver took.
  const std::string& sent = log[log.size() - 2];
  ASSERT_TRUE(sent.starts_with("Sent\t")) << sent;
  const std::size_t count = std::stoul(sent.substr(5));
  EXPECT_GE(count, received.size());
  EXPECT_LT(count, job.size());
  EXPECT_NE(log.back().find("the cutter may not have cut the last of them"), std::string::npos) << log.back();
}

TEST_F(UsbPrinterSendTest, AnAbortEndsTheSendWithoutABox) {
  const std::string job = everyByte(300 * 1024);
  abortAt = 20 * 1024;
  std::thread cutter([&] { readSlowly(1024, std::chrono::milliseconds(1)); });
  EXPECT_FALSE(RunUsbPrinterSend(job, node, hooks));
  done = true;
  cutter.join();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], "SendRes\tFalse");
  EXPECT_TRUE(log.back().starts_with("Sent\t")) << log.back();  // the user's own doing: no box
  EXPECT_EQ(received, job.substr(0, received.size()));

}

TEST_F(UsbPrinterSendTest, AShortJobGoesUnpadded) {
  std::thread reader([&] { readSlowly(64, std::chrono::milliseconds(1), 3); });
  EXPECT_TRUE(RunUsbPrinterSend("PU;", node, hooks));
  reader.join();
  EXPECT_EQ(received, "PU;");  // pieces would have padded it to 100 bytes with blanks
}

TEST_F(UsbPrinterSendTest, AMissingPrinterIsToldWithThoseThatArePresent) {
  EXPECT_FALSE(RunUsbPrinterSend("PU;", "usb:lp97", hooks));
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[1], "Opening:\t/dev/usb/lp97");
  EXPECT_EQ(log[2], "Failed to open");
  EXPECT_TRUE(log[3].starts_with("box: Unable to open USB Port! / No USB printer usb:lp97: is the cutter plugged in"))
      << log[3];
}
