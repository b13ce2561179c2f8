#include "VirtualCutterPort.h"

#include <limits>

namespace {

const std::string kNoText;

bool IsSeparator(char C) {
  constexpr std::uint64_t mask = (1ull << '\n') | (1ull << '\r') | (1ull << ' ') | (1ull << ';');
  const auto b = static_cast<unsigned char>(C);
  return b < 64 && ((mask >> b) & 1u) != 0;
}

int DigitValue(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return 99;
}

// Blanks, sign, then decimal digits or hexadecimal after "$", "x" or "0x". Stops at the
// first digit that leaves the 32-bit range, so a long run of digits costs no more
// than reading it.
bool ParseInt32(std::string_view S, std::int32_t& Value) {
  std::size_t i = 0;
  const std::size_t n = S.size();
  while (i < n && S[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (S[i] == '+' || S[i] == '-')) negative = S[i++] == '-';
  int base = 10;
  if (i < n && (S[i] == '$' || S[i] == 'x' || S[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < n && S[i] == '0' && (S[i + 1] == 'x' || S[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == n) return false;
  const std::uint64_t limit = negative ? 2147483648ull : 2147483647ull;
  std::uint64_t magnitude = 0;
  for (; i < n; ++i) {
    const int d = DigitValue(S[i]);
    if (d >= base) return false;
    magnitude = magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(d);
    if (magnitude > limit) return false;
  }
  Value = static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(magnitude)
                                             : static_cast<std::int64_t>(magnitude));
  return true;
}

}  // namespace

void TVirtCutterObj::SetContours(std::unique_ptr<TSimpleContourList> List) {
  if (List.get() == FContours.get()) {
    (void)List.release();  // already ours
    return;
  }
  FCurrentContour = nullptr;
  FContours = std::move(List);
}

void TVirtCutterObj::ParseJobText(std::string_view Text) {
  if (Text.empty()) return;
  FCurrentContour = nullptr;
  bool relativeMode = false;
  std::size_t tokenStart = 0;
  for (std::size_t i = 0; i < Text.size(); ++i) {
    if (!IsSeparator(Text[i])) continue;
    if (i > tokenStart) InterpretToken(Text.substr(tokenStart, i - tokenStart), relativeMode);
    tokenStart = i + 1;
  }
  RaiseCutterEvent(ceEndOfJob, CurrentPos, kNoText);
}

void TVirtCutterObj::InterpretToken(std::string_view Token, bool& RelativeMode) {
  if (Token.size() == 3 && Token.starts_with("SP") && Token[2] >= '0' && Token[2] <= '2') {
    const std::int32_t pen = Token[2] - '0';
    RaiseCutterEvent(ceSelectPen, {static_cast<float>(pen), 0.0f}, kNoText);
    PenNumber = pen;
    return;
  }
  if (Token == "CMD:10") {
    RaiseCutterEvent(ceCmd10, CurrentPos, kNoText);
    return;
  }
  if (Token == "FRAME") {
    RaiseCutterEvent(ceFrame, CurrentPos, kNoText);
    return;
  }
  if (Token == "@" || Token == "!PG" || Token == "PG") {
    RaiseCutterEvent(cePageEnd, CurrentPos, kNoText);
    if (ResetOriginOnPage) {
      PageOrigin = {};
      CurrentPos = {};
    } else {
      PageOrigin = CurrentPos;
    }
    return;
  }

  if (Token.starts_with('A') || Token.starts_with("PA"))
    RelativeMode = false;
  else if (Token.starts_with('R') || Token.starts_with("PR"))
    RelativeMode = true;

  // The cut flag belongs to the token alone; tokens not listed here take no numbers.
  bool cut;
  std::size_t skip;
  if (Token.starts_with("PU") || Token.starts_with("PA")) {
    cut = false;
    skip = 2;
  } else if (Token.starts_with('U')) {
    cut = false;
    skip = 1;
  } else if (Token.starts_with("PD")) {
    cut = true;
    skip = 2;
  } else if (Token.starts_with('D')) {
    cut = true;
    skip = 1;
  } else {
    return;
  }

  std::string_view params = Token.substr(skip);
  std::int32_t a, b;
  while (TakeCoordPair(params, a, b)) {
    // The first number runs along Y, the second along X.
    TVector2D p{static_cast<float>(b / UnitsPerMm), static_cast<float>(a / UnitsPerMm)};
    p = RelativeMode ? CurrentPos + p : p + PageOrigin;
    RaiseCutterEvent(cut ? ceCutMove : cePenUpMove, p, kNoText);
    CurrentPos = p;
  }
}

bool TVirtCutterObj::RaiseCutterEvent(std::int32_t Code, TVector2D Point,
                                      const std::string& Text) {
  if (BuildContours) {
    if (!FContours) FContours = std::make_unique<TSimpleContourList>();
    switch (Code) {
      case cePenUpMove:
      case ceEndOfJob:
      case ceSelectPen:
        FCurrentContour = nullptr;
        break;
      case ceCutMove:
        if (!FCurrentContour) {
          auto contour = std::make_unique<TSimpleContour>();
          contour->Pen = PenNumber;
          contour->AddPoint(CurrentPos.X, CurrentPos.Y);
          FCurrentContour = contour.get();
          FContours->AddContour(std::move(contour));
        }
        FCurrentContour->AddPoint(Point.X, Point.Y);
        break;
      default:  // page ends and cutter commands leave the open contour open
        break;
    }
  }
  return OnCutterEvent ? OnCutterEvent(Code, Point, Text) : true;
}

bool TVirtCutterObj::TakeCoordPair(std::string_view& ParamText, std::int32_t& A,
                                   std::int32_t& B) {
  if (ParamText.empty()) return false;
  // Everything before the first comma is the first number, everything up to the next
  // comma the second; the scan stops at the first non-comma after the second comma.
  std::string_view first = ParamText, second;
  std::size_t stop = ParamText.size();
  const std::size_t comma1 = ParamText.find(',');
  if (comma1 != std::string_view::npos) {
    first = ParamText.substr(0, comma1);
    const std::size_t comma2 = ParamText.find(',', comma1 + 1);
    second = ParamText.substr(comma1 + 1, comma2 == std::string_view::npos
                                              ? std::string_view::npos
                                              : comma2 - comma1 - 1);
    if (comma2 != std::string_view::npos) {
      stop = ParamText.find_first_not_of(',', comma2);
      if (stop == std::string_view::npos) stop = ParamText.size();
    }
  }
  ParamText.remove_prefix(stop);
  std::int32_t a, b;
  if (first.empty() || second.empty() || !ParseInt32(first, a) || !ParseInt32(second, b))
    return false;
  A = a;
  B = b;
  return true;
}
