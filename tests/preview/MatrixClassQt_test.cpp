#include "preview/MatrixClassQt.h"

#include <gtest/gtest.h>

TEST(MatrixQt, PainterMapsPointsLikeTheMatrix) {
  const IMatrixRef m = TMatrixObj::CreateFromElements({1, 2, 3, 5, 7, 11});
  const QPointF p = ToGPMatrix(*m).map(QPointF(1.5, -2));
  const TVector2D q = m->TransformXY(1.5f, -2);
  EXPECT_FLOAT_EQ(p.x(), q.X);
  EXPECT_FLOAT_EQ(p.y(), q.Y);
}
