#include "HpglReader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>
#include <utility>

namespace {

constexpr double kUnitsPerMm = 40.0;
constexpr double kDefaultChordDegrees = 5.0;
constexpr char kLabelEnd = 0x03;
// A longer number reaches no place on a cutter; its further digits are not kept.
constexpr std::size_t kLongestNumber = 24;
// An arc of more turns than this is read as this many.
constexpr double kLongestArcDegrees = 3600.0;
// PE digits beyond this weight are dropped, as no coordinate needs them.
constexpr unsigned long long kHeaviestDigit = 1ull << 48;

bool IsLetter(char C) { return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z'); }
bool IsDigit(char C) { return C >= '0' && C <= '9'; }
char Upper(char C) { return C >= 'a' && C <= 'z' ? static_cast<char>(C - 'a' + 'A') : C; }

// The length of an arc of Radius through Degrees drawn as equal chords of at most ChordDegrees.
double ChordsLength(double Radius, double Degrees, double ChordDegrees) {
  Degrees = std::min(std::abs(Degrees), kLongestArcDegrees);
  ChordDegrees = std::clamp(std::abs(ChordDegrees), 0.5, 180.0);
  if (Degrees == 0.0 || !std::isfinite(Radius)) return 0.0;
  const double chords = std::max(1.0, std::ceil(Degrees / ChordDegrees - 1e-9));
  return chords * 2.0 * Radius * std::sin(Degrees / chords / 2.0 * std::numbers::pi / 180.0);
}

}  // namespace

bool THpglReader::Read(char Byte, THpglStep& Step) {
  Step = {};
  switch (FState) {
    case TState::Between:
      if (!IsLetter(Byte)) return true;  // a separator or a stray byte: done with at once
      BeginMnemonic(Byte);
      return false;
    case TState::Mnemonic:
      if (IsLetter(Byte)) {
        FMnemonic = {Upper(FFirst), Upper(Byte)};
        FCount = 0;
        FNumber.clear();
        if (FMnemonic == "PU" || FMnemonic == "PD") FDown = FMnemonic[1] == 'D';
        if (FMnemonic == "PA" || FMnemonic == "PR") FRelative = FMnemonic[1] == 'R';
        if (FMnemonic == "PE") {
          FEncoded = 0;
          FWeight = 1;
          FSevenBit = FEncodedUp = FEncodedAbsolute = false;
          FEncodedFlag = 0;
          FFractionBits = 0;
          FState = TState::Encoded;
        } else if (FMnemonic == "LB") {
          FState = TState::Label;
        } else {
          static constexpr const char* kRead[] = {"PU", "PD", "PA", "PR", "CI", "AA", "AR", "VS", "IN", "DF"};
          FState = std::find(std::begin(kRead), std::end(kRead), FMnemonic) != std::end(kRead) ? TState::Numbers
                                                                                                   : TState::Skip;
        }
        return false;
      }
      FState = TState::Skip;  // a letter alone makes no command
      [[fallthrough]];
    case TState::Skip:
      Step.Read = false;
      if (Byte == ';' || Byte == '\r' || Byte == '\n') FState = TState::Between;
      if (IsLetter(Byte)) BeginMnemonic(Byte);
      return true;
    case TState::Label:
      Step.Read = false;
      if (Byte == kLabelEnd) FState = TState::Between;
      return true;
    case TState::Numbers:
      return ReadNumbers(Byte, Step);
    case TState::Encoded:
      return ReadEncoded(static_cast<unsigned char>(Byte), Step);
  }
  return true;
}

void THpglReader::BeginMnemonic(char Byte) {
  FFirst = Byte;
  FState = TState::Mnemonic;
}

bool THpglReader::ReadNumbers(char Byte, THpglStep& Step) {
  if (IsDigit(Byte) || Byte == '.') {
    if (FNumber.size() < kLongestNumber) FNumber += Byte;
    return false;
  }
  const bool moved = EndNumber(Step);
  if (Byte == '+' || Byte == '-') {
    FNumber = Byte;
    return moved;
  }
  if (Byte != ';' && !IsLetter(Byte)) return moved;  // commas, blanks and line breaks separate
  EndCommand(Step);
  FState = TState::Between;
  if (IsLetter(Byte)) BeginMnemonic(Byte);
  return true;
}

bool THpglReader::EndNumber(THpglStep& Step) {
  if (FNumber.empty()) return false;
  const bool negative = FNumber[0] == '-';
  const std::size_t digits = FNumber[0] == '-' || FNumber[0] == '+' ? 1 : 0;
  double value = 0.0;
  const auto [end, error] =
      std::from_chars(FNumber.data() + digits, FNumber.data() + FNumber.size(), value, std::chars_format::fixed);
  const bool whole = error == std::errc() && end == FNumber.data() + FNumber.size();
  FNumber.clear();
  if (!whole) return false;  // a sign or a point alone
  if (negative) value = -value;
  const bool pairs = FMnemonic[0] == 'P';  // PU, PD, PA and PR move pair by pair
  if (FCount < 4) FNumbers[FCount] = value;
  ++FCount;
  if (!pairs || FCount < 2) return false;
  FCount = 0;
  MoveTo(FNumbers[0] + (FRelative ? FX : 0.0), FNumbers[1] + (FRelative ? FY : 0.0), FDown, Step);
  return true;
}

void THpglReader::EndCommand(THpglStep& Step) {
  const int count = std::exchange(FCount, 0);
  const double chord = count >= 4 ? FNumbers[3] : kDefaultChordDegrees;
  if (FMnemonic == "CI" && count >= 1) {
    // Up to the circle, round it with the blade down, and back to the centre.
    const double radius = std::abs(FNumbers[0]);
    Step.TravelMm += 2.0 * radius / kUnitsPerMm;
    Step.CutMm += ChordsLength(radius, 360.0, count >= 2 ? FNumbers[1] : kDefaultChordDegrees) / kUnitsPerMm;
    Step.JobMmPerS = FJobMmPerS;
    Step.Moved = true;
  } else if (FMnemonic == "AA" && count >= 3) {
    Arc(FNumbers[0], FNumbers[1], FNumbers[2], chord, Step);
  } else if (FMnemonic == "AR" && count >= 3) {
    Arc(FX + FNumbers[0], FY + FNumbers[1], FNumbers[2], chord, Step);
  } else if (FMnemonic == "VS") {
    FJobMmPerS = count >= 1 && FNumbers[0] > 0.0 ? FNumbers[0] * 10.0 : 0.0;
  } else if (FMnemonic == "IN") {
    FJobMmPerS = 0.0;
    FDown = FRelative = false;
  } else if (FMnemonic == "DF") {
    FRelative = false;
  }
}

void THpglReader::MoveTo(double X, double Y, bool Down, THpglStep& Step) {
  (Down ? Step.CutMm : Step.TravelMm) += std::hypot(X - FX, Y - FY) / kUnitsPerMm;
  Step.JobMmPerS = FJobMmPerS;
  Step.Moved = true;
  FX = X;
  FY = Y;
}

void THpglReader::Arc(double CenterX, double CenterY, double Degrees, double ChordDegrees, THpglStep& Step) {
  const double radius = std::hypot(FX - CenterX, FY - CenterY);
  (FDown ? Step.CutMm : Step.TravelMm) += ChordsLength(radius, Degrees, ChordDegrees) / kUnitsPerMm;
  Step.JobMmPerS = FJobMmPerS;
  Step.Moved = true;
  const double to = std::atan2(FY - CenterY, FX - CenterX) +
                    std::clamp(Degrees, -kLongestArcDegrees, kLongestArcDegrees) * std::numbers::pi / 180.0;
  FX = CenterX + radius * std::cos(to);
  FY = CenterY + radius * std::sin(to);
}

bool THpglReader::ReadEncoded(unsigned char Byte, THpglStep& Step) {
  switch (Byte) {
    case ';':
      FState = TState::Between;
      return true;
    case '7':
      FSevenBit = true;
      return false;
    case ':':  // a pen number follows
    case '>':  // the number of fraction bits follows
      FEncodedFlag = static_cast<char>(Byte);
      return false;
    case '<':
      FEncodedUp = true;
      return false;
    case '=':
      FEncodedAbsolute = true;
      return false;
    default:
      break;
  }
  // Digits, least significant first: base 64 from 63, its last digit from 191; base 32 in
  // seven-bit mode, its last digit from 95.
  const unsigned base = FSevenBit ? 32 : 64, lastFrom = FSevenBit ? 95 : 191;
  bool last = false;
  unsigned digit = 0;
  if (Byte >= 63 && Byte < 63 + base) {
    digit = Byte - 63u;
  } else if (Byte >= lastFrom && Byte < lastFrom + base) {
    digit = Byte - lastFrom;
    last = true;
  } else {
    return false;  // means nothing here
  }
  if (FWeight <= kHeaviestDigit) FEncoded += digit * FWeight;
  if (FWeight <= kHeaviestDigit) FWeight *= base;
  if (!last) return false;
  const unsigned long long encoded = std::exchange(FEncoded, 0);
  FWeight = 1;
  // The lowest bit is the sign.
  const double value = static_cast<double>(encoded >> 1) * ((encoded & 1) ? -1.0 : 1.0);
  if (const char flag = std::exchange(FEncodedFlag, 0); flag != 0) {
    if (flag == '>') FFractionBits = static_cast<int>(std::clamp(value, 0.0, 26.0));
    return false;
  }
  if (FCount < 4) FNumbers[FCount] = std::ldexp(value, -FFractionBits);
  if (++FCount < 2) return false;
  FCount = 0;
  const bool absolute = std::exchange(FEncodedAbsolute, false);
  // A pair is cut unless "<" came before it; the pen stays as the last pair left it.
  FDown = !std::exchange(FEncodedUp, false);
  MoveTo(FNumbers[0] + (absolute ? 0.0 : FX), FNumbers[1] + (absolute ? 0.0 : FY), FDown, Step);
  return true;
}
