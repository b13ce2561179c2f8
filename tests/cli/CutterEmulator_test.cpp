#include "cli/CutterEmulator.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using TTime = TCutterEmulator::TTime;
using std::chrono::milliseconds;

const TTime t0 = TTime{} + std::chrono::seconds(1);

// When the count-th byte of a run that began at t0 is done: ten bit times a byte.
TTime doneAt(std::uint64_t count, std::uint32_t baud) {
  return t0 + std::chrono::nanoseconds((count * 10'000'000'000ull + baud - 1) / baud);
}

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
    TCutterEmulator cutter({row.baud, false, 4096}, [](const std::string&) {});
    for (const auto& [ms, count] : row.receipts) cutter.Receive(std::string(count, 'x'), t0 + milliseconds(ms));
    cutter.Advance(t0 + milliseconds(row.advanceMs));
    EXPECT_EQ(cutter.Buffered(), row.buffered) << row.baud << " baud at " << row.advanceMs << " ms";
  }
}

TEST(CutterEmulator, XoffAtThreeQuartersAndXonAtAQuarter) {
  TCutterEmulator e({9600, true, 100}, [](const std::string&) {});
  e.Receive(std::string(74, 'x'), t0);
  EXPECT_FALSE(e.HoldSender());
  e.Receive("x", t0);
  EXPECT_TRUE(e.HoldSender());
  // The wake-up falls on the byte that brings the fill down to a quarter.
  EXPECT_EQ(e.NextWake(), doneAt(50, 9600));
  e.Advance(doneAt(50, 9600) - std::chrono::nanoseconds(1));
  EXPECT_TRUE(e.HoldSender());
  e.Advance(doneAt(50, 9600));
  EXPECT_FALSE(e.HoldSender());
  e.Receive(std::string(50, 'x'), doneAt(50, 9600));
  EXPECT_EQ(e.XoffCount(), 2u);
}

TEST(CutterEmulator, ReportsEachPageAsItIsCutAndTheJobAtItsEnd) {
  std::vector<std::string> reports;
  TCutterEmulator e({9600, true, 4096}, [&](const std::string& line) { reports.push_back(line); });
  // The page end arrives split across two reads; PGX and SPG are no page ends.
  e.Receive("IN;PU0,0;PD40,0;PGX;SPG;P", t0);
  e.Receive("G;PU0,0;PD0,40,40,40;@\nSP1;", t0 + milliseconds(1));
  e.Advance(t0 + milliseconds(28));  // 26 bytes, one short of the first page end
  EXPECT_TRUE(reports.empty());
  e.Advance(t0 + milliseconds(29));
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0], "Page 1: 27 bytes, 1 contour, cut 1.00 mm, bounds x 0.00 to 0.00 mm, y 0.00 to 1.00 mm");

  e.EndJob(t0 + milliseconds(29));
  ASSERT_EQ(reports.size(), 3u);
  // Each page is read on its own; the job as the preview reads it, the origin moved by
  // the page end.
  EXPECT_EQ(reports[1], "Page 2: 21 bytes, 1 contour, cut 2.00 mm, bounds x 0.00 to 1.00 mm, y 0.00 to 1.00 mm");
  EXPECT_EQ(reports[2],
            "End of job: 52 bytes, 2 contours, cut 3.00 mm, bounds x 0.00 to 1.00 mm, y 0.00 to 2.00 mm; 0.05 s at "
            "1.00 of the line rate; XOFF sent 0 times");

  // The next job counts its pages afresh; a gap on the line shows in the rate.
  e.Receive(std::string(48, ' '), t0 + milliseconds(1000));
  e.Receive(std::string(47, ' ') + "@;", t0 + milliseconds(1150));
  e.EndJob(t0 + milliseconds(1150));
  ASSERT_EQ(reports.size(), 5u);
  EXPECT_EQ(reports[3], "Page 1: 97 bytes, 0 contours, cut 0.00 mm, bounds none");
  EXPECT_EQ(reports[4].substr(reports[4].find(';')), "; 0.20 s at 0.50 of the line rate; XOFF sent 0 times");
}
