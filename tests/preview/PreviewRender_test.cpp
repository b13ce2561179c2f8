#include "preview/PreviewRender.h"

#include "bench/BenchJobs.h"
#include "platform/SystemColors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace {

constexpr const char* kDefaultJob = "IN;PU0,0;PD1,1;PU4000,4000;PD4001,4001;PU0,0;@";
constexpr TColor32 kPage = 0xFFFAFAFA, kGrid = 0xFFE0E8F0, kGridTenth = 0xFFD0D0D0;

// The background under the shadow's opacity at d = 0, 1, 2 and 7 pixels: 44, 42, 37, 5.
constexpr TColor32 kShade0 = 0xFFC7C7C7, kShade1 = 0xFFC8C8C8, kShade2 = 0xFFCDCDCD, kShade7 = 0xFFEBEBEB;

int Red(TColor32 C) { return int(C >> 16 & 0xFF); }
bool IsPage(TColor32 C) { return C == kPage || C == kGrid || C == kGridTenth; }

bool SamePixels(const TBitmap32& A, const TBitmap32& B) {
  return A.Width() == B.Width() && A.Height() == B.Height() &&
         std::equal(A.Bits(), A.Bits() + std::size_t(A.Width()) * A.Height(), B.Bits());
}

struct TPreview {
  TBitmap32 Box{PreviewBoxWidth, PreviewBoxHeight}, Top{PreviewBoxWidth, RulerBoxThickness},
      Left{RulerBoxThickness, PreviewBoxHeight};
  TWorkSpace Space;
  IMatrixRef View = TMatrixObj::CreateIdentity();

  TPreview() { Space.UseMillimetres(); }
  void Rebuild(const std::string& Job) { View = RebuildPreview(Job, {Box, Top, Left}, View, Space); }
};

}  // namespace

TEST(DrawPreview, DefaultJobPixelFacts) {
  TPreview p;
  p.Rebuild(kDefaultJob);
  EXPECT_FLOAT_EQ(p.View->GetElements().m11, 333.0f / 100.025f);
  EXPECT_FLOAT_EQ(p.View->GetElements().dx, 40.0f);
  EXPECT_FLOAT_EQ(p.View->GetElements().dy, 70.0f);
  struct TFact {
    int X, Y;
    TColor32 Color;
  } facts[] = {
      {200, 30, clBtnFace},  {39, 200, clBtnFace},   {400, 450, clBtnFace},  // outside the page area
      {41, 71, kPage},       {372, 402, kPage},                              // from (40, 70) to (373, 403)
      {373, 300, kShade0},   {374, 300, kShade1},    {380, 300, kShade7},    {381, 300, clBtnFace},
      {200, 403, kShade0},   {200, 405, kShade2},    {49, 410, kShade7},    // bottom strip from left + 9
      {48, 403, kShade0},    {41, 403, kShade7},     {40, 403, clBtnFace},  // bottom-left corner tile
      {373, 78, kShade0},    {373, 71, kShade7},     {373, 70, clBtnFace},  // top-right corner tile
      {362, 200, kGrid},     {272, 200, kGridTenth},                        // from right - 1, every 10
      {201, 392, kGrid},     {201, 302, kGridTenth}, {40, 392, kGrid},       {362, 402, kPage},
      {200, 0, clBtnShadow}, {0, 200, clBtnShadow},  {200, 1, cl3DDkShadow}, {1, 0, cl3DDkShadow},
      {0, 472, cl3DLight},   {412, 200, cl3DLight},                        // the sunken frame
      {200, 2, kShade2},     {2, 200, kShade2},      {200, 8, clBtnFace},  // the inner shadow
  };
  for (const TFact& f : facts) EXPECT_EQ(p.Box.Pixel(f.X, f.Y), f.Color) << f.X << "," << f.Y;
  EXPECT_LT(Red(p.Box.Pixel(40, 70)), 0x60);  // the two strokes shorter than a pixel
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
  EXPECT_EQ(top, 40);
  EXPECT_EQ(bottom + 1, PreviewBoxHeight - 40);
  EXPECT_EQ(left, PreviewBoxWidth - (right + 1));
}

TEST(RebuildPreview, RedrawIsRepeatableAndAnEmptyJobKeepsTheRulerScale) {
  TPreview p;
  p.Rebuild(kDefaultJob);
  const TBitmap32 box = p.Box, top = p.Top, left = p.Left;
  p.Rebuild(kDefaultJob);
  EXPECT_TRUE(SamePixels(p.Box, box) && SamePixels(p.Top, top) && SamePixels(p.Left, left));
  const IMatrixRef loaded = p.View;
  p.Rebuild("");
  EXPECT_EQ(p.View, loaded);
  EXPECT_TRUE(SamePixels(p.Top, top) && SamePixels(p.Left, left));
  TBitmap32 empty(PreviewBoxWidth, PreviewBoxHeight);
  EXPECT_EQ(DrawPreview(empty, nullptr), nullptr);
  EXPECT_TRUE(SamePixels(p.Box, empty));
}

TEST(DrawGrid, SmallPageAreasHaveNoGridLines) {
  const std::pair<TIntRect, bool> cases[] = {
      {{10, 10, 30, 60}, false},  // right - 1 - left is 19
      {{10, 10, 60, 30}, false},
      {{10, 10, 31, 31}, true},
      {{-5000, -5000, 100, 100}, true},  // reaching far outside, still anchored at its corner
  };
  for (const auto& [page, grid] : cases) {
    TBitmap32 box(120, 120);
    DrawGrid(box, page);
    bool lines = false;
    for (int y = std::max(page.Top, 0); y < page.Bottom; ++y)
      for (int x = std::max(page.Left, 0); x < page.Right; ++x) lines |= box.Pixel(x, y) != kPage;
    EXPECT_EQ(lines, grid) << page.Right;
    EXPECT_EQ(box.Pixel(page.Right, page.Bottom), 0u);  // right and bottom edges not filled
    EXPECT_EQ(box.Pixel(page.Right - 11, page.Bottom - 5), grid ? kGrid : kPage) << page.Right;
  }
}

// Jobs that could crash, hang or divide by zero: each is drawn whole with a finite
// matrix, and its cut where it has one.
TEST(RebuildPreview, BadJobsDrawSafely) {
  const struct {
    const char* Name;
    std::string Job;
    bool CutInTheMiddle;
  } jobs[] = {
      {"no cut", "IN;PU400,400;", false},
      {"a single point", "IN;PU400,400;PD400,400;", false},
      {"horizontal line", "IN;PU0,0;PD0,4000;", true},
      {"vertical line", "IN;PU0,0;PD4000,0;", true},
      {"32-bit limits", "IN;PU-2147483648,-2147483648;PD2147483647,2147483647;", true},
      {"a million segments", MillionSegmentJob(), true},
  };
  for (const auto& [name, job, cut] : jobs) {
    TPreview p;
    p.Rebuild(job);
    const TMatrixElements e = p.View->GetElements();
    EXPECT_TRUE(std::isfinite(e.m11) && std::isfinite(e.dx) && std::isfinite(e.dy)) << name;
    EXPECT_EQ(p.Box.Pixel(412, 472), cl3DLight) << name;
    int darkest = 255;
    for (int y = 235; y <= 238; ++y)
      for (int x = 205; x <= 208; ++x) darkest = std::min(darkest, Red(p.Box.Pixel(x, y)));
    EXPECT_EQ(darkest < 0x80, cut) << name;
  }
}
