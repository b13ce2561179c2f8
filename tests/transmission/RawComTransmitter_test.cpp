#include "transmission/RawComTransmitter.h"

#include "PtyDrainer.h"
#include "ports/PortExState.h"
#include "transmission/DirectPortDriver.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace {

struct RecordingView : IRawComView {
  std::vector<std::string> lines;  // stamped lines as "* text", the others as they are
  std::vector<std::pair<std::size_t, std::size_t>> progress;
  int pumps = 0;
  int pumpsSinceProgress = 0;
  bool refreshSeen = false;
  std::function<void()> onPump;
  std::function<void(const std::string&)> onLine;

  void RestartLog() override { lines.clear(); }
  void LogLine(const std::string& text, bool stamped) override {
    lines.push_back(stamped ? "* " + text : text);
    if (onLine) onLine(text);
  }
  void ShowSending(bool) override {}
  void BeginProgress(std::size_t total) override { progress.emplace_back(0, total); }
  void ShowProgress(std::size_t written, std::size_t total) override {
    progress.emplace_back(written, total);
    pumpsSinceProgress = 0;
  }
  void EndProgress() override {}
  void Pump(bool refreshGui) override {
    ++pumps;
    ++pumpsSinceProgress;
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

// The transmitter with the output queue a script reports (a pty's always reads 0) and
// its purges recorded (one on a pty drops only what is still on its way to the far end).
class ScriptedQueueRawCom : public TRawComTransmitter {
public:
  using TRawComTransmitter::TRawComTransmitter;
  std::vector<std::uint32_t> Script;  // one answer a question, then 0
  std::size_t Asked = 0;
  std::vector<std::uint32_t> Purges;

protected:
  bool OutputQueueBytes(HANDLE, std::uint32_t& bytes) override {
    bytes = Asked < Script.size() ? Script[Asked] : 0;
    ++Asked;
    return true;
  }
  bool Purge(HANDLE handle, std::uint32_t flags) override {
    Purges.push_back(flags);
    return TRawComTransmitter::Purge(handle, flags);
  }
};

constexpr std::uint32_t kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr std::uint32_t kPurgeTail = PURGE_TXABORT | PURGE_TXCLEAR;

// Turns a send that would wait for ever into one that ends, so that a test of it fails
// rather than hangs: the cutter resumes when the send has not ended long after it should.
class Rescue {
public:
  explicit Rescue(PtyDrainer& cutter)
      : thread_([this, &cutter] {
          std::unique_lock lock(mutex_);
          if (!ended_.wait_for(lock, std::chrono::seconds(60), [this] { return done_; })) cutter.Resume();
        }) {}
  ~Rescue() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    ended_.notify_all();
    thread_.join();
  }

private:
  std::mutex mutex_;
  std::condition_variable ended_;
  bool done_ = false;
  std::thread thread_;
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
  EXPECT_EQ(view.lines.end()[-3], "* ClosePort");
  EXPECT_EQ(view.lines.end()[-2], "* Send Result:0");
  EXPECT_EQ(view.lines.back(), "* Sent\t400 of 2000 bytes");
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
  raw.NoProgressLimit = std::chrono::hours(1);
  for (const bool overlapped : {true, false}) {
    PtyPair slow;
    PtyDrainer cutter(slow);
    cutter.Pause();
    writeTo(slow, overlapped);
    // The cutter resumes once the send has been seen waiting: a byte-sized plain write
    // that timed out empty (to be written again), or an overlapped write left pending.
    view.onLine = [&](const std::string& line) {
      if (line.starts_with("DWmismatch")) cutter.Resume();
    };
    view.onPump = [&] {
      if (overlapped && view.pumpsSinceProgress >= 3) cutter.Resume();
    };
    const std::string text = job(30000);
    EXPECT_TRUE(raw.SendRawText(text)) << overlapped;
    if (!overlapped) {
      EXPECT_GE(view.count("* DWmismatch: \t1\t0"), 1);
    }
    EXPECT_EQ(cutter.WaitFor(text.size()), text) << overlapped;
  }
}

TEST_F(RawComTest, APlainWriteToAStalledCutterLetsTheWindowRunAndEndsOnCancelOrStall) {
  for (const bool cancel : {true, false}) {
    PtyPair stalled;
    PtyDrainer cutter(stalled);
    cutter.Pause();
    raw.Settings.PortName = stalled.SlaveName();
    raw.Settings.Overlapped = false;
    raw.Settings.UsePackets = false;  // one write of the whole job, limited only after 200,000 s
    raw.NoProgressLimit = cancel ? std::chrono::hours(1) : std::chrono::milliseconds(300);
    // Every pump while the write waits: the first one already cancels.
    view.onPump = [&] {
      if (cancel) raw.RequestCancel();
    };
    const std::string text = job(200000);
    bool sent = true;
    {
      const Rescue rescue(cutter);
      sent = raw.SendJob(text);
    }
    EXPECT_FALSE(sent) << cancel;
    EXPECT_GT(view.pumps, 0);
    EXPECT_EQ(view.count(cancel ? "* FAIL:\tCancelled" : "* FAIL:\tNo progress for 30 s"), 1) << cancel;
    const std::size_t written = view.progress.back().first;
    EXPECT_LT(written, text.size());
    EXPECT_EQ(view.lines.back(), "* Sent\t" + std::to_string(written) + " of 200000 bytes");
    cutter.Resume();
    const std::string received = cutter.WaitFor(written, 300);
    EXPECT_EQ(received, text.substr(0, received.size()));  // the purge may drop what the cutter had not read
  }
}

TEST_F(RawComTest, TheCloseWaitsForTheQueueAndThePurgeAtOpenClearsOnlyAReportedOne) {
  ScriptedQueueRawCom scripted{view};
  scripted.Settings = raw.Settings;
  PtyDrainer cutter(pty);
  // Open: empty, so the tail of a job before is kept; close: shrinking to nothing.
  scripted.Script = {0, 300, 200, 100, 0, 900};
  const std::string text = job(500);
  EXPECT_TRUE(scripted.SendJob(text));
  EXPECT_EQ(scripted.Asked, 5u);
  EXPECT_EQ(scripted.Purges, std::vector<std::uint32_t>{kPurgeAll & ~PURGE_TXCLEAR});
  EXPECT_EQ(view.lines.end()[-2], "* ClosePort");
  EXPECT_EQ(view.lines.back(), "* Send Result:-1");  // no count of the bytes sent after a whole job
  EXPECT_EQ(cutter.WaitFor(text.size()), text);
  // Open: the queue reports a previous owner's bytes, and they are thrown away.
  scripted.Script = {40};
  scripted.Asked = 0;
  scripted.Purges.clear();
  EXPECT_TRUE(scripted.OpenRawPort());
  scripted.CloseRawPort();
  EXPECT_EQ(scripted.Purges, std::vector<std::uint32_t>{kPurgeAll});
}

TEST_F(RawComTest, ACloseWaitsForAHeldLineUpToTheStallLimitThenCountsTheRestAsUnsent) {
  ScriptedQueueRawCom scripted{view};
  scripted.Settings = raw.Settings;
  scripted.NoProgressLimit = std::chrono::milliseconds(300);
  PtyDrainer cutter(pty);
  scripted.Script = {0};
  scripted.Script.resize(100000, 500);  // the cutter holds the line and never takes the rest
  const std::string text = job(500);
  EXPECT_FALSE(scripted.SendJob(text));
  EXPECT_GT(scripted.Asked, 2u);
  EXPECT_LT(scripted.Asked, scripted.Script.size());
  EXPECT_EQ(scripted.Purges.back(), kPurgeTail);
  const auto said = [&](const std::string& line) {
    return std::find(view.lines.begin(), view.lines.end(), line) != view.lines.end();
  };
  EXPECT_TRUE(said("* Waiting for the cutter to take the last 500 bytes"));
  EXPECT_TRUE(said("* ClosePort"));
  EXPECT_TRUE(said("* FAIL:\tThe port did not send the last 500 bytes"));
  EXPECT_EQ(view.lines.end()[-2], "* Send Result:0");
  EXPECT_EQ(view.lines.back(), "* Sent\t" + std::to_string(text.size() - 500) + " of " + std::to_string(text.size()) +
                                   " bytes");
}

TEST_F(RawComTest, ACancelledSendPurgesAtOnceWithoutWaitingForTheQueue) {
  ScriptedQueueRawCom scripted{view};
  scripted.Settings = raw.Settings;
  PtyDrainer cutter(pty);
  scripted.Script = {0};
  scripted.Script.resize(100000, 500);  // the queue would keep a close waiting
  view.onPump = [&] { scripted.RequestCancel(); };
  EXPECT_FALSE(scripted.SendJob(job(2000)));
  EXPECT_LE(scripted.Asked, 2u);
  EXPECT_EQ(scripted.Purges.at(1), kPurgeTail);
  EXPECT_EQ(view.lines.back(), "* Sent\t200 of 2000 bytes");
}

TEST_F(RawComTest, ThePortTheDirectPathKeepsOpenIsReleasedForTheSameDeviceOnly) {
  auto openDirect = [](const PtyPair& line) {
    TPortExState state;
    state.SetPortName(line.SlaveName());
    state.SetBaudRate(38400);
    state.SetFlowMode(fmNone);
    return DCE_OpenPort(state.BuildDescriptor());
  };
  PtyPair other;
  ASSERT_TRUE(openDirect(other));
  EXPECT_TRUE(raw.OpenRawPort());
  raw.CloseRawPort();
  EXPECT_TRUE(DCE_COMFILE_Open());  // another device: left alone
  EXPECT_EQ(view.count("* Closed previous port"), 0);
  DCE_ClosePort();

  PtyDrainer cutter(pty);
  ASSERT_TRUE(openDirect(pty));
  ASSERT_TRUE(DCE_SendText("PU0,0;"));
  raw.Settings.PortName = pty.SlavePath();  // the same device by another name
  EXPECT_TRUE(raw.SendJob("PD1,1;"));
  EXPECT_FALSE(DCE_COMFILE_Open());
  EXPECT_EQ(view.lines[1], "* Closed previous port");
  EXPECT_EQ(cutter.WaitFor(12), "PU0,0;PD1,1;");
}
