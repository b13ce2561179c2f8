#include "cli/CutterEmulator.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using TTime = TCutterEmulator::TTime;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

const TTime t0 = TTime{} + std::chrono::seconds(1);

// When the count-th byte of a run that began at t0 is done: ten bit times a byte.
TTime doneAt(std::uint64_t count, std::uint32_t baud) {
  return t0 + nanoseconds((count * 10'000'000'000ull + baud - 1) / baud);
}

struct Cutter {
  explicit Cutter(TCutterEmulator::TSettings settings)
      : emulator(settings, [this](const std::string& line) { reports.push_back(line); }) {}
  std::vector<std::string> reports;
  TCutterEmulator emulator;
};

}  // namespace

TEST(CutterEmulator, TakesBytesAtTheLineRateAndOnlyWhileThereAreAny) {
  struct Row {
    std::uint32_t baud;
    std::vector<std::pair<int, std::size_t>> receipts;  // (ms after t0, bytes)
    int advanceMs;
    std::size_t buffered;
  };
  const Row rows[] = {
      {9600, {{0, 100}}, 50, 52},              // 960 bytes a second
      {115200, {{0, 1000}}, 10, 885},          // 115.2 bytes in 10 ms
      {9600, {{0, 10}}, 1000, 0},              // no more than there is
      {9600, {{0, 10}, {5000, 10}}, 5005, 6},  // an idle line does not bank time
      {9600, {{0, 10}, {5, 10}}, 15, 6},       // bytes that join a busy buffer wait their turn
  };
  for (const Row& row : rows) {
    Cutter cutter({row.baud, false, 4096});
    for (const auto& [ms, count] : row.receipts)
      cutter.emulator.Receive(std::string(count, 'x'), t0 + milliseconds(ms));
    cutter.emulator.Advance(t0 + milliseconds(row.advanceMs));
    EXPECT_EQ(cutter.emulator.Buffered(), row.buffered) << row.baud << " baud at " << row.advanceMs << " ms";
  }
}

TEST(CutterEmulator, XoffAtThreeQuartersAndXonAtAQuarter) {
  Cutter cutter({9600, true, 100});
  TCutterEmulator& e = cutter.emulator;
  e.Receive(std::string(74, 'x'), t0);
  EXPECT_FALSE(e.HoldSender());
  EXPECT_EQ(e.Room(), 26u);
  e.Receive("x", t0);
  EXPECT_TRUE(e.HoldSender());
  EXPECT_EQ(e.XoffCount(), 1u);
  // The wake-up falls on the byte that brings the fill down to a quarter.
  EXPECT_EQ(e.NextWake(), doneAt(50, 9600));
  e.Advance(doneAt(50, 9600) - nanoseconds(1));
  EXPECT_EQ(e.Buffered(), 26u);
  EXPECT_TRUE(e.HoldSender());
  e.Advance(doneAt(50, 9600));
  EXPECT_FALSE(e.HoldSender());
  e.Receive(std::string(50, 'x'), doneAt(50, 9600));
  EXPECT_TRUE(e.HoldSender());
  EXPECT_EQ(e.XoffCount(), 2u);

  Cutter plain({9600, false, 100});
  plain.emulator.Receive(std::string(100, 'x'), t0);
  EXPECT_FALSE(plain.emulator.HoldSender());
  EXPECT_EQ(plain.emulator.Room(), 0u);
}

TEST(CutterEmulator, WakesWhenTheLineSideHasSomethingToDo) {
  struct Row {
    const char* what;
    TCutterEmulator::TSettings settings;
    std::size_t bytes;
    TTime wake;
  };
  const Row rows[] = {
      {"buffer empties", {9600, false, 100}, 10, doneAt(10, 9600)},
      {"full: a quarter of room", {9600, false, 100}, 100, doneAt(25, 9600)},
      {"a tenth of a second at most", {9600, false, 4096}, 500, doneAt(96, 9600)},
      {"nothing buffered", {9600, false, 100}, 0, TTime::max()},
  };
  for (const Row& row : rows) {
    Cutter cutter(row.settings);
    cutter.emulator.Receive(std::string(row.bytes, 'x'), t0);
    EXPECT_EQ(cutter.emulator.NextWake(), row.wake) << row.what;
  }
}

TEST(CutterEmulator, ReportsEachPageAsItIsCutAndTheJobAtItsEnd) {
  Cutter cutter({9600, true, 4096});
  TCutterEmulator& e = cutter.emulator;
  // The page end arrives split across two reads; PGX and SPG are no page ends.
  const std::string page1 = "IN;PU0,0;PD40,0;PGX;SPG;P";
  const std::string rest = "G;PU0,0;PD0,40,40,40;@\nSP1;";
  e.Receive(page1, t0);
  e.Receive(rest, t0 + milliseconds(1));
  EXPECT_TRUE(cutter.reports.empty());  // nothing is cut yet
  e.Advance(t0 + milliseconds(28));     // 26 bytes, one short of the first page end
  EXPECT_TRUE(cutter.reports.empty());
  e.Advance(t0 + milliseconds(29));
  ASSERT_EQ(cutter.reports.size(), 1u);
  EXPECT_EQ(cutter.reports[0], "Page 1: 27 bytes, 1 contour, cut 1.00 mm, bounds x 0.00 to 0.00 mm, y 0.00 to 1.00 mm");

  e.EndJob(t0 + milliseconds(29));
  ASSERT_EQ(cutter.reports.size(), 3u);
  // Each page is read on its own; the job as the preview reads it, the origin moved by
  // the page end.
  EXPECT_EQ(cutter.reports[1], "Page 2: 21 bytes, 1 contour, cut 2.00 mm, bounds x 0.00 to 1.00 mm, y 0.00 to 1.00 mm");
  EXPECT_EQ(cutter.reports[2],
            "End of job: 52 bytes, 2 contours, cut 3.00 mm, bounds x 0.00 to 1.00 mm, y 0.00 to 2.00 mm; 0.05 s at "
            "1.00 of the line rate; XOFF sent 0 times");

  // The next job counts its pages afresh; a gap on the line shows in the rate.
  e.Receive(std::string(48, ' '), t0 + milliseconds(1000));
  e.Receive(std::string(47, ' ') + "@;", t0 + milliseconds(1150));
  e.EndJob(t0 + milliseconds(1150));
  ASSERT_EQ(cutter.reports.size(), 5u);
  EXPECT_EQ(cutter.reports[3], "Page 1: 97 bytes, 0 contours, cut 0.00 mm, bounds none");
  EXPECT_EQ(cutter.reports[4].substr(cutter.reports[4].find(';')),
            "; 0.20 s at 0.50 of the line rate; XOFF sent 0 times");

  e.EndJob(t0 + milliseconds(2000));  // no bytes, no job
  EXPECT_EQ(cutter.reports.size(), 5u);
}

TEST(CutterEmulator, SummaryOfACut) {
  EXPECT_EQ(SummariseCut("").Text(), "0 bytes, 0 contours, cut 0.00 mm, bounds none");
  EXPECT_EQ(SummariseCut("PU0,0;PD120,160;PU0,0;PD-40,0;").Text(),
            "30 bytes, 2 contours, cut 6.00 mm, bounds x 0.00 to 4.00 mm, y -1.00 to 3.00 mm");
}
