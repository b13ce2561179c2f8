#include "preview/RulerExClass.h"

#include "platform/SystemColors.h"
#include "preview/PreviewRender.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr TColor32 kBlack = 0xFF000000;

// The x of every tick of the longest kind: six pixels of Color above the base line.
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

// The same for a turned strip of thickness T: the rows whose tick reaches six pixels left
// of the base line (columns past the buffer's width are clipped off).
std::vector<int> LongTickRows(const TBitmap32& Turned, int T) {
  std::vector<int> ys;
  for (int y = 0; y < Turned.Height(); ++y) {
    bool tick = Turned.Pixel(T - 8, y) != kBlack;
    for (int x = T - 7; x < std::min(T - 1, Turned.Width()); ++x) tick &= Turned.Pixel(x, y) == kBlack;
    if (tick) ys.push_back(y);
  }
  return ys;
}

// Above the ticks, the columns from Left show exactly Text drawn at (Left, 2), or (with
// an empty Text) only background up to To.
bool ShowsAt(const TBitmap32& Strip, int Left, const std::u16string& Text, bool Bold, TColor32 Back, int To = 0) {
  TBitmap32 expected(Strip.Width(), Strip.Height());
  expected.Clear(Back);
  expected.Font = {"Tahoma", 7, Bold, kBlack};
  expected.RenderText(Left, 2, Text);
  const int right = Text.empty() ? To : Left + expected.TextWidth(Text);
  for (int y = 0; y < Strip.Height() - 7; ++y)
    for (int x = Left; x < right; ++x)
      if (Strip.Pixel(x, y) != expected.Pixel(x, y)) return false;
  return true;
}

TBitmap32 TopRuler(float Scale, float DX) {
  TWorkSpace space;
  space.UseMillimetres();
  TBitmap32 top(PreviewBoxWidth, RulerBoxThickness), left(RulerBoxThickness, PreviewBoxHeight);
  DrawRulers(top, left, *TMatrixObj::CreateScaleOffset(Scale, Scale, DX, 70.0f), space);
  return top;
}

int ZeroWidth() {
  TBitmap32 probe;
  probe.Font = {"Tahoma", 7, false, kBlack};
  return probe.TextWidth(u"0");
}

}  // namespace

TEST(DrawRulers, DefaultJobTopRulerLabelsEveryTwentyMillimetres) {
  const TBitmap32 top = TopRuler(333.0f / 100.025f, 40.0f);
  EXPECT_EQ(LongTicks(top), (std::vector<int>{40, 107, 173, 240, 306, 373}));  // 0 .. 100 mm
  const int z = ZeroWidth();
  EXPECT_TRUE(ShowsAt(top, 40 - z, u"0", true, clBtnFace));
  EXPECT_FALSE(ShowsAt(top, 40 - z, u"0", false, clBtnFace));
  EXPECT_EQ(LongTicks(top, 0xFF7F7F7F), (std::vector<int>{39, 41}));  // the zero tick is three wide
  const int at[] = {107, 173, 240, 306};
  const char16_t* labels[] = {u"20", u"40", u"60", u"80"};
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(ShowsAt(top, at[i] - z, labels[i], false, clBtnFace)) << at[i];
  // 100 would reach into the unit name's room; nothing stands left of 0.
  EXPECT_TRUE(ShowsAt(top, 373 - z, u"", false, clBtnFace, 373));
  EXPECT_TRUE(ShowsAt(top, 0, u"", false, clBtnFace, 40 - z));
}

TEST(DrawRulers, NegativeValuesKeepTheirTicksButGetNoLabels) {
  const TBitmap32 top = TopRuler(3.33f, 150.0f);
  const std::vector<int> ticks = LongTicks(top);
  ASSERT_GE(ticks.size(), 3u);
  EXPECT_EQ(std::vector<int>(ticks.begin(), ticks.begin() + 3), (std::vector<int>{17, 83, 150}));  // -40, -20, 0
  EXPECT_TRUE(ShowsAt(top, 0, u"", false, clBtnFace, 150 - ZeroWidth()));
  EXPECT_TRUE(ShowsAt(top, 150 - ZeroWidth(), u"0", true, clBtnFace));
}

TEST(TRulerObjEx, ReversedRangeDrawsTheSameTicksWithNegatedLabels) {
  TRulerObjEx ruler;  // its own step and label callbacks
  ruler.RulerLength = 400;
  const auto forward = ruler.Render(0.0f, 100.0f, 0.0f), reversed = ruler.Render(100.0f, 0.0f, 0.0f);
  ASSERT_TRUE(forward && reversed);
  EXPECT_EQ(LongTicks(*forward), (std::vector<int>{0, 80, 160, 240, 320}));
  EXPECT_EQ(LongTicks(*reversed), LongTicks(*forward));
  const int z = ZeroWidth();
  EXPECT_TRUE(ShowsAt(*forward, 80 - z, u"20.000", false, ruler.BackColor));
  EXPECT_TRUE(ShowsAt(*reversed, 80 - z, u"80.000", false, ruler.BackColor));
}

