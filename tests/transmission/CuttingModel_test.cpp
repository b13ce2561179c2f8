#include "transmission/CuttingModel.h"

#include <gtest/gtest.h>

#include <string>
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

TEST(CuttingModel, HoldingKeepsWhatItDoesNotReadUntilTheNextMoveIsDone) {
  for (const bool hold : {false, true}) {
    TCuttingModel model({40.0, 40.0, 9600}, hold);
    add(model, "IN;SP1;PD40,0;", t0);
    add(model, "PD", t0);  // arriving, no step yet
    EXPECT_EQ(model.Held(), 16u);
    EXPECT_EQ(model.TakeDone(t0).Bytes, 3u) << hold;  // IN is read, and costs no time
    if (!hold) {
      // SP is passed over byte by byte, at no cost.
      EXPECT_EQ(model.TakeDone(t0).Bytes, 3u);
      EXPECT_EQ(model.TakeDone(t0).Bytes, 1u);
    }
    EXPECT_EQ(model.TakeDone(t0 + milliseconds(24)).Bytes, 0u) << hold;
    EXPECT_EQ(model.TakeDone(t0 + milliseconds(25)).Bytes, hold ? 11u : 7u) << hold;
    EXPECT_EQ(model.DropUnfinished(), 2u);
    EXPECT_EQ(model.Held(), 0u);
  }
}

// Cut times worked out by hand: blade down at 100 mm/s, up at 200 mm/s, 40 units a mm.
TEST(CuttingModel, CutTimesAreThoseWorkedOutByHand) {
  struct Row {
    const char* what;
    std::string job;
    double seconds;
  };
  const Row rows[] = {
      // 4 sides of 10 mm: 0.4 s.
      {"square", "IN;PU0,0;PD400,0,400,400,0,400,0,0;PU0,0;", 0.4},
      // 20 mm cut, 14.142 mm back up: 0.2 + 0.070711 s.
      {"lower case", "in;pu0,0;pd400,0,400,400;pu0,0;", 0.270711},
      // Three 10 mm cuts, pairs parted by a blank and a sign; PA then cuts 10 mm back.
      {"relative", "PU0,0;PR;PD400,0 0,400-400,0;PA0,0;", 0.4},
      // The pen stays down through PA: 10 mm cut, not travel.
      {"PD;PA", "PU0,0;PD;PA400,0;", 0.1},
      {"decimals", "PU0,0;PD200.5,0,400.0,0;", 0.1},
      // No terminators: each mnemonic ends the command before it. 20 mm.
      {"no terminators", "PU0,0PD400,0PD400,400;", 0.2},
      // Radius 10 mm: 10 mm up to the circle and back, 72 chords of 2 x 10 x sin 2.5 deg
      // (0.0436194) = 62.81193 mm cut.
      {"circle", "PU0,0;CI400;", 0.1 + 0.6281193},
      // At 90 degrees a chord the circle is a square of sides 14.142136 mm.
      {"circle in 4 chords", "PU0,0;CI400,90;", 0.1 + 0.5656854},
      // A quarter arc of radius 10 mm, 18 chords: 15.70298 mm, ending at (400, 400); then
      // 10 mm down to (400, 0).
      {"arc", "PU0,0;PD;AA0,400,90;PD400,0;", 0.1570298 + 0.1},
      // Up 14.142 mm to (400, 400); a half arc about (0, 400) in 2 chords of 14.142136 mm
      // to (-400, 400); 10 mm cut to (-400, 0).
      {"relative arc", "PU400,400;PD;AR-400,0,180,90;PA-400,0;", 0.0707107 + 0.2828427 + 0.1},
      // 10 mm at 50 mm/s, at 80 mm/s, at 100 mm/s (VS 20 asks more than the cutter's 100),
      // and at 100 mm/s again after IN.
      {"VS change", "VS5;PD400,0;VS8;PD0,0;VS20;PD400,0;IN;PD0,0;", 0.2 + 0.125 + 0.1 + 0.1},
      // Encoded, base 64: 400 is 800 sign-folded, "_" (32) then 203 (12, last digit); 0 is
      // 191. A pen-up pair then a cut pair, 10 mm each.
      {"PE", "PU0,0;PE<_\xCB\xBF_\xCB\xBF;", 0.05 + 0.1},
      // Seven-bit, base 32: 800 is "?" (0) then "x" (25, last digit); 0 is "_". Out 10 mm,
      // back to the absolute (0, 0).
      {"PE seven-bit", "PU0,0;PE7?x_=__;", 0.2},
      // What it does not read costs nothing; a label runs to its ETX, semicolons and all.
      {"unread", "PU0,0;SP1;LBa;b\x03PD400,0;XX12,34;WD x;", 0.1},
  };
  for (const Row& row : rows) {
    TCuttingModel model({100.0, 200.0, 38400}, false);
    add(model, row.job, t0);
    double seconds = 0.0;
    std::size_t bytes = 0;
    for (TCuttingModel::TDone done; (done = model.TakeDone(TTime::max())).Bytes > 0;) {
      seconds += done.Seconds;
      bytes += done.Bytes;
    }
    EXPECT_NEAR(seconds, row.seconds, 1e-6) << row.what;
    EXPECT_EQ(bytes, row.job.size()) << row.what;
  }
}

TEST(CuttingModel, APolylineLeavesPairByPairAsItsBytesArrive) {
  TCuttingModel model({100.0, 100.0, 9600}, false);
  const std::string job = "PD400,0,800,0,1200,0;";
  for (std::size_t k = 0; k < job.size(); ++k) model.Add(job[k], t0 + milliseconds(k + 1));
  // "PD400,0," is complete with its 8th byte, at 8 ms, and cut by 108 ms; then
  // "800,0," by 208 ms and "1200,0;" by 308 ms, 10 mm each.
  EXPECT_EQ(model.TakeDone(t0 + milliseconds(107)).Bytes, 0u);
  EXPECT_EQ(model.TakeDone(t0 + milliseconds(108)).Bytes, 8u);
  EXPECT_EQ(model.Held(), 13u);
  EXPECT_EQ(model.TakeDone(t0 + milliseconds(208)).Bytes, 6u);
  EXPECT_EQ(model.TakeDone(t0 + milliseconds(308)).Bytes, 7u);
  EXPECT_EQ(model.Held(), 0u);
}

TEST(CuttingModel, AnAbsurdMoveKeepsTheClockGoingForward) {
  TCuttingModel model({1.0, 1.0, 9600}, false);
  add(model, "PD999999999999999999999,0;PD0,0;VS0.00001;PD999999999999999999999,0;", t0);
  EXPECT_GT(model.NextDone(), t0 + std::chrono::hours(24));
  EXPECT_EQ(model.TakeDone(t0 + std::chrono::hours(24)).Bytes, 0u);
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
