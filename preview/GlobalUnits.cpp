#include "GlobalUnits.h"

#include <algorithm>
#include <cmath>
#include <charconv>
#include <initializer_list>
#include <limits>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

constexpr TStepRange kDecimalScheme[] = {{kInf, 0.0, srDecimal, 10}};
constexpr TStepRange kInchScheme[] = {{2.0, 0.0, srPowerOfTwo, 8},
                                      {6.0, 2.0, srTriple, 6},
                                      {kInf, 11.0, srThirdsOfFour, 6}};
constexpr TStepRange kFootScheme[] = {{kInf, 0.0, srSextuple, 6}};

struct TMultiple {
  double Num;
  double Den;
};

// The smallest multiple Num/Den · Base^n not below M, Base^n being the largest power
// not above M. Comparing against the candidates themselves, rather than the fraction
// of a logarithm, makes a value that is exactly a candidate give itself.
double StepFromMultiples(double M, double Base, std::initializer_list<TMultiple> Multiples) {
  int n = static_cast<int>(std::floor(std::log(M) / std::log(Base)));
  double p = std::pow(Base, n);
  if (p > M) {
    p = std::pow(Base, --n);
  } else if (std::pow(Base, n + 1) <= M) {
    p = std::pow(Base, ++n);
  }
  double step = 0.0;
  for (const TMultiple& k : Multiples) {
    step = k.Num * p / k.Den;
    if (M <= step) break;
  }
  return step;
}

TUserUnit UnitRow(std::uint8_t Index, double Scale) {
  struct TRow {
    const char16_t* Name;
    const char16_t* Abbrev;
    double MmPerUnit;
    std::uint8_t Scheme;
    std::int32_t DisplayDecimals;
  };
  static constexpr TRow kRows[] = {
      {u"millimeters", u" mm", 1.0, 1, 3}, {u"centimeters", u" cm", 10.0, 1, 2},
      {u"meters", u" m", 1000.0, 1, 3},    {u"inches", u" in", 25.4, 2, 3},
      {u"feet", u" ft", 304.8, 3, 3},      {u"inches", u"\"", 25.4, 2, 3},
      {u"yards", u" yd", 914.4, 3, 3},     {u"pixels", u" px", 1.0, 1, 1},
      {u"pixels", u" px", 1.0, 1, 6},
  };
  const TRow& row = kRows[Index];
  TUserUnit unit;
  unit.LongName = row.Name;
  unit.UnitAbbrev = row.Abbrev;
  unit.MmPerUnit = Index == 8 ? 1.0 / Scale : row.MmPerUnit;  // pixels at the own scale
  unit.UnitPerMm = 1.0 / unit.MmPerUnit;
  unit.StepScheme = row.Scheme;
  unit.DisplayDecimals = row.DisplayDecimals;
  unit.Imperial = Index >= 3 && Index <= 6;
  unit.MaxFractionDenominator = unit.Imperial ? 32 : 1000;
  if (Index == 5) {
    unit.Compound = true;
    unit.SubUnitsPerUnit = 12;
    unit.ShowSuffix = true;
    unit.SecondSuffix = u"' ";
  }
  return unit;
}

// Half to even at eight decimals; a value within a relative hair of a half counts as
// one, so that binary noise does not decide the direction.
double RoundEightDecimals(double U) {
  const double s = U * 1e8;
  if (!(std::fabs(s) < 4503599627370496.0)) return U;  // 2^52: no fraction left
  const double low = std::floor(s);
  const double fraction = s - low;
  double r;
  if (std::fabs(fraction - 0.5) <= 5.48e-16 * std::fabs(s))
    r = std::fmod(low, 2.0) == 0.0 ? low : low + 1.0;
  else
    r = fraction < 0.5 ? low : low + 1.0;
  return r / 1e8;
}

std::u16string Widen(const std::string& S) { return {S.begin(), S.end()}; }

