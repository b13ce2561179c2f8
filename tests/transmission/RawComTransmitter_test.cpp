#include "transmission/RawComTransmitter.h"

#include "PtyDrainer.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace {

struct RecordingView : IRawComView {
  std::vector<std::string> lines;  // stamped lines as "* text", the others as they are
  std::vector<std::pair<std::size_t, std::size_t>> progress;
  int pumps = 0;
  bool refreshSeen = false;
  std::function<void()> onPump;

  void RestartLog() override { lines.clear(); }
  void LogLine(const std::string& text, bool stamped) override { lines.push_back(stamped ? "* " + text : text); }
  void ShowSending(bool) override {}
  void BeginProgress(std::size_t total) override { progress.emplace_back(0, total); }
  void ShowProgress(std::size_t written, std::size_t total) override { progress.emplace_back(written, total); }
  void EndProgress() override {}
  void Pump(bool refreshGui) override {
    ++pumps;
    refreshSeen |= refreshGui;
    if (onPump) onPump();
  }
  long count(const std::string& line) const { return std::count(lines.begin(), lines.end(), line); }
};

// The editor's numbers after "Reset", once its boxes have recomputed the mask.
TDcbOverrides resetOverrides() {
  TDcbOverrides overrides;
  overrides.FlagValue = kDcbResetFlags;
  overrides.FlagMask = 12340;
  overrides.ItemMask = kDcbResetItemMask;
  overrides.Items[3] = 8;
  overrides.BaudRate = 38400;
  return overrides;
}

class RawComTest : public ::testing::Test {
protected:
  void SetUp() override {
    raw.Settings.PortName = pty.SlaveName();
    raw.Settings.Overrides = resetOverrides();
  }

  // A cutter whose buffer fills: the plain path goes byte by byte so that its write
  // timeout (a second a byte, and one more) ends a stalled write quickly.
  void writeTo(PtyPair& cutter, bool overlapped) {
    raw.Settings.PortName = cutter.SlaveName();
    raw.Settings.Overlapped = overlapped;
    raw.Settings.PacketSize = overlapped ? 200 : 1;
  }

  PtyPair pty;
  RecordingView view;
  TRawComTransmitter raw{view};
};

std::string job(std::size_t size) {
  std::string text;
  for (std::size_t i = 0; i < size; ++i) text.push_back(static_cast<char>('A' + i * 7 % 26));
  return text;
}

}  // namespace

TEST_F(RawComTest, DefaultSendLogsEachStepAndDeliversEveryByteOnce) {
  PtyDrainer cutter(pty);
  const std::string text = "IN;PU0,0;PD1,1;PU4000,4000;PD4001,4001;PU0,0;@";
  EXPECT_TRUE(raw.SendJob(text));
  const std::string name = pty.SlaveName();
  EXPECT_EQ(view.lines,
            (std::vector<std::string>{"* Send DirectCOM - Raw:\t46 bytes", "* Open OLPort:\t" + name,
                                      "* SetCommTimeouts", "* Set DCB", "* GetCommState\tTrue", "* SetCommState\tTrue",
                                      "* PurgeComm:\tPURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT",
                                      "* PacketSize:\t200", "* ClosePort", "* Send Result:-1"}));
  EXPECT_EQ(cutter.WaitFor(text.size()), text);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(cutter.Received(), text);
  EXPECT_FALSE(raw.RawPortIsOpen());
  EXPECT_FALSE(raw.Sending());
}

TEST_F(RawComTest, PacketsOfTwoHundredMakeFiveWritesOnEitherPath) {
  for (const bool overlapped : {true, false}) {
    PtyDrainer cutter(pty);
    raw.Settings.Overlapped = overlapped;
    raw.Settings.FullDebug = true;
    const std::string text = job(1000);
    EXPECT_TRUE(raw.SendRawText(text));
    EXPECT_EQ(view.count("* Write OK\t200"), 5) << overlapped;
    EXPECT_EQ(view.count("Begin-----------------------DCB"), 2);  // before and after it is set
    EXPECT_EQ(view.progress.back(), std::make_pair(std::size_t{1000}, std::size_t{1000}));
    EXPECT_EQ(cutter.WaitFor(1000), text);
  }
}

