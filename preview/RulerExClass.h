#pragma once
// A ruler strip. Given the world values at its first and last pixel, it picks a tick step
// that leaves room for the labels and draws ticks, labels and the unit name into a new
// bitmap. Step and label text come from callbacks, so the ruler counts in whatever
// unit they answer for.

#include "preview/GlobalUnits.h"
#include "raster/Bitmap32.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TRulerObjEx {
 public:
  // Minimum step -> step and subdivisions; a step of 0 or less, or no subdivisions,
  // gives no strip.
  using TStepEvent = std::function<TRulerStep(double MinStep)>;
  using TLabelEvent = std::function<std::u16string(double Value)>;

  std::string FontName = "Tahoma";
  bool Vertical = false;
  std::int32_t RulerLength = 0;
  std::int32_t BackAlpha = 220;  // kept with the colour; the strip is always cleared opaque
  std::int32_t FontSize = 7;     // points
  TColor32 BackColor = 0xFFDCDCDC;
  // With FixedThickness set, StoredThickness is the thickness as it is.
  bool FixedThickness = false;
  std::int32_t StoredThickness = 0;
  std::u16string UnitName;
  std::u16string OutOfRangeText;  // centred when the range is too large
  std::u16string ZeroRangeText;   // centred when the range is too small
  TStepEvent OnStep;              // DefaultStep when unassigned
  TLabelEvent OnLabel;            // DefaultLabel when unassigned
  double MaxRange = 100000000.0;
  double MinRange = 1e-08;
  bool NonNegativeLabelsOnly = false;

  // The height of "A" in the ruler font, as last measured by Thickness.
  std::int32_t TextHeight() const { return FTextHeight; }
  // The strip's thickness across: the text height plus 9.
  std::int32_t Thickness();
  // A RulerLength x Thickness strip (Thickness x RulerLength when Vertical), or nullptr
  // for a ruler shorter than 2 pixels or a step callback that gives no step. Start and
  // End are the world values at the first and the last pixel.
  std::unique_ptr<TBitmap32> Render(float Start, float End, float Offset);

  // 2, 5 or 10 times the power of ten at or below MinStep, the next one above it
  // (1 gives 2, 2 gives 5, 5 gives 10); 0 for a MinStep of 0 or less. 10 subdivisions.
  static TRulerStep DefaultStep(double MinStep);
  // Three decimals, eight significant digits, thousands separated: "12,345.500".
  static std::u16string DefaultLabel(double Value);

 private:
  // Ticks and labels between the label window's limits; false when the step callback
  // gives no usable step.
  bool DrawScale(TBitmap32& Strip, double Start, double End, double Offset, bool Reversed, double WindowLow,
                 double WindowHigh);

  std::int32_t FTextHeight = 0;
};
