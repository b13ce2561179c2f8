#include "MatrixClass.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

namespace {

// Below this a determinant counts as zero.
constexpr double kSingular = 1e-12;

// P = A·B: A applies first, then B. A singular B leaves A unchanged. Products of two
// floats are exact in double, so the singularity test is exact.
TMatrixElements Multiply(const TMatrixElements& A, const TMatrixElements& B) {
  if (double(B.m11) * B.m22 == double(B.m12) * B.m21) return A;
  return {float(double(A.m11) * B.m11 + double(A.m12) * B.m21),
          float(double(A.m11) * B.m12 + double(A.m12) * B.m22),
          float(double(A.m21) * B.m11 + double(A.m22) * B.m21),
          float(double(A.m21) * B.m12 + double(A.m22) * B.m22),
          float(double(A.dx) * B.m11 + double(A.dy) * B.m21 + B.dx),
          float(double(A.dx) * B.m12 + double(A.dy) * B.m22 + B.dy)};
}

TRect2D BoundingBox(const TVector2D (&P)[4]) {
  TRect2D r{P[0].X, P[0].Y, P[0].X, P[0].Y};
  for (const TVector2D& p : P) {
    r.Left = std::fmin(r.Left, p.X);
    r.Top = std::fmin(r.Top, p.Y);
    r.Right = std::fmax(r.Right, p.X);
    r.Bottom = std::fmax(r.Bottom, p.Y);
  }
  return r;
}

}  // namespace

std::int64_t UlpDistance(float A, float B) {
  auto ordered = [](float F) {
    std::uint32_t bits;
    std::memcpy(&bits, &F, sizeof bits);
    return (bits & 0x80000000u) ? std::int64_t{0x80000000} - bits : std::int64_t{bits};
  };
  const std::int64_t d = ordered(A) - ordered(B);
  return d < 0 ? -d : d;
}

