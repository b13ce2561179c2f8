#pragma once
// The measurement workspace: the current unit and the scale between world lengths
// (millimetres) and that unit. It answers the rulers' three questions: which tick step
// suits a minimum step, how a value reads as a label, and what names the unit.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

enum TStepRule : std::uint8_t {
  srDecimal = 1,       // 2, 5 or 10 times a power of ten
  srPowerOfTwo = 2,    // the smallest power of two not below the step
  srTriple = 3,        // 2 or 3 times a power of three
  srSextuple = 4,      // 2, 3 or 6 times a power of six
  srThirdsOfFour = 5,  // 4/3, 8/3 or 4 times a power of three
};

// Applies a rule to a minimum step; 0 for a step that is 0, negative or not finite.
double ApplyStepRule(TStepRule Rule, double MinStep);

struct TStepRange {
  double UpperBound;    // the range holds minimum steps up to this
  double SmallestStep;  // a smaller minimum step is raised to this
  TStepRule Rule;
  std::int32_t Subdivisions;
};

struct TRulerStep {
  double WorldStep;
  std::int32_t Subdivisions;
};

struct TUserUnit {
  double MmPerUnit = 1.0;
  double UnitPerMm = 1.0;
  std::u16string LongName;
  std::u16string UnitAbbrev;    // with a leading blank, e.g. u" mm"
  std::u16string SecondSuffix;  // after the whole units of feet and inches
  std::uint8_t StepScheme = 1;
  std::int32_t LabelDecimals = 0;  // set by every step computation
  bool Imperial = false;
  bool Compound = false;  // feet and inches
  std::int32_t SubUnitsPerUnit = 1;
  bool ShowSuffix = false;
  std::int32_t LabelPrecision = 8;  // significant digits
  std::int32_t DisplayDecimals = 3;
  double FractionTolerance = 0.0001;
  std::int32_t MaxFractionDenominator = 1000;

  // The ranges of StepScheme, tested in order on the absolute minimum step.
  std::span<const TStepRange> StepRanges() const;
};

class TWorkSpace {
public:
  using TUnitChange = std::function<void(TWorkSpace&)>;

  // Scale 1 (numerator and denominator 1000000) and millimetres at index 0.
  TWorkSpace();

  // Refuses 0 and values that are not finite, changing nothing.
  bool SetScale(double X);
  double Scale() const { return FScale; }
  // The scale is numerator / denominator; each setter keeps the other and refuses a
  // value that would make the scale 0 or infinite.
  bool SetScaleNumerator(double V);
  bool SetScaleDenominator(double V);
  double ScaleNumerator() const { return FScaleNumerator; }
  double ScaleDenominator() const { return FScaleDenominator; }

  // Loads row Index (0 .. 8) of the unit table. The current index and indexes outside
  // the table change nothing and notify no one.
  void SelectUnit(std::uint8_t Index);
  std::uint8_t UnitIndex() const { return FUnitIndex; }
  const TUserUnit& Unit() const { return FUnit; }
  TUserUnit& Unit() { return FUnit; }
  const std::u16string& UnitAbbrev() const { return FUnit.UnitAbbrev; }

  double WorldToUnit(double W) const { return W * FWorldToUnit; }
  double UnitToWorld(double U) const { return U * FUnitToWorld; }

  // The ruler's step callback; also sets the unit's LabelDecimals for FormatValue.
  TRulerStep RulerStep(double MinWorldStep);
  // The ruler's label callback.
  std::u16string FormatValue(double W) const;

  // The preview's set-up: scale 1, millimetres, no display decimals.
  void UseMillimetres();

  // Called after every unit change, before the observers.
  TUnitChange OnUnitChange;
  // Observers are told of unit changes from the last added to the first.
  std::size_t AddObserver(TUnitChange Observer);
  void RemoveObserver(std::size_t Id);

private:
  void UpdateFactors();

  double FScale = 1.0;
  double FWorldToUnit = 1.0;
  double FUnitToWorld = 1.0;
  double FScaleNumerator = 1000000.0;
  double FScaleDenominator = 1000000.0;
  TUserUnit FUnit;
  std::uint8_t FUnitIndex = 0;
  std::vector<std::pair<std::size_t, TUnitChange>> FObservers;
  std::size_t FNextObserverId = 1;
};

// The one workspace of the run, created on first use with the program's start-up
// settings (feet and inches at scale 0.01); the preview then calls UseMillimetres.
TWorkSpace& WorkSpace();
