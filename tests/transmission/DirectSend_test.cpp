#include "transmission/DirectSend.h"

#include "PtyDrainer.h"
#include "ScriptedQueuePort.h"
#include "ports/PortExState.h"
#include "transmission/DirectPortDriver.h"
#include "translation/TransUtils.h"

#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <gtest/gtest.h>
#include <thread>

namespace {

struct QuietView : ISendView {
  std::function<void()> onPump, onWaiting;
  int waiting = 0;
  void ShowStatus(const std::u16string&) override {}
  void ShowProgressText(const std::string&) override {}
  void ShowProgress(std::size_t, std::size_t) override {}
  void ShowWaiting(bool w) override {
    waiting += w;
    if (w && onWaiting) onWaiting();
  }
  void Pump() override {
    if (onPump) onPump();
  }
};

std::string plotJob(int lines) {
  std::string job = "IN;\r\n";
  for (int i = 0; i < lines; ++i)
    job += "PU" + std::to_string(i % 977) + "," + std::to_string(i * 13 % 4001) + ";PD" + std::to_string(i) + ",0;\r\n";
  return job + "@";
}

class DirectSendTest : public ::testing::Test {
protected:
  void SetUp() override {
    DCE_ClosePort();
    ForgetLastSplit();
    SendPieceMax = SendPiecePref = 0;
  }
  void TearDown() override {
    DCE_ClosePort();
    DirectPortFactory() = [] { return std::make_unique<TComPort>(); };
    SendPieceMax = SendPiecePref = 0;
  }
  std::string descriptor(TFlowMode flow = fmNone) const { return descriptorFor(pty, flow); }
  static std::string descriptorFor(const PtyPair& line, TFlowMode flow = fmNone) {
    TPortExState state;
    state.SetPortName(line.SlaveName());
    state.SetBaudRate(38400);
    state.SetFlowMode(flow);
    return state.BuildDescriptor();
  }
  // Sends through the driver's port with a session, as the dialog does.
  TSendOutcome transfer(const std::string& job, bool blocks) {
    TSendSession session(view, DirectPortWriter(), DirectComPort()->Port());
    session.UseTailWait(DirectPortTailWait());
    session.Run(job, blocks);
    return session.Outcome();
  }

  PtyPair pty;
  QuietView view;
  std::vector<std::string> log;
  TDirectSendHooks hooks{[this](const std::string& line) { log.push_back(line); },
                         [this](const std::string& message, const std::string& why, const std::string& hint) {
                           log.push_back("box: " + message + " / " + why + (hint.empty() ? "" : " / " + hint));
                         },
                         [this](const std::string& job, bool blocks) { return transfer(job, blocks); },
                         [this](const std::u16string& message) { log.push_back("failed: " + WideToUtf8(message)); },
                         [] { return true; }};
};

}  // namespace

TEST_F(DirectSendTest, LogsEveryStepAndReopensOnTheNextSend) {
  PtyDrainer cutter(pty);
  const std::string job = "IN;PU0,0;PD1,1;PU4000,4000;PD4001,4001;PU0,0;@";
  const std::string sd = descriptor();
  ASSERT_TRUE(RunDirectSend(job, sd, 0, hooks));
  EXPECT_EQ(log, (std::vector<std::string>{"DirectCOM\t46 bytes", "SD\t" + sd, "Opening:\t" + sd, "Port Opened",
                                           "SendRes\tTrue"}));
  EXPECT_EQ(cutter.WaitFor(100), job + std::string(54, ' '));

  log.clear();
  ASSERT_TRUE(RunDirectSend(job, sd, 0, hooks));
  EXPECT_EQ(log, (std::vector<std::string>{"DirectCOM\t46 bytes", "SD\t" + sd, "Port already open",
                                           "Closed previous port", "Opening:\t" + sd, "Port Opened",
                                           "SendRes\tTrue"}));
}

TEST_F(DirectSendTest, MissingPortEndsWithFailedToOpen) {
  EXPECT_FALSE(RunDirectSend("IN;", "\\\\.\\ttyKORVEX_NONE,<baud=9600 flow=none>", 200, hooks));
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], "Failed to open");
  EXPECT_EQ(log.back().rfind("box: Unable to open COM Port! / Unable to open com port (Error: 2) / "
                             "No device ttyKORVEX_NONE: is the cutter plugged in and switched on? Ports present: ",
                             0),
            0u)
      << log.back();
  EXPECT_EQ(SendPieceMax, 0);  // a failed open leaves the piece settings alone
}

