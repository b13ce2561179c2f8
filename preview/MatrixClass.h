#pragma once
// 2-D affine view matrix. A point (x, y) maps to (m11·x + m21·y + dx, m12·x + m22·y + dy),
// the row-vector convention of the usual raster kits, so the six elements can be
// handed over in this order. The preview carries millimetres to pixels with it and the
// rulers map pixels back.

#include "geometry/RawCutGeo.h"

#include <cstdint>
#include <memory>
#include <span>

struct TMatrixElements {
  float m11 = 1.0f;
  float m12 = 0.0f;
  float m21 = 0.0f;
  float m22 = 1.0f;
  float dx = 0.0f;
  float dy = 0.0f;
  bool operator==(const TMatrixElements&) const = default;
};

struct TIntPoint {
  std::int32_t X = 0;
  std::int32_t Y = 0;
  bool operator==(const TIntPoint&) const = default;
};

struct TIntRect {
  std::int32_t Left = 0;
  std::int32_t Top = 0;
  std::int32_t Right = 0;
  std::int32_t Bottom = 0;
  bool operator==(const TIntRect&) const = default;
};

// Classification flags.
enum : std::uint8_t {
  mcPositiveAxes = 1,   // axis-aligned with m11 > 0 and m22 > 0
  mcRectilinear = 2,    // axis-aligned or axes exchanged
  mcUnitScale = 4,      // axis-aligned with m11 and m22 equal to 1
  mcIdentity = 8,       // unit scale without translation
  mcAxesExchanged = 64, // m11 and m22 negligible
};

// Distance in representable floats, so that "equal within n ULPs" works across zero.
std::int64_t UlpDistance(float A, float B);
// Nearest integer, an exact half going to the smaller neighbour (2.5 gives 2, -2.5
// gives -3). Values beyond the 32-bit range saturate; NaN gives 0.
std::int32_t FloatToIntHalfDown(float Value);

class IMatrix;
using IMatrixRef = std::shared_ptr<IMatrix>;

class IMatrix {
public:
  virtual ~IMatrix() = default;

  virtual TVector2D TransformXY(float X, float Y) const = 0;
  virtual TVector2D Transform(TVector2D P) const = 0;
  // A singular matrix maps every point back to (0, 0).
  virtual TVector2D InverseTransformXY(float X, float Y) const = 0;
  virtual TVector2D InverseTransform(TVector2D P) const = 0;
  virtual TIntPoint TransformXYToInt(float X, float Y) const = 0;
  virtual TIntPoint TransformToInt(TVector2D P) const = 0;
  // Rectangles map to the bounding box of their four mapped corners.
  virtual TRect2D TransformRect(float Left, float Top, float Right, float Bottom) const = 0;
  virtual TRect2D TransformRect(const TRect2D& R) const = 0;
  virtual TRect2D InverseTransformRect(float Left, float Top, float Right, float Bottom) const = 0;
  virtual TRect2D InverseTransformRect(const TRect2D& R) const = 0;
  virtual TIntRect TransformRectToInt(float Left, float Top, float Right, float Bottom) const = 0;
  virtual TIntRect TransformRectToInt(const TRect2D& R) const = 0;
  virtual TIntRect TransformRectToInt(const TIntRect& R) const = 0;
  virtual IMatrixRef Clone() const = 0;
  // All six elements exactly equal; nullptr gives false.
  virtual bool SameAs(const IMatrix* Other) const = 0;
  // The identity when the matrix is singular.
  virtual IMatrixRef Inverse() const = 0;
  virtual TMatrixElements GetElements() const = 0;
  virtual std::uint8_t Classification() const = 0;
  // Length of the image of a unit diagonal step; 1 when that length is 0.
  virtual float ScaleFactor() const = 0;
  virtual float InvScaleFactor() const = 0;
  // Radians in [0, 2π), measured against the picture's downward Y.
  virtual float RotationAngle() const = 0;
  virtual float SkewAngle() const = 0;
  virtual void TransformPoints(std::span<TVector2D> Points) const = 0;
  // M becomes M·R, R rotating by Angle radians.
  virtual void Rotate(float Angle) = 0;
  // Scales the mapped picture: x' by SX and y' by SY.
  virtual void Scale(float SX, float SY) = 0;
  // m11 by SX and m22 by SY only.
  virtual void ScaleDiagonal(float SX, float SY) = 0;
  virtual void Translate(float TX, float TY) = 0;
  virtual void SetTranslation(float TX, float TY) = 0;
};

class TMatrixObj final : public IMatrix {
public:
  explicit TMatrixObj(const TMatrixElements& E) : FE(E) {}

  static IMatrixRef CreateIdentity();
  static IMatrixRef CreateScaleOffset(float SX, float SY, float DX, float DY);
  static IMatrixRef CreateFromElements(const TMatrixElements& E);

  TVector2D TransformXY(float X, float Y) const override;
  TVector2D Transform(TVector2D P) const override;
  TVector2D InverseTransformXY(float X, float Y) const override;
  TVector2D InverseTransform(TVector2D P) const override;
  TIntPoint TransformXYToInt(float X, float Y) const override;
  TIntPoint TransformToInt(TVector2D P) const override;
  TRect2D TransformRect(float Left, float Top, float Right, float Bottom) const override;
  TRect2D TransformRect(const TRect2D& R) const override;
  TRect2D InverseTransformRect(float Left, float Top, float Right, float Bottom) const override;
  TRect2D InverseTransformRect(const TRect2D& R) const override;
  TIntRect TransformRectToInt(float Left, float Top, float Right, float Bottom) const override;
  TIntRect TransformRectToInt(const TRect2D& R) const override;
  TIntRect TransformRectToInt(const TIntRect& R) const override;
  IMatrixRef Clone() const override;
  bool SameAs(const IMatrix* Other) const override;
  IMatrixRef Inverse() const override;
  TMatrixElements GetElements() const override { return FE; }
  std::uint8_t Classification() const override;
  float ScaleFactor() const override;
  float InvScaleFactor() const override;
  float RotationAngle() const override;
  float SkewAngle() const override;
  void TransformPoints(std::span<TVector2D> Points) const override;
  void Rotate(float Angle) override;
  void Scale(float SX, float SY) override;
  void ScaleDiagonal(float SX, float SY) override;
  void Translate(float TX, float TY) override;
  void SetTranslation(float TX, float TY) override;

private:
  void SetElements(const TMatrixElements& E);
  // Flags, scale factors and angles, recomputed together on the first query after a
  // change.
  void UpdateDerived() const;

  TMatrixElements FE;
  mutable bool FDirty = true;
  mutable std::uint8_t FFlags = 0;
  mutable float FScaleFactor = 1.0f;
  mutable float FInvScaleFactor = 1.0f;
  mutable float FRotationAngle = 0.0f;
  mutable float FSkewAngle = 0.0f;
};
