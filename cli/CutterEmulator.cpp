#include "CutterEmulator.h"

#include "geometry/VirtualCutterPort.h"
#include "platform/NumberText.h"

#include <algorithm>
#include <cmath>

namespace {

// Nanoseconds a byte of 10 bits takes, times the baud rate.
constexpr std::uint64_t kByteNsTimesBaud = 10'000'000'000ull;
// Page-end tokens are at most this long; longer tokens are only known to be longer.
constexpr std::size_t kLongestPageEnd = 3;

std::string Counted(std::size_t Count, const char* Noun) {
  return std::to_string(Count) + " " + Noun + (Count == 1 ? "" : "s");
}

std::string Millimetres(float Value) { return FixedPoint(Value, 2) + " mm"; }

}  // namespace

std::string TCutSummary::Text() const {
  std::string text = Counted(Bytes, "byte") + ", " + Counted(static_cast<std::size_t>(Contours), "contour") + ", cut " +
                     FixedPoint(CutLengthMm, 2) + " mm, bounds ";
  if (Bounds == EmptyRect2D) return text + "none";
  return text + "x " + FixedPoint(Bounds.Left, 2) + " to " + Millimetres(Bounds.Right) + ", y " +
         FixedPoint(Bounds.Top, 2) + " to " + Millimetres(Bounds.Bottom);
}

TCutSummary SummariseCut(std::string_view Text) {
  TCutSummary summary;
  summary.Bytes = Text.size();
  TReleasePtr<TVirtCutterObj> cutter(new TVirtCutterObj);
  cutter->BuildContours = true;
  cutter->ParseJobText(Text);
  const TSimpleContourList* list = cutter->Contours();
  if (!list || list->ContourCount() == 0) return summary;
  summary.Contours = list->ContourCount();
  for (std::ptrdiff_t i = 0; i < summary.Contours; ++i) {
    const std::span<const TSimplePt> points = list->ContourAt(i)->Points();
    for (std::size_t k = 1; k < points.size(); ++k)
      summary.CutLengthMm += std::hypot(double{points[k].X} - points[k - 1].X, double{points[k].Y} - points[k - 1].Y);
  }
  summary.Bounds = list->GetBounds();
  return summary;
}

TCutterEmulator::TCutterEmulator(const TSettings& Settings, TReport Report)
    : FSettings(Settings), FReport(std::move(Report)) {
  FSettings.Baud = std::max<std::uint32_t>(FSettings.Baud, 1);
  FSettings.BufferBytes = std::max<std::size_t>(FSettings.BufferBytes, 1);
}

std::size_t TCutterEmulator::Room() const {
  return FSettings.BufferBytes > Buffered() ? FSettings.BufferBytes - Buffered() : 0;
}

TCutterEmulator::TTime TCutterEmulator::DoneAt(std::uint64_t Count) const {
  // Exact for any run length: a run at 115200 baud passes 2^63 ns times the baud rate
  // within a day.
  const unsigned __int128 ns =
      (static_cast<unsigned __int128>(Count) * kByteNsTimesBaud + FSettings.Baud - 1) / FSettings.Baud;
  return FRunStart + std::chrono::nanoseconds(static_cast<std::int64_t>(ns));
}

void TCutterEmulator::Receive(std::string_view Bytes, TTime Now) {
  if (Bytes.empty()) return;
  Advance(Now);
  if (FJob.empty()) FJobStart = Now;
  // A line that fell idle starts a new run; bytes that join a busy buffer wait their turn.
  if (Buffered() == 0) {
    FRunStart = Now;
    FRunTaken = 0;
  }
  FJob.append(Bytes);
  UpdateHold();
}

void TCutterEmulator::Advance(TTime Now) {
  if (Buffered() == 0 || Now <= FRunStart) return;
  const auto elapsed = static_cast<std::uint64_t>(std::chrono::nanoseconds(Now - FRunStart).count());
  const auto due =
      static_cast<std::uint64_t>(static_cast<unsigned __int128>(elapsed) * FSettings.Baud / kByteNsTimesBaud);
  if (due <= FRunTaken) return;
  const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(due - FRunTaken, Buffered()));
  FRunTaken += count;
  FLastDone = DoneAt(FRunTaken);
  Take(count);
  UpdateHold();
}

TCutterEmulator::TTime TCutterEmulator::NextWake() const {
  const std::size_t fill = Buffered();
  if (fill == 0) return TTime::max();
  std::size_t count = fill;  // until the buffer is empty
  if (FHold)
    count = fill - FSettings.BufferBytes / 4;  // until XON is due
  else if (Room() == 0)
    count = std::max<std::size_t>(1, FSettings.BufferBytes / 4);  // room worth a read
  count = std::min<std::size_t>(count, std::max<std::uint32_t>(1, FSettings.Baud / 100));
  return DoneAt(FRunTaken + count);
}

void TCutterEmulator::EndJob(TTime Now) {
  if (FJob.empty()) return;
  Advance(std::max(Now, DoneAt(FRunTaken + Buffered())));
  std::string line = "End of job: " + SummariseCut(FJob).Text();
  const double seconds = std::chrono::duration<double>(FLastDone - FJobStart).count();
  const double lineSeconds = static_cast<double>(FJob.size()) * 10.0 / FSettings.Baud;
  line += "; " + FixedPoint(seconds, 2) + " s at " + FixedPoint(lineSeconds / seconds, 2) + " of the line rate";
  if (FSettings.XonXoff) line += "; XOFF sent " + Counted(FXoffCount, "time");
  FReport(line);

  FJob.clear();
  FTaken = FPageStart = 0;
  FPage = 0;
  FToken.clear();
  FRunTaken = 0;
  FHold = false;
  FXoffCount = 0;
}

void TCutterEmulator::Take(std::size_t Count) {
  const std::size_t end = FTaken + Count;
  for (std::size_t i = FTaken; i < end; ++i) {
    const char c = FJob[i];
    if (!TVirtCutterObj::IsSeparator(c)) {
      if (FToken.size() <= kLongestPageEnd) FToken += c;
      continue;
    }
    if (FToken.size() <= kLongestPageEnd && TVirtCutterObj::IsPageEnd(FToken)) {
      const std::string_view page = std::string_view(FJob).substr(FPageStart, i + 1 - FPageStart);
      FReport("Page " + std::to_string(++FPage) + ": " + SummariseCut(page).Text());
      FPageStart = i + 1;
    }
    FToken.clear();
  }
  FTaken = end;
}

void TCutterEmulator::UpdateHold() {
  if (!FSettings.XonXoff) return;
  const std::size_t fill = Buffered(), size = FSettings.BufferBytes;
  if (!FHold && fill * 4 >= size * 3) {
    FHold = true;
    ++FXoffCount;
  } else if (FHold && fill * 4 <= size) {
    FHold = false;
  }
}
