#include "Bitmap32Image.h"

// Non-premultiplied ARGB32 is 0xAARRGGBB in native byte order, exactly our pixels.
QImage ImageView(TBitmap32& Bitmap) {
  if (Bitmap.Width() == 0 || Bitmap.Height() == 0) return {};
  return QImage(reinterpret_cast<uchar*>(Bitmap.Bits()), Bitmap.Width(), Bitmap.Height(),
                static_cast<qsizetype>(Bitmap.Width()) * 4, QImage::Format_ARGB32);
}

QImage ImageView(const TBitmap32& Bitmap) {
  if (Bitmap.Width() == 0 || Bitmap.Height() == 0) return {};
  return QImage(reinterpret_cast<const uchar*>(Bitmap.Bits()), Bitmap.Width(), Bitmap.Height(),
                static_cast<qsizetype>(Bitmap.Width()) * 4, QImage::Format_ARGB32);
}
