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

TEST(Bitmap32, BlendingRoundsEveryChannelToTheNearest) {
  // A line along a pixel row covers it wholly, so a colour of opacity A blends in with A.
  // Every background value c of a channel meets every A, for colours of some values n.
  const TColor32 colours[] = {0x000000, 0x01FE7F, 0xFF0180, 0x80FF01, 0x7F80FE, 0xFFFFFF};
  TBitmap32 b(256, 256);
  for (const TColor32 colour : colours) {
    for (int y = 0; y < 256; ++y)
      for (int c = 0; c < 256; ++c)
        b.SetPixel(c, y, TColor32(c) << 24 | TColor32(255 - c) << 16 | TColor32(c) << 8 | TColor32(c * 7 & 255));
    for (int alpha = 0; alpha < 256; ++alpha) {
      const auto y = static_cast<float>(alpha);
      b.LineAA(-10.0f, y, 300.0f, y, TColor32(alpha) << 24 | colour);
    }
    for (int alpha = 0; alpha < 256; ++alpha)
      for (int c = 0; c < 256; ++c) {
        const TColor32 before = TColor32(c) << 24 | TColor32(255 - c) << 16 | TColor32(c) << 8 | TColor32(c * 7 & 255);
        const TColor32 with = colour | 0xFF000000;
        TColor32 expected = 0;
        for (int shift = 0; shift < 32; shift += 8) {
          const unsigned was = before >> shift & 0xFF, n = with >> shift & 0xFF;
          expected |= ((was * (255u - alpha) + n * unsigned(alpha) + 127) / 255) << shift;
        }
        if (alpha == 0) expected = before;
        ASSERT_EQ(b.Pixel(c, alpha), expected) << std::hex << colour << " " << std::dec << alpha << " " << c;
      }
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
