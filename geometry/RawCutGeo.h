#pragma once
// The geometry of one cutting job as the PLT interpreter sees it: an ordered list of
// contours, each an ordered run of points (millimetres) the knife passes while cutting.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <vector>

struct TVector2D {
  float X = 0.0f;
  float Y = 0.0f;
  bool operator==(const TVector2D&) const = default;
};

inline TVector2D operator+(TVector2D A, TVector2D B) { return {A.X + B.X, A.Y + B.Y}; }
inline TVector2D operator-(TVector2D A, TVector2D B) { return {A.X - B.X, A.Y - B.Y}; }

// Left/Top are the smallest X/Y, Right/Bottom the largest.
struct TRect2D {
  float Left = 0.0f;
  float Top = 0.0f;
  float Right = 0.0f;
  float Bottom = 0.0f;
  float Width() const { return Right - Left; }
  float Height() const { return Bottom - Top; }
  bool operator==(const TRect2D&) const = default;
};

// Plus and minus 2^31 rather than the largest float, so that widths and heights of an
// empty extent stay finite; extending it by one point gives that point's rectangle.
inline constexpr TRect2D EmptyRect2D{2147483648.0f, 2147483648.0f, -2147483648.0f,
                                     -2147483648.0f};

struct TSimplePt {
  float X = 0.0f;
  float Y = 0.0f;
};

// A missing point (an index out of range) reads as the origin.
TVector2D AsVector(const TSimplePt* Point);

class TSimpleContourList;

// A contour's points sit in one array that it shares with the other contours of its
// list (a contour not yet in a list has an array of its own), so a job of many short
// cuts costs little more than its points.
class TSimpleContour {
public:
  std::int32_t Pen = 0;

  TSimpleContour() = default;
  TSimpleContour(TSimpleContour&& Other) noexcept;
  TSimpleContour& operator=(TSimpleContour&&) = delete;
  ~TSimpleContour();

  // Appends the point unless it equals the last one exactly. Inline: the interpreter
  // calls it for every cutting move.
  void AddPoint(float X, float Y) {
    if (FCount > 0) {
      const TSimplePt& last = (*FStore)[FBegin + FCount - 1];
      if (last.X == X && last.Y == Y) return;
    }
    if (!FStore || FBegin + FCount != FStore->size()) MakeLastInStore();
    if (FStore->size() >= kMaxPoints) return;  // 32 GB of points: the rest is not kept
    FStore->push_back({X, Y});
    ++FCount;
    FBoundsValid = false;
  }
  std::ptrdiff_t PointCount() const { return FCount; }
  // nullptr outside 0 .. count-1. Valid until the next point is added to the list.
  const TSimplePt* PointAt(std::ptrdiff_t Index) const;
  std::span<const TSimplePt> Points() const {
    return FCount ? std::span<const TSimplePt>(FStore->data() + FBegin, FCount) : std::span<const TSimplePt>();
  }
  // Cached until the next point is added; EmptyRect2D without points.
  TRect2D GetBounds() const;

private:
  friend class TSimpleContourList;
  static constexpr std::uint32_t kMaxPoints = 0xFFFFFFFFu;
  // Moves the points to the end of the store (creating an own store first when there
  // is none), so that the next point can be appended.
  void MakeLastInStore();
  // Appends the points to Store and points this contour at them there.
  void Place(std::vector<TSimplePt>& Store, std::span<const TSimplePt> Pts);
  void Adopt(std::vector<TSimplePt>& ListStore);

  // Ordered so that the contour takes 40 bytes with Pen.
  mutable TRect2D FBounds = EmptyRect2D;
  std::uint32_t FBegin = 0;
  std::uint32_t FCount = 0;
  bool FOwnsStore = false;
  mutable bool FBoundsValid = false;
  std::vector<TSimplePt>* FStore = nullptr;  // the list's, or FOwnsStore
};

class TSimpleContourList {
public:
  TSimpleContourList() = default;
  TSimpleContourList(const TSimpleContourList&) = delete;
  TSimpleContourList& operator=(const TSimpleContourList&) = delete;
  ~TSimpleContourList();

  // Appends a new empty contour and answers it; the interpreter's way, without a
  // contour of its own to move in.
  TSimpleContour* StartContour();
  // Takes the contour over and answers its index; a null contour is refused with -1.
  // The contour is moved into the list: reach it through ContourAt from then on.
  std::ptrdiff_t AddContour(std::unique_ptr<TSimpleContour> Contour);
  std::ptrdiff_t ContourCount() const { return static_cast<std::ptrdiff_t>(FContours.size()); }
  // nullptr outside 0 .. count-1; valid while the list lives.
  TSimpleContour* ContourAt(std::ptrdiff_t Index) const;
  // Cached until the next AddContour: points added to a contour already in the list
  // do not refresh it, so ask only once the list is complete.
  TRect2D GetBounds() const;
  // Gives back the room the point array grew into; for a list that is complete. The
  // copy this takes needs the points' memory twice over while it runs, so a little
  // spare room is left where it is.
  void Compact() {
    if (FPoints.capacity() - FPoints.size() > FPoints.size() / 4) FPoints.shrink_to_fit();
  }

private:
  std::vector<TSimplePt> FPoints;  // the points of every contour, contour by contour
  // A deque keeps each contour in place as the list grows, without a heap block each.
  mutable std::deque<TSimpleContour> FContours;
  mutable bool FBoundsValid = false;
  mutable TRect2D FBounds = EmptyRect2D;
};
