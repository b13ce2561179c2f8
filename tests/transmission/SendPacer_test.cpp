#include "transmission/SendPacer.h"
#include "transmission/SendSession.h"

#include <deque>
#include <gtest/gtest.h>
#include <vector>

namespace {

using TTime = TPacerPort::TTime;
using std::chrono::milliseconds;

const TTime t0 = TTime{} + std::chrono::seconds(10);

// The line and clock of a pacer, scripted: bytes arrive at their times, and a read waits
// for the next arrival within its time, or its whole time when none comes; sleeps move the
// clock. With a reply set, each query is answered that long after it was written.
struct ScriptedLine {
  TTime now = t0;
  std::string written;
  std::deque<std::pair<TTime, std::string>> arrivals;
  std::vector<std::string> log;
  std::string reply;
  milliseconds replyAfter{0};

  void arrive(const std::string& bytes, int afterMs = 0) { arrivals.push_back({now + milliseconds(afterMs), bytes}); }

  TPacerPort Port() {
    TPacerPort port;
    port.Write = [this](std::string_view bytes, const TPacerPort::TKeepWaiting&) {
      written.append(bytes);
      if (bytes == kBufferQuery && !reply.empty()) arrivals.push_back({now + replyAfter, reply});
      return true;
    };
    port.Read = [this](unsigned timeoutMs, const TPacerPort::TKeepWaiting& keepWaiting, std::string& bytes) {
      const TTime until = now + milliseconds(timeoutMs);
      // The read asks to go on every 50 ms, as the port's does.
      while (now < until && (arrivals.empty() || arrivals.front().first > now)) {
        now = std::min({until, now + milliseconds(50), arrivals.empty() ? until : arrivals.front().first});
        if (!keepWaiting()) return true;
      }
      if (!arrivals.empty() && arrivals.front().first <= now) {
        bytes += arrivals.front().second;
        arrivals.pop_front();
      }
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
  TQueryPacer pacer(line.Port(), 38400, line.Log());
  line.arrive("1024\r");
  EXPECT_EQ(pacer.Allow(1000, keepGoing), 1000u);
  pacer.Sent(std::string(1000, 'x'));
  // The answer comes in pieces; 424 of the 1000 are still in the buffer.
  line.arrive("60");
  line.arrive("0\r");
  EXPECT_EQ(pacer.Allow(1000, keepGoing), 600u);
  pacer.Sent(std::string(600, 'x'));
  EXPECT_EQ(pacer.Taken(), 576u);
  // Too little room for a write worth making: asked again a little later.
  line.arrive("10\r");
  line.arrive("900\r", 1);
  const TTime before = line.now;
  EXPECT_EQ(pacer.Allow(1000, keepGoing), 900u);
  EXPECT_GT(line.now, before);
  EXPECT_EQ(line.written, queries(4));
  EXPECT_FALSE(pacer.Failed());
  EXPECT_TRUE(line.log.empty());
}

TEST(QueryPacer, ACutterThatDoesNotAnswerTwiceInARowFailsTheSendAndSaysWhatToChoose) {
  ScriptedLine line;
  TQueryPacer pacer(line.Port(), 38400, line.Log());
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
  TQueryPacer pacer(line.Port(), 38400, line.Log());
  // Nothing within the first second; then the late answer and the second query's together.
  line.arrive("300\r800\r", 1500);
  EXPECT_EQ(pacer.Allow(1000, keepGoing), 800u);
  EXPECT_EQ(line.written, queries(2));
  EXPECT_FALSE(pacer.Failed());
}

TEST(QueryPacer, ACancelWhileWaitingForTheAnswerIsNoFailure) {
  ScriptedLine line;
  TQueryPacer pacer(line.Port(), 38400, line.Log());
  int asked = 0;
  EXPECT_EQ(pacer.Allow(100, [&] { return ++asked < 2; }), 0u);
  EXPECT_FALSE(pacer.Failed());
  EXPECT_TRUE(line.log.empty());
  EXPECT_LT(line.now - t0, std::chrono::seconds(1));
}

TEST(QueryPacer, ReadsAnswersEndedByCrOrLfPastEchoesAndFailsOnWhatIsNoBufferSize) {
  struct Row {
    std::string answer;
    std::size_t allowed;
    std::string logged;  // empty: no log line
  };
  const Row rows[] = {
      {"512\r", 512, ""},
      {" 512 \n", 512, ""},
      {"512\r\n", 512, ""},
      // An echo of the query on the answer's line, and of the job on lines before it.
      {"\x1b.B512\r", 512, ""},
      {"PU0,0;\nPD40,40;\x1b.B512\r", 512, ""},
      // Digits around something else are no count: the send stops rather than guess.
      {"E9 512\r", 0, "answered 'E9 512' to the buffer query (ESC . B), which is not a buffer size"},
      {"E9\r", 0, "answered 'E9' to the buffer query"},
      {"51 2\r", 0, "answered '51 2'"},
      {"512", 0, "answered '512'"},  // never ended
      {"-5\r", 0, "answered '-5'"},
      {"\x1b\r", 0, "answered '\\x1b'"},
      {"", 0, "does not answer buffer queries"},
  };
  for (const Row& row : rows) {
    ScriptedLine line;
    line.reply = row.answer;
    TQueryPacer pacer(line.Port(), 38400, line.Log());
    EXPECT_EQ(pacer.Allow(800, keepGoing), row.allowed) << row.answer;
    EXPECT_EQ(pacer.Failed(), row.allowed == 0) << row.answer;
    if (row.logged.empty()) {
      EXPECT_TRUE(line.log.empty()) << row.answer;
      continue;
    }
    ASSERT_EQ(line.log.size(), 1u) << row.answer;
    EXPECT_NE(line.log[0].find(row.logged), std::string::npos) << line.log[0];
    // An answer it cannot read is not asked again; silence is, once.
    EXPECT_EQ(line.written, queries(row.answer.empty() ? 2 : 1)) << row.answer;
  }
}

TEST(QueryPacer, WaitsForTheAnswerFromWhenTheQueryCanHaveReachedTheCutter) {
  // 2048 bytes at 9600 baud are on the line for 2.13 s; the query follows them and the
  // cutter answers when it has it.
  ScriptedLine line;
  TQueryPacer pacer(line.Port(), 9600, line.Log());
  line.reply = "2100\r";
  ASSERT_EQ(pacer.Allow(4000, keepGoing), 2100u);
  pacer.Sent(std::string(2048, 'x'));
  line.reply.clear();
  line.arrive("3000\r", 2133 + 900);
  EXPECT_EQ(pacer.Allow(2000, keepGoing), 2000u);
  EXPECT_FALSE(pacer.Failed());
  EXPECT_EQ(line.written, queries(2));
}

TEST(QueryPacer, AsksAgainOnlyWhenWhatTheLastAnswerLeftRunsLow) {
  ScriptedLine line;
  TQueryPacer pacer(line.Port(), 38400, line.Log());
  line.reply = "1000\r";
  line.replyAfter = milliseconds(100);
  for (int piece = 0; piece < 3; ++piece) {
    ASSERT_EQ(pacer.Allow(250, keepGoing), 250u);
    pacer.Sent(std::string(250, 'x'));
  }
  // One question bought 750 bytes; the 250 left are a quarter of the buffer and go too.
  EXPECT_EQ(line.written, queries(1));
  ASSERT_EQ(pacer.Allow(300, keepGoing), 250u);
  pacer.Sent(std::string(250, 'x'));
  EXPECT_EQ(pacer.Allow(300, keepGoing), 300u);
  EXPECT_EQ(line.written, queries(2));
}

TEST(QueryPacer, SaysOnceWhenTheCutterTookNothingFor30SecondsAndWaitsOn) {
  ScriptedLine line;
  TQueryPacer pacer(line.Port(), 38400, line.Log());
  line.reply = "1024\r";
  ASSERT_EQ(pacer.Allow(1024, keepGoing), 1024u);
  pacer.Sent(std::string(1024, 'x'));
  line.reply = "0\r";
  EXPECT_EQ(pacer.Allow(100, [&] { return line.now < t0 + std::chrono::seconds(50); }), 0u);
  EXPECT_FALSE(pacer.Failed());
  ASSERT_EQ(line.log.size(), 1u);
  EXPECT_NE(line.log[0].find("has taken nothing for 30 s"), std::string::npos) << line.log[0];
}

TEST(TimePacer, ItsEstimateFollowsTheCuttingModelAndHoldsWhatItCannotRead) {
  // 1 mm moves at 100 mm/s: 10 ms a command, while the line carries 7 bytes in 1.8 ms.
  const TCuttingSpeeds speeds{100.0, 100.0, 38400};
  std::string job = "SP1;";
  for (int i = 0; i < 20; ++i) job += "PD40,0;PD0,0;";
  ScriptedLine line;
  TTimePacer pacer(line.Port(), speeds, 4096, line.Log());
  pacer.Sent(job);
  // The cutter as the virtual cutter runs it: each byte in when the line brings it.
  TCuttingModel cutter(speeds, false);
  for (std::size_t k = 0; k < job.size(); ++k)
    cutter.Add(job[k], t0 + std::chrono::nanoseconds(((k + 1) * 10'000'000'000ull + 38399) / 38400));
  for (int ms = 0; ms <= 420; ms += 5) {
    const TTime at = t0 + milliseconds(ms);
    while (cutter.TakeDone(at).Bytes > 0) {
    }
    // The pacer takes the cutter to be 100 ms behind.
    const std::size_t estimate = pacer.Held(at + milliseconds(100)), held = cutter.Held();
    // "SP1;", which neither reads, counts as held until the first move is done (at
    // 12.9 ms) while the cutter has done with it once it came in (at 1 ms); otherwise the
    // two agree.
    EXPECT_EQ(estimate - held, ms > 0 && ms < 13 ? 4u : 0u) << ms << " ms";
  }
  EXPECT_EQ(pacer.Held(t0 + milliseconds(520)), 0u);
  EXPECT_EQ(pacer.Taken(), job.size());
}

TEST(TimePacer, WaitsForTheCutterToWorkOffWhatFillsItsBuffer) {
  const TCuttingSpeeds speeds{100.0, 100.0, 38400};
  ScriptedLine line;
  TTimePacer pacer(line.Port(), speeds, 100, line.Log());
  EXPECT_EQ(pacer.Allow(1000, keepGoing), 100u);
  std::string fill;
  while (fill.size() < 100) fill += "PD40,0;PD0,0;";
  pacer.Sent(fill);  // 104 bytes
  EXPECT_EQ(line.now, t0);
  // The first command is in at 1.8 ms and done 10 ms later; the pacer waits for that and
  // the 100 ms by which the cutter may be behind.
  EXPECT_EQ(pacer.Allow(1000, keepGoing), 3u);
  EXPECT_GE(line.now, t0 + milliseconds(111));
  EXPECT_LE(line.now, t0 + milliseconds(113));
  // A cancel ends the wait.
  pacer.Sent("PD4");
  EXPECT_EQ(pacer.Allow(1000, [] { return false; }), 0u);
}

TEST(TimePacer, HandsOutNothingItCannotAccountForAndStreamsLongPolylinesPairByPair) {
  const TCuttingSpeeds speeds{100.0, 100.0, 38400};
  {
    // Lower case, relative pairs and PD;PA are moves, held until they are done. At 38400
    // baud byte k is in at k x 0.26 ms: "pd400,0," (byte 20, 5.2 ms) is cut by 105.2 ms,
    // "0,400;" by 205.2 ms, "PA0,0;" (14.14 mm) by 346.6 ms, "PD;" with it, and
    // "PA400,400;" by 488.0 ms; "in;pu0,0;pr;" when it came in.
    ScriptedLine line;
    TTimePacer pacer(line.Port(), speeds, 200, line.Log());
    pacer.Sent("in;pu0,0;pr;pd400,0,0,400;PA0,0;PD;PA400,400;");
    const std::pair<int, std::size_t> held[] = {{0, 45}, {105, 33}, {106, 25}, {205, 25}, {206, 19},
                                                {346, 19}, {347, 10}, {487, 10}, {489, 0}};
    // Taken to be 100 ms behind.
    for (const auto& [ms, bytes] : held)
      EXPECT_EQ(pacer.Held(t0 + milliseconds(100 + ms)), bytes) << ms << " ms";
  }
  {
    // A polyline of 100 pairs, 1 mm apart, into a 100-byte buffer: room comes pair by pair.
    ScriptedLine line;
    TTimePacer pacer(line.Port(), speeds, 100, line.Log());
    std::string job = "PD";
    for (int i = 1; i <= 100; ++i) job += std::to_string(i * 40) + ",0,";
    std::size_t sent = 0;
    while (sent < job.size()) {
      const std::size_t allowed = pacer.Allow(job.size() - sent, keepGoing);
      ASSERT_GT(allowed, 0u);
      pacer.Sent(std::string_view(job).substr(sent, allowed));
      sent += allowed;
    }
    // The last pairs go out while the cutter still has pairs to cut.
    EXPECT_LT(line.now - t0, milliseconds(1000 - 20)) << (line.now - t0).count();
    EXPECT_FALSE(pacer.Failed());
  }
  {
    // Bytes it cannot time that fill the buffer, with nothing under way: it fails, saying
    // where, rather than hand out more.
    ScriptedLine line;
    TTimePacer pacer(line.Port(), speeds, 100, line.Log());
    pacer.Sent("PD40,0;LB" + std::string(100, 'a'));
    EXPECT_EQ(pacer.Allow(1000, keepGoing), 0u);
    EXPECT_TRUE(pacer.Failed());
    ASSERT_EQ(line.log.size(), 1u);
    EXPECT_NE(line.log[0].find("From byte 8 the job has more bytes than the cutter's buffer that the cutting-time "
                               "estimate cannot time"),
              std::string::npos)
        << line.log[0];
  }
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
        return TSendWriteResult{count, false, {}};
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
