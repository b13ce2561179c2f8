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
    std::string kept;
    for (const auto& [ms, count] : row.receipts) cutter.Receive(std::string(count, 'x'), t0 + milliseconds(ms), kept);
    cutter.Advance(t0 + milliseconds(row.advanceMs));
    EXPECT_EQ(cutter.Buffered(), row.buffered) << row.baud << " baud at " << row.advanceMs << " ms";
  }
}

TEST(CutterEmulator, XoffAtThreeQuartersAndXonAtAQuarter) {
  TCutterEmulator e({9600, true, 100}, [](const std::string&) {});
  std::string kept;
  e.Receive(std::string(74, 'x'), t0, kept);
  EXPECT_FALSE(e.HoldSender());
  e.Receive("x", t0, kept);
  EXPECT_TRUE(e.HoldSender());
  EXPECT_EQ(e.NextWake(), doneAt(1, 9600));
  e.Advance(doneAt(50, 9600) - std::chrono::nanoseconds(1));
  EXPECT_TRUE(e.HoldSender());
  e.Advance(doneAt(50, 9600));
  EXPECT_FALSE(e.HoldSender());
  e.Receive(std::string(50, 'x'), doneAt(50, 9600), kept);
  EXPECT_EQ(e.XoffCount(), 2u);
}

TEST(CutterEmulator, ReportsEachPageAsItIsCutAndTheJobAtItsEnd) {
  std::vector<std::string> reports;
  TCutterEmulator e({9600, true, 4096}, [&](const std::string& line) { reports.push_back(line); });
  std::string kept;
  // The page end arrives split across two reads; PGX and SPG are no page ends.
  e.Receive("IN;PU0,0;PD40,0;PGX;SPG;P", t0, kept);
  e.Receive("G;PU0,0;PD0,40,40,40;@\nSP1;", t0 + milliseconds(1), kept);
  e.Advance(t0 + milliseconds(28));  // 26 bytes, one short of the first page end
  EXPECT_TRUE(reports.empty());
  e.Advance(t0 + milliseconds(29));
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0],
            "Page 1: 27 bytes, 1 contour, cut 1.00 mm, bounds x 0.00 to 0.00 mm, y 0.00 to 1.00 mm; cut time 0.03 s; "
            "lost 0 bytes");

  e.EndJob();
  ASSERT_EQ(reports.size(), 3u);
  // Each page is read on its own; the job as the preview reads it, the origin moved by
  // the page end.
  EXPECT_EQ(reports[1],
            "Page 2: 21 bytes, 1 contour, cut 2.00 mm, bounds x 0.00 to 1.00 mm, y 0.00 to 1.00 mm; cut time 0.02 s; "
            "lost 0 bytes");
  EXPECT_EQ(reports[2],
            "End of job: 52 bytes, 2 contours, cut 3.00 mm, bounds x 0.00 to 1.00 mm, y 0.00 to 2.00 mm; 0.05 s at "
            "1.00 of the line rate; cut time 0.05 s; lost 0 bytes; XOFF sent 0 times");

  // The next job counts its pages afresh; a gap on the line shows in the rate.
  e.Receive(std::string(48, ' '), t0 + milliseconds(1000), kept);
  e.Receive(std::string(47, ' ') + "@;", t0 + milliseconds(1150), kept);
  e.EndJob();
  ASSERT_EQ(reports.size(), 5u);
  EXPECT_EQ(reports[3], "Page 1: 97 bytes, 0 contours, cut 0.00 mm, bounds none; cut time 0.10 s; lost 0 bytes");
  EXPECT_EQ(reports[4].substr(reports[4].find(';')),
            "; 0.20 s at 0.50 of the line rate; cut time 0.10 s; lost 0 bytes; XOFF sent 0 times");
}

