#pragma once
// The "Direct USB Port " connection page: the USB printers present by product (a typed
// node path is taken too), what the chosen one reports, and the send of a job to it
// under the "Sending to Cutter" dialog.

#include "platform/UsbPrinters.h"

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class TDropDownCombo;

class TUsbPrinterPage : public QWidget {
public:
  explicit TUsbPrinterPage(QWidget* parent = nullptr);

  // Lists the printers present, keeping the choice where it is still there.
  void ShowPrinters(const std::vector<TUsbPrinter>& printers);
  // The chosen printer's node, or the name typed; empty when none.
  std::string PrinterName() const;
  // Sends the job, logging each step; a send that fails is told in a message box. True
  // when every byte went to the cutter.
  bool Send(const std::string& job, const std::function<void(const std::string&)>& log);

  TDropDownCombo* cbPrinter;
  QLabel* lbPrinterInfo;

private:
  void showPrinterInfo();

  std::vector<TUsbPrinter> Printers;
};
