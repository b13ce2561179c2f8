#include "RulerExClass.h"

#include "preview/MatrixClass.h"
#include "platform/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

constexpr TColor32 kBlack = 0xFF000000;
constexpr TColor32 kZeroTickGrey = 0xFF7F7F7F;
// A callback that still answers steps under a pixel after this many wider minimums is
// not going to give a usable step.
constexpr int kStepAttempts = 64;
// Tick indexes stay exact as doubles and fit 64 bits.
constexpr double kMaxTickIndex = 9007199254740992.0;  // 2^53

// Nearest pixel, halves going down; far-off values are held well outside any strip.
int TickPixel(double Position) { return static_cast<int>(std::clamp(std::ceil(Position - 0.5), -1e9, 1e9)); }

}  // namespace

TRulerStep TRulerObjEx::DefaultStep(double MinStep) {
  if (!(MinStep > 0.0) || !std::isfinite(MinStep)) return {0.0, 10};
  double p = std::pow(10.0, std::floor(std::log10(MinStep)));
  if (p > MinStep) p /= 10.0;
  if (p * 10.0 <= MinStep) p *= 10.0;
  const double step = MinStep < 2.0 * p ? 2.0 * p : MinStep < 5.0 * p ? 5.0 * p : 10.0 * p;
  return {std::isfinite(step) ? step : 0.0, 10};
}

std::u16string TRulerObjEx::DefaultLabel(double Value) {
  // Eight significant digits first, then the three decimals.
  char digits[64];
  const auto scientific = std::to_chars(digits, digits + sizeof digits, Value, std::chars_format::scientific, 7);
  double rounded = Value;
  std::from_chars(digits, scientific.ptr, rounded);
  std::string text = FixedPoint(rounded, 3);
  const std::size_t first = text.find_first_of("0123456789");
  const std::size_t point = std::min(text.find('.'), text.size());
  if (first != std::string::npos)
    for (std::size_t i = point; i > first + 3; i -= 3) text.insert(i - 3, 1, ',');
  return {text.begin(), text.end()};
}

std::int32_t TRulerObjEx::Thickness() {
  if (!FixedThickness) {
    TBitmap32 probe;
    probe.Font = {FontName, FontSize, false, kBlack};
    FTextHeight = probe.TextHeight(u"A");
    StoredThickness = FTextHeight + 9;
  }
  return StoredThickness;
}

std::unique_ptr<TBitmap32> TRulerObjEx::Render(float Start, float End, float Offset) {
  if (RulerLength < 2) return nullptr;
  if (!OnStep) OnStep = DefaultStep;
  if (!OnLabel) OnLabel = DefaultLabel;
  double range = double(End) - double(Start);
  double start = Start, end = End, offset = Offset;
  const bool reversed = range < 0.0;
  if (reversed) {
    range = -range;
    start = -start;
    end = -end;
    offset = -offset;
  }

  const int length = RulerLength, base = Thickness() - 1;
  auto strip = std::make_unique<TBitmap32>(length, base + 1);
  strip->Font = {FontName, FontSize, false, kBlack};
  strip->Clear(BackColor | 0xFF000000);
  strip->Line(0, base, length, base, kBlack);

  // A range that is not a number counts as too small.
  if (!(range <= MaxRange && range >= MinRange)) {
    const std::u16string& text = range > 0.0 ? OutOfRangeText : ZeroRangeText;
    strip->RenderText((length - strip->TextWidth(text)) / 2, 4, text);
  } else {
    const int unitWidth = strip->TextWidth(UnitName);
    double low = -std::numeric_limits<double>::infinity(), high = std::numeric_limits<double>::infinity();
    if (Vertical) {
      strip->RenderText(9, 2, UnitName);
      low = unitWidth + 11;
    } else {
      strip->RenderText(length - unitWidth - 9, 2, UnitName);
      high = length - unitWidth - 11;
    }
    if (!DrawScale(*strip, start, end, offset, reversed, low, high)) return nullptr;
  }
  // Turned, the base line runs down the right edge and the world start is at the top.
  if (Vertical) *strip = strip->QuarterTurn();
  return strip;
}

bool TRulerObjEx::DrawScale(TBitmap32& Strip, double Start, double End, double Offset, bool Reversed, double WindowLow,
                            double WindowHigh) {
  const int length = Strip.Width(), base = Strip.Height() - 1;
  const double range = End - Start;
  const double px = range != 0.0 ? length / range : 2147483648.0;  // pixels per world unit
  const double d0 = Start - Offset, d1 = End - Offset;
  const int zeroWidth = Strip.TextWidth(u"0");

  // Step choice: ticks at least 50 pixels apart and wide enough for the widest label.
  double labelWidth = Strip.TextWidth(u"1000 ");
  double minStep = std::max(50.0 / px, labelWidth / px);
  TRulerStep step{};
  std::int64_t first = 0, last = 0;
  for (int attempt = 0;; ++attempt) {
    if (attempt == kStepAttempts) return false;
    step = OnStep(minStep);
    if (!(step.WorldStep > 0.0) || !std::isfinite(step.WorldStep) || step.Subdivisions <= 0) return false;
    const double f = std::floor(d0 / step.WorldStep - 0.1), l = std::ceil(d1 / step.WorldStep + 0.1);
    if (!(f >= -kMaxTickIndex && l <= kMaxTickIndex)) return false;
    first = static_cast<std::int64_t>(f);
    last = static_cast<std::int64_t>(l);
    const int pixelStep = FloatToIntHalfDown(static_cast<float>(step.WorldStep * px));
    // Steps a pixel or more apart number at most about twice the length; more can
    // only mean another round, so their labels are not measured.
    if (last - first <= 4 * std::int64_t(length) + 8) {
      std::u16string longest;
      for (std::int64_t k = first; k <= last; ++k) {
        const double v = double(k) * step.WorldStep;
        std::u16string text = OnLabel(Reversed ? -v : v);
        if (text.size() > longest.size()) longest = std::move(text);
      }
      labelWidth = std::max<double>(labelWidth, Strip.TextWidth(longest));
    }
    if (pixelStep > 0) break;
    minStep = std::max(5.0 / px + step.WorldStep, labelWidth / px);
  }

  const int subdivisions = step.Subdivisions;
  for (std::int64_t k = first; k <= last; ++k) {
    double v = 0.0;
    int x = 0;
    for (int i = 1; i <= subdivisions; ++i) {
      v = (double(i) / subdivisions + double(k)) * step.WorldStep;
      x = TickPixel((v - d0) * px);
      // Mirrored so that the quarter turn, which sends x to length - 1 - x, puts the
      // tick back on the row of the value it marks.
      if (Vertical) x = length - 1 - x;
      const int tick = i == subdivisions ? 6 : 2 * i == subdivisions ? 5 : 3;
      Strip.Line(x, base - tick, x, base, kBlack);
    }
    // v and x are now those of the major tick (k + 1) * step.
    const double value = Reversed ? -v : v;
    const bool zero = std::fabs(v) < 1e-09;
    if (zero) {
      Strip.Line(x - 1, base - 6, x - 1, base, kZeroTickGrey);
      Strip.Line(x + 1, base - 6, x + 1, base, kZeroTickGrey);
    }
    const double left = double(x) - zeroWidth;
    if (left <= WindowLow || left + labelWidth >= WindowHigh) continue;
    if (NonNegativeLabelsOnly && value < 0.0 && !zero) continue;
    Strip.Font.Bold = zero;
    Strip.RenderText(x - zeroWidth, 2, OnLabel(value));
    Strip.Font.Bold = false;
  }
  return true;
}
