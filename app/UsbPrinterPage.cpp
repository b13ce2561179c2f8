#include "UsbPrinterPage.h"

#include "DropDownCombo.h"
#include "NamedControl.h"
#include "platform/CodePage.h"
#include "transmission/ComSendDlg.h"
#include "transmission/UsbPrinterSend.h"
#include "translation/TransMessageBox.h"
#include "translation/TransUtils.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

TUsbPrinterPage::TUsbPrinterPage(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("TabUsb"));
  auto* settings = new QGroupBox(QStringLiteral("Settings"));
  cbPrinter = named(new TDropDownCombo, "cbPrinter");
  // A node the list does not show yet (plugged in a moment ago) can be typed.
  cbPrinter->setEditable(true);
  cbPrinter->setInsertPolicy(QComboBox::NoInsert);
  cbPrinter->setCompleter(nullptr);
  lbPrinterInfo = named(new QLabel, "lbPrinterInfo");
  lbPrinterInfo->setWordWrap(true);
  lbPrinterInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  auto* grid = new QGridLayout(settings);
  grid->addWidget(new QLabel(QStringLiteral("Printer")), 0, 0);
  grid->addWidget(cbPrinter, 0, 1);
  grid->addWidget(lbPrinterInfo, 1, 0, 1, 2);
  grid->setColumnStretch(1, 1);
  auto* column = new QVBoxLayout(this);
  column->addWidget(settings);
  column->addStretch(1);
  connect(cbPrinter, &QComboBox::currentIndexChanged, this, &TUsbPrinterPage::showPrinterInfo);
  showPrinterInfo();
}

void TUsbPrinterPage::ShowPrinters(const std::vector<TUsbPrinter>& printers) {
  const std::string chosen = PrinterName();
  Printers = printers;
  const QSignalBlocker quiet(cbPrinter);
  cbPrinter->clear();
  // Device strings come from the kernel as UTF-8.
  for (const TUsbPrinter& printer : Printers)
    cbPrinter->addItem(QString::fromStdString(printer.Product + " (" + printer.Name + ")"),
                       QString::fromStdString(printer.Node));
  const int kept = cbPrinter->findData(QString::fromStdString(chosen));
  cbPrinter->setCurrentIndex(kept >= 0 ? kept : Printers.empty() ? -1 : 0);
  if (kept < 0 && Printers.empty()) cbPrinter->setEditText(QString::fromStdString(chosen));
  showPrinterInfo();
}

std::string TUsbPrinterPage::PrinterName() const {
  const QString text = cbPrinter->currentText();
  // A listed entry stands for its node; anything else is a name or path as typed.
  if (cbPrinter->currentIndex() >= 0 && text == cbPrinter->itemText(cbPrinter->currentIndex()))
    return cbPrinter->currentData().toString().toStdString();
  return text.trimmed().toStdString();
}

void TUsbPrinterPage::showPrinterInfo() {
  const TUsbPrinter* printer = FindUsbPrinter(Printers, PrinterName());
  if (!printer) {
    lbPrinterInfo->setText(Printers.empty() ? QStringLiteral("No USB printer is connected.") : QString());
    return;
  }
  std::string info = printer->Node;
  if (!printer->Manufacturer.empty()) info += ", " + printer->Manufacturer;
  if (!printer->Serial.empty()) info += ", serial " + printer->Serial;
  if (!printer->MayOpen) info += ". You may not write to it yet: see the log when you send.";
  lbPrinterInfo->setText(QString::fromStdString(info));
}

bool TUsbPrinterPage::Send(const std::string& job, const std::function<void(const std::string&)>& log) {
  const std::string name = PrinterName();
  if (name.empty()) {
    TransMessageBox("(__No USB printer is chosen. Connect the cutter and pick it on the 'Direct USB' page.__)",
                    mtError, mbOK, 0);
    return false;
  }
  TUsbSendHooks hooks;
  hooks.Log = log;
  // Only the system's own text is translated; names and paths are shown as they are.
  hooks.OpenFailed = [](const std::string& message, const std::string& hint) {
    TransMessageBoxW(TranslateMarker(message) + (hint.empty() ? u"" : u"\n" + AnsiToWide(hint)), mtError, mbOK, 0);
  };
  hooks.Transfer = [](const TSendLine& line, const std::string& jobText) {
    TFrmComSend dialog;
    dialog.Transfer = [&](ISendView& view, const std::function<bool()>& aborted) {
      return TransferToUsbPrinter(view, line, jobText, aborted);
    };
    dialog.exec();
    return dialog.Outcome();
  };
  hooks.SendFailed = [](const std::u16string& message) { TransMessageBoxW(message, mtError, mbOK, 0); };
  return RunUsbPrinterSend(job, name, hooks);
}
