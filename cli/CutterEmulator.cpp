#include "CutterEmulator.h"

#include "geometry/VirtualCutterPort.h"
#include "platform/NumberText.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr char kEscape = 0x1B;
// Device controls (ESC . and a letter) that take parameters, ended by a colon.
constexpr const char* kWithParameters = "@HIMNST";
constexpr int kInParameters = 3;
// Page-end tokens are at most this long; longer tokens are only known to be longer.
constexpr std::size_t kLongestPageEnd = 3;

std::string Counted(std::size_t Count, const char* Noun) {
  return std::to_string(Count) + " " + Noun + (Count == 1 ? "" : "s");
}

std::string Millimetres(float Value) { return FixedPoint(Value, 2) + " mm"; }

}  // namespace

bool TCutterEmulator::TPageEnds::Feed(char C) {
  if (!TVirtCutterObj::IsSeparator(C)) {
    if (Token.size() <= kLongestPageEnd) Token += C;
    return false;
  }
  const bool pageEnd = Token.size() <= kLongestPageEnd && TVirtCutterObj::IsPageEnd(Token);
  Token.clear();
  return pageEnd;
}

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
    : FSettings(Settings),
      FReport(std::move(Report)),
      FModel({Settings.CutMmPerS, Settings.TravelMmPerS, std::max<std::uint32_t>(Settings.Baud, 1)}, false) {
  FSettings.Baud = std::max<std::uint32_t>(FSettings.Baud, 1);
  FSettings.BufferBytes = std::max<std::size_t>(FSettings.BufferBytes, 1);
}

std::size_t TCutterEmulator::Room() const {
  return FSettings.BufferBytes > Buffered() ? FSettings.BufferBytes - Buffered() : 0;
}

void TCutterEmulator::Receive(std::string_view Bytes, TTime Now, std::string& Kept) {
  if (Bytes.empty()) return;
  Advance(Now);
  for (const char c : Bytes) {
    if (FEscape == kInParameters) {
      // Parameters run to a colon; a byte that can be none ends them and is a job byte.
      if (c == ':') FEscape = 0;
      if (c == ':' || std::string_view("0123456789;+-. ").find(c) != std::string_view::npos) continue;
      FEscape = 0;
    }
    if (FEscape == 2) {
      // The query is answered here, so every byte before it is in the count.
      if (c == 'B') FReplies += std::to_string(Room()) + "\r";
      FEscape = std::string_view(kWithParameters).find(c) != std::string_view::npos ? kInParameters : 0;
      continue;
    }
    if (FEscape == 1) {
      FEscape = 0;
      if (c == '.') {
        FEscape = 2;
        continue;
      }
      Keep(kEscape, Now, Kept);  // an escape that starts no device control is a job byte
    }
    if (c == kEscape) {
      FEscape = 1;
      continue;
    }
    Keep(c, Now, Kept);
  }
  UpdateHold();
}

void TCutterEmulator::Keep(char Byte, TTime Now, std::string& Kept) {
  if (FReceived == 0) FJobStart = FLastDone = Now;
  const std::size_t offset = FReceived++;
  if (Room() == 0) {
    if (FLost++ == 0) FFirstLost = offset;
    if (FArrivingLoss.Count++ == 0) FArrivingLoss.First = offset;
    return;
  }
  // A page's losses are those that happened while it arrived; they are told when it is cut.
  if (FArriving.Feed(Byte)) FPageLosses.push_back(std::exchange(FArrivingLoss, {}));
  FJob += Byte;
  Kept += Byte;
  FModel.Add(Byte, Now);
  UpdateHold();
}

void TCutterEmulator::Advance(TTime Now) {
  for (TCuttingModel::TDone done; (done = FModel.TakeDone(Now)).Bytes > 0;) {
    FPageSeconds += done.Seconds;
    FJobSeconds += done.Seconds;
    FLastDone = done.At;
    Take(done.Bytes);
  }
  UpdateHold();
}

std::string TCutterEmulator::CutAndLoss(double Seconds, std::size_t Lost, std::size_t FirstLost) const {
  std::string text = "; cut time " + FixedPoint(Seconds, 2) + " s; lost " + Counted(Lost, "byte");
  if (Lost > 0) text += " (the first at byte " + std::to_string(FirstLost) + ")";
  return text;
}

void TCutterEmulator::EndJob() {
  if (FReceived == 0) return;
  Advance(TTime::max());
  Take(FModel.DropUnfinished());
  std::string line = "End of job: " + SummariseCut(FJob).Text();
  const double seconds = std::chrono::duration<double>(FLastDone - FJobStart).count();
  const double lineSeconds = static_cast<double>(FJob.size()) * 10.0 / FSettings.Baud;
  if (seconds > 0.0)
    line += "; " + FixedPoint(seconds, 2) + " s at " + FixedPoint(lineSeconds / seconds, 2) + " of the line rate";
  line += CutAndLoss(FJobSeconds, FLost, FFirstLost);
  if (FSettings.XonXoff) line += "; XOFF sent " + Counted(FXoffCount, "time");
  FReport(line);

  FModel.Reset();
  FJob.clear();
  FTaken = FPageStart = 0;
  FPage = 0;
  FArriving = FTaking = {};
  FArrivingLoss = {};
  FPageLosses.clear();
  FPageSeconds = FJobSeconds = 0.0;
  FReceived = FLost = 0;
  FEscape = 0;
  FHold = false;
  FXoffCount = 0;
}

void TCutterEmulator::Take(std::size_t Count) {
  const std::size_t end = FTaken + Count;
  for (std::size_t i = FTaken; i < end; ++i) {
    if (!FTaking.Feed(FJob[i])) continue;
    const std::string_view page = std::string_view(FJob).substr(FPageStart, i + 1 - FPageStart);
    const TLoss loss = FPageLosses.front();
    FPageLosses.pop_front();
    FReport("Page " + std::to_string(++FPage) + ": " + SummariseCut(page).Text() +
            CutAndLoss(FPageSeconds, loss.Count, loss.First));
    FPageStart = i + 1;
    FPageSeconds = 0.0;
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