// Fixed-point text with Decimals decimals and at most Precision significant digits,
// rounded half away from zero on the decimal digits; no thousands separators.
std::string FixedText(double V, int Decimals, int Precision) {
  if (std::isnan(V)) return "NAN";
  if (std::isinf(V)) return V < 0 ? "-INF" : "INF";
  Decimals = std::max(Decimals, 0);
  // Eight decimals carry everything that survived RoundEightDecimals; the largest
  // double has 309 integer digits.
  char text[400];
  // to_chars, not printf: the user's locale must not change the separator's width.
  const int width = static_cast<int>(
      std::to_chars(text, text + sizeof text, std::fabs(V), std::chars_format::fixed, 8).ptr - text);
  std::size_t intDigits = static_cast<std::size_t>(width) - 9;
  std::string digits(text, intDigits);
  digits.append(text + intDigits + 1, 8);

  std::size_t keep = intDigits + static_cast<std::size_t>(Decimals);
  const std::size_t firstSignificant = digits.find_first_not_of('0');
  if (firstSignificant != std::string::npos)
    keep = std::min(keep, firstSignificant + static_cast<std::size_t>(std::max(Precision, 1)));
  if (keep < digits.size()) {
    const bool up = digits[keep] >= '5';
    digits.resize(keep);
    if (up) {
      std::size_t i = keep;
      while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
      if (i == 0) {
        digits.insert(digits.begin(), '1');
        ++intDigits;
      } else {
        ++digits[i - 1];
      }
    }
  }
  digits.resize(intDigits + static_cast<std::size_t>(Decimals), '0');

  std::string whole = digits.substr(0, intDigits);
  whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size() - 1));
  std::string out = whole;
  if (Decimals > 0) {
    out += '.';
    out.append(digits, intDigits);
  }
  if (V < 0 && digits.find_first_not_of('0') != std::string::npos) out.insert(out.begin(), '-');
  return out;
}

// Whole units and a fraction n/d (d up to MaxDen) within Tolerance, or nothing when
// no such fraction is close enough.
bool NearFraction(double V, const TUserUnit& Unit, std::int64_t& Whole, int& Num, int& Den) {
  Whole = static_cast<std::int64_t>(std::floor(V));
  const double fraction = V - static_cast<double>(Whole);
  for (int d = 1; d <= Unit.MaxFractionDenominator; ++d) {
    const double n = std::round(fraction * d);
    if (std::fabs(fraction - n / d) <= Unit.FractionTolerance) {
      Num = static_cast<int>(n);
      Den = d;
      if (Num == Den) {
        ++Whole;
        Num = 0;
      }
      return true;
    }
  }
  return false;
}

std::string ImperialText(double U, const TUserUnit& Unit) {
  const double magnitude = std::fabs(U);
  // Far beyond any ruler: the fraction search would only see binary noise.
  if (!(magnitude < 1e15)) return FixedText(U, Unit.LabelDecimals, Unit.LabelPrecision);
  std::int64_t whole;
  int num = 0, den = 1;
  std::string text;
  if (NearFraction(magnitude, Unit, whole, num, den)) {
    std::int64_t units = whole;
    if (Unit.Compound) {
      const std::int64_t big = whole / Unit.SubUnitsPerUnit;
      units = whole % Unit.SubUnitsPerUnit;
      if (big > 0) text = std::to_string(big) + "' ";
    }
    if (num == 0)
      text += std::to_string(units);
    else if (units == 0)
      text += std::to_string(num) + "/" + std::to_string(den);
    else
      text += std::to_string(units) + " " + std::to_string(num) + "/" + std::to_string(den);
  } else if (Unit.Compound) {
    const double big = std::floor(magnitude / Unit.SubUnitsPerUnit);
    if (big > 0) text = FixedText(big, 0, Unit.LabelPrecision) + "' ";
    text += FixedText(magnitude - big * Unit.SubUnitsPerUnit, Unit.LabelDecimals, Unit.LabelPrecision);
  } else {
    text = FixedText(magnitude, Unit.LabelDecimals, Unit.LabelPrecision);
  }
  if (U < 0 && text.find_first_not_of("0' ") != std::string::npos) text.insert(text.begin(), '-');
  return text;
}

}  // namespace