TEST(TRulerObjEx, VerticalStripIsTurnedWithTheStartAtTheTop) {
  TRulerObjEx ruler;
  ruler.RulerLength = 300;
  const auto across = ruler.Render(0.0f, 75.0f, 0.0f);
  ruler.Vertical = true;
  const auto down = ruler.Render(0.0f, 75.0f, 0.0f);
  const int t = ruler.Thickness();
  ASSERT_TRUE(across && down && down->Width() == t && down->Height() == 300);
  // A tick at column x across stands on row x down, reaching left from the base line on
  // the right edge.
  ASSERT_FALSE(LongTicks(*across).empty());
  EXPECT_EQ(LongTickRows(*down, t), LongTicks(*across));
}

TEST(DrawRulers, EveryLabelledTickLandsOnTheRowOrColumnOfItsValue) {
  // Edges at whole millimetres: 0 to 100 mm across, 0 to 60 mm down.
  TWorkSpace space;
  space.UseMillimetres();
  TBitmap32 box(PreviewBoxWidth, PreviewBoxHeight), top(PreviewBoxWidth, RulerBoxThickness),
      left(RulerBoxThickness, PreviewBoxHeight);
  const IMatrixRef view =
      RebuildPreview("PU0,0;PD0,4000,2400,4000,2400,0,0,0;", {box, top, left}, TMatrixObj::CreateIdentity(), space);
  ASSERT_TRUE(view);
  const TIntRect page = view->TransformRectToInt(TRect2D{0.0f, 0.0f, 100.0f, 60.0f});
  // 3.33 pixels a millimetre; the page's top at 136.6 and its bottom at 336.4 down.
  ASSERT_EQ(page.Top, 137);
  ASSERT_EQ(page.Bottom, 336);

  // Rows of the left ruler whose long tick reaches six pixels left of the base line.
  const int t = TRulerObjEx().Thickness();
  ASSERT_LT(t - 7, RulerBoxThickness);
  const std::vector<int> rows = LongTickRows(left, t);
  // Every 20 mm, wherever it falls in the box: on the pixel the geometry of that value takes.
  std::vector<int> expectedRows, expectedColumns;
  for (int mm = -200; mm <= 200; mm += 20) {
    const TVector2D p = view->TransformXY(float(mm), float(mm));
    if (const int y = FloatToIntHalfDown(p.Y); y >= 0 && y < left.Height()) expectedRows.push_back(y);
    if (const int x = FloatToIntHalfDown(p.X); x >= 0 && x < top.Width()) expectedColumns.push_back(x);
  }
  EXPECT_EQ(rows, expectedRows);
  EXPECT_EQ(LongTicks(top), expectedColumns);
  // The page's edges, 0 and 60 mm down, 0 and 100 mm across, carry their ticks.
  EXPECT_NE(std::find(rows.begin(), rows.end(), page.Top), rows.end());
  EXPECT_NE(std::find(rows.begin(), rows.end(), page.Bottom), rows.end());
  const std::vector<int> columns = LongTicks(top);
  EXPECT_NE(std::find(columns.begin(), columns.end(), page.Left), columns.end());
  EXPECT_NE(std::find(columns.begin(), columns.end(), page.Right), columns.end());
}

TEST(TRulerObjEx, NoUsableStepGivesNoStrip) {
  const TRulerStep answers[] = {{0.0, 10},
                                {-5.0, 10},
                                {20.0, 0},
                                {std::nan(""), 10},
                                {1e-9, 10}};  // always far under a pixel: given up, not looped on
  for (const TRulerStep& answer : answers) {
    TRulerObjEx ruler;
    ruler.RulerLength = 413;
    ruler.OnStep = [answer](double) { return answer; };
    EXPECT_EQ(ruler.Render(0.0f, 100.0f, 0.0f), nullptr) << answer.WorldStep << " " << answer.Subdivisions;
  }
}

TEST(TRulerObjEx, DefaultStepAndLabel) {
  const double steps[][2] = {{1, 2}, {2, 5}, {5, 10}, {0.03, 0.05}, {0, 0}, {std::nan(""), 0}};
  for (const auto& s : steps) EXPECT_DOUBLE_EQ(TRulerObjEx::DefaultStep(s[0]).WorldStep, s[1]) << s[0];
  EXPECT_EQ(TRulerObjEx::DefaultLabel(-1234567.891), u"-1,234,567.900");  // eight digits
  EXPECT_EQ(TRulerObjEx::DefaultLabel(999.9996), u"1,000.000");
}
