#include "geometry/RawCutGeo.h"

#include <gtest/gtest.h>

TEST(SimpleContour, DropsOnlyARepeatOfTheLastPoint) {
  TSimpleContour c;
  c.AddPoint(1.5f, 2.0f);
  c.AddPoint(1.5f, 2.0f);
  EXPECT_EQ(c.PointCount(), 1);
  c.AddPoint(3.0f, 4.0f);
  c.AddPoint(1.5f, 2.0f);
  ASSERT_EQ(c.PointCount(), 3);
  EXPECT_EQ(AsVector(c.PointAt(2)), (TVector2D{1.5f, 2.0f}));
}

TEST(SimpleContour, OutOfRangeIndexesGiveNilWhichReadsAsOrigin) {
  TSimpleContour c;
  c.AddPoint(7.0f, 8.0f);
  EXPECT_EQ(c.PointAt(-1), nullptr);
  EXPECT_EQ(c.PointAt(1), nullptr);
  EXPECT_EQ(AsVector(c.PointAt(1)), (TVector2D{0.0f, 0.0f}));
}

TEST(SimpleContourList, AnEarlierContourThatGrowsKeepsItsOwnPointsAndTheOthers) {
  // Contours share one array; a contour that gains points after a later one started
  // must neither overwrite that one nor lose its own.
  TSimpleContourList list;
  auto first = std::make_unique<TSimpleContour>();
  first->AddPoint(1.0f, 1.0f);
  list.AddContour(std::move(first));
  auto second = std::make_unique<TSimpleContour>();
  second->AddPoint(5.0f, 5.0f);
  list.AddContour(std::move(second));
  TSimpleContour* a = list.ContourAt(0);
  TSimpleContour* b = list.ContourAt(1);
  for (int i = 2; i < 1000; ++i) {
    a->AddPoint(static_cast<float>(i), 1.0f);
    b->AddPoint(static_cast<float>(i), 5.0f);
  }
  ASSERT_EQ(a->PointCount(), 999);
  ASSERT_EQ(b->PointCount(), 999);
  EXPECT_EQ(AsVector(a->PointAt(0)), (TVector2D{1.0f, 1.0f}));
  EXPECT_EQ(AsVector(b->PointAt(0)), (TVector2D{5.0f, 5.0f}));
  for (int i = 1; i < 999; ++i) {
    EXPECT_EQ(AsVector(a->PointAt(i)), (TVector2D{static_cast<float>(i + 1), 1.0f}));
    EXPECT_EQ(AsVector(b->PointAt(i)), (TVector2D{static_cast<float>(i + 1), 5.0f}));
  }
}

TEST(SimpleContour, Bounds) {
  TSimpleContour c;
  EXPECT_EQ(c.GetBounds(), EmptyRect2D);
  EXPECT_EQ(c.GetBounds().Width(), -4294967296.0f);
  EXPECT_EQ(c.GetBounds().Height(), -4294967296.0f);

  c.AddPoint(3.0f, -4.0f);
  EXPECT_EQ(c.GetBounds(), (TRect2D{3.0f, -4.0f, 3.0f, -4.0f}));

  // The cache must not hide a point added after a query.
  c.AddPoint(-1.0f, 10.0f);
  EXPECT_EQ(c.GetBounds(), (TRect2D{-1.0f, -4.0f, 3.0f, 10.0f}));
}

TEST(SimpleContourList, IndexesOwnershipAndBounds) {
  TSimpleContourList list;
  EXPECT_EQ(list.GetBounds(), EmptyRect2D);
  EXPECT_EQ(list.AddContour(nullptr), -1);

  auto a = std::make_unique<TSimpleContour>();
  a->AddPoint(1.0f, 2.0f);
  a->AddPoint(5.0f, 3.0f);
  auto b = std::make_unique<TSimpleContour>();
  b->Pen = 2;
  b->AddPoint(-2.0f, 9.0f);
  EXPECT_EQ(list.AddContour(std::move(a)), 0);
  EXPECT_EQ(list.AddContour(std::make_unique<TSimpleContour>()), 1);  // no points
  EXPECT_EQ(list.AddContour(std::move(b)), 2);

  ASSERT_EQ(list.ContourCount(), 3);
  EXPECT_EQ(list.ContourAt(2)->Pen, 2);
  EXPECT_EQ(AsVector(list.ContourAt(2)->PointAt(0)), (TVector2D{-2.0f, 9.0f}));
  EXPECT_EQ(list.ContourAt(0)->PointCount(), 2);
  EXPECT_EQ(list.ContourAt(-1), nullptr);
  EXPECT_EQ(list.ContourAt(3), nullptr);
  // The empty contour contributes nothing.
  EXPECT_EQ(list.GetBounds(), (TRect2D{-2.0f, 2.0f, 5.0f, 9.0f}));
}

TEST(SimpleContourList, CacheIsRefreshedByAddContourOnly) {
  TSimpleContourList list;
  auto c = std::make_unique<TSimpleContour>();
  c->AddPoint(0.0f, 0.0f);
  TSimpleContour* raw = list.ContourAt(list.AddContour(std::move(c)));
  EXPECT_EQ(list.GetBounds(), (TRect2D{0.0f, 0.0f, 0.0f, 0.0f}));
  raw->AddPoint(4.0f, 4.0f);
  EXPECT_EQ(list.GetBounds(), (TRect2D{0.0f, 0.0f, 0.0f, 0.0f}));
  list.AddContour(std::make_unique<TSimpleContour>());
  EXPECT_EQ(list.GetBounds(), (TRect2D{0.0f, 0.0f, 4.0f, 4.0f}));
}