double ApplyStepRule(TStepRule Rule, double MinStep) {
  if (!(MinStep > 0.0) || !std::isfinite(MinStep)) return 0.0;
  double step = 0.0;
  switch (Rule) {
    case srDecimal:
      step = StepFromMultiples(MinStep, 10.0, {{2, 1}, {5, 1}, {10, 1}});
      break;
    case srPowerOfTwo: {
      int e;
      const double f = std::frexp(MinStep, &e);
      step = f == 0.5 ? MinStep : std::ldexp(1.0, e);
      break;
    }
    case srTriple:
      step = StepFromMultiples(MinStep, 3.0, {{2, 1}, {3, 1}});
      break;
    case srSextuple:
      step = StepFromMultiples(MinStep, 6.0, {{2, 1}, {3, 1}, {6, 1}});
      break;
    case srThirdsOfFour:
      step = StepFromMultiples(MinStep, 3.0, {{4, 3}, {8, 3}, {4, 1}});
      break;
  }
  return std::isfinite(step) ? step : 0.0;
}

std::span<const TStepRange> TUserUnit::StepRanges() const {
  switch (StepScheme) {
    case 2:
      return kInchScheme;
    case 3:
      return kFootScheme;
    default:
      return kDecimalScheme;
  }
}

TWorkSpace::TWorkSpace() : FUnit(UnitRow(0, 1.0)) {}

bool TWorkSpace::SetScale(double X) {
  if (X == 0.0 || !std::isfinite(X)) return false;
  FScale = X;
  UpdateFactors();
  return true;
}

bool TWorkSpace::SetScaleNumerator(double V) {
  if (!SetScale(V / FScaleDenominator)) return false;
  FScaleNumerator = V;
  return true;
}

bool TWorkSpace::SetScaleDenominator(double V) {
  if (!SetScale(FScaleNumerator / V)) return false;
  FScaleDenominator = V;
  return true;
}

void TWorkSpace::SelectUnit(std::uint8_t Index) {
  if (Index == FUnitIndex || Index > 8) return;
  FUnit = UnitRow(Index, FScale);
  FUnitIndex = Index;
  UpdateFactors();
  if (OnUnitChange) OnUnitChange(*this);
  // A copy, so that an observer may add or remove observers while being told.
  const auto observers = FObservers;
  for (auto it = observers.rbegin(); it != observers.rend(); ++it) it->second(*this);
}

TRulerStep TWorkSpace::RulerStep(double MinWorldStep) {
  double m = std::fabs(WorldToUnit(MinWorldStep));
  const auto ranges = FUnit.StepRanges();
  const TStepRange* range = &ranges.back();
  for (const TStepRange& r : ranges) {
    if (m <= r.UpperBound) {
      range = &r;
      break;
    }
  }
  m = std::max(m, range->SmallestStep);
  const double step = ApplyStepRule(range->Rule, m);
  const double exponent = step > 0.0 ? std::log10(step) : 0.0;
  FUnit.LabelDecimals = exponent >= 0.0 ? 0 : static_cast<std::int32_t>(std::ceil(-exponent));
  return {UnitToWorld(step), range->Subdivisions};
}

std::u16string TWorkSpace::FormatValue(double W) const {
  const double u = WorldToUnit(W);
  std::string text = FUnit.Imperial
                         ? ImperialText(u, FUnit)
                         : FixedText(RoundEightDecimals(u), FUnit.LabelDecimals, FUnit.LabelPrecision);
  std::u16string out = Widen(text);
  if (FUnit.ShowSuffix) out += FUnit.UnitAbbrev;
  return out;
}

void TWorkSpace::UseMillimetres() {
  SetScaleDenominator(1000000.0);
  SetScaleNumerator(1000000.0);
  SetScale(1.0);
  SelectUnit(0);
  FUnit.DisplayDecimals = 0;
}

std::size_t TWorkSpace::AddObserver(TUnitChange Observer) {
  FObservers.emplace_back(FNextObserverId, std::move(Observer));
  return FNextObserverId++;
}

void TWorkSpace::RemoveObserver(std::size_t Id) {
  std::erase_if(FObservers, [Id](const auto& Entry) { return Entry.first == Id; });
}

void TWorkSpace::UpdateFactors() {
  FWorldToUnit = FUnit.UnitPerMm * FScale;
  FUnitToWorld = 1.0 / FWorldToUnit;
}

TWorkSpace& WorkSpace() {
  static TWorkSpace space = [] {
    TWorkSpace s;
    s.SelectUnit(5);
    s.SetScaleDenominator(10000000.0);
    s.SetScaleNumerator(100000.0);
    return s;
  }();
  return space;
}
