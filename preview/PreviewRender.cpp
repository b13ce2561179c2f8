#include "PreviewRender.h"

#include "geometry/VirtualCutterPort.h"
#include "platform/SystemColors.h"
#include "preview/RulerExClass.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <utility>

namespace {

using i64 = std::int64_t;

constexpr TColor32 kPageColor = 0xFFFAFAFA;
constexpr TColor32 kGridColor = 0xFFE0E8F0;
constexpr TColor32 kGridTenthColor = 0xFFD0D0D0;
constexpr TColor32 kCutColor = 0xFF000000;
constexpr int kFitMargin = 80;

// Edges far outside any buffer are held at a distance that keeps sums from overflowing
// and still lies outside.
int Held(i64 V) { return static_cast<int>(std::clamp<i64>(V, -(i64(1) << 30), i64(1) << 30)); }

// Pixels per millimetre for Extent millimetres into Room pixels; a division that fails
// gives 2147483648.0, so a job that is a straight line is fitted by its other axis.
float FitFactor(float Room, float Extent) {
  const float f = Room / Extent;
  return Extent != 0.0f && std::isfinite(f) ? f : 2147483648.0f;
}

// 255 * sqrt(0.03 * exp(-r^2)), r = 2.1003 * d / 7: 44 next to the edge, about 5 at
// the seventh pixel out.
template <class Distance>
TTile8 ShadowTile(Distance D) {
  TTile8 tile{};
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const double r = 2.1003 * D(x, y) / 7.0;
      tile[static_cast<std::size_t>(y * 8 + x)] =
          static_cast<std::uint8_t>(std::min(255.0, std::round(255.0 * std::sqrt(0.03 * std::exp(-r * r)))));
    }
  return tile;
}

// The grid lines i = 1 .. Count at Last - 10 i that fall inside [0, Size), for a page
// that may reach far outside the buffer.
template <class DrawLine>
void GridLines(i64 Last, i64 Count, int Size, DrawLine Draw) {
  const i64 from = std::max<i64>(1, (Last - Size) / 10), to = std::min<i64>(Count, Last / 10 + 1);
  for (i64 i = from; i <= to; ++i) Draw(Held(Last - 10 * i), i % 10 == 0 ? kGridTenthColor : kGridColor);
}

void DrawRuler(TBitmap32& Buffer, bool Vertical, const IMatrix& ViewMatrix, TWorkSpace& Space) {
  Buffer.Clear(clBtnFace);
  try {
    TRulerObjEx ruler;
    ruler.OnStep = [&Space](double MinStep) { return Space.RulerStep(MinStep); };
    ruler.OnLabel = [&Space](double Value) { return Space.FormatValue(Value); };
    ruler.UnitName = Space.UnitAbbrev();
    ruler.RulerLength = Vertical ? Buffer.Height() : Buffer.Width();
    ruler.BackColor = clBtnFace;
    ruler.NonNegativeLabelsOnly = true;
    ruler.Vertical = Vertical;
    const auto n = static_cast<float>(ruler.RulerLength);
    const TVector2D start = ViewMatrix.InverseTransformXY(0.0f, 0.0f), end = ViewMatrix.InverseTransformXY(n, n);
    if (auto strip = Vertical ? ruler.Render(start.Y, end.Y, 0.0f) : ruler.Render(start.X, end.X, 0.0f))
      strip->CopyTo(Buffer, 0, 0);
  } catch (const std::exception&) {
    Buffer.Clear(clBtnFace);
  }
}

}  // namespace

void DrawGrid(TBitmap32& Box, const TIntRect& Page) {
  Box.FillRect(Page.Left, Page.Top, Page.Right, Page.Bottom, kPageColor);
  const i64 right = i64(Page.Right) - 1, bottom = i64(Page.Bottom) - 1;
  if (right - Page.Left < 20 || bottom - Page.Top < 20) return;
  const int left = Page.Left, top = Page.Top, r = Held(right), b = Held(bottom);
  GridLines(bottom, (bottom - Page.Top) / 10, Box.Height(),
            [&](int Y, TColor32 Color) { Box.Line(left, Y, r, Y, Color); });
  GridLines(right, (right - Page.Left) / 10, Box.Width(),
            [&](int X, TColor32 Color) { Box.Line(X, top, X, b, Color); });
}

