#include "RawComView.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <climits>
#include <utility>

#include "DcbStatePage.h"

namespace {

bool isUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
      return true;
    default:
      return false;
  }
}

// The bar counts in kilobytes beyond what an int holds.
int barUnits(std::size_t bytes, std::size_t total) {
  return static_cast<int>(total > static_cast<std::size_t>(INT_MAX) ? bytes / 1024 : bytes);
}

}  // namespace

TRawComView::TRawComView(TRawComControls controls) : Controls(std::move(controls)) {}

TRawComSettings TRawComView::ReadSettings() const {
  TRawComSettings settings;
  settings.PortName = Controls.PortName();
  settings.Overlapped = Controls.Overlapped->isChecked();
  settings.PurgeOnOpen = Controls.Purge->isChecked();
  settings.SetDcb = Controls.SetDcb->isChecked();
  settings.UsePackets = Controls.UsePackets->isChecked();
  settings.PacketSize = Controls.PacketSize->value();
  settings.RefreshGui = Controls.RefreshGui->isChecked();
  settings.FullDebug = Controls.FullDebug->isChecked();
  settings.Overrides = Controls.Dcb->Overrides();
  settings.Overrides.BaudRate = Controls.Baud->currentText().toUInt();
  return settings;
}

void TRawComView::RestartLog() { Controls.RestartLog(); }

void TRawComView::LogLine(const std::string& text, bool stamped) { Controls.LogLine(text, stamped); }

void TRawComView::ShowSending(bool sending) {
  Controls.Send->setText(sending ? QStringLiteral("Cancel") : QStringLiteral("Send"));
  // The diagnostics open and close the port the send is writing to.
  Controls.LogDcb->setEnabled(!sending);
  Controls.TestOpen->setEnabled(!sending);
  if (sending)
    qApp->installEventFilter(this);
  else
    qApp->removeEventFilter(this);
}

void TRawComView::BeginProgress(std::size_t total) {
  Controls.Progress->setText(QStringLiteral("Sending"));
  Controls.Progress->setVisible(true);
  Controls.Bar->setRange(0, barUnits(total, total));
  Controls.Bar->setValue(0);
  Controls.Bar->setVisible(true);
  QApplication::setOverrideCursor(Qt::WaitCursor);
}

void TRawComView::ShowProgress(std::size_t written, std::size_t total) {
  Controls.Bar->setValue(barUnits(written, total));
  Controls.Progress->setText(QString::number(written) + QStringLiteral(" / ") + QString::number(total));
  Controls.Progress->repaint();
}

void TRawComView::EndProgress() {
  Controls.Bar->setVisible(false);
  QApplication::restoreOverrideCursor();
}

void TRawComView::Pump(bool refreshGui) {
  OnlyCancelInput = !refreshGui;
  QCoreApplication::processEvents();
  OnlyCancelInput = false;
}

bool TRawComView::eventFilter(QObject* watched, QEvent* event) {
  const bool escape = event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
  if (escape || (event->type() == QEvent::Close && watched == Controls.Window)) {
    Controls.Cancel();
    return escape;
  }
  return OnlyCancelInput && isUserInput(event->type()) && watched != Controls.Send;
}
