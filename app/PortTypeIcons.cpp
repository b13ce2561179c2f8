#include "PortTypeIcons.h"

#include <QPainter>
#include <QPixmap>

namespace {

template <typename Draw>
QIcon drawIcon(Draw draw) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  draw(painter);
  return QIcon(pixmap);
}

}  // namespace

std::vector<QIcon> MakePortTypeImageList() {
  std::vector<QIcon> images(41);
  images[30] = drawIcon([](QPainter& p) {  // any port
    p.setPen(QPen(QColor(0x60, 0x60, 0x60), 1.5));
    p.setBrush(QColor(0xC0, 0xC0, 0xC0));
    p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
  });
  images[36] = drawIcon([](QPainter& p) {  // USB
    p.setPen(QPen(QColor(0x20, 0x50, 0xA0), 1.5));
    p.drawLine(QPointF(8, 2), QPointF(8, 14));
    p.drawLine(QPointF(8, 10), QPointF(4, 7));
    p.drawLine(QPointF(8, 8), QPointF(12, 5));
    p.setBrush(QColor(0x20, 0x50, 0xA0));
    p.drawEllipse(QRectF(6, 12, 4, 3));
    p.drawRect(QRectF(11, 3.5, 2.5, 2.5));
    p.drawEllipse(QRectF(2.5, 5.5, 3, 3));
  });
  images[38] = drawIcon([](QPainter& p) {  // serial connector
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1));
    p.setBrush(QColor(0x40, 0x80, 0xD0));
    const QPointF shell[] = {{1.5, 4.5}, {14.5, 4.5}, {12.5, 11.5}, {3.5, 11.5}};
    p.drawPolygon(shell, 4);
    p.setBrush(Qt::white);
    for (int i = 0; i < 4; ++i) p.drawEllipse(QRectF(3.5 + i * 2.5, 6, 1.5, 1.5));
    for (int i = 0; i < 3; ++i) p.drawEllipse(QRectF(4.8 + i * 2.5, 8.8, 1.5, 1.5));
  });
  images[40] = drawIcon([](QPainter& p) {  // printer
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4.5, 1.5, 7, 5));
    p.setBrush(QColor(0x90, 0x90, 0x90));
    p.drawRect(QRectF(1.5, 6.5, 13, 6));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4.5, 10.5, 7, 4));
  });
  return images;
}