TEST_F(DirectSendTest, ABusyPortSaysThatAnotherProgramHasIt) {
  const int other = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(other, 0);
  ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  EXPECT_FALSE(RunDirectSend("IN;", descriptor(), 0, hooks));
  close(other);
  EXPECT_EQ(log.back(), "box: Unable to open COM Port! / Unable to open com port (Error: 16) / " + pty.SlaveName() +
                            " is in use by another program: close it there, then send again.");
}

TEST_F(DirectSendTest, TxBufferSizeSetsThePieceSettingsThatLaterSendsKeep) {
  PtyDrainer cutter(pty);
  const std::string job(450, 'b');
  std::vector<bool> modes;
  hooks.Transfer = [&](const std::string& text, bool blocks) {
    modes.push_back(blocks);
    return transfer(text, blocks);
  };
  ASSERT_TRUE(RunDirectSend(job, descriptor(), 200, hooks));
  EXPECT_EQ(SendPieceMax, 199);
  EXPECT_EQ(SendPiecePref, 199);
  ASSERT_TRUE(RunDirectSend(job, descriptor(), 0, hooks));
  EXPECT_EQ(SendPieceMax, 199);
  EXPECT_EQ(modes, (std::vector<bool>{true, false}));
  EXPECT_EQ(cutter.WaitFor(900), job + job);
}

TEST_F(DirectSendTest, AStalledCutterThatResumesGetsEveryByteOnceInOrder) {
  const std::string job = plotJob(6000);  // well beyond what a pty buffers
  for (const bool blocks : {false, true}) {
    PtyDrainer cutter(pty);
    ASSERT_TRUE(DCE_OpenPort(descriptor()));
    // Short write timeouts, so a stalled write comes back short instead of waiting.
    DirectComPort()->Timeouts().SetWriteTotalMultiplier(0);
    DirectComPort()->Timeouts().SetWriteTotalConstant(60);
    cutter.Pause();
    view.onWaiting = [&] { cutter.Resume(); };  // once the stall is seen
    view.waiting = 0;
    EXPECT_TRUE(transfer(job, blocks).Ok);
    EXPECT_GT(view.waiting, 0);  // the stall was seen
    EXPECT_EQ(cutter.WaitFor(job.size()), job) << (blocks ? "blocks" : "pieces");
    DCE_ClosePort();
  }
}

TEST_F(DirectSendTest, CancelDuringAStalledWriteTakesEffectAtOnce) {
  PtyDrainer cutter(pty);
  ASSERT_TRUE(DCE_OpenPort(descriptor()));  // default timeouts: a stalled piece would wait long
  cutter.Pause();
  const auto start = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point aborted;
  TSendSession session(view, DirectPortWriter(), "p");
  view.onPump = [&] {
    if (aborted == std::chrono::steady_clock::time_point{} &&
        std::chrono::steady_clock::now() - start > std::chrono::milliseconds(300)) {
      aborted = std::chrono::steady_clock::now();
      session.RequestAbort();
    }
  };
  session.Run(plotJob(6000), false);
  EXPECT_FALSE(session.SendOk);
  EXPECT_LT(std::chrono::steady_clock::now() - aborted, std::chrono::seconds(3));
}

TEST_F(DirectSendTest, AVanishedDeviceEndsTheSendAsFailedAndReleasesThePort) {
  for (const bool blocks : {false, true}) {
    PtyPair gone;
    ASSERT_TRUE(DCE_OpenPort(descriptorFor(gone)));
    const auto start = std::chrono::steady_clock::now();
    std::thread unplug([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      gone.CloseMaster();
    });
    EXPECT_FALSE(transfer(plotJob(6000), blocks).Ok);
    unplug.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    // The dead handle is not kept until the next send: its lock and name are free again.
    EXPECT_FALSE(DCE_COMFILE_Open());
    EXPECT_EQ(DirectComPort(), nullptr);
  }
}

TEST_F(DirectSendTest, ACancelledSendThrowsAwayWhatThePortStillHolds) {
  PtyDrainer cutter(pty);
  cutter.Pause();  // a full cutter: everything written waits in the pty
  hooks.Transfer = [&](const std::string& job, bool blocks) {
    TSendSession session(view, DirectPortWriter(), "p");
    const auto start = std::chrono::steady_clock::now();
    view.onPump = [&] {
      if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(300)) session.RequestAbort();
    };
    session.Run(job, blocks);
    return session.Outcome();
  };
  EXPECT_FALSE(RunDirectSend(plotJob(6000), descriptor(), 0, hooks));
  cutter.Resume();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  // Without the purge the pty would still hand over about 12 KB; what the far end's line
  // discipline had already taken in (at most 4 KB) stands for the bytes on the wire.
  EXPECT_LE(cutter.Count(), 4096u);
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], "SendRes\tFalse");
  // A cancel is the user's own doing: the log says how far it got, and no box is shown.
  const std::string total = std::to_string(plotJob(6000).size());
  EXPECT_TRUE(log.back().starts_with("Sent\t")) << log.back();
  EXPECT_TRUE(log.back().ends_with(" of " + total + " bytes")) << log.back();
}

