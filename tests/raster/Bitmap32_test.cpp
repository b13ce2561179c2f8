#include "raster/Bitmap32.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr TColor32 kWhite = 0xFFFFFFFF, kInk = 0xFF000000;
using TPicture = std::vector<std::string>;

// The bitmap as rows of '#' (ink) and '.' (anything else).
TPicture Picture(const TBitmap32& B) {
  TPicture rows(B.Height(), std::string(B.Width(), '.'));
  for (int y = 0; y < B.Height(); ++y)
    for (int x = 0; x < B.Width(); ++x)
      if (B.Pixel(x, y) == kInk) rows[y][x] = '#';
  return rows;
}

TBitmap32 White(int W, int H) {
  TBitmap32 b(W, H);
  b.Clear(kWhite);
  return b;
}

int Red(TColor32 C) { return int(C >> 16 & 0xFF); }

}  // namespace

TEST(Bitmap32, FillsAndLinesLeaveTheirEndOutAndClip) {
  struct TCase {
    bool Fill;
    int X1, Y1, X2, Y2;
    TPicture Expected;
  } cases[] = {
      {true, 1, 1, 3, 3, {"....", ".##.", ".##.", "...."}},
      {true, 3, 2, INT_MAX, INT_MAX, {"....", "....", "...#", "...#"}},
      {true, 3, 3, 1, 1, {"....", "....", "....", "...."}},
      {false, 2, 3, 2, 0, {"....", "..#.", "..#.", "..#."}},
      {false, 0, 0, 4, 2, {"#...", ".##.", "...#", "...."}},
      // Far-off ends cost only the part inside.
      {false, INT_MIN, 2, INT_MAX, 2, {"....", "....", "####", "...."}},
      {false, INT_MIN, INT_MIN, INT_MAX, INT_MAX, {"#...", ".#..", "..#.", "...#"}},
  };
  for (const TCase& c : cases) {
    TBitmap32 b = White(4, 4);
    c.Fill ? b.FillRect(c.X1, c.Y1, c.X2, c.Y2, kInk) : b.Line(c.X1, c.Y1, c.X2, c.Y2, kInk);
    EXPECT_EQ(Picture(b), c.Expected) << c.X1 << "," << c.Y1 << " " << c.X2 << "," << c.Y2;
  }
}

TEST(Bitmap32, AntiAliasedLines) {
  TBitmap32 b = White(10, 5);
  b.LineAA(-1e30f, 1.0f, 1e30f, 1.0f, kInk);  // on a pixel row: solid, ends far off
  b.LineAA(1.0f, 2.5f, 8.0f, 2.5f, kInk);     // between rows: half each
  for (int x = 2; x <= 7; ++x) {
    EXPECT_EQ(b.Pixel(x, 1), kInk) << x;
    EXPECT_NEAR(Red(b.Pixel(x, 2)), 127, 1) << x;
    EXPECT_NEAR(Red(b.Pixel(x, 3)), 127, 1) << x;
  }
  EXPECT_EQ(b.Pixel(9, 2), kWhite);
  const TPicture before = Picture(b);
  b.LineAA(0.0f, 0.0f, std::nanf(""), 4.0f, kInk);
  b.LineAA(-50.0f, -50.0f, -20.0f, 100.0f, kInk);
  EXPECT_EQ(Picture(b), before);
  // A stroke shorter than a pixel still shows.
  b.LineAA(1.0f, 4.0f, 1.083f, 4.083f, kInk);
  EXPECT_LT(Red(b.Pixel(1, 4)), 0x60);
}
