#include "transmission/SendSession.h"
#include "transmission/SendPacer.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

// Records what the session shows and lets a test act at each pump.
struct FakeView : ISendView {
  std::vector<std::u16string> statuses;
  std::vector<std::string> progressTexts;
  std::size_t position = 0, maximum = 0;
  int waitingShown = 0, pumps = 0;
  std::function<void(int)> onPump;

  void ShowStatus(const std::u16string& s) override { statuses.push_back(s); }
  void ShowProgressText(const std::string& t) override { progressTexts.push_back(t); }
  void ShowProgress(std::size_t p, std::size_t m) override { position = p, maximum = m; }
  void ShowWaiting(bool w) override { waitingShown += w; }
  void Pump() override {
    if (onPump) onPump(pumps);
    ++pumps;
  }
};

// A cutter that takes what the script allows per write (all when the script ends).
struct FakeCutter {
  std::string received;
  std::vector<std::size_t> writes;   // sizes asked for
  std::vector<long> script;          // bytes accepted per call; -1 = device failure
  std::size_t call = 0;

  TSendSession::TWriter Writer() {
    return [this](const char* data, std::size_t count, const std::function<bool()>&) {
      writes.push_back(count);
      long allow = call < script.size() ? script[call] : static_cast<long>(count);
      ++call;
      if (allow < 0) return TSendWriteResult{0, true, {}};
      const std::size_t n = std::min<std::size_t>(count, static_cast<std::size_t>(allow));
      received.append(data, n);
      return TSendWriteResult{n, false, {}};
    };
  }
};

class SendSessionTest : public ::testing::Test {
protected:
  void SetUp() override { SendPieceMax = SendPiecePref = 0; }
  void TearDown() override { SendPieceMax = SendPiecePref = 0; }
  FakeView view;
  FakeCutter cutter;
};

std::size_t pieceEnd(const std::string& text, std::size_t start) {
  return TSendSession::FindPieceEnd(text, start, 1024, 2000);
}

}  // namespace

TEST(FindPieceEnd, CutsAtLineBreaksBreaksCommasAndTheHardLimit) {
  const std::string lines = "IN;\r\nPU0,0;\r\nPD1,1;\r\n";
  EXPECT_EQ(pieceEnd(lines, 1), 5u);   // "IN;\r\n"
  EXPECT_EQ(pieceEnd(lines, 6), 13u);  // "PU0,0;\r\n"
  EXPECT_EQ(pieceEnd(lines, 14), lines.size());  // the final CR LF stays in the last piece
  EXPECT_EQ(pieceEnd("A\n\nB", 1), 3u);  // a pair of breaks, whatever they are

  const std::string longLine(3000, 'x');
  EXPECT_EQ(pieceEnd(longLine, 1), 2002u);
  EXPECT_EQ(pieceEnd(longLine, 2003), 3000u);

  std::string spaced(1500, 'x');
  spaced[99] = ',';
  spaced[499] = ' ';
  spaced[799] = ',';
  EXPECT_EQ(pieceEnd(spaced, 1), 500u);  // a break wins over a later comma
  spaced[499] = 'x';
  EXPECT_EQ(pieceEnd(spaced, 1), 800u);  // else the last comma

  std::string semis(1500, 'x');
  semis[1024] = ';';  // the 1025th character
  EXPECT_EQ(pieceEnd(semis, 1), 1025u);
  EXPECT_EQ(pieceEnd("abc", 9), 3u);  // a start beyond the end
}

TEST(FindPieceEnd, EqualLimitsGiveFixedPieces) {
  const std::string text(450, 'y');
  EXPECT_EQ(TSendSession::FindPieceEnd(text, 1, 199, 199), 200u);
  EXPECT_EQ(TSendSession::FindPieceEnd(text, 401, 199, 199), 450u);
}

TEST_F(SendSessionTest, ShortJobIsPaddedToOneHundredBytes) {
  TSendSession session(view, cutter.Writer(), "\\\\.\\ttyUSB0");
  ASSERT_TRUE(session.Run("IN;PU0,0;@", false));
  EXPECT_TRUE(session.SendOk);
  EXPECT_EQ(cutter.received, "IN;PU0,0;@" + std::string(90, ' '));
  ASSERT_FALSE(view.statuses.empty());
  EXPECT_EQ(view.statuses[0], u"Sending data to /dev/ttyUSB0");  // the device, not the descriptor
  EXPECT_EQ(view.progressTexts.front(), "0.10 Kb");
  EXPECT_EQ(view.progressTexts.back(), "0.10 kb / 0.10 kb");
  EXPECT_EQ(view.position, 0u);
}

