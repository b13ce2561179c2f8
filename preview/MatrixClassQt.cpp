#include "MatrixClassQt.h"

QTransform ToGPMatrix(const IMatrix& Matrix) {
  const TMatrixElements e = Matrix.GetElements();
  return QTransform(e.m11, e.m12, e.m21, e.m22, e.dx, e.dy);
}
