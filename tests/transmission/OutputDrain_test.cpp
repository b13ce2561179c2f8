#include "transmission/OutputDrain.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace std::chrono;
using namespace std::chrono_literals;

// Time that moves only when the wait sleeps, and a queue that is a function of it.
struct ScriptedLine {
  steady_clock::time_point now{};
  std::function<std::uint32_t(milliseconds since)> queue;
  std::vector<std::uint32_t> watched;

  milliseconds elapsed() const { return duration_cast<milliseconds>(now - steady_clock::time_point{}); }
  TDrainResult drain(const TDrainRules& rules, milliseconds stopAfter = milliseconds::max()) {
    const TDrainClock clock{[this] { return now; }, [this](milliseconds span) { now += span; }};
    return DrainOutput(
        [this](std::uint32_t& bytes) {
          bytes = queue(elapsed());
          return true;
        },
        rules,
        [this, stopAfter](std::uint32_t queued) {
          watched.push_back(queued);
          return elapsed() < stopAfter;
        },
        clock);
  }
};

TDrainRules noHandshake(std::uint32_t baud) { return {baud, false, {}}; }
TDrainRules handshake(milliseconds heldLimit = {}) { return {9600, true, heldLimit}; }

TEST(OutputDrain, WithoutAHandshakeGivesUpOnAStalledQueueOrAtTheLineRateBound) {
  struct Row {
    const char* what;
    std::uint32_t baud;
    std::function<std::uint32_t(milliseconds)> queue;
    TDrainResult result;
    milliseconds endsAt;
  };
  const Row rows[] = {
      {"empties", 9600, [](milliseconds t) { return t < 50ms ? 1000u - 20u * static_cast<unsigned>(t.count()) : 0u; },
       TDrainResult::Drained, 50ms},
      // 192 bytes need 0.2 s at 9600 baud: the bound is 0.9 s, long before the queue empties.
      {"too slow for the line rate", 9600, [](milliseconds t) { return 192u - static_cast<unsigned>(t.count() / 10); },
       TDrainResult::GaveUp, 900ms},
      // Three seconds without the queue shrinking is a dead line, well before the bound (17.9 s).
      {"stalled", 115200, [](milliseconds) { return 100000u; }, TDrainResult::GaveUp, 3000ms},
      // cdc-acm counts whole 10,240-byte transfers: a device reading steadily shows a step
      // every 1.5 s, which a one-second rule took for a stall.
      {"drops in whole transfers", 115200,
       [](milliseconds t) { return t < 6000ms ? 40960u - 10240u * static_cast<unsigned>(t / 1500ms) : 0u; },
       TDrainResult::Drained, 6000ms},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ScriptedLine line;
    line.queue = row.queue;
    EXPECT_EQ(line.drain(noHandshake(row.baud)), row.result);
    EXPECT_EQ(line.elapsed(), row.endsAt);
  }
}

TEST(OutputDrain, WithAHandshakeWaitsForACutterHoldingTheLine) {
  // XOFF held 8 s over the last 3 KB, then the cutter takes them.
  ScriptedLine held;
  held.queue = [](milliseconds t) { return t < 8000ms ? 3146u : 0u; };
  EXPECT_EQ(held.drain(handshake()), TDrainResult::Drained);
  EXPECT_EQ(held.elapsed(), 8000ms);
  // Every look tells the caller what is still queued, so it can say what it waits for.
  ASSERT_FALSE(held.watched.empty());
  EXPECT_EQ(held.watched.front(), 3146u);

  // Only the caller ends an unbounded wait...
  ScriptedLine forever;
  forever.queue = [](milliseconds) { return 500u; };
  EXPECT_EQ(forever.drain(handshake(), 60s), TDrainResult::Interrupted);
  EXPECT_EQ(forever.elapsed(), 60s);

  // ...or the held limit, counted from the last byte that left.
  ScriptedLine limited;
  limited.queue = [](milliseconds t) { return t < 5000ms ? 900u - static_cast<unsigned>(t.count() / 10) : 400u; };
  EXPECT_EQ(limited.drain(handshake(30s)), TDrainResult::GaveUp);
  EXPECT_EQ(limited.elapsed(), 5000ms + 30000ms);
}

TEST(OutputDrain, TheRulesFollowTheFlowControlThatHoldsOurOutput) {
  DCB dcb;
  dcb.BaudRate = 19200;
  EXPECT_FALSE(DrainRulesFor(dcb).Handshake);
  dcb.Flags = DCB::fInX;  // only the input side: the cutter cannot hold our output
  EXPECT_FALSE(DrainRulesFor(dcb).Handshake);
  dcb.Flags = DCB::fOutX;
  EXPECT_TRUE(DrainRulesFor(dcb).Handshake);
  dcb.Flags = DCB::fOutxCtsFlow;
  const TDrainRules rules = DrainRulesFor(dcb, 30s);
  EXPECT_TRUE(rules.Handshake);
  EXPECT_EQ(rules.Baud, 19200u);
  EXPECT_EQ(rules.HeldLimit, 30s);
}

}  // namespace
