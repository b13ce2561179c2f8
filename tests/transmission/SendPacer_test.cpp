#include "transmission/SendPacer.h"
#include "transmission/SendSession.h"

#include <deque>
#include <gtest/gtest.h>
#include <vector>

namespace {

using TTime = TPacerPort::TTime;
using std::chrono::milliseconds;

const TTime t0 = TTime{} + std::chrono::seconds(10);

// The line and clock of a pacer, scripted: each read gets the next scripted arrival, or
// nothing once the read's time has passed; sleeps move the clock.
struct ScriptedLine {
  TTime now = t0;
  std::string written;
  std::deque<std::string> arrivals;
  std::vector<std::string> log;

  TPacerPort Port() {
    TPacerPort port;
    port.Write = [this](std::string_view bytes, const TPacerPort::TKeepWaiting&) {
      written.append(bytes);
      return true;
    };
    port.Read = [this](unsigned timeoutMs, const TPacerPort::TKeepWaiting& keepWaiting, std::string& bytes) {
      // Nothing comes: the read asks to go on every 50 ms, as the port's does.
      for (unsigned waited = 0; arrivals.empty() && waited < timeoutMs; waited += 50) {
        now += milliseconds(std::min(50u, timeoutMs - waited));
        if (!keepWaiting()) break;
      }
      if (arrivals.empty()) return true;
      if (arrivals.front().empty()) now += milliseconds(timeoutMs);  // a read that finds nothing in its time
      bytes += arrivals.front();
      arrivals.pop_front();
      return true;
    };
    port.Now = [this] { return now; };
    port.Sleep = [this](unsigned ms) { now += milliseconds(ms); };
    return port;
  }
  std::function<void(const std::string&)> Log() {
    return [this](const std::string& line) { log.push_back(line); };
  }
};

const auto keepGoing = [] { return true; };

std::string queries(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += kBufferQuery;
  return text;
}

}  // namespace

TEST(QueryPacer, WritesNoMoreThanTheCutterSaysIsFree) {
  ScriptedLine line;
  TQueryPacer pacer(line.Port(), line.Log());
  line.arrivals = {"1024\r"};
  EXPECT_EQ(pacer.Allow(500, keepGoing), 500u);
  pacer.Sent(std::string(500, 'x'));
  // The answer comes in pieces; 424 of the 500 are still in the buffer.
  line.arrivals = {"60", "0\r"};
  EXPECT_EQ(pacer.Allow(1000, keepGoing), 600u);
  EXPECT_EQ(pacer.Taken(), 76u);
  // Too little room for a write worth making: asked again a little later.
  line.arrivals = {"10\r", "900\r"};
  const TTime before = line.now;
  EXPECT_EQ(pacer.Allow(1000, keepGoing), 900u);
  EXPECT_GT(line.now, before);
  EXPECT_EQ(line.written, queries(4));
  EXPECT_FALSE(pacer.Failed());
  EXPECT_TRUE(line.log.empty());
}

TEST(QueryPacer, ACutterThatDoesNotAnswerTwiceInARowFailsTheSendAndSaysWhatToChoose) {
  ScriptedLine line;
  TQueryPacer pacer(line.Port(), line.Log());
  EXPECT_EQ(pacer.Allow(100, keepGoing), 0u);
  EXPECT_TRUE(pacer.Failed());
  EXPECT_EQ(line.written, queries(2));
  EXPECT_GE(line.now - t0, std::chrono::seconds(2));
  ASSERT_EQ(line.log.size(), 1u);
  EXPECT_NE(line.log[0].find("does not answer buffer queries"), std::string::npos);
  EXPECT_NE(line.log[0].find("by cutting time"), std::string::npos);
}

TEST(QueryPacer, ALateAnswerIsNotTakenForTheNextQuerys) {
  ScriptedLine line;
  TQueryPacer pacer(line.Port(), line.Log());
  // Nothing within the first second; then the late answer and the second query's together.
  line.arrivals = {"", "300\r800\r"};
  EXPECT_EQ(pacer.Allow(1000, keepGoing), 800u);
  EXPECT_EQ(line.written, queries(2));
  EXPECT_FALSE(pacer.Failed());
}

TEST(QueryPacer, ACancelWhileWaitingForTheAnswerIsNoFailure) {
  ScriptedLine line;
  TQueryPacer pacer(line.Port(), line.Log());
  int asked = 0;
  EXPECT_EQ(pacer.Allow(100, [&] { return ++asked < 2; }), 0u);
  EXPECT_FALSE(pacer.Failed());
  EXPECT_TRUE(line.log.empty());
  EXPECT_LT(line.now - t0, std::chrono::seconds(1));
}

