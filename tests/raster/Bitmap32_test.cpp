#include "raster/Bitmap32.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

constexpr TColor32 kWhite = 0xFFFFFFFF;
constexpr TColor32 kInk = 0xFF000000;

// The bitmap as rows of '#' (Ink) and '.' (anything else), for pictures in the tests.
std::vector<std::string> Picture(const TBitmap32& B, TColor32 Ink = kInk) {
  std::vector<std::string> rows;
  for (int y = 0; y < B.Height(); ++y) {
    std::string row;
    for (int x = 0; x < B.Width(); ++x) row += B.Pixel(x, y) == Ink ? '#' : '.';
    rows.push_back(row);
  }
  return rows;
}

TBitmap32 White(int W, int H) {
  TBitmap32 b(W, H);
  b.Clear(kWhite);
  return b;
}

int Red(TColor32 C) { return int(C >> 16 & 0xFF); }

}  // namespace

TEST(Bitmap32, SizeAndPixelsOutsideAreHarmless) {
  TBitmap32 b(3, 2);
  EXPECT_EQ(b.Pixel(0, 0), 0u);
  b.SetPixel(2, 1, kInk);
  b.SetPixel(3, 0, kInk);
  b.SetPixel(-1, 0, kInk);
  EXPECT_EQ(b.Pixel(2, 1), kInk);
  EXPECT_EQ(b.Pixel(3, 0), 0u);
  EXPECT_EQ(b.Pixel(0, -1), 0u);
  b.SetSize(-5, 4);
  EXPECT_EQ(b.Width(), 0);
  b.SetSize(2, 2);
  EXPECT_EQ(b.Pixel(1, 1), 0u);  // a new size starts blank
}

TEST(Bitmap32, FillRectLeavesRightAndBottomEdgesAndClips) {
  struct TCase {
    int L, T, R, B;
    std::vector<std::string> Expected;
  } cases[] = {
      {1, 1, 3, 3, {"....", ".##.", ".##.", "...."}},
      {-100, -100, 2, 1, {"##..", "....", "....", "...."}},
      {3, 2, INT_MAX, INT_MAX, {"....", "....", "...#", "...#"}},
      {2, 2, 2, 4, {"....", "....", "....", "...."}},   // no width
      {3, 3, 1, 1, {"....", "....", "....", "...."}},   // turned round: nothing
  };
  for (const TCase& c : cases) {
    TBitmap32 b = White(4, 4);
    b.FillRect(c.L, c.T, c.R, c.B, kInk);
    EXPECT_EQ(Picture(b), c.Expected) << c.L << "," << c.T << "," << c.R << "," << c.B;
  }
}

TEST(Bitmap32, LinesStopBeforeTheirEndAndClip) {
  struct TCase {
    int X1, Y1, X2, Y2;
    std::vector<std::string> Expected;
  } cases[] = {
      {0, 1, 4, 1, {"....", "####", "....", "...."}},
      {2, 3, 2, 0, {"....", "..#.", "..#.", "..#."}},
      {0, 0, 4, 4, {"#...", ".#..", "..#.", "...#"}},
      {0, 0, 4, 2, {"#...", ".##.", "...#", "...."}},
      {1, 1, 1, 1, {"....", "....", "....", "...."}},
      // Far-off ends: only the part inside is drawn, at the cost of the part inside.
      {INT_MIN, 2, INT_MAX, 2, {"....", "....", "####", "...."}},
      {INT_MIN, INT_MIN, INT_MAX, INT_MAX, {"#...", ".#..", "..#.", "...#"}},
      {-3, 10, 10, -3, {"...", "...", "...", "..."}},
  };
  for (const TCase& c : cases) {
    TBitmap32 b = White(c.Expected[0].size(), c.Expected.size());
    b.Line(c.X1, c.Y1, c.X2, c.Y2, kInk);
    EXPECT_EQ(Picture(b), c.Expected) << c.X1 << "," << c.Y1 << " -> " << c.X2 << "," << c.Y2;
  }
}

TEST(Bitmap32, QuarterTurnCounterClockwise) {
  TBitmap32 b = White(3, 2);
  b.SetPixel(0, 0, kInk);  // top-left goes to bottom-left
  b.SetPixel(2, 1, kInk);  // bottom-right goes to top-right
  const TBitmap32 t = b.QuarterTurn();
  ASSERT_EQ(t.Width(), 2);
  ASSERT_EQ(t.Height(), 3);
  EXPECT_EQ(Picture(t), (std::vector<std::string>{".#", "..", "#."}));
}

TEST(Bitmap32, CopyToClipsAtEveryEdge) {
  TBitmap32 src(2, 2);
  src.Clear(kInk);
  struct TCase {
    int X, Y;
    std::vector<std::string> Expected;
  } cases[] = {
      {1, 1, {"...", ".##", ".##"}},
      {-1, -1, {"#..", "...", "..."}},
      {2, 2, {"...", "...", "..#"}},
      {3, 0, {"...", "...", "..."}},
      {INT_MIN, INT_MAX, {"...", "...", "..."}},
  };
  for (const TCase& c : cases) {
    TBitmap32 dst = White(3, 3);
    src.CopyTo(dst, c.X, c.Y);
    EXPECT_EQ(Picture(dst), c.Expected) << c.X << "," << c.Y;
  }
}