TEST_F(SendSessionTest, ShortWritesContinueWithTheUnsentRestSoEveryByteArrivesOnce) {
  std::string job;
  for (int i = 0; i < 400; ++i) job += "PD" + std::to_string(i) + "," + std::to_string(i * 7) + ";\r\n";
  for (const bool blocks : {false, true}) {
    cutter = FakeCutter{};
    cutter.script = {5, 0, 0, 17, 1, 0, 300};
    view = FakeView{};
    TSendSession session(view, cutter.Writer(), "pty");
    ASSERT_TRUE(session.Run(job, blocks));
    EXPECT_TRUE(session.SendOk);
    EXPECT_EQ(cutter.received, job) << (blocks ? "blocks" : "pieces");
    // Every write that was not whole shows the notice: in pieces of one line the 17 and
    // 300 finish their piece, in 2048-byte blocks every scripted write is short.
    EXPECT_EQ(view.waitingShown, blocks ? 7 : 5);
  }
}

TEST_F(SendSessionTest, FixedPiecesAfterATxBufferSendAndBlockSizes) {
  SendPieceMax = SendPiecePref = 199;
  const std::string job(450, 'z');
  TSendSession pieces(view, cutter.Writer(), "p");
  pieces.Run(job, false);
  EXPECT_EQ(cutter.writes, (std::vector<std::size_t>{200, 200, 50}));

  cutter = FakeCutter{};
  TSendSession blocks(view, cutter.Writer(), "p");
  blocks.Run(job, true);
  EXPECT_EQ(cutter.writes, (std::vector<std::size_t>{200, 200, 50}));
  EXPECT_EQ(view.statuses.back(), u"Sending data to: /dev/p");

  SendPieceMax = 0;
  cutter = FakeCutter{};
  TSendSession defaults(view, cutter.Writer(), "p");
  defaults.Run(std::string(5000, 'q'), true);
  EXPECT_EQ(cutter.writes, (std::vector<std::size_t>{2048, 2048, 904}));
}

TEST_F(SendSessionTest, CancelBeforeTheEndReportsFailureAndStopsWriting) {
  const std::string job(8000, 'c');
  SendPieceMax = SendPiecePref = 999;
  for (const bool blocks : {false, true}) {
    cutter = FakeCutter{};
    TSendSession session(view, cutter.Writer(), "p");
    view.onPump = [&](int pump) {
      if (pump == 2) session.RequestAbort();
    };
    view.pumps = 0;
    ASSERT_TRUE(session.Run(job, blocks));
    EXPECT_FALSE(session.SendOk);
    EXPECT_EQ(cutter.received, std::string(2000, 'c'));
  }
}

TEST_F(SendSessionTest, ACancelBeforeTheStartIsHonoured) {
  for (const bool blocks : {false, true}) {
    cutter = FakeCutter{};
    TSendSession session(view, cutter.Writer(), "p");
    session.RequestAbort();
    ASSERT_TRUE(session.Run(std::string(500, 'e'), blocks));
    EXPECT_FALSE(session.SendOk);
    EXPECT_TRUE(cutter.writes.empty());
  }
}

TEST_F(SendSessionTest, AbortAfterTheLastByteStaysASuccess) {
  TSendSession session(view, cutter.Writer(), "p");
  ASSERT_TRUE(session.Run(std::string(150, 'k'), false));
  session.RequestAbort();  // arrives after the transfer ended
  EXPECT_TRUE(session.SendOk);
  EXPECT_EQ(cutter.received.size(), 150u);
}

TEST_F(SendSessionTest, DeviceFailureEndsAtOnceInBothModes) {
  for (const bool blocks : {false, true}) {
    cutter = FakeCutter{};
    cutter.script = {10, -1};
    TSendSession session(view, cutter.Writer(), "p");
    ASSERT_TRUE(session.Run(std::string(5000, 'f'), blocks));
    EXPECT_FALSE(session.SendOk);
    EXPECT_EQ(cutter.call, 2u);  // no retry after the failure
    EXPECT_EQ(session.CancelTag, AbortTag);
  }
}

TEST_F(SendSessionTest, NothingToSendOrNoPortLeavesTheDialogOpen) {
  TSendSession noPort(view, {}, "p");
  EXPECT_FALSE(noPort.Run("IN;", false));
  EXPECT_FALSE(noPort.SendOk);
  TSendSession empty(view, cutter.Writer(), "p");
  EXPECT_FALSE(empty.Run("", true));
  EXPECT_FALSE(empty.Run("", false));
  EXPECT_TRUE(cutter.writes.empty());
}

