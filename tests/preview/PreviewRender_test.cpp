#include "preview/PreviewRender.h"

#include "bench/BenchJobs.h"
#include "geometry/VirtualCutterPort.h"
#include "platform/SystemColors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

constexpr const char* kDefaultJob = "IN;PU0,0;PD1,1;PU4000,4000;PD4001,4001;PU0,0;@";
constexpr TColor32 kPage = 0xFFFAFAFA, kGrid = 0xFFE0E8F0, kGridTenth = 0xFFD0D0D0;

// A grey of the given level, as the shadow leaves the background.
constexpr TColor32 Grey(unsigned Level) { return 0xFF000000 | Level << 16 | Level << 8 | Level; }

int Red(TColor32 C) { return int(C >> 16 & 0xFF); }

struct TPreview {
  TBitmap32 Box{PreviewBoxWidth, PreviewBoxHeight};
  TBitmap32 Top{PreviewBoxWidth, RulerBoxThickness};
  TBitmap32 Left{RulerBoxThickness, PreviewBoxHeight};
  TWorkSpace Space;
  IMatrixRef View = TMatrixObj::CreateIdentity();

  TPreview() { Space.UseMillimetres(); }
  void Rebuild(const std::string& Job) { View = RebuildPreview(Job, {Box, Top, Left}, View, Space); }
};

bool SamePixels(const TBitmap32& A, const TBitmap32& B) {
  return A.Width() == B.Width() && A.Height() == B.Height() &&
         std::equal(A.Bits(), A.Bits() + std::size_t(A.Width()) * A.Height(), B.Bits());
}

// Some pixel of the 3 x 3 around (X, Y) is dark: the cut passes there.
bool DarkNear(const TBitmap32& B, int X, int Y) {
  int darkest = 255;
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx) darkest = std::min(darkest, Red(B.Pixel(X + dx, Y + dy)));
  return darkest < 0x80;
}

bool IsPage(TColor32 C) { return C == kPage || C == kGrid || C == kGridTenth; }

}  // namespace

TEST(DrawPreview, DefaultJobPixelFacts) {
  TPreview p;
  p.Rebuild(kDefaultJob);
  const TMatrixElements e = p.View->GetElements();
  EXPECT_FLOAT_EQ(e.m11, 333.0f / 100.025f);
  EXPECT_FLOAT_EQ(e.dx, 40.0f);
  EXPECT_FLOAT_EQ(e.dy, 70.0f);

  struct TFact {
    int X, Y;
    TColor32 Color;
    const char* What;
  } facts[] = {
      {200, 30, clBtnFace, "background above the page"},
      {39, 200, clBtnFace, "background left of the page"},
      {400, 450, clBtnFace, "background below and right"},
      {41, 71, kPage, "page area at its top-left"},
      {372, 402, kPage, "last pixel of the page area"},
      {373, 300, Grey(0xC7), "right shadow next to the edge: 44"},
      {374, 300, Grey(0xC8), "right shadow, one pixel out: 42"},
      {380, 300, Grey(0xEB), "right shadow, seventh pixel out: 5"},
      {381, 300, clBtnFace, "right shadow ends after 8 pixels"},
      {200, 403, Grey(0xC7), "bottom shadow next to the edge"},
      {200, 405, Grey(0xCD), "bottom shadow, two pixels out: 37"},
      {49, 410, Grey(0xEB), "bottom strip starts at left + 9"},
      {48, 403, Grey(0xC7), "bottom-left corner, strongest at its top-right"},
      {41, 403, Grey(0xEB), "bottom-left corner fades to the left"},
      {40, 403, clBtnFace, "no shadow under the page's first column"},
      {373, 78, Grey(0xC7), "top-right corner, strongest at its bottom-left"},
      {373, 71, Grey(0xEB), "top-right corner fades upwards"},
      {373, 70, clBtnFace, "no shadow beside the page's first row"},
      {362, 200, kGrid, "first vertical grid line at right - 1 - 10"},
      {272, 200, kGridTenth, "tenth vertical line darker"},
      {201, 392, kGrid, "first horizontal grid line at bottom - 1 - 10"},
      {201, 302, kGridTenth, "tenth horizontal line darker"},
      {40, 392, kGrid, "horizontal lines start at the page's left"},
      {362, 70, kGrid, "vertical lines start at the page's top"},
      {362, 402, kPage, "vertical lines stop before the bottom row"},
      {0, 0, clBtnShadow, "frame corner"},
      {200, 0, clBtnShadow, "frame top row"},
      {0, 200, clBtnShadow, "frame left column"},
      {200, 1, cl3DDkShadow, "frame second row"},
      {1, 200, cl3DDkShadow, "frame second column"},
      {1, 0, cl3DDkShadow, "second column drawn over the top row"},
      {200, 472, cl3DLight, "frame bottom row"},
      {412, 200, cl3DLight, "frame right column"},
      {0, 472, cl3DLight, "bottom row drawn over the left column"},
      {200, 2, Grey(0xCD), "inner shadow along the top, two pixels in"},
      {2, 200, Grey(0xCD), "inner shadow along the left, two pixels in"},
      {200, 8, clBtnFace, "inner shadow is 8 pixels deep"},
  };
  for (const TFact& f : facts)
    EXPECT_EQ(p.Box.Pixel(f.X, f.Y), f.Color) << f.What << " at " << f.X << "," << f.Y;
  // The two strokes shorter than a pixel, at the page's two corners.
  EXPECT_LT(Red(p.Box.Pixel(40, 70)), 0x60);
  EXPECT_LT(Red(p.Box.Pixel(373, 403)), 0x60);
}

