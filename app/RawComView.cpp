#include "RawComView.h"

#include "DcbStatePage.h"
#include "KorvexDlg.h"
#include "PortCombo.h"

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

TRawComView::TRawComView(TKorvexFrm& form) : Form(form) {}

TRawComSettings TRawComView::ReadSettings() const {
  TRawComSettings settings;
  settings.PortName = ComboPortName(Form.cbRawComPort, Form.PortState->ComPortDetails);
  settings.Overlapped = Form.cUseOverlap->isChecked();
  settings.PurgeOnOpen = Form.cPurgeCom->isChecked();
  settings.SetDcb = Form.cSetDCB->isChecked();
  settings.UsePackets = Form.cUseRawTXBuf->isChecked();
  settings.PacketSize = Form.rxTxBuf2->value();
  settings.RefreshGui = Form.cProcessMsgs->isChecked();
  settings.FullDebug = Form.cFullDebug->isChecked();
  settings.Overrides = Form.TabDCB->Overrides();
  settings.Overrides.BaudRate = Form.comboBR2->currentText().toUInt();
  return settings;
}

void TRawComView::RestartLog() {
  Form.memoLog->clear();
  Form.RestartLogClock();
}

void TRawComView::LogLine(const std::string& text, bool stamped) { Form.LogLine(text, stamped); }

void TRawComView::ShowSending(bool sending) {
  Form.dSend->setText(sending ? QStringLiteral("Cancel") : QStringLiteral("Send"));
  // The diagnostics open and close the port the send is writing to.
  Form.Button7->setEnabled(!sending);
  Form.Button8->setEnabled(!sending);
  if (sending)
    qApp->installEventFilter(this);
  else
    qApp->removeEventFilter(this);
}

void TRawComView::BeginProgress(std::size_t total) {
  Form.lbProgress->setText(QStringLiteral("Sending"));
  Form.lbProgress->setVisible(true);
  Form.ProgressBar1->setRange(0, barUnits(total, total));
  Form.ProgressBar1->setValue(0);
  Form.ProgressBar1->setVisible(true);
  QApplication::setOverrideCursor(Qt::WaitCursor);
}

void TRawComView::ShowProgress(std::size_t written, std::size_t total) {
  Form.ProgressBar1->setValue(barUnits(written, total));
  Form.lbProgress->setText(QString::number(written) + QStringLiteral(" / ") + QString::number(total));
  Form.lbProgress->repaint();
}

void TRawComView::EndProgress() {
  Form.ProgressBar1->setVisible(false);
  QApplication::restoreOverrideCursor();
}

void TRawComView::Pump(bool refreshGui) {
  OnlyCancelInput = !refreshGui;
  QCoreApplication::processEvents();
  OnlyCancelInput = false;
}

bool TRawComView::eventFilter(QObject* watched, QEvent* event) {
  const bool escape = event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
  if (escape || (event->type() == QEvent::Close && watched == &Form)) {
    Form.dSendClick();  // cancels, as Send does while it reads "Cancel"
    return escape;
  }
  return OnlyCancelInput && isUserInput(event->type()) && watched != Form.dSend;
}