void DrawDropShadow(TBitmap32& Box, const TIntRect& R) {
  static const TTile8 bottom = ShadowTile([](int, int Y) { return double(Y); });
  static const TTile8 right = ShadowTile([](int X, int) { return double(X); });
  static const TTile8 bottomLeft = ShadowTile([](int X, int Y) { return std::hypot(7.0 - X, double(Y)); });
  static const TTile8 bottomRight = ShadowTile([](int X, int Y) { return std::hypot(double(X), double(Y)); });
  static const TTile8 topRight = ShadowTile([](int X, int Y) { return std::hypot(double(X), 7.0 - Y); });
  const i64 l = R.Left, t = R.Top, r = R.Right, b = R.Bottom;
  // Strips run between the corner tiles; each piece is clipped to the box.
  Box.BlendTile(bottom, Held(l + 9), Held(b), Held(r) - Held(l + 9), 8);
  Box.BlendTile(right, Held(r), Held(t + 9), 8, Held(b) - Held(t + 9));
  Box.BlendTile(bottomLeft, Held(l + 1), Held(b), 8, 8);
  Box.BlendTile(bottomRight, Held(r), Held(b), 8, 8);
  Box.BlendTile(topRight, Held(r), Held(t + 1), 8, 8);
}

void DrawContours(TBitmap32& Box, const TSimpleContourList& List, const IMatrix& ViewMatrix) {
  std::ptrdiff_t contour = 0;
  std::size_t point = 1;
  DrawContourSegments(Box, List, ViewMatrix, contour, point, std::numeric_limits<std::size_t>::max());
}

std::size_t DrawContourSegments(TBitmap32& Box, const TSimpleContourList& List, const IMatrix& ViewMatrix,
                                std::ptrdiff_t& Contour, std::size_t& Point, std::size_t Segments) {
  std::size_t drawn = 0;
  for (; Contour < List.ContourCount(); ++Contour, Point = 1) {
    const auto points = List.ContourAt(Contour)->Points();
    if (Point >= points.size()) continue;
    TVector2D from = ViewMatrix.TransformXY(points[Point - 1].X, points[Point - 1].Y);
    for (; Point < points.size(); ++Point, ++drawn) {
      if (drawn == Segments) return drawn;
      const TVector2D to = ViewMatrix.TransformXY(points[Point].X, points[Point].Y);
      Box.LineAA(from.X, from.Y, to.X, to.Y, kCutColor);
      from = to;
    }
  }
  return drawn;
}

void DrawSunkenBorder(TBitmap32& Box) {
  const int w = Box.Width(), h = Box.Height();
  Box.Line(0, 0, w, 0, clBtnShadow);
  Box.Line(0, 0, 0, h, clBtnShadow);
  Box.Line(0, 1, w, 1, cl3DDkShadow);
  Box.Line(1, 0, 1, h, cl3DDkShadow);
  Box.Line(0, h - 1, w, h - 1, cl3DLight);
  Box.Line(w - 1, 0, w - 1, h, cl3DLight);
}

// Background, inner shadow and, for a list, the page area fitted to the box with its
// grid and shadow; answers the view matrix of the fit (nullptr without a list).
static IMatrixRef PaintPage(TBitmap32& Box, const TSimpleContourList* List) {
  const int w = Box.Width(), h = Box.Height();
  Box.Clear(clBtnFace);
  // The inner shadow: rectangles above and left of the box cast their shadows into it.
  DrawDropShadow(Box, {-32, -32, Held(i64(w) + 32), 0});
  DrawDropShadow(Box, {-32, -32, 0, Held(i64(h) + 32)});
  if (!List) return nullptr;
  const TRect2D bounds = List->GetBounds();
  const float bw = bounds.Right - bounds.Left, bh = bounds.Bottom - bounds.Top;
  const float s = std::min(FitFactor(float(w - kFitMargin), bw), FitFactor(float(h - kFitMargin), bh));
  const float tx = (float(w) - s * bw) / 2.0f - s * bounds.Left;
  const float ty = (float(h) - s * bh) / 2.0f - s * bounds.Top;
  IMatrixRef view = TMatrixObj::CreateScaleOffset(s, s, tx, ty);
  const TIntRect page = view->TransformRectToInt(bounds);
  DrawGrid(Box, page);
  DrawDropShadow(Box, page);
  return view;
}

