#include "preview/GlobalUnits.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Narrow(const std::u16string& S) { return {S.begin(), S.end()}; }

constexpr double kInch = 25.4;

}  // namespace

TEST(StepRules, EachRuleAtAndAroundItsBreaks) {
  const struct {
    TStepRule Rule;
    double In, Out;
  } cases[] = {
      {srDecimal, 1, 2},       {srDecimal, 2, 2},       {srDecimal, 3, 5},
      {srDecimal, 5, 5},       {srDecimal, 15, 20},     {srDecimal, 60, 100},
      {srDecimal, 10, 20},     {srDecimal, 1000, 2000}, {srDecimal, 0.3, 0.5},
      {srDecimal, 0.02, 0.02}, {srDecimal, 0, 0},       {srDecimal, -3, 0},
      {srPowerOfTwo, 0.3, 0.5}, {srPowerOfTwo, 2, 2},   {srPowerOfTwo, 1.5, 2},
      {srPowerOfTwo, 0.125, 0.125}, {srPowerOfTwo, 0, 0},
      {srTriple, 1, 2},        {srTriple, 2, 2},        {srTriple, 2.5, 3},
      {srTriple, 3, 6},        {srTriple, 7, 9},
      {srSextuple, 1, 2},      {srSextuple, 2.5, 3},    {srSextuple, 4, 6},
      {srSextuple, 6, 12},     {srSextuple, 20, 36},
      {srThirdsOfFour, 11, 12}, {srThirdsOfFour, 12, 12}, {srThirdsOfFour, 13, 24},
      {srThirdsOfFour, 25, 36}, {srThirdsOfFour, 30, 36},
  };
  for (const auto& c : cases)
    EXPECT_DOUBLE_EQ(ApplyStepRule(c.Rule, c.In), c.Out) << int(c.Rule) << " " << c.In;
  EXPECT_NEAR(ApplyStepRule(srThirdsOfFour, 1), 4.0 / 3, 1e-15);
  EXPECT_EQ(ApplyStepRule(srDecimal, 1e308), 0);  // no infinite step
}

TEST(WorkSpace, RulerStepInMillimetres) {
  TWorkSpace ws;
  const struct {
    double Min, Step;
    int Decimals;
  } cases[] = {{15, 20, 0}, {0.3, 0.5, 1}, {2, 2, 0}, {0.03, 0.05, 2}, {-15, 20, 0}};
  for (const auto& c : cases) {
    const TRulerStep s = ws.RulerStep(c.Min);
    EXPECT_DOUBLE_EQ(s.WorldStep, c.Step) << c.Min;
    EXPECT_EQ(s.Subdivisions, 10);
    EXPECT_EQ(ws.Unit().LabelDecimals, c.Decimals) << c.Min;
  }
  EXPECT_EQ(ws.RulerStep(0).WorldStep, 0);
}

TEST(WorkSpace, RulerStepInInchesAndFeet) {
  TWorkSpace ws;
  ws.SelectUnit(3);
  const struct {
    double MinInches, StepInches;
    int Subdivisions;
  } inches[] = {{0.3, 0.5, 8}, {2, 2, 8}, {2.5, 3, 6}, {4, 6, 6}, {7, 12, 6}, {25, 36, 6}};
  for (const auto& c : inches) {
    const TRulerStep s = ws.RulerStep(c.MinInches * kInch);
    EXPECT_NEAR(s.WorldStep, c.StepInches * kInch, 1e-9) << c.MinInches;
    EXPECT_EQ(s.Subdivisions, c.Subdivisions) << c.MinInches;
  }
  ws.SelectUnit(4);
  const TRulerStep feet = ws.RulerStep(4 * 304.8);
  EXPECT_NEAR(feet.WorldStep, 6 * 304.8, 1e-9);
  EXPECT_EQ(feet.Subdivisions, 6);
}

