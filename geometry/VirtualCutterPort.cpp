#include "VirtualCutterPort.h"

#include <bit>
#include <cstring>
#include <limits>

namespace {

const std::string kNoText;

// Marks the bytes of W that equal C. The lowest mark is exact (higher ones may be
// borrow artefacts), which is all FindSeparator needs.
constexpr std::uint64_t MarkByte(std::uint64_t W, char C) {
  constexpr std::uint64_t ones = 0x0101010101010101ull;
  const std::uint64_t x = W ^ (ones * static_cast<unsigned char>(C));
  return (x - ones) & ~x & (ones << 7);
}

// The first separator in [P, End), or End. Tokens are long in real jobs, so the scan
// looks at eight bytes at a time.
const char* FindSeparator(const char* P, const char* End) {
  if constexpr (std::endian::native == std::endian::little) {
    while (End - P >= 8) {
      std::uint64_t w;
      std::memcpy(&w, P, sizeof w);
      const std::uint64_t marks =
          MarkByte(w, '\n') | MarkByte(w, '\r') | MarkByte(w, ' ') | MarkByte(w, ';');
      if (marks) return P + (std::countr_zero(marks) >> 3);
      P += 8;
    }
  }
  while (P != End && !TVirtCutterObj::IsSeparator(*P)) ++P;
  return P;
}

// Two-letter commands that draw or cut what the interpreter does not read: arcs,
// circles, rectangles, wedges, curves and encoded polylines.
constexpr std::string_view kUnreadShapes[] = {"AA", "AR", "AT", "CI", "EA", "ER", "RA",
                                              "RR", "EW", "WG", "BZ", "BR", "PE"};

char Upper(char C) { return C >= 'a' && C <= 'z' ? static_cast<char>(C - 'a' + 'A') : C; }

// The first byte of a number: where a coordinate begins.
bool StartsNumber(char C) { return (C >= '0' && C <= '9') || C == '+' || C == '-' || C == '.'; }

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

// One number text of a pair, read up to the next comma. Plain decimal digits (the
// usual case) are converted on the way; anything else is left to ParseInt32.
struct TField {
  std::string_view Text;
  bool Plain = false;
  std::uint32_t Value = 0;
};

TField ScanField(const char*& P, const char* End) {
  const char* start = P;
  std::uint64_t value = 0;
  bool digitsOnly = true;
  for (; P != End && *P != ','; ++P) {
    const unsigned d = static_cast<unsigned char>(*P) - unsigned{'0'};
    digitsOnly &= d <= 9;
    value = value * 10 + d;
  }
  const auto length = static_cast<std::size_t>(P - start);
  TField f{{start, length}, false, 0};
  if (digitsOnly && length > 0 && length <= 10 && value <= 2147483647u) {
    f.Plain = true;
    f.Value = static_cast<std::uint32_t>(value);
  }
  return f;
}

// The usual pair of a long polyline: two fields of one to seven decimal digits, each
// followed by a comma. Each field is read from one 8-byte window without a branch per
// digit (whose mispredicted exit would cost more than the digits). Answers the bytes
// the field takes with its comma, or 0 (for anything else, or too near Limit).
std::size_t FastField(const char* P, const char* Limit, std::uint32_t& Value) {
  if constexpr (std::endian::native != std::endian::little) return 0;
  if (Limit - P < 8) return 0;
  std::uint64_t w;
  std::memcpy(&w, P, sizeof w);
  constexpr std::uint64_t high = 0xF0F0F0F0F0F0F0F0ull, zeros = 0x3030303030303030ull;
  // A byte is a digit when its high nibble is 3 and adding 6 does not carry out of
  // its low nibble. Carries only run upwards, so the lowest non-digit is exact.
  const std::uint64_t other =
      ((w & high) ^ zeros) | (((w + 0x0606060606060606ull) & high) ^ zeros);
  if (other == 0) return 0;
  const int length = std::countr_zero(other) >> 3;
  if (length == 0 || static_cast<char>(w >> (8 * length)) != ',') return 0;
  // Right-align the digits (leading zero digits fill in) and combine them pairwise.
  std::uint64_t d = (w ^ zeros) << (8 * (8 - length));
  d = ((d & 0x0F0F0F0F0F0F0F0Full) * 2561) >> 8;
  d = ((d & 0x00FF00FF00FF00FFull) * 6553601) >> 16;
  d = ((d & 0x0000FFFF0000FFFFull) * 42949672960001ull) >> 32;
  Value = static_cast<std::uint32_t>(d);
  return static_cast<std::size_t>(length) + 1;
}

// Takes what TakeCoordPair would take from P when the pair is two fast fields; the
// bytes taken are digits and commas, so they never run past the token's separator.
bool TakeFastPair(const char*& P, const char* Limit, std::int32_t& A, std::int32_t& B) {
  std::uint32_t a, b;
  const std::size_t first = FastField(P, Limit, a);
  if (first == 0) return false;
  const std::size_t second = FastField(P + first, Limit, b);
  if (second == 0) return false;
  const char* q = P + first + second;
  while (q != Limit && *q == ',') ++q;
  P = q;
  A = static_cast<std::int32_t>(a);
  B = static_cast<std::int32_t>(b);
  return true;
}

bool FieldValue(const TField& F, std::int32_t& Value) {
  if (F.Plain) {
    Value = static_cast<std::int32_t>(F.Value);
    return true;
  }
  return !F.Text.empty() && ParseInt32(F.Text, Value);
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
  BeginParse(Text);
  while (ParseSome(std::numeric_limits<std::size_t>::max())) {
  }
}

void TVirtCutterObj::BeginParse(std::string_view Text) {
  FText = Text;
  FParsing = !Text.empty();
  if (!FParsing) return;
  FCurrentContour = nullptr;
  FUnread = {};
  FTextStart = Text.data();
  FPenDown = false;
  FParamsContinue = false;
  FRelativeMode = false;
  FParsed = Text.data();
  // A token left open at the end is not interpreted, so for the parser the text ends
  // at its last separator. Every token it meets is then complete, and pairs can be
  // taken as they are read.
  FLimit = Text.data() + Text.size();
  while (FLimit != FParsed && !IsSeparator(FLimit[-1])) --FLimit;
}

double TVirtCutterObj::ParseProgress() const {
  if (!FParsing) return 1.0;
  return static_cast<double>(FParsed - FText.data()) / static_cast<double>(FText.size());
}

bool TVirtCutterObj::ParseSome(std::size_t Bytes) {
  if (!FParsing) return false;
  const char* p = FParsed;
  const char* const limit = FLimit;
  const char* const stop = static_cast<std::size_t>(limit - p) > Bytes ? p + Bytes : limit;
  bool relativeMode = FRelativeMode;
  p = InterpretUpTo(p, stop, limit, relativeMode);
  FParsed = p;
  FRelativeMode = relativeMode;
  if (p != limit) return true;
  FParsing = false;
  // A cutter would still carry out an open last command; only a cut or an unread one
  // changes the picture.
  if (const std::string_view tail(limit, static_cast<std::size_t>(FText.data() + FText.size() - limit));
      !tail.empty()) {
    const bool cut =
        (tail.starts_with("PD") && tail.size() > 2) || (tail[0] == 'D' && tail.size() > 1 && StartsNumber(tail[1]));
    if (cut || LeftOut(tail)) NoteUnread(tail);
  }
  RaiseCutterEvent(ceEndOfJob, CurrentPos, kNoText);
  if (FContours) FContours->Compact();
  return false;
}

const char* TVirtCutterObj::InterpretUpTo(const char* P, const char* Stop, const char* Limit, bool& RelativeMode) {
  while (P < Stop) {
    if (!IsSeparator(*P)) {
      P = InterpretToken(P, Limit, RelativeMode);
    } else {
      if (*P == ';') FParamsContinue = false;
      ++P;
    }
  }
  return P;
}

const char* TVirtCutterObj::InterpretToken(const char* Token, const char* Limit,
                                           bool& RelativeMode) {
  // Only moves take numbers, and no other command begins like one, so two bytes tell a
  // move (the token's separator follows its first byte at the earliest).
  bool cut;
  std::size_t skip;
  if (Token[0] == 'P' && (Token[1] == 'U' || Token[1] == 'A')) {
    cut = false;
    skip = 2;
  } else if (Token[0] == 'U') {
    cut = false;
    skip = 1;
  } else if (Token[0] == 'P' && Token[1] == 'D') {
    cut = true;
    skip = 2;
  } else if (Token[0] == 'D') {
    cut = true;
    skip = 1;
  } else {
    const char* end = FindSeparator(Token, Limit);
    const std::string_view token(Token, static_cast<std::size_t>(end - Token));
    if (LeftOut(token)) NoteUnread(token);
    InterpretCommand(token, RelativeMode);
    return end;
  }
  // The pen as a cutter keeps it: a PA with pairs while it is down cuts there, which the
  // contours do not show. U and D count only as moves (not DF, DT, UL and the like).
  if (Token[0] == 'P') {
    if (Token[1] == 'A' && FPenDown && !IsSeparator(Token[2]))
      NoteUnread({Token, static_cast<std::size_t>(FindSeparator(Token, Limit) - Token)});
    else if (Token[1] != 'A')
      FPenDown = cut;
  } else if (IsSeparator(Token[1]) || StartsNumber(Token[1]) || Token[1] == ',') {
    FPenDown = cut;
  }
  FParamsContinue = true;
  if (Token[0] == 'P' && Token[1] == 'A') RelativeMode = false;  // the other moves keep it

  const char* p = Token + skip;
  std::int32_t a, b;
  while (TakeFastPair(p, Limit, a, b)) Move(a, b, cut, RelativeMode);
  const char* end = FindSeparator(p, Limit);
  std::string_view params(p, static_cast<std::size_t>(end - p));
  // A pair that is not two integers ends the token.
  while (TakeCoordPair(params, a, b)) Move(a, b, cut, RelativeMode);
  return end;
}

void TVirtCutterObj::InterpretCommand(std::string_view Token, bool& RelativeMode) {
  if (Token.size() == 3 && Token.starts_with("SP") && Token[2] >= '0' && Token[2] <= '2') {
    const std::int32_t pen = Token[2] - '0';
    RaiseCutterEvent(ceSelectPen, {static_cast<float>(pen), 0.0f}, kNoText);
    PenNumber = pen;
  } else if (Token == "CMD:10") {
    RaiseCutterEvent(ceCmd10, CurrentPos, kNoText);
  } else if (Token == "FRAME") {
    RaiseCutterEvent(ceFrame, CurrentPos, kNoText);
  } else if (IsPageEnd(Token)) {
    RaiseCutterEvent(cePageEnd, CurrentPos, kNoText);
    if (ResetOriginOnPage) {
      PageOrigin = {};
      CurrentPos = {};
    } else {
      PageOrigin = CurrentPos;
    }
  } else if (Token.starts_with('A')) {
    RelativeMode = false;
  } else if (Token.starts_with('R') || Token.starts_with("PR")) {
    RelativeMode = true;  // PR, R and A take no numbers
  }
}

bool TVirtCutterObj::LeftOut(std::string_view Token) {
  // Numbers after a pen or move command with only blanks or line breaks between: the
  // cutter reads them as its further pairs.
  if (StartsNumber(Token[0])) return FParamsContinue;
  const char first = Upper(Token[0]), second = Token.size() > 1 ? Upper(Token[1]) : '\0';
  const bool hasPairs = Token.size() > 2;
  if (first == 'P' && (second == 'U' || second == 'D' || second == 'A' || second == 'R')) {
    const bool wasDown = FPenDown;
    if (second != 'A' && second != 'R') FPenDown = second == 'D';
    FParamsContinue = true;
    const bool lowerCase = Token[0] != 'P' || Token[1] != second;
    return lowerCase || ((second == 'A' || second == 'R') && hasPairs && wasDown);
  }
  FParamsContinue = false;
  const char letters[] = {first, second};
  const std::string_view mnemonic(letters, 2);
  for (const std::string_view shape : kUnreadShapes)
    if (mnemonic == shape) return true;
  // The one-letter moves with pairs, which the interpreter takes for mode changes alone.
  return (Token[0] == 'A' || Token[0] == 'R') && Token.size() > 1 && StartsNumber(Token[1]) && FPenDown;
}

void TVirtCutterObj::NoteUnread(std::string_view Token) {
  if (FUnread.Count++ == 0) {
    FUnread.FirstOffset = static_cast<std::size_t>(Token.data() - FTextStart);
    FUnread.FirstToken = Token.substr(0, TUnreadCommands::kShownToken);
    FUnread.FirstLength = Token.size();
  }
}

void TVirtCutterObj::Move(std::int32_t A, std::int32_t B, bool Cut, bool RelativeMode) {
  // The first number runs along Y, the second along X.
  TVector2D p{static_cast<float>(B / UnitsPerMm), static_cast<float>(A / UnitsPerMm)};
  p = RelativeMode ? CurrentPos + p : p + PageOrigin;
  RaiseCutterEvent(Cut ? ceCutMove : cePenUpMove, p, kNoText);
  CurrentPos = p;
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
          FCurrentContour = FContours->StartContour();
          FCurrentContour->Pen = PenNumber;
          FCurrentContour->AddPoint(CurrentPos.X, CurrentPos.Y);
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
  const char* p = ParamText.data();
  const char* const end = p + ParamText.size();
  const TField first = ScanField(p, end);
  TField second;
  if (p != end) {
    second = ScanField(++p, end);
    while (p != end && *p == ',') ++p;
  }
  ParamText = {p, static_cast<std::size_t>(end - p)};
  std::int32_t a, b;
  if (!FieldValue(first, a) || !FieldValue(second, b)) return false;
  A = a;
  B = b;
  return true;
}