IMatrixRef DrawPreview(TBitmap32& Box, const TSimpleContourList* List) {
  IMatrixRef view = PaintPage(Box, List);
  if (view) DrawContours(Box, *List, *view);
  DrawSunkenBorder(Box);
  return view;
}

void DrawRulers(TBitmap32& TopRuler, TBitmap32& LeftRuler, const IMatrix& ViewMatrix, TWorkSpace& Space) {
  DrawRuler(TopRuler, false, ViewMatrix, Space);
  DrawRuler(LeftRuler, true, ViewMatrix, Space);
}

TPreviewRebuild::TPreviewRebuild(std::string_view JobText, const TPreviewBoxes& Boxes, IMatrixRef ViewMatrix,
                                 TWorkSpace& Space)
    : FJobText(JobText), FBoxes(Boxes), FViewMatrix(std::move(ViewMatrix)), FSpace(Space) {}

bool TPreviewRebuild::Step(std::size_t Segments, std::size_t Bytes) {
  switch (FPhase) {
    case TPhase::Begin:
      // The interpreter, and with it the contour list, lives only for this rebuild.
      FCutter.reset(new TVirtCutterObj);
      FCutter->BuildContours = true;
      FCutter->BeginParse(FJobText);
      FPhase = TPhase::Interpret;
      [[fallthrough]];
    case TPhase::Interpret:
      if (FCutter->ParseSome(Bytes)) return true;
      FNotice = TPreviewNotice(FCutter->Unread(), FCutter->Contours());
      for (std::ptrdiff_t i = 0; FCutter->Contours() && i < FCutter->Contours()->ContourCount(); ++i)
        FSegments += std::max<std::size_t>(FCutter->Contours()->ContourAt(i)->Points().size(), 1) - 1;
      FPhase = TPhase::Page;
      return true;
    case TPhase::Page:
      FFitted = PaintPage(FBoxes.Box, FCutter->Contours());
      FPhase = FFitted ? TPhase::Contours : TPhase::Finish;
      return true;
    case TPhase::Contours:
      FSegmentsDrawn += DrawContourSegments(FBoxes.Box, *FCutter->Contours(), *FFitted, FContour, FPoint,
                                            std::max<std::size_t>(Segments, 1));
      if (FContour == FCutter->Contours()->ContourCount()) FPhase = TPhase::Finish;
      return true;
    case TPhase::Finish:
      DrawSunkenBorder(FBoxes.Box);
      if (FFitted) FViewMatrix = FFitted;
      if (!FViewMatrix) FViewMatrix = TMatrixObj::CreateIdentity();
      DrawRulers(FBoxes.TopRuler, FBoxes.LeftRuler, *FViewMatrix, FSpace);
      FCutter.reset();
      FPhase = TPhase::Done;
      return false;
    case TPhase::Done:
      break;
  }
  return false;
}

double TPreviewRebuild::Progress() const {
  if (FPhase == TPhase::Done) return 1.0;
  if (FPhase == TPhase::Begin) return 0.0;
  if (FPhase == TPhase::Interpret) return 0.2 * FCutter->ParseProgress();
  // Interpreting takes about a fifth of a big job's rebuild, drawing the rest.
  return 0.2 + 0.8 * (FSegments ? static_cast<double>(FSegmentsDrawn) / static_cast<double>(FSegments) : 1.0);
}

IMatrixRef RebuildPreview(std::string_view JobText, const TPreviewBoxes& Boxes, IMatrixRef ViewMatrix,
                          TWorkSpace& Space, TPreviewNotice* Notice) {
  TPreviewRebuild rebuild(JobText, Boxes, std::move(ViewMatrix), Space);
  while (rebuild.Step(std::numeric_limits<std::size_t>::max(), std::numeric_limits<std::size_t>::max())) {
  }
  if (Notice) *Notice = rebuild.Notice();
  return rebuild.ViewMatrix();
}
