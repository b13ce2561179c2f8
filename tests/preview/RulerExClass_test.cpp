#include "preview/RulerExClass.h"

#include "platform/SystemColors.h"
#include "preview/PreviewRender.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr TColor32 kBlack = 0xFF000000, kZeroGrey = 0xFF7F7F7F;

// The x of every tick of the longest kind: six pixels above the base line in Color.
std::vector<int> LongTicks(const TBitmap32& Strip, TColor32 Color = kBlack) {
  const int base = Strip.Height() - 1;
  std::vector<int> xs;
  for (int x = 0; x < Strip.Width(); ++x) {
    bool tick = Strip.Pixel(x, base - 7) != Color;
    for (int y = base - 6; y < base; ++y) tick &= Strip.Pixel(x, y) == Color;
    if (tick) xs.push_back(x);
  }
  return xs;
}

// The strip shows exactly Text, drawn at (Left, 2), over the columns the text covers and
// the rows above the ticks.
bool LabelAt(const TBitmap32& Strip, int Left, const std::u16string& Text, bool Bold, TColor32 Back) {
  TBitmap32 expected(Strip.Width(), Strip.Height());
  expected.Clear(Back);
  expected.Font = Strip.Font;
  expected.Font.Bold = Bold;
  expected.RenderText(Left, 2, Text);
  const int width = expected.TextWidth(Text);
  bool inked = false;
  for (int y = 0; y < Strip.Height() - 7; ++y)
    for (int x = Left; x < Left + width; ++x) {
      if (Strip.Pixel(x, y) != expected.Pixel(x, y)) return false;
      inked |= expected.Pixel(x, y) != Back;
    }
  return inked;
}

// Nothing but background above the ticks in [From, To).
bool Blank(const TBitmap32& Strip, int From, int To, TColor32 Back) {
  for (int y = 0; y < Strip.Height() - 7; ++y)
    for (int x = From; x < To; ++x)
      if (Strip.Pixel(x, y) != Back) return false;
  return true;
}

// The top ruler of the window's preview box under View, as DrawRulers draws it.
TBitmap32 TopRuler(const IMatrixRef& View) {
  TWorkSpace space;
  space.UseMillimetres();
  TBitmap32 top(PreviewBoxWidth, RulerBoxThickness), left(RulerBoxThickness, PreviewBoxHeight);
  DrawRulers(top, left, *View, space);
  top.Font = {"Tahoma", 7, false, kBlack};
  return top;
}

int ZeroWidth() {
  TBitmap32 probe;
  probe.Font = {"Tahoma", 7, false, kBlack};
  return probe.TextWidth(u"0");
}

}  // namespace

TEST(DrawRulers, DefaultJobTopRulerLabelsEveryTwentyMillimetres) {
  const float s = 333.0f / 100.025f;
  const TBitmap32 top = TopRuler(TMatrixObj::CreateScaleOffset(s, s, 40.0f, 70.0f));
  // Ticks at 0, 20, ... 100 mm; 10 subdivisions of 2 mm each.
  EXPECT_EQ(LongTicks(top), (std::vector<int>{40, 107, 173, 240, 306, 373}));
  const int z = ZeroWidth();
  EXPECT_TRUE(LabelAt(top, 40 - z, u"0", true, clBtnFace));
  EXPECT_FALSE(LabelAt(top, 40 - z, u"0", false, clBtnFace));
  const char16_t* labels[] = {u"20", u"40", u"60", u"80"};
  const int at[] = {107, 173, 240, 306};
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(LabelAt(top, at[i] - z, labels[i], false, clBtnFace)) << at[i];
  // 100 would end inside the unit name's room; nothing stands left of 0.
  EXPECT_TRUE(Blank(top, 373 - z, 373, clBtnFace));
  EXPECT_TRUE(Blank(top, 0, 40 - z, clBtnFace));
  // The zero tick is three pixels wide: grey on both sides of the black one.
  EXPECT_EQ(LongTicks(top, kZeroGrey), (std::vector<int>{39, 41}));
}

TEST(DrawRulers, NegativeValuesKeepTheirTicksButGetNoLabels) {
  const TBitmap32 top = TopRuler(TMatrixObj::CreateScaleOffset(3.33f, 3.33f, 150.0f, 70.0f));
  const std::vector<int> ticks = LongTicks(top);
  ASSERT_GE(ticks.size(), 3u);
  EXPECT_EQ(ticks[0], 17);  // -40 mm
  EXPECT_EQ(ticks[1], 83);  // -20 mm
  EXPECT_EQ(ticks[2], 150);
  EXPECT_TRUE(Blank(top, 0, 150 - ZeroWidth(), clBtnFace));
  EXPECT_TRUE(LabelAt(top, 150 - ZeroWidth(), u"0", true, clBtnFace));
}

TEST(TRulerObjEx, ReversedRangeDrawsTheSameTicksWithNegatedLabels) {
  TRulerObjEx ruler;
  ruler.RulerLength = 400;
  const auto forward = ruler.Render(0.0f, 100.0f, 0.0f);
  const auto reversed = ruler.Render(100.0f, 0.0f, 0.0f);
  ASSERT_TRUE(forward && reversed);
  // The same black ticks; only the zero's grey sides move with the zero.
  const int base = forward->Height() - 1;
  for (int y = base - 6; y <= base; ++y)
    for (int x = 0; x < 400; ++x)
      ASSERT_EQ(forward->Pixel(x, y) == kBlack, reversed->Pixel(x, y) == kBlack) << x << "," << y;
  EXPECT_EQ(LongTicks(*forward), (std::vector<int>{0, 80, 160, 240, 320}));
  const int z = ZeroWidth();
  EXPECT_TRUE(LabelAt(*forward, 80 - z, u"20.000", false, ruler.BackColor));
  EXPECT_TRUE(LabelAt(*reversed, 80 - z, u"80.000", false, ruler.BackColor));
  EXPECT_TRUE(LabelAt(*reversed, 320 - z, u"20.000", false, ruler.BackColor));
}

