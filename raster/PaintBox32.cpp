#include "PaintBox32.h"

#include "Bitmap32Image.h"

#include <QPainter>
#include <QResizeEvent>
#include <utility>

TPaintBox32::TPaintBox32(QWidget* Parent) : QWidget(Parent) {
  // The buffer covers every pixel, so Qt need not clear the background first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  FBuffer.SetSize(width(), height());
}

void TPaintBox32::paintEvent(QPaintEvent*) {
  if (OnPaint) OnPaint();
  QPainter painter(this);
  painter.drawImage(0, 0, ImageView(std::as_const(FBuffer)));
}

void TPaintBox32::resizeEvent(QResizeEvent* Event) {
  FBuffer.SetSize(Event->size().width(), Event->size().height());
  QWidget::resizeEvent(Event);
}