TEST_F(SendSessionTest, TheEndWaitsForTheTailAndCountsOnlyWhatLeftThePort) {
  const auto tail = [](std::vector<std::uint32_t> queue, TDrainResult end) {
    return [queue, end](const TDrainWatch& watch) {
      for (const std::uint32_t queued : queue)
        if (!watch(queued)) return TDrainResult::Interrupted;
      return end;
    };
  };
  for (const bool blocks : {false, true}) {
    SCOPED_TRACE(blocks ? "blocks" : "pieces");
    // The cutter takes the last bytes: a success, and the window said what it waited for.
    view = FakeView{};
    TSendSession taken(view, cutter.Writer(), "p");
    taken.UseTailWait(tail({3000, 3000, 1200}, TDrainResult::Drained));
    ASSERT_TRUE(taken.Run(std::string(5000, 't'), blocks));
    EXPECT_TRUE(taken.SendOk);
    EXPECT_EQ(view.statuses.back(), u"Waiting for the cutter to take the end of the job");
    ASSERT_GE(view.progressTexts.size(), 2u);
    EXPECT_EQ(view.progressTexts[view.progressTexts.size() - 2], "1.95 kb / 4.88 kb, the cutter is taking the last 3000 bytes");
    EXPECT_EQ(view.progressTexts.back(), "3.71 kb / 4.88 kb, the cutter is taking the last 1200 bytes");

    // The port stops sending: a failure, whose figure leaves out what never went out.
    TSendSession stopped(view, cutter.Writer(), "p");
    stopped.UseTailWait(tail({3000, 2000}, TDrainResult::GaveUp));
    ASSERT_TRUE(stopped.Run(std::string(5000, 't'), blocks));
    EXPECT_FALSE(stopped.SendOk);
    const TSendOutcome failed = stopped.Outcome();
    EXPECT_TRUE(failed.Failed);
    EXPECT_TRUE(failed.TailGivenUp);
    EXPECT_EQ(failed.Sent, 3000u);
    EXPECT_EQ(failed.Total, 5000u);

    // Cancel during the wait: the user's own doing, counted the same way.
    TSendSession cancelled(view, cutter.Writer(), "p");
    cancelled.UseTailWait(tail({3000, 2500, 2500, 2500}, TDrainResult::Drained));
    view.onPump = [&](int) {
      if (!view.progressTexts.empty() && view.progressTexts.back().ends_with("last 2500 bytes")) cancelled.RequestAbort();
    };
    ASSERT_TRUE(cancelled.Run(std::string(5000, 't'), blocks));
    view.onPump = nullptr;
    const TSendOutcome outcome = cancelled.Outcome();
    EXPECT_FALSE(outcome.Ok);
    EXPECT_FALSE(outcome.Failed);
    EXPECT_EQ(outcome.Sent, 2500u);
  }
}

namespace {

// A cutter that takes every byte at once, as far as pacing goes.
struct TakingPacer : ISendPacer {
  std::size_t taken = 0;
  std::size_t Allow(std::size_t wanted, const TPacerPort::TKeepWaiting&) override { return wanted; }
  void Sent(std::string_view bytes) override { taken += bytes.size(); }
  std::size_t Taken() const override { return taken; }
  bool Failed() const override { return false; }
};

}  // namespace

TEST_F(SendSessionTest, TheTimeLeftLeavesOutTheTimeAQuestionWasOpen) {
  const std::int64_t second = QueryPerformanceFrequency();
  std::int64_t now = 1000 * second;
  TakingPacer pacer;
  TSendSession session(view, cutter.Writer(), "COM3");
  session.Clock = [&] { return now; };
  session.UsePacer(&pacer);
  // A second goes by before each block; before the second one the user is asked for
  // twenty seconds whether to abort, and says no.
  view.onPump = [&](int pump) {
    now += second;
    if (pump != 1) return;
    session.PauseClock();
    now += 20 * second;
    session.ResumeClock();
  };
  SendPieceMax = 999;  // blocks of 1000
  ASSERT_TRUE(session.Run(std::string(4000, 'x'), true));
  ASSERT_EQ(view.progressTexts.size(), 5u);  // the total, then one line per block
  EXPECT_EQ(view.progressTexts[1], "0.98 kb / 3.91 kb, about 3 s left");
  EXPECT_EQ(view.progressTexts[2], "1.95 kb / 3.91 kb, about 2 s left");
  EXPECT_EQ(view.progressTexts[3], "2.93 kb / 3.91 kb, about 1 s left");
}

TEST_F(SendSessionTest, WhatTheDeviceReportsWhileNothingMovesIsTheStatusUntilBytesMoveAgain) {
  int calls = 0;
  const TSendSession::TWriter writer = [&](const char*, std::size_t count, const std::function<bool()>&) {
    ++calls;
    if (calls == 2 || calls == 3) return TSendWriteResult{0, false, "out of media"};
    return TSendWriteResult{std::min<std::size_t>(count, 100), false, {}};
  };
  TSendSession session(view, writer, "/dev/usb/lp0");
  ASSERT_TRUE(session.Run(std::string(300, 's'), true));
  EXPECT_TRUE(session.SendOk);
  EXPECT_EQ(view.statuses, (std::vector<std::u16string>{u"Sending data to: /dev/usb/lp0",
                                                         u"The cutter reports: out of media",
                                                         u"The cutter reports: out of media",
                                                         u"Sending data to: /dev/usb/lp0"}));
}
