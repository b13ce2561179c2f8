#include "RawCutGeo.h"

#include <algorithm>
#include <utility>

static_assert(sizeof(TSimpleContour) <= 40, "a contour of a job of many short cuts must stay small");

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

TSimpleContour::TSimpleContour(TSimpleContour&& Other) noexcept
    : Pen(Other.Pen),
      FBounds(Other.FBounds),
      FBegin(std::exchange(Other.FBegin, 0)),
      FCount(std::exchange(Other.FCount, 0)),
      FOwnsStore(std::exchange(Other.FOwnsStore, false)),
      FBoundsValid(Other.FBoundsValid),
      FStore(std::exchange(Other.FStore, nullptr)) {}

TSimpleContour::~TSimpleContour() {
  if (FOwnsStore) delete FStore;
}

void TSimpleContour::MakeLastInStore() {
  if (!FStore) {
    FStore = new std::vector<TSimplePt>;
    FOwnsStore = true;
    return;
  }
  // Only a contour that gains points after a later one started gets here: its points
  // move to the end, leaving their old place unused.
  const std::vector<TSimplePt> points(Points().begin(), Points().end());
  Place(*FStore, points);
}

void TSimpleContour::Place(std::vector<TSimplePt>& Store, std::span<const TSimplePt> Pts) {
  // A store never holds more than kMaxPoints, so offsets fit 32 bits; what would not
  // fit is dropped.
  FBegin = static_cast<std::uint32_t>(Store.size());
  FCount = 0;
  if (Store.size() + Pts.size() > kMaxPoints) return;
  Store.insert(Store.end(), Pts.begin(), Pts.end());
  FCount = static_cast<std::uint32_t>(Pts.size());
}

void TSimpleContour::Adopt(std::vector<TSimplePt>& ListStore) {
  Place(ListStore, Points());
  if (FOwnsStore) delete FStore;
  FStore = &ListStore;
  FOwnsStore = false;
}

const TSimplePt* TSimpleContour::PointAt(std::ptrdiff_t Index) const {
  if (Index < 0 || Index >= PointCount()) return nullptr;
  return FStore->data() + FBegin + Index;
}

TRect2D TSimpleContour::GetBounds() const {
  if (!FBoundsValid) {
    TRect2D r = EmptyRect2D;
    for (const TSimplePt& p : Points()) r = Extend(r, p.X, p.Y, p.X, p.Y);
    FBounds = r;
    FBoundsValid = true;
  }
  return FBounds;
}

TSimpleContourList::~TSimpleContourList() {
  // Contours go from the last to the first.
  while (!FContours.empty()) FContours.pop_back();
}

TSimpleContour* TSimpleContourList::StartContour() {
  TSimpleContour& contour = FContours.emplace_back();
  contour.FStore = &FPoints;
  contour.FBegin = static_cast<std::uint32_t>(std::min<std::size_t>(FPoints.size(), TSimpleContour::kMaxPoints));
  FBoundsValid = false;
  return &contour;
}

std::ptrdiff_t TSimpleContourList::AddContour(std::unique_ptr<TSimpleContour> Contour) {
  if (!Contour) return -1;
  Contour->Adopt(FPoints);
  FContours.push_back(std::move(*Contour));
  FBoundsValid = false;
  return ContourCount() - 1;
}

TSimpleContour* TSimpleContourList::ContourAt(std::ptrdiff_t Index) const {
  if (Index < 0 || Index >= ContourCount()) return nullptr;
  return &FContours[static_cast<std::size_t>(Index)];
}

TRect2D TSimpleContourList::GetBounds() const {
  if (!FBoundsValid) {
    TRect2D r = EmptyRect2D;
    for (const TSimpleContour& c : FContours) {
      const TRect2D b = c.GetBounds();
      r = Extend(r, b.Left, b.Top, b.Right, b.Bottom);
    }
    FBounds = r;
    FBoundsValid = true;
  }
  return FBounds;
}
