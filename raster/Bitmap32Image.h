#pragma once
// Qt's view of a bitmap's pixels, for painting on them with QPainter and for showing or
// saving them. The image shares the bitmap's memory: the bitmap must stay alive and
// keep its size while the image is in use. An empty bitmap gives a null image.

#include "raster/Bitmap32.h"

#include <QImage>

QImage ImageView(TBitmap32& Bitmap);
QImage ImageView(const TBitmap32& Bitmap);  // read only
