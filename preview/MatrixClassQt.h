#pragma once
// Hands a view matrix to Qt's painter. QTransform uses the same row-vector convention
// and element order, so the six values go over unchanged.

#include "preview/MatrixClass.h"

#include <QTransform>

QTransform ToGPMatrix(const IMatrix& Matrix);