TEST(CutterEmulator, LosesWhatFindsTheBufferFullAndSaysWhereItBegan) {
  std::vector<std::string> reports;
  // 1 mm at 10 mm/s: each command holds the buffer for a tenth of a second.
  TCutterEmulator e({9600, false, 20, 10.0, 10.0}, [&](const std::string& line) { reports.push_back(line); });
  std::string kept;
  e.Receive("PD40,0;PD0,0;PD40,0;PD0,0;", t0, kept);  // 26 bytes into 20
  EXPECT_EQ(kept, "PD40,0;PD0,0;PD40,0;");
  EXPECT_EQ(e.LostBytes(), 6u);
  EXPECT_EQ(e.Buffered(), 20u);
  // The first command leaves when its move is done, and only then.
  e.Advance(t0 + milliseconds(99));
  EXPECT_EQ(e.Buffered(), 20u);
  e.Advance(t0 + milliseconds(100));
  EXPECT_EQ(e.Buffered(), 13u);
  e.Receive("@;", t0 + milliseconds(100), kept);
  e.EndJob();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].substr(reports[0].find(';')), "; cut time 0.30 s; lost 6 bytes (the first at byte 20)");
  EXPECT_EQ(reports[1].substr(reports[1].find("; cut")), "; cut time 0.30 s; lost 6 bytes (the first at byte 20)");
}

TEST(CutterEmulator, AnswersTheBufferQueryBehindEveryEarlierByteAndKeepsItOutOfTheJob) {
  TCutterEmulator e({9600, false, 100, 10.0, 10.0}, [](const std::string&) {});
  std::string kept;
  // The query comes in the same read as a command and is answered after it.
  e.Receive("PD40,0;\x1b.B", t0, kept);
  EXPECT_EQ(e.TakeReplies(), "93\r");
  EXPECT_EQ(e.TakeReplies(), "");
  EXPECT_EQ(e.Buffered(), 7u);
  // Split across reads, answered once done; an escape that starts no query is a job byte.
  e.Receive("\x1b", t0 + milliseconds(100), kept);
  e.Receive(".", t0 + milliseconds(100), kept);
  EXPECT_EQ(e.TakeReplies(), "");
  e.Receive("B\x1bX;", t0 + milliseconds(100), kept);
  EXPECT_EQ(e.TakeReplies(), "100\r");
  EXPECT_EQ(kept, "PD40,0;\x1bX;");
  // A full buffer answers 0; the query itself is never lost.
  e.Receive(std::string(200, ' ') + "\x1b.B", t0 + milliseconds(100), kept);
  EXPECT_EQ(e.TakeReplies(), "0\r");
}

TEST(CutterEmulator, WorksOffAPolylineLongerThanItsBufferPairByPairInEitherCase) {
  for (const std::string pd : {"PD", "pd"}) {
    std::vector<std::string> reports;
    // 1 mm a pair at 10 mm/s: a pair of 5 bytes each 0.1 s, as fast as the bytes come.
    TCutterEmulator e({9600, false, 20, 10.0, 10.0}, [&](const std::string& line) { reports.push_back(line); });
    std::string job = "PR;" + pd;
    for (int i = 0; i < 40; ++i) job += "40,0,";
    job.back() = ';';
    std::string kept;
    for (std::size_t k = 0; k < job.size(); ++k) e.Receive(job.substr(k, 1), t0 + milliseconds(20 * k), kept);
    EXPECT_EQ(e.LostBytes(), 0u) << pd;
    EXPECT_EQ(kept, job);
    e.EndJob();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("; cut time 4.00 s; lost 0 bytes"), std::string::npos) << reports[0];
  }
}

TEST(CutterEmulator, KeepsDeviceControlsWithTheirParametersOutOfTheJob) {
  TCutterEmulator e({9600, false, 100, 10.0, 10.0}, [](const std::string&) {});
  std::string kept;
  // Parameters run to a colon; a byte that cannot be one ends them and is a job byte.
  e.Receive("\x1b.@;0:IN;\x1b.I81;;17:\x1b.N;19:\x1b.B\x1b.MPU0,0;", t0, kept);
  EXPECT_EQ(kept, "IN;PU0,0;");
  EXPECT_EQ(e.TakeReplies(), "97\r");
}