TEST(DrawPreview, TallJobFitsItsHeightAndIsCentred) {
  TPreview p;
  p.Rebuild("IN;PU0,0;PD8000,4000;");  // 100 mm wide, 200 mm tall
  int left = -1, right = -1, top = -1, bottom = -1;
  for (int x = 0; x < PreviewBoxWidth; ++x)
    if (IsPage(p.Box.Pixel(x, 300))) (left < 0 ? left : right) = x;
  for (int y = 0; y < PreviewBoxHeight; ++y)
    if (IsPage(p.Box.Pixel(150, y))) (top < 0 ? top : bottom) = y;
  EXPECT_EQ(bottom + 1 - top, PreviewBoxHeight - 80);
  EXPECT_EQ(top, 40);
  EXPECT_EQ(left, PreviewBoxWidth - (right + 1));
  EXPECT_NEAR(right + 1 - left, (PreviewBoxHeight - 80) / 2, 1);
}

TEST(RebuildPreview, RedrawTwiceGivesTheSamePixels) {
  TPreview p;
  p.Rebuild(kDefaultJob);
  const TBitmap32 box = p.Box, top = p.Top, left = p.Left;
  p.Rebuild(kDefaultJob);
  EXPECT_TRUE(SamePixels(p.Box, box));
  EXPECT_TRUE(SamePixels(p.Top, top));
  EXPECT_TRUE(SamePixels(p.Left, left));
}

TEST(RebuildPreview, EmptyJobShowsTheEmptyBoxAndKeepsTheRulerScale) {
  TPreview p;
  p.Rebuild(kDefaultJob);
  const IMatrixRef loaded = p.View;
  const TBitmap32 top = p.Top, left = p.Left;
  p.Rebuild("");
  EXPECT_EQ(p.View, loaded);
  EXPECT_TRUE(SamePixels(p.Top, top));
  EXPECT_TRUE(SamePixels(p.Left, left));
  TBitmap32 empty(PreviewBoxWidth, PreviewBoxHeight);
  EXPECT_EQ(DrawPreview(empty, nullptr), nullptr);
  EXPECT_TRUE(SamePixels(p.Box, empty));
  EXPECT_EQ(p.Box.Pixel(206, 236), clBtnFace);  // no page area
}

TEST(DrawGrid, SmallPageAreasHaveNoGridLines) {
  struct TCase {
    TIntRect Page;
    bool Grid;
  } cases[] = {
      {{10, 10, 30, 60}, false},  // 20 pixels wide: right - 1 - left is 19
      {{10, 10, 60, 30}, false},
      {{10, 10, 31, 31}, true},
      {{-5000, -5000, 100, 100}, true},  // reaching far outside: lines from its corner
  };
  for (const TCase& c : cases) {
    TBitmap32 box(120, 120);
    box.Clear(clBtnFace);
    DrawGrid(box, c.Page);
    bool grid = false, filled = true;
    for (int y = std::max(c.Page.Top, 0); y < c.Page.Bottom; ++y)
      for (int x = std::max(c.Page.Left, 0); x < c.Page.Right; ++x) {
        grid |= box.Pixel(x, y) != kPage;
        filled &= IsPage(box.Pixel(x, y));
      }
    EXPECT_EQ(grid, c.Grid) << c.Page.Left << "," << c.Page.Top << "," << c.Page.Right << "," << c.Page.Bottom;
    EXPECT_TRUE(filled);
    EXPECT_EQ(box.Pixel(c.Page.Right, c.Page.Bottom), clBtnFace);  // right and bottom exclusive
  }
  TBitmap32 box(120, 120);
  DrawGrid(box, {-5000, -5000, 100, 100});
  EXPECT_EQ(box.Pixel(89, 50), kGrid);  // 99 - 10
}

// Jobs that once could crash, hang or divide by zero: each is drawn whole, with a
// finite matrix, and a line where one is expected.
TEST(RebuildPreview, BadJobsDrawSafely) {
  struct TCase {
    const char* Name;
    std::string Job;
    bool Matrix;
    int DarkX, DarkY;  // a pixel the cut passes, or -1
  } cases[] = {
      {"empty", "", false, -1, -1},
      {"no cut", "IN;PU400,400;", true, -1, -1},
      {"a single point", "IN;PU400,400;PD400,400;", true, -1, -1},
      {"horizontal line", "IN;PU0,0;PD0,4000;", true, 206, 236},
      {"vertical line", "IN;PU0,0;PD4000,0;", true, 206, 236},
      {"32-bit limits", "IN;PU-2147483648,-2147483648;PD2147483647,2147483647;", true, 206, 236},
      {"a million segments", MillionSegmentJob(), true, -1, -1},
  };
  for (const TCase& c : cases) {
    TPreview p;
    const IMatrixRef identity = p.View;
    p.Rebuild(c.Job);
    ASSERT_NE(p.View, nullptr) << c.Name;
    EXPECT_EQ(p.View != identity, c.Matrix) << c.Name;
    const TMatrixElements e = p.View->GetElements();
    EXPECT_TRUE(std::isfinite(e.m11) && std::isfinite(e.dx) && std::isfinite(e.dy)) << c.Name;
    EXPECT_EQ(p.Box.Pixel(0, 0), clBtnShadow) << c.Name;
    EXPECT_EQ(p.Box.Pixel(412, 472), cl3DLight) << c.Name;
    if (c.DarkX >= 0) {
      EXPECT_TRUE(DarkNear(p.Box, c.DarkX, c.DarkY)) << c.Name;
    }
  }
}
