#include "transmission/CuttingModel.h"

#include <gtest/gtest.h>

#include <string_view>

namespace {

using TTime = TCuttingModel::TTime;
using std::chrono::milliseconds;

const TTime t0 = TTime{} + std::chrono::seconds(1);

void add(TCuttingModel& model, std::string_view text, TTime at) {
  for (const char c : text) model.Add(c, at);
}

}  // namespace

TEST(CuttingModel, ACommandLeavesWhenItsMovesAreDoneOneAfterTheOther) {
  // Blade down at 100 mm/s, up at 200 mm/s. A pair is (Y, X) in fortieths of a millimetre.
  TCuttingModel model({100.0, 200.0, 9600}, false);
  add(model, "PU0,0;PD400,300;PU4400,300;", t0);
  EXPECT_EQ(model.Held(), 27u);
  // Not moving takes no time; 12.5 mm cut takes 125 ms; 100 mm up 500 ms more.
  TCuttingModel::TDone done = model.TakeDone(t0);
  EXPECT_EQ(done.Bytes, 6u);
  EXPECT_EQ(model.NextDone(), t0 + milliseconds(125));
  EXPECT_EQ(model.TakeDone(t0 + milliseconds(124)).Bytes, 0u);
  done = model.TakeDone(t0 + milliseconds(125));
  EXPECT_EQ(done.Bytes, 10u);
  EXPECT_DOUBLE_EQ(done.Seconds, 0.125);
  EXPECT_EQ(model.NextDone(), t0 + milliseconds(625));
  EXPECT_EQ(model.TakeDone(t0 + milliseconds(625)).Bytes, 11u);
  EXPECT_EQ(model.Held(), 0u);
  EXPECT_EQ(model.NextDone(), TTime::max());

  // A command that comes to an idle cutter starts when it comes; the relative mode and
  // the position carry over from command to command.
  add(model, "PR;PD40,0;", t0 + milliseconds(1000));
  add(model, "PD40,0;", t0 + milliseconds(1005));
  EXPECT_EQ(model.TakeDone(t0 + milliseconds(1000)).Bytes, 3u);
  EXPECT_EQ(model.TakeDone(t0 + milliseconds(1010)).Bytes, 7u);
  EXPECT_EQ(model.NextDone(), t0 + milliseconds(1020));
}

TEST(CuttingModel, HoldingKeepsCommandsWithoutAMoveUntilTheNextMoveIsDone) {
  for (const bool hold : {false, true}) {
    TCuttingModel model({40.0, 40.0, 9600}, hold);
    add(model, "IN;SP1;PD40,0;", t0);
    add(model, "PD", t0);  // arriving, no command yet
    EXPECT_EQ(model.Held(), 16u);
    const std::size_t first = model.TakeDone(t0).Bytes;
    EXPECT_EQ(first, hold ? 0u : 3u) << hold;
    if (!hold) {
      EXPECT_EQ(model.TakeDone(t0).Bytes, 4u);
    }
    EXPECT_EQ(model.TakeDone(t0 + milliseconds(25)).Bytes, hold ? 14u : 7u) << hold;
    EXPECT_EQ(model.DropUnfinished(), 2u);
    EXPECT_EQ(model.Held(), 0u);
  }
}

TEST(CuttingModel, WithoutACuttingSpeedTheBufferGoesAtTheLineRate) {
  TCuttingModel model({0.0, 800.0, 9600}, false);
  add(model, std::string(100, 'x'), t0);
  std::size_t taken = 0;
  while (model.TakeDone(t0 + milliseconds(50)).Bytes > 0) ++taken;
  EXPECT_EQ(taken, 48u);  // 960 bytes a second
  EXPECT_EQ(model.Held(), 52u);
}

// The virtual cutter takes bytes off its line by LineBytes and stamps them by LineTime:
// a byte is on the line only from the very nanosecond its last bit is through.
TEST(CuttingModel, LineTimeAndLineBytesAreExactInversesAtEveryRate) {
  for (const std::uint32_t baud : {50u, 9600u, 38400u, 115200u, 4'000'000u})
    for (const std::uint64_t count : {1ull, 7ull, 1000ull, 1'000'000'007ull}) {
      const auto through = LineTime(count, baud);
      EXPECT_EQ(LineBytes(through, baud), count) << baud << " " << count;
      EXPECT_EQ(LineBytes(through - std::chrono::nanoseconds(1), baud), count - 1) << baud << " " << count;
    }
  EXPECT_EQ(LineBytes(std::chrono::nanoseconds(0), 9600), 0u);
}
