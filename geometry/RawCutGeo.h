#pragma once
// The geometry of one cutting job as the PLT interpreter sees it: an ordered list of
// contours, each an ordered run of points (millimetres) the knife passes while cutting.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
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

class TSimpleContour {
public:
  std::int32_t Pen = 0;

  // Appends the point unless it equals the last one exactly. Inline: the interpreter
  // calls it for every cutting move.
  void AddPoint(float X, float Y) {
    if (!FPoints.empty() && FPoints.back().X == X && FPoints.back().Y == Y) return;
    FPoints.push_back({X, Y});
    FBoundsValid = false;
  }
  std::ptrdiff_t PointCount() const { return static_cast<std::ptrdiff_t>(FPoints.size()); }
  // nullptr outside 0 .. count-1. The pointer stays valid while the contour lives:
  // a deque never moves its elements when it grows at the end.
  const TSimplePt* PointAt(std::ptrdiff_t Index) const;
  // Cached until the next point is added; EmptyRect2D without points.
  TRect2D GetBounds() const;

private:
  std::deque<TSimplePt> FPoints;
  mutable bool FBoundsValid = false;
  mutable TRect2D FBounds = EmptyRect2D;
};

class TSimpleContourList {
public:
  TSimpleContourList() = default;
  TSimpleContourList(const TSimpleContourList&) = delete;
  TSimpleContourList& operator=(const TSimpleContourList&) = delete;
  ~TSimpleContourList();

  // Takes ownership and answers the new index; a null contour is refused with -1.
  std::ptrdiff_t AddContour(std::unique_ptr<TSimpleContour> Contour);
  std::ptrdiff_t ContourCount() const { return static_cast<std::ptrdiff_t>(FContours.size()); }
  // nullptr outside 0 .. count-1.
  TSimpleContour* ContourAt(std::ptrdiff_t Index) const;
  // Cached until the next AddContour: points added to a contour already in the list
  // do not refresh it, so ask only once the list is complete.
  TRect2D GetBounds() const;

private:
  std::vector<std::unique_ptr<TSimpleContour>> FContours;
  mutable bool FBoundsValid = false;
  mutable TRect2D FBounds = EmptyRect2D;
};