TEST(WorkSpace, MetricLabels) {
  TWorkSpace ws;
  ws.RulerStep(15);
  EXPECT_EQ(Narrow(ws.FormatValue(40)), "40");
  EXPECT_EQ(Narrow(ws.FormatValue(-0.4)), "0");  // no "-0"
  EXPECT_EQ(Narrow(ws.FormatValue(123456789)), "123456790");  // eight significant digits
  ws.RulerStep(0.3);
  EXPECT_EQ(Narrow(ws.FormatValue(0.5)), "0.5");
  EXPECT_EQ(Narrow(ws.FormatValue(-2.5)), "-2.5");
  EXPECT_EQ(Narrow(ws.FormatValue(0.1 + 0.2)), "0.3");
  EXPECT_EQ(Narrow(ws.FormatValue(9.96)), "10.0");

  ws.Unit().LabelDecimals = 0;
  EXPECT_EQ(Narrow(ws.FormatValue(2.5)), "3");
  EXPECT_EQ(Narrow(ws.FormatValue(-2.5)), "-3");
  ws.Unit().LabelDecimals = 8;
  // Halves at the eighth decimal go to the even neighbour, binary noise or not.
  EXPECT_EQ(Narrow(ws.FormatValue(0.000000025)), "0.00000002");
  EXPECT_EQ(Narrow(ws.FormatValue(0.000000035)), "0.00000004");
  EXPECT_EQ(Narrow(ws.FormatValue(1234.56789)), "1234.56790000");  // eight digits in all

  ws.SelectUnit(1);  // centimetres
  ws.RulerStep(3);  // 0.3 cm gives a 0.5 cm step
  EXPECT_EQ(Narrow(ws.FormatValue(25)), "2.5");
}

TEST(WorkSpace, ImperialLabels) {
  TWorkSpace ws;
  ws.SelectUnit(3);
  ws.RulerStep(0.3 * kInch);
  EXPECT_EQ(Narrow(ws.FormatValue(2.5 * kInch)), "2 1/2");
  EXPECT_EQ(Narrow(ws.FormatValue(0.5 * kInch)), "1/2");
  EXPECT_EQ(Narrow(ws.FormatValue(-1.25 * kInch)), "-1 1/4");
  EXPECT_EQ(Narrow(ws.FormatValue(3 * kInch)), "3");
  ws.SelectUnit(5);  // feet and inches
  EXPECT_EQ(Narrow(ws.FormatValue(30 * kInch)), "2' 6\"");
  EXPECT_EQ(Narrow(ws.FormatValue(6.5 * kInch)), "6 1/2\"");
  EXPECT_EQ(Narrow(ws.FormatValue(11.99999 * kInch)), "1' 0\"");
}

TEST(WorkSpace, UnitChangesNotifyOnceInReverseOrder) {
  TWorkSpace ws;
  std::vector<std::string> calls;
  ws.OnUnitChange = [&](TWorkSpace& W) { calls.push_back("event " + Narrow(W.Unit().LongName)); };
  ws.AddObserver([&](TWorkSpace&) { calls.push_back("first"); });
  const std::size_t second = ws.AddObserver([&](TWorkSpace&) { calls.push_back("second"); });
  ws.SelectUnit(0);  // current unit
  ws.SelectUnit(9);  // not in the table
  EXPECT_TRUE(calls.empty());
  ws.SelectUnit(2);
  EXPECT_EQ(calls, (std::vector<std::string>{"event meters", "second", "first"}));
  ws.RemoveObserver(second);
  calls.clear();
  ws.SelectUnit(1);
  EXPECT_EQ(calls, (std::vector<std::string>{"event centimeters", "first"}));
}

TEST(WorkSpace, ScaleAndFactors) {
  TWorkSpace ws;
  EXPECT_FALSE(ws.SetScale(0));
  EXPECT_FALSE(ws.SetScaleDenominator(0));
  EXPECT_DOUBLE_EQ(ws.Scale(), 1);
  ws.SelectUnit(1);
  EXPECT_TRUE(ws.SetScaleNumerator(2000000.0));
  EXPECT_DOUBLE_EQ(ws.Scale(), 2);
  EXPECT_DOUBLE_EQ(ws.WorldToUnit(10), 2);  // 10 mm at scale 2 is 2 cm
  EXPECT_DOUBLE_EQ(ws.UnitToWorld(2), 10);
}

TEST(WorkSpace, StartUpThenPreviewSetUp) {
  TWorkSpace& ws = WorkSpace();
  EXPECT_EQ(&ws, &WorkSpace());
  EXPECT_EQ(ws.UnitIndex(), 5);
  EXPECT_DOUBLE_EQ(ws.Scale(), 0.01);
  ws.UseMillimetres();
  EXPECT_EQ(ws.UnitIndex(), 0);
  EXPECT_DOUBLE_EQ(ws.Scale(), 1);
  EXPECT_EQ(ws.Unit().DisplayDecimals, 0);
  EXPECT_EQ(Narrow(ws.UnitAbbrev()), " mm");
  EXPECT_DOUBLE_EQ(ws.RulerStep(15).WorldStep, 20);
}
