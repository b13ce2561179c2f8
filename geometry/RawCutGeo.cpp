#include "RawCutGeo.h"

namespace {

// First operand unless the second is strictly better, so ties and signed zeros keep
// what the fold already holds.
float MinOf(float A, float B) { return A < B ? A : B; }
float MaxOf(float A, float B) { return A > B ? A : B; }

TRect2D Extend(TRect2D R, float Left, float Top, float Right, float Bottom) {
  return {MinOf(R.Left, Left), MinOf(R.Top, Top), MaxOf(R.Right, Right), MaxOf(R.Bottom, Bottom)};
}

}  // namespace

TVector2D AsVector(const TSimplePt* Point) {
  return Point ? TVector2D{Point->X, Point->Y} : TVector2D{};
}

const TSimplePt* TSimpleContour::PointAt(std::ptrdiff_t Index) const {
  if (Index < 0 || Index >= PointCount()) return nullptr;
  return &FPoints[static_cast<std::size_t>(Index)];
}

TRect2D TSimpleContour::GetBounds() const {
  if (!FBoundsValid) {
    TRect2D r = EmptyRect2D;
    for (const TSimplePt& p : FPoints) r = Extend(r, p.X, p.Y, p.X, p.Y);
    FBounds = r;
    FBoundsValid = true;
  }
  return FBounds;
}

TSimpleContourList::~TSimpleContourList() {
  // Contours go from the last to the first.
  while (!FContours.empty()) FContours.pop_back();
}

std::ptrdiff_t TSimpleContourList::AddContour(std::unique_ptr<TSimpleContour> Contour) {
  if (!Contour) return -1;
  FContours.push_back(std::move(Contour));
  FBoundsValid = false;
  return ContourCount() - 1;
}

TSimpleContour* TSimpleContourList::ContourAt(std::ptrdiff_t Index) const {
  if (Index < 0 || Index >= ContourCount()) return nullptr;
  return FContours[static_cast<std::size_t>(Index)].get();
}

TRect2D TSimpleContourList::GetBounds() const {
  if (!FBoundsValid) {
    TRect2D r = EmptyRect2D;
    for (const auto& c : FContours) {
      const TRect2D b = c->GetBounds();
      r = Extend(r, b.Left, b.Top, b.Right, b.Bottom);
    }
    FBounds = r;
    FBoundsValid = true;
  }
  return FBounds;
}