TEST_F(RawComTest, WithoutPacketsOrWithSizeZeroTheTextGoesInOneWrite) {
  raw.Settings.FullDebug = true;
  for (const bool usePackets : {false, true}) {
    PtyDrainer cutter(pty);
    raw.Settings.UsePackets = usePackets;
    raw.Settings.PacketSize = 0;
    EXPECT_TRUE(raw.SendRawText(job(1000)));
    EXPECT_EQ(view.count("* Write OK\t1000"), 1);
    EXPECT_EQ(view.count("* PacketSize:\t0"), usePackets ? 1 : 0);
    EXPECT_EQ(cutter.WaitFor(1000).size(), 1000u);
  }
}

TEST_F(RawComTest, AnEmptyTextOpensNothing) {
  EXPECT_FALSE(raw.SendJob(""));
  EXPECT_EQ(view.lines, (std::vector<std::string>{"* Send DirectCOM - Raw:\t0 bytes", "* Send Result:0"}));
}

TEST_F(RawComTest, ABusyPortFailsWithoutAClose) {
  const HANDLE holder = CreateFile(pty.SlaveName(), false);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(raw.SendRawText("IN;"));
  EXPECT_EQ(view.lines,
            (std::vector<std::string>{"* Send DirectCOM - Raw:\t3 bytes", "* Open OLPort:\t" + pty.SlaveName(),
                                      "* FAIL:\tUnable to open port\t" + pty.SlaveName()}));
  EXPECT_FALSE(raw.RawPortIsOpen());
  raw.CloseRawPort();  // an invalid handle is forgotten silently
  EXPECT_EQ(raw.RawPortHandle, 0);
  EXPECT_EQ(view.lines.size(), 3u);
  CloseHandle(holder);
}

TEST_F(RawComTest, CancelStopsBeforeTheNextPacketAndClosesThePort) {
  PtyDrainer cutter(pty);
  raw.Settings.FullDebug = true;
  const std::string text = job(2000);
  view.onPump = [&] {
    if (view.pumps == 2) raw.RequestCancel();
  };
  EXPECT_FALSE(raw.SendJob(text));
  EXPECT_EQ(view.count("* Write OK\t200"), 2);
  EXPECT_EQ(view.count("* FAIL:\tCancelled"), 1);
  EXPECT_EQ(view.lines.end()[-2], "* ClosePort");
  EXPECT_EQ(view.lines.back(), "* Send Result:0");
  EXPECT_FALSE(view.refreshSeen);  // without "Refresh GUI" the window still runs, for the cancel
  const std::string received = cutter.WaitFor(400, 300);
  EXPECT_LE(received.size(), 400u);  // the purge may drop what the cutter had not read yet
  EXPECT_EQ(received, text.substr(0, received.size()));
}

TEST_F(RawComTest, ACutterThatTakesNothingEndsTheSendAfterTheLimit) {
  for (const bool overlapped : {true, false}) {
    PtyPair stalled;
    PtyDrainer cutter(stalled);
    cutter.Pause();
    writeTo(stalled, overlapped);
    raw.NoProgressLimit = std::chrono::milliseconds(300);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(raw.SendRawText(job(30000)));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6));
    EXPECT_EQ(view.count("* FAIL:\tNo progress for 30 s"), 1) << overlapped;
    EXPECT_EQ(view.lines.back(), "* ClosePort");
    EXPECT_LT(view.progress.back().first, 30000u);
  }
}

TEST_F(RawComTest, AStallShorterThanTheLimitDeliversEveryByteOnce) {
  for (const bool overlapped : {true, false}) {
    PtyPair slow;
    PtyDrainer cutter(slow);
    cutter.Pause();
    writeTo(slow, overlapped);
    std::thread resume([&] {
      // Long enough for a byte-sized plain write to time out empty and be written again.
      std::this_thread::sleep_for(std::chrono::milliseconds(2500));
      cutter.Resume();
    });
    const std::string text = job(30000);
    const bool sent = raw.SendRawText(text);
    resume.join();
    EXPECT_TRUE(sent) << overlapped;
    if (!overlapped) {
      EXPECT_GE(view.count("* DWmismatch: \t1\t0"), 1);
    }
    EXPECT_EQ(cutter.WaitFor(text.size()), text) << overlapped;
  }
}