TEST(Bitmap32, TileOfBlackDarkensByItsOpacityStretched) {
  TTile8 tile{};
  for (int x = 0; x < 8; ++x) {
    tile[x] = 255;        // first row: black
    tile[8 + x] = 128;    // second row: half
  }
  TBitmap32 b = White(20, 20);
  b.BlendTile(tile, 2, 3, 16, 16);  // each tile row covers two rows
  EXPECT_EQ(b.Pixel(2, 3), kInk);
  EXPECT_EQ(b.Pixel(17, 4), kInk);
  EXPECT_EQ(b.Pixel(10, 5), 0xFF7F7F7Fu);
  EXPECT_EQ(b.Pixel(10, 7), kWhite);   // opacity 0
  EXPECT_EQ(b.Pixel(18, 3), kWhite);   // right of the tile
  EXPECT_EQ(b.Pixel(1, 3), kWhite);
  b.BlendTile(tile, -100, 18, 1000, 8);  // reaches outside: the inside part only
  EXPECT_EQ(b.Pixel(0, 18), kInk);
  EXPECT_EQ(b.Pixel(19, 19), 0xFF7F7F7Fu);
}

TEST(Bitmap32, AntiAliasedLinesShareCoverageAcrossTheLine) {
  // On a pixel row the line is solid; half-way between rows both get half.
  TBitmap32 b = White(10, 4);
  b.LineAA(1.0f, 1.0f, 8.0f, 1.0f, kInk);
  b.LineAA(1.0f, 2.5f, 8.0f, 2.5f, kInk);
  for (int x = 2; x <= 7; ++x) {
    EXPECT_EQ(b.Pixel(x, 1), kInk) << x;
    EXPECT_NEAR(Red(b.Pixel(x, 2)), 127, 1) << x;
    EXPECT_NEAR(Red(b.Pixel(x, 3)), 127, 1) << x;
    EXPECT_EQ(b.Pixel(x, 0), kWhite) << x;
  }
  EXPECT_EQ(b.Pixel(9, 1), kWhite);  // nothing past the end
}

TEST(Bitmap32, AntiAliasedSteepLineAndShortStroke) {
  TBitmap32 b = White(8, 8);
  b.LineAA(3.0f, 1.0f, 3.0f, 6.0f, kInk);
  for (int y = 2; y <= 5; ++y) {
    EXPECT_EQ(b.Pixel(3, y), kInk) << y;
    EXPECT_EQ(b.Pixel(2, y), kWhite) << y;
  }
  // A stroke shorter than a pixel still shows as a dark pixel.
  TBitmap32 s = White(4, 4);
  s.LineAA(1.0f, 1.0f, 1.083f, 1.083f, kInk);
  EXPECT_LT(Red(s.Pixel(1, 1)), 0x60);
}

TEST(Bitmap32, AntiAliasedLinesClipAndRefuseNonFiniteEnds) {
  TBitmap32 b = White(16, 16);
  b.LineAA(-1e30f, 8.0f, 1e30f, 8.0f, kInk);  // crosses the whole bitmap, ends far off
  for (int x = 0; x < 16; ++x) EXPECT_EQ(b.Pixel(x, 8), kInk) << x;
  const TBitmap32 before = b;
  b.LineAA(0.0f, 0.0f, std::numeric_limits<float>::quiet_NaN(), 5.0f, kInk);
  b.LineAA(std::numeric_limits<float>::infinity(), 0.0f, 5.0f, 5.0f, kInk);
  b.LineAA(-50.0f, -50.0f, -20.0f, 100.0f, kInk);  // wholly outside
  EXPECT_EQ(Picture(b), Picture(before));
}

TEST(Bitmap32, TextIsMeasuredAndDrawnWhereAsked) {
  TBitmap32 b = White(80, 30);
  b.Font = {"Tahoma", 7, false, kInk};
  const int zero = b.TextWidth(u"0"), wide = b.TextWidth(u"1000 "), height = b.TextHeight(u"A");
  EXPECT_GT(zero, 0);
  EXPECT_GT(wide, 4 * zero);
  EXPECT_GT(height, 5);
  EXPECT_LT(height, 20);
  EXPECT_EQ(b.TextHeight(u""), 0);

  b.RenderText(10, 5, u"20");
  int inside = 0, outside = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const bool dark = Red(b.Pixel(x, y)) < 0x80;
      const bool in = x >= 10 && x < 10 + b.TextWidth(u"20") && y >= 5 && y < 5 + height;
      (in ? inside : outside) += dark;
    }
  EXPECT_GT(inside, 5);
  EXPECT_EQ(outside, 0);

  TBitmap32 bold = White(80, 30);
  bold.Font = {"Tahoma", 7, true, kInk};
  bold.RenderText(10, 5, u"20");
  EXPECT_NE(Picture(bold, kInk), Picture(b, kInk));
  b.RenderText(-1000, INT_MAX / 2, u"far away");  // clipped away without harm
}