TEST_F(DirectSendTest, AFailedSendEndsItsLogWithTheBytesSentAndTellsTheUser) {
  for (const bool blocks : {false, true}) {
    PtyPair gone;
    log.clear();
    int pumps = 0;
    view.onPump = [&] {
      if (++pumps == 3) gone.CloseMaster();  // unplugged after two pieces or blocks went out
    };
    TSendOutcome seen;
    hooks.Transfer = [&](const std::string& job, bool useBlocks) { return seen = transfer(job, useBlocks); };
    const std::string job = plotJob(6000);
    EXPECT_FALSE(RunDirectSend(job, descriptorFor(gone), blocks ? 2048 : 0, hooks));
    EXPECT_TRUE(seen.Failed);
    EXPECT_GT(seen.Sent, 0u);
    EXPECT_LT(seen.Sent, job.size());
    EXPECT_EQ(seen.Total, job.size());
    const std::string sent = std::to_string(seen.Sent), total = std::to_string(job.size());
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[log.size() - 3], "SendRes\tFalse");
    EXPECT_EQ(log[log.size() - 2], "Sent\t" + sent + " of " + total + " bytes");
    EXPECT_EQ(log.back(), "failed: The job was not sent completely: " + sent + " of " + total +
                              " bytes went out. Check that the cutter is on and connected, then send the job again.");
  }
}

TEST_F(DirectSendTest, TheNextSendWaitsForTheLastTailAndGivesUpAtItsBound) {
  PtyDrainer cutter(pty);
  TScriptedQueuePort* scripted = nullptr;
  OpenScriptedPorts(scripted);
  const std::string sd = descriptor();  // 38400 baud
  ASSERT_TRUE(RunDirectSend("IN;PU0,0;PD1,1;@", sd, 0, hooks));
  // 960 bytes need 0.25 s at 38400 baud: the wait ends after 0.75 s, though the queue
  // keeps shrinking; without the wait the next send would close at once.
  scripted->Queue = [](int call) { return call < 960 ? 960u - call : 0u; };
  int waited = 0;
  hooks.KeepWaiting = [&] { return ++waited > 0; };
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(RunDirectSend("IN;PU0,0;PD1,1;@", sd, 0, hooks));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(700));
  EXPECT_LT(took, std::chrono::milliseconds(5000));  // emptying the queue would take 9.6 s or more
  EXPECT_GT(waited, 5);
}

TEST_F(DirectSendTest, TheSendWaitsForACutterHoldingTheLineAndGivesUpADeadOneWithTheRightFigure) {
  PtyDrainer cutter(pty);
  TScriptedQueuePort* scripted = nullptr;
  OpenScriptedPorts(scripted);
  const std::string job = plotJob(200);
  // XON/XOFF: the last 3 KB wait in the driver for four seconds while the cutter cuts; a
  // one-second rule threw them away.
  int looks = 0;
  view.onPump = [&] {
    if (scripted && looks == 0)
      scripted->Queue = [&](int) { return ++looks < 400 ? 3000u : 0u; };
  };
  ASSERT_TRUE(RunDirectSend(job, descriptor(fmXonXoff), 0, hooks));
  EXPECT_EQ(log.back(), "SendRes\tTrue");
  EXPECT_GE(looks, 400);

  // No flow control: a queue that does not move for the whole window is a dead line; the
  // purge after it empties the queue.
  log.clear();
  DCE_ClosePort();
  view.onPump = [&] {
    if (scripted) scripted->Queue = [](int) { return 3000u; };
  };
  hooks.Transfer = [&](const std::string& text, bool blocks) {
    const TSendOutcome outcome = transfer(text, blocks);
    scripted->Queue = [](int) { return 0u; };
    return outcome;
  };
  EXPECT_FALSE(RunDirectSend(job, descriptor(fmNone), 0, hooks));
  const std::string sent = std::to_string(job.size() - 3000), total = std::to_string(job.size());
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log[log.size() - 4], "SendRes\tFalse");
  EXPECT_EQ(log[log.size() - 3], "Drain\tThe port stopped sending the end of the job; the rest was discarded");
  EXPECT_EQ(log[log.size() - 2], "Sent\t" + sent + " of " + total + " bytes");
  EXPECT_TRUE(log.back().starts_with("failed: The job was not sent completely: " + sent + " of " + total)) << log.back();
  view.onPump = nullptr;
}