std::int32_t FloatToIntHalfDown(float Value) {
  // ceil(x - 0.5). The subtraction is exact in double for every float that can have
  // a fraction, so no rounding-mode change is needed to keep halves going down.
  const double r = std::ceil(double(Value) - 0.5);
  if (std::isnan(r)) return 0;
  if (r >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  if (r <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(r);
}

IMatrixRef TMatrixObj::CreateIdentity() { return std::make_shared<TMatrixObj>(TMatrixElements{}); }

IMatrixRef TMatrixObj::CreateScaleOffset(float SX, float SY, float DX, float DY) {
  return std::make_shared<TMatrixObj>(TMatrixElements{SX, 0.0f, 0.0f, SY, DX, DY});
}

IMatrixRef TMatrixObj::CreateFromElements(const TMatrixElements& E) {
  return std::make_shared<TMatrixObj>(E);
}

TVector2D TMatrixObj::TransformXY(float X, float Y) const {
  return {float(double(FE.m11) * X + double(FE.m21) * Y + FE.dx),
          float(double(FE.m12) * X + double(FE.m22) * Y + FE.dy)};
}

TVector2D TMatrixObj::Transform(TVector2D P) const { return TransformXY(P.X, P.Y); }

TVector2D TMatrixObj::InverseTransformXY(float X, float Y) const {
  const double det = double(FE.m11) * FE.m22 - double(FE.m12) * FE.m21;
  const double inv = std::fabs(det) < kSingular ? 0.0 : 1.0 / det;
  const double u = (double(X) - FE.dx) * inv;
  const double v = (double(Y) - FE.dy) * inv;
  return {float(FE.m22 * u - FE.m21 * v), float(FE.m11 * v - FE.m12 * u)};
}

TVector2D TMatrixObj::InverseTransform(TVector2D P) const { return InverseTransformXY(P.X, P.Y); }

TIntPoint TMatrixObj::TransformXYToInt(float X, float Y) const {
  const TVector2D p = TransformXY(X, Y);
  return {FloatToIntHalfDown(p.X), FloatToIntHalfDown(p.Y)};
}

TIntPoint TMatrixObj::TransformToInt(TVector2D P) const { return TransformXYToInt(P.X, P.Y); }

TRect2D TMatrixObj::TransformRect(float Left, float Top, float Right, float Bottom) const {
  return BoundingBox({TransformXY(Left, Top), TransformXY(Right, Top),
                      TransformXY(Right, Bottom), TransformXY(Left, Bottom)});
}

TRect2D TMatrixObj::TransformRect(const TRect2D& R) const {
  return TransformRect(R.Left, R.Top, R.Right, R.Bottom);
}

TRect2D TMatrixObj::InverseTransformRect(float Left, float Top, float Right,
                                         float Bottom) const {
  return BoundingBox({InverseTransformXY(Left, Top), InverseTransformXY(Right, Top),
                      InverseTransformXY(Right, Bottom), InverseTransformXY(Left, Bottom)});
}

TRect2D TMatrixObj::InverseTransformRect(const TRect2D& R) const {
  return InverseTransformRect(R.Left, R.Top, R.Right, R.Bottom);
}

TIntRect TMatrixObj::TransformRectToInt(float Left, float Top, float Right,
                                        float Bottom) const {
  const TRect2D r = TransformRect(Left, Top, Right, Bottom);
  return {FloatToIntHalfDown(r.Left), FloatToIntHalfDown(r.Top), FloatToIntHalfDown(r.Right),
          FloatToIntHalfDown(r.Bottom)};
}

TIntRect TMatrixObj::TransformRectToInt(const TRect2D& R) const {
  return TransformRectToInt(R.Left, R.Top, R.Right, R.Bottom);
}

TIntRect TMatrixObj::TransformRectToInt(const TIntRect& R) const {
  return TransformRectToInt(float(R.Left), float(R.Top), float(R.Right), float(R.Bottom));
}

IMatrixRef TMatrixObj::Clone() const { return CreateFromElements(FE); }

bool TMatrixObj::SameAs(const IMatrix* Other) const {
  return Other != nullptr && Other->GetElements() == FE;
}

IMatrixRef TMatrixObj::Inverse() const {
  const double det = double(FE.m11) * FE.m22 - double(FE.m12) * FE.m21;
  if (std::fabs(det) < kSingular) return CreateIdentity();
  const double inv = 1.0 / det;
  return CreateFromElements({float(FE.m22 * inv), float(-FE.m12 * inv), float(-FE.m21 * inv),
                             float(FE.m11 * inv),
                             float(inv * (double(FE.m21) * FE.dy - double(FE.m22) * FE.dx)),
                             float(inv * (double(FE.m12) * FE.dx - double(FE.m11) * FE.dy))});
}

std::uint8_t TMatrixObj::Classification() const {
  UpdateDerived();
  return FFlags;
}

float TMatrixObj::ScaleFactor() const {
  UpdateDerived();
  return FScaleFactor;
}

float TMatrixObj::InvScaleFactor() const {
  UpdateDerived();
  return FInvScaleFactor;
}

float TMatrixObj::RotationAngle() const {
  UpdateDerived();
  return FRotationAngle;
}

float TMatrixObj::SkewAngle() const {
  UpdateDerived();
  return FSkewAngle;
}

void TMatrixObj::TransformPoints(std::span<TVector2D> Points) const {
  for (TVector2D& p : Points) p = Transform(p);
}

void TMatrixObj::Rotate(float Angle) {
  const float c = float(std::cos(double(Angle)));
  const float s = float(std::sin(double(Angle)));
  SetElements(Multiply(FE, {c, s, -s, c, 0.0f, 0.0f}));
}

void TMatrixObj::Scale(float SX, float SY) {
  SetElements({FE.m11 * SX, FE.m12 * SY, FE.m21 * SX, FE.m22 * SY, FE.dx * SX, FE.dy * SY});
}

void TMatrixObj::ScaleDiagonal(float SX, float SY) {
  SetElements({FE.m11 * SX, FE.m12, FE.m21, FE.m22 * SY, FE.dx, FE.dy});
}

void TMatrixObj::Translate(float TX, float TY) {
  SetElements({FE.m11, FE.m12, FE.m21, FE.m22, FE.dx + TX, FE.dy + TY});
}

void TMatrixObj::SetTranslation(float TX, float TY) {
  SetElements({FE.m11, FE.m12, FE.m21, FE.m22, TX, TY});
}

void TMatrixObj::SetElements(const TMatrixElements& E) {
  FE = E;
  FDirty = true;
}

void TMatrixObj::UpdateDerived() const {
  if (!FDirty) return;
  FDirty = false;

  const TVector2D origin = TransformXY(0.0f, 0.0f);
  const TVector2D diagonal = TransformXY(0.70710677f, 0.70710677f) - origin;
  const float length = float(std::hypot(double(diagonal.X), double(diagonal.Y)));
  FScaleFactor = length == 0.0f ? 1.0f : length;
  const float inverse = 1.0f / FScaleFactor;
  FInvScaleFactor = std::isfinite(inverse) ? inverse : 2147483648.0f;

  const float a = std::fabs(FE.m11) + std::fabs(FE.m22);
  const float c = std::fabs(FE.m12) + std::fabs(FE.m21);
  const float s = a + c;
  const bool aligned = UlpDistance(s, a) <= 2;
  const bool exchanged = !aligned && UlpDistance(s, c) <= 2;
  const bool unitScale = aligned && UlpDistance(FE.m11, 1.0f) <= 2 && UlpDistance(FE.m22, 1.0f) <= 2;
  FFlags = 0;
  if (aligned && FE.m11 > 0.0f && FE.m22 > 0.0f) FFlags |= mcPositiveAxes;
  if (aligned || exchanged) FFlags |= mcRectilinear;
  if (unitScale) FFlags |= mcUnitScale;
  if (unitScale && UlpDistance(FE.dx, 0.0f) <= 2 && UlpDistance(FE.dy, 0.0f) <= 2)
    FFlags |= mcIdentity;
  if (exchanged) FFlags |= mcAxesExchanged;

  const TVector2D vx = TransformXY(1.0f, 0.0f) - origin;
  const TVector2D vy = TransformXY(0.0f, 1.0f) - origin;
  const double angleX = std::atan2(double(vx.Y), double(vx.X));
  double rotation = -angleX;
  if (rotation < 0.0) rotation += 2.0 * std::numbers::pi;
  // Skew is how far the axes stand from a right angle, so it is measured between the
  // two axis images (a pure rotation has none), the difference taken into (-π, π].
  double between = std::atan2(double(vy.Y), double(vy.X)) - angleX;
  if (between > std::numbers::pi) between -= 2.0 * std::numbers::pi;
  if (between <= -std::numbers::pi) between += 2.0 * std::numbers::pi;
  const double skew = std::numbers::pi / 2.0 - between;
  const bool ok = std::isfinite(rotation) && std::isfinite(skew);
  FRotationAngle = ok ? float(rotation) : 0.0f;
  FSkewAngle = ok ? float(skew) : 0.0f;
}
