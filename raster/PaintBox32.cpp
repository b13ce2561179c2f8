#include "PaintBox32.h"

#include "Bitmap32Image.h"

#include <QPainter>
#include <utility>

TPaintBox32::TPaintBox32(QWidget* Parent) : QWidget(Parent) {
  // The buffer covers every pixel, so Qt need not clear the background first.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

TBitmap32& TPaintBox32::Buffer() {
  // A hidden widget gets its resize event only when shown, so the size is read here.
  FBuffer.SetSize(width(), height());
  return FBuffer;
}

void TPaintBox32::paintEvent(QPaintEvent*) {
  if (OnPaint) OnPaint();
  QPainter painter(this);
  painter.drawImage(0, 0, ImageView(std::as_const(Buffer())));
}