TEST(TRulerObjEx, VerticalStripIsTurnedWithTheStartAtTheTop) {
  TRulerObjEx ruler;
  ruler.RulerLength = 300;
  const auto across = ruler.Render(0.0f, 75.0f, 0.0f);
  ruler.Vertical = true;
  const auto down = ruler.Render(0.0f, 75.0f, 0.0f);
  ASSERT_TRUE(across && down);
  const int thickness = ruler.Thickness();
  ASSERT_EQ(down->Width(), thickness);
  ASSERT_EQ(down->Height(), 300);
  for (int y = 0; y < 300; ++y) ASSERT_EQ(down->Pixel(thickness - 1, y), kBlack) << y;  // base line on the right
  // A tick at x across stands at row x - 1 down: mirrored along the strip, then turned.
  for (int x : LongTicks(*across)) {
    if (x == 0) continue;
    for (int c = thickness - 7; c < thickness - 1; ++c) EXPECT_EQ(down->Pixel(c, x - 1), kBlack) << x;
  }
}

TEST(TRulerObjEx, NoUsableStepGivesNoStrip) {
  struct TCase {
    const char* Name;
    TRulerStep Answer;
  } cases[] = {
      {"zero step", {0.0, 10}},
      {"negative step", {-5.0, 10}},
      {"no subdivisions", {20.0, 0}},
      {"not a number", {std::nan(""), 10}},
      // Steps far under a pixel, whatever minimum is asked: given up, not looped on.
      {"always too fine", {1e-9, 10}},
  };
  for (const TCase& c : cases) {
    TRulerObjEx ruler;
    ruler.RulerLength = 413;
    ruler.OnStep = [&c](double) { return c.Answer; };
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ruler.Render(0.0f, 100.0f, 0.0f), nullptr) << c.Name;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << c.Name;
  }
  TRulerObjEx shortRuler;
  shortRuler.RulerLength = 1;
  EXPECT_EQ(shortRuler.Render(0.0f, 100.0f, 0.0f), nullptr);
}

TEST(TRulerObjEx, RangesOutsideTheLimitsShowTheirTextOnly) {
  struct TCase {
    float Start, End;
    const char16_t* Shown;
  } cases[] = {
      {0.0f, 2e8f, u"far"},
      {5.0f, 5.0f, u"none"},
      {1e30f, -1e30f, u"far"},
      {0.0f, std::numeric_limits<float>::infinity(), u"far"},
  };
  for (const TCase& c : cases) {
    TRulerObjEx ruler;
    ruler.RulerLength = 200;
    ruler.OutOfRangeText = u"far";
    ruler.ZeroRangeText = u"none";
    const auto strip = ruler.Render(c.Start, c.End, 0.0f);
    ASSERT_TRUE(strip);
    EXPECT_TRUE(LongTicks(*strip).empty());
    const int width = strip->TextWidth(c.Shown);
    TBitmap32 expected(200, strip->Height());
    expected.Font = strip->Font;
    expected.Clear(ruler.BackColor);
    expected.Line(0, strip->Height() - 1, 200, strip->Height() - 1, kBlack);
    expected.RenderText((200 - width) / 2, 4, c.Shown);
    EXPECT_TRUE(std::equal(strip->Bits(), strip->Bits() + 200 * strip->Height(), expected.Bits())) << c.Start;
  }
}

TEST(TRulerObjEx, ThicknessIsTheTextHeightPlusNine) {
  TRulerObjEx ruler;
  const int thickness = ruler.Thickness();
  EXPECT_GT(ruler.TextHeight(), 0);
  EXPECT_EQ(thickness, ruler.TextHeight() + 9);
  ruler.FixedThickness = true;
  ruler.StoredThickness = 30;
  ruler.RulerLength = 100;
  EXPECT_EQ(ruler.Thickness(), 30);
  EXPECT_EQ(ruler.Render(0.0f, 10.0f, 0.0f)->Height(), 30);
}

TEST(TRulerObjEx, DefaultStepAndLabel) {
  struct TStep {
    double Min, Step;
  } steps[] = {{1, 2}, {1.5, 2}, {2, 5}, {3, 5}, {5, 10}, {9.99, 10}, {15, 20}, {0.03, 0.05}, {600, 1000},
               {0, 0}, {-4, 0}, {std::nan(""), 0}};
  for (const TStep& s : steps) {
    const TRulerStep r = TRulerObjEx::DefaultStep(s.Min);
    EXPECT_DOUBLE_EQ(r.WorldStep, s.Step) << s.Min;
    EXPECT_EQ(r.Subdivisions, 10);
  }
  struct TLabel {
    double Value;
    const char16_t* Text;
  } labels[] = {{0, u"0.000"},          {20, u"20.000"},        {-0.5, u"-0.500"},
                {1234.5, u"1,234.500"}, {-1234567.891, u"-1,234,567.900"}, {123456789, u"123,456,790.000"},
                {0.0001234, u"0.000"},  {999.9996, u"1,000.000"}};
  for (const TLabel& l : labels) EXPECT_EQ(TRulerObjEx::DefaultLabel(l.Value), l.Text) << l.Value;
}