TEST(TimePacer, ItsEstimateFollowsTheCuttingModelAndHoldsWhatItCannotRead) {
  // 1 mm moves at 100 mm/s: 10 ms a command, while the line carries 7 bytes in 1.8 ms.
  const TCuttingSpeeds speeds{100.0, 100.0, 38400};
  std::string job = "SP1;";
  for (int i = 0; i < 20; ++i) job += "PD40,0;PD0,0;";
  ScriptedLine line;
  TTimePacer pacer(line.Port(), speeds, 4096);
  pacer.Sent(job);
  // The cutter as the virtual cutter runs it: each byte in when the line brings it.
  TCuttingModel cutter(speeds, false);
  for (std::size_t k = 0; k < job.size(); ++k)
    cutter.Add(job[k], t0 + std::chrono::nanoseconds(((k + 1) * 10'000'000'000ull + 38399) / 38400));
  for (int ms = 0; ms <= 420; ms += 5) {
    const TTime at = t0 + milliseconds(ms);
    while (cutter.TakeDone(at).Bytes > 0) {
    }
    const std::size_t estimate = pacer.Held(at), held = cutter.Held();
    // "SP1;", which neither reads, counts as held until the first move is done (at
    // 12.9 ms) while the cutter has done with it once it came in (at 1 ms); otherwise the
    // two agree.
    EXPECT_EQ(estimate - held, ms > 0 && ms < 13 ? 4u : 0u) << ms << " ms";
  }
  EXPECT_EQ(pacer.Held(t0 + milliseconds(420)), 0u);
  EXPECT_EQ(pacer.Taken(), job.size());
}

TEST(TimePacer, WaitsForTheCutterToWorkOffWhatFillsItsBuffer) {
  const TCuttingSpeeds speeds{100.0, 100.0, 38400};
  ScriptedLine line;
  TTimePacer pacer(line.Port(), speeds, 100);
  // The margin for a late start keeps 76 bytes free at 38400 baud, but no more than a
  // quarter of the buffer.
  EXPECT_EQ(pacer.Allow(1000, keepGoing), 75u);
  std::string fill;
  while (fill.size() < 75) fill += "PD40,0;PD0,0;";
  pacer.Sent(fill);  // 78 bytes
  EXPECT_EQ(line.now, t0);
  // The first command is done 10 ms after it came in; waiting for it, the clock moves.
  EXPECT_EQ(pacer.Allow(1000, keepGoing), 4u);
  EXPECT_GE(line.now, t0 + milliseconds(10));
  // A cancel ends the wait.
  pacer.Sent("PD40,0;");
  EXPECT_EQ(pacer.Allow(1000, [] { return false; }), 0u);
}

namespace {

// Allows a fixed number of bytes per write; fails when told to.
struct FixedPacer : ISendPacer {
  std::size_t each = 10, sent = 0;
  bool fail = false;
  std::size_t Allow(std::size_t wanted, const TPacerPort::TKeepWaiting&) override {
    return fail ? 0 : std::min(wanted, each);
  }
  void Sent(std::string_view bytes) override { sent += bytes.size(); }
  std::size_t Taken() const override { return sent / 2; }
  bool Failed() const override { return fail; }
};

struct SilentView : ISendView {
  std::vector<std::string> texts;
  std::size_t position = 0;
  void ShowStatus(const std::u16string&) override {}
  void ShowProgressText(const std::string& text) override { texts.push_back(text); }
  void ShowProgress(std::size_t p, std::size_t) override { position = std::max(position, p); }
  void ShowWaiting(bool) override {}
  void Pump() override {}
};

}  // namespace

TEST(PacedSession, WritesWhatThePacerAllowsAndShowsWhatTheCutterTook) {
  SilentView view;
  std::string received;
  std::vector<std::size_t> writes;
  TSendSession session(
      view,
      [&](const char* data, std::size_t count, const std::function<bool()>&) {
        writes.push_back(count);
        received.append(data, count);
        return TSendWriteResult{count, false};
      },
      "ttyUSB0");
  FixedPacer pacer;
  session.UsePacer(&pacer);
  const std::string job(35, 'x');
  EXPECT_TRUE(session.SendInBlocks(job, 2048));
  EXPECT_TRUE(session.SendOk);
  EXPECT_EQ(received, job);
  EXPECT_EQ(writes, (std::vector<std::size_t>{10, 10, 10, 5}));
  EXPECT_EQ(pacer.sent, 35u);
  EXPECT_EQ(view.position, 17u);  // what the cutter took, not what went out
  EXPECT_TRUE(view.texts.back().starts_with("0.02 kb / 0.03 kb")) << view.texts.back();

  pacer.fail = true;
  received.clear();
  EXPECT_TRUE(session.SendInBlocks(job, 2048));
  EXPECT_FALSE(session.SendOk);
  EXPECT_EQ(received, "");
}
