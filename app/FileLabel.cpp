#include "FileLabel.h"

#include <QFileInfo>
#include <QPainter>

TFileLabel::TFileLabel(const QString& text) : QLabel(text) {
  // The label takes the width its row gives it, not that of the longest name.
  setSizePolicy(QSizePolicy::Ignored, sizePolicy().verticalPolicy());
}

void TFileLabel::ShowFile(const QString& path, const QString& size) {
  Name = QFileInfo(path).fileName();
  Size = size;
  setToolTip(path);
  setText(QLatin1Char('"') + Name + QStringLiteral("\"  ") + Size);
}

QString TFileLabel::ShownText() const {
  if (Name.isEmpty()) return text();
  const QFontMetrics metrics(font());
  const QString frame = QStringLiteral("\"\"  ") + Size;
  const int room = std::max(contentsRect().width() - metrics.horizontalAdvance(frame), 0);
  return QLatin1Char('"') + metrics.elidedText(Name, Qt::ElideMiddle, room) + QStringLiteral("\"  ") + Size;
}

void TFileLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(palette().color(foregroundRole()));
  painter.drawText(contentsRect(), static_cast<int>(alignment() | Qt::AlignVCenter), ShownText());
}
