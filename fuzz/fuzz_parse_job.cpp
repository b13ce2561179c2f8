// Feeds arbitrary bytes to the PLT interpreter and to the pair reader, and checks what
// must hold for any input: pairs are taken off the front, contours never repeat a
// point, the bounds hold every point, the text always ends with an end of job, and the
// events equal those of a plain reading that builds tokens byte by byte and takes every
// pair with TakeCoordPair (the interpreter itself reads most pairs on a faster path).

#include "geometry/VirtualCutterPort.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void Check(bool Condition) {
  if (!Condition) std::abort();
}

struct TEvent {
  std::int32_t Code;
  TVector2D Point;
  bool operator==(const TEvent&) const = default;
};

std::vector<TEvent> PlainReading(std::string_view Text, bool ResetOrigin) {
  std::vector<TEvent> events;
  if (Text.empty()) return events;
  TVector2D pos, origin;
  bool relative = false;
  std::string token;
  for (char c : Text) {
    if (c != '\n' && c != '\r' && c != ' ' && c != ';') {
      token += c;
      continue;
    }
    const std::string_view t = token;
    if (t.empty()) continue;
    if (t == "SP0" || t == "SP1" || t == "SP2") {
      events.push_back({ceSelectPen, {float(t[2] - '0'), 0.0f}});
    } else if (t == "CMD:10") {
      events.push_back({ceCmd10, pos});
    } else if (t == "FRAME") {
      events.push_back({ceFrame, pos});
    } else if (t == "@" || t == "!PG" || t == "PG") {
      events.push_back({cePageEnd, pos});
      origin = ResetOrigin ? TVector2D{} : pos;
      if (ResetOrigin) pos = {};
    } else {
      if (t.starts_with('A') || t.starts_with("PA")) relative = false;
      else if (t.starts_with('R') || t.starts_with("PR")) relative = true;
      std::size_t skip = 0;
      bool cut = false;
      if (t.starts_with("PU") || t.starts_with("PA")) skip = 2;
      else if (t.starts_with('U')) skip = 1;
      else if (t.starts_with("PD")) cut = true, skip = 2;
      else if (t.starts_with('D')) cut = true, skip = 1;
      std::string_view params = t.substr(skip);
      std::int32_t a, b;
      while (skip && TVirtCutterObj::TakeCoordPair(params, a, b)) {
        TVector2D p{float(b / 40.0), float(a / 40.0)};
        p = relative ? pos + p : p + origin;
        events.push_back({cut ? ceCutMove : cePenUpMove, p});
        pos = p;
      }
    }
    token.clear();
  }
  events.push_back({ceEndOfJob, pos});
  return events;
}

void FuzzCoordPairs(std::string_view Text) {
  std::string_view params = Text;
  while (!params.empty()) {
    const std::size_t before = params.size();
    std::int32_t a, b;
    TVirtCutterObj::TakeCoordPair(params, a, b);
    Check(params.size() < before);
    Check(params.data() + params.size() == Text.data() + Text.size());
  }
}

void FuzzParse(std::string_view Text, bool ResetOrigin) {
  TReleasePtr<TVirtCutterObj> cutter(new TVirtCutterObj);
  cutter->BuildContours = true;
  cutter->ResetOriginOnPage = ResetOrigin;
  std::vector<TEvent> events;
  cutter->OnCutterEvent = [&](std::int32_t Code, TVector2D Point, const std::string& EventText) {
    Check(EventText.empty());
    events.push_back({Code, Point});
    return true;
  };
  cutter->ParseJobText(Text);
  Check(events == PlainReading(Text, ResetOrigin));

  const TSimpleContourList* list = cutter->Contours();
  if (Text.empty()) {
    Check(list == nullptr);
    return;
  }
  Check(list != nullptr);
  const TRect2D bounds = list->GetBounds();
  for (std::ptrdiff_t i = 0; i < list->ContourCount(); ++i) {
    const TSimpleContour* c = list->ContourAt(i);
    Check(c != nullptr && c->PointCount() >= 1 && c->Pen >= 0 && c->Pen <= 2);
    for (std::ptrdiff_t j = 0; j < c->PointCount(); ++j) {
      const TVector2D p = AsVector(c->PointAt(j));
      Check(p.X >= bounds.Left && p.X <= bounds.Right && p.Y >= bounds.Top && p.Y <= bounds.Bottom);
      if (j > 0) Check(!(p == AsVector(c->PointAt(j - 1))));
    }
    Check(c->PointAt(c->PointCount()) == nullptr);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string_view text(reinterpret_cast<const char*>(Data), Size);
  FuzzCoordPairs(text);
  FuzzParse(text, Size % 2 == 0);
  return 0;
}
