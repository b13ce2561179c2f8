#include "preview/MatrixClass.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace {

void ExpectNear(TVector2D Got, TVector2D Want, float Tol = 1e-5f) {
  EXPECT_NEAR(Got.X, Want.X, Tol);
  EXPECT_NEAR(Got.Y, Want.Y, Tol);
}

}  // namespace

TEST(Matrix, ScaleOffsetMapsAndMapsBack) {
  const IMatrixRef m = TMatrixObj::CreateScaleOffset(2, 2, 10, 20);
  EXPECT_EQ(m->TransformXY(1, 1), (TVector2D{12, 22}));
  EXPECT_EQ(m->InverseTransformXY(12, 22), (TVector2D{1, 1}));
  EXPECT_EQ(m->InverseTransformRect(TRect2D{10, 20, 14, 30}), (TRect2D{0, 0, 2, 5}));
}

TEST(Matrix, GeneralInverse) {
  const IMatrixRef m = TMatrixObj::CreateFromElements({1, 2, 3, 5, 7, 11});
  EXPECT_EQ(m->TransformXY(1, 1), (TVector2D{11, 18}));
  EXPECT_EQ(m->InverseTransformXY(11, 18), (TVector2D{1, 1}));
  const IMatrixRef inv = m->Inverse();
  EXPECT_EQ(inv->GetElements(), (TMatrixElements{-5, 2, 3, -1, 2, -3}));
  EXPECT_EQ(inv->TransformXY(11, 18), (TVector2D{1, 1}));
}

TEST(Matrix, SingularMatrixMapsBackToOriginAndInvertsToIdentity) {
  const IMatrixRef m = TMatrixObj::CreateScaleOffset(0, 0, 5, 5);
  EXPECT_EQ(m->InverseTransformXY(123, -4), (TVector2D{0, 0}));
  EXPECT_EQ(m->Inverse()->GetElements(), TMatrixElements{});
  EXPECT_EQ(m->ScaleFactor(), 1.0f);  // a zero length counts as 1
  EXPECT_EQ(m->InvScaleFactor(), 1.0f);
}

TEST(Matrix, HalfDownRounding) {
  const struct {
    float In;
    std::int32_t Out;
  } cases[] = {{2.5f, 2},        {-2.5f, -3},       {2.6f, 3},          {-2.6f, -3},
               {2.4f, 2},        {0.5f, 0},         {-0.5f, -1},        {0.0f, 0},
               {8388607.5f, 8388607}, {-8388607.5f, -8388608}, {1e10f, INT32_MAX},
               {-1e10f, INT32_MIN}, {std::numeric_limits<float>::infinity(), INT32_MAX},
               {std::numeric_limits<float>::quiet_NaN(), 0}};
  for (const auto& c : cases) EXPECT_EQ(FloatToIntHalfDown(c.In), c.Out) << c.In;
}

TEST(Matrix, RectanglesToWholePixels) {
  const IMatrixRef m = TMatrixObj::CreateScaleOffset(2, 2, 0, 0);
  EXPECT_EQ(m->TransformRectToInt(0, 0, 1.25f, 1.25f), (TIntRect{0, 0, 2, 2}));
  EXPECT_EQ(m->TransformRectToInt(TIntRect{-1, -2, 3, 4}), (TIntRect{-2, -4, 6, 8}));
  EXPECT_EQ(m->TransformToInt({-1.25f, 1.3f}), (TIntPoint{-3, 3}));
  // The empty extent must not overflow the integers.
  EXPECT_EQ(m->TransformRectToInt(EmptyRect2D), (TIntRect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}));
}

TEST(Matrix, RotatedRectangleGivesBoundingBox) {
  const IMatrixRef m = TMatrixObj::CreateIdentity();
  m->Rotate(std::numbers::pi_v<float> / 2);
  const TRect2D r = m->TransformRect(0, 0, 2, 1);
  EXPECT_NEAR(r.Left, -1, 1e-6);
  EXPECT_NEAR(r.Top, 0, 1e-6);
  EXPECT_NEAR(r.Right, 0, 1e-6);
  EXPECT_NEAR(r.Bottom, 2, 1e-6);
}

TEST(Matrix, Classification) {
  const float above1 = std::nextafter(std::nextafter(1.0f, 2.0f), 2.0f);
  const float farAbove1 = std::nextafter(above1, 2.0f);
  const struct {
    TMatrixElements E;
    int Flags;
  } cases[] = {
      {{1, 0, 0, 1, 0, 0}, 15},
      {{3, 0, 0, 3, 0, 0}, 3},
      {{1, 0, 0, 1, 4, 0}, 7},
      {{-1, 0, 0, 1, 0, 0}, 2},
      {{above1, 0, 0, 1, 0, 0}, 15},  // two ULPs still count as 1
      {{farAbove1, 0, 0, 1, 0, 0}, 3},
      {{1, 1e-8f, 0, 1, 0, 0}, 15},  // off-diagonal below the ULPs of the sum
      {{1, 1e-6f, 0, 1, 0, 0}, 0},
      {{0, -2, 3, 0, 5, 5}, 66},
      {{1, 0.5f, 0, 1, 0, 0}, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TMatrixObj::CreateFromElements(c.E)->Classification(), c.Flags)
        << c.E.m11 << " " << c.E.m12 << " " << c.E.m21 << " " << c.E.m22;

  const IMatrixRef rotated = TMatrixObj::CreateIdentity();
  rotated->Rotate(std::numbers::pi_v<float> / 2);
  EXPECT_EQ(rotated->Classification(), 66);
}

TEST(Matrix, DerivedValuesFollowChanges) {
  const IMatrixRef m = TMatrixObj::CreateScaleOffset(3, 3, 7, 9);
  EXPECT_NEAR(m->ScaleFactor(), 3.0f, 1e-5);
  EXPECT_NEAR(m->InvScaleFactor(), 1.0f / 3, 1e-6);
  m->Scale(2, 2);
  EXPECT_NEAR(m->ScaleFactor(), 6.0f, 1e-5);
  EXPECT_EQ(m->GetElements(), (TMatrixElements{6, 0, 0, 6, 14, 18}));
  EXPECT_EQ(m->Classification(), 3);
  m->ScaleDiagonal(1.0f / 6, 1.0f / 6);
  m->SetTranslation(0, 0);
  EXPECT_EQ(m->Classification(), 15);
  m->Translate(1, -2);
  EXPECT_EQ(m->GetElements(), (TMatrixElements{1, 0, 0, 1, 1, -2}));
  EXPECT_EQ(m->Classification(), 7);
}

TEST(Matrix, Angles) {
  const IMatrixRef m = TMatrixObj::CreateScaleOffset(2, 2, 5, 5);
  EXPECT_EQ(m->RotationAngle(), 0.0f);
  EXPECT_EQ(m->SkewAngle(), 0.0f);
  // Rotation is counted the other way round, in [0, 2π); a pure rotation has no skew.
  m->Rotate(std::numbers::pi_v<float> / 2);
  EXPECT_NEAR(m->RotationAngle(), 3 * std::numbers::pi / 2, 1e-6);
  EXPECT_NEAR(m->SkewAngle(), 0, 1e-6);
  const IMatrixRef sheared = TMatrixObj::CreateFromElements({1, 0, 0.5f, 1, 0, 0});
  EXPECT_NEAR(sheared->SkewAngle(), std::atan(0.5), 1e-6);
}

TEST(Matrix, ScaleActsOnTheMappedPicture) {
  // Rotation first, then x' by 2 and y' by 3, also for a matrix that is not axis-aligned.
  const IMatrixRef m = TMatrixObj::CreateIdentity();
  m->Rotate(std::numbers::pi_v<float> / 2);
  m->Scale(2, 3);
  ExpectNear(m->TransformXY(1, 0), {0, 3});
  ExpectNear(m->TransformXY(0, 1), {-2, 0});
}

TEST(Matrix, CloneSameAsAndPoints) {
  const IMatrixRef m = TMatrixObj::CreateFromElements({1, 2, 3, 4, 5, 6});
  const IMatrixRef c = m->Clone();
  EXPECT_NE(c.get(), m.get());
  EXPECT_TRUE(m->SameAs(c.get()));
  EXPECT_FALSE(m->SameAs(nullptr));
  c->Translate(0, 1);
  EXPECT_FALSE(m->SameAs(c.get()));

  std::vector<TVector2D> points{{0, 0}, {1, 1}};
  m->TransformPoints(points);
  EXPECT_EQ(points, (std::vector<TVector2D>{{5, 6}, {9, 12}}));
}

TEST(Matrix, UlpDistance) {
  const float tiny = std::numeric_limits<float>::denorm_min();
  EXPECT_EQ(UlpDistance(0.0f, -0.0f), 0);
  EXPECT_EQ(UlpDistance(-tiny, tiny), 2);
  EXPECT_EQ(UlpDistance(1.0f, std::nextafter(1.0f, 0.0f)), 1);
  EXPECT_EQ(UlpDistance(-1.0f, 1.0f), 2 * 0x3F800000ll);
}
