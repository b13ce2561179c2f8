#include "app/KorvexDlg.h"
#include "FakeSysfs.h"

#include "app/JobMemo.h"
#include "app/UsbPrinterPage.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

TEST(KorvexFrm, UsbNoticeSetsTheCaptionAndRefreshesThePortLists) {
  TKorvexFrm frm;
  frm.PortState->TestMode = true;                           // fixed lists, so that the refresh shows
  const std::string gone = "/devices/pci0000:00/usb9/9-9";  // nothing there on this machine

  frm.UsbMonitor->HandleNotice({"add", gone, {{"ID_MODEL_FROM_DATABASE", "Maus f\xc3\xbcr B\xc3\xbcro"}}});
  EXPECT_EQ(frm.windowTitle().toStdString(), "detected Maus f\xc3\xbcr B\xc3\xbcro, , , True");
  // The fixed ports COM1 and COM4, beside the port chosen at start.
  EXPECT_NE(frm.comboDirComPort->findData("COM1"), -1);
  EXPECT_NE(frm.comboDirComPort->findData("COM4"), -1);
  EXPECT_EQ(frm.PortState->UsbPaths.size(), 2u);

  frm.UsbMonitor->HandleNotice({"remove", gone, {{"ID_MODEL_ENC", "Mouse"}}});
  EXPECT_EQ(frm.windowTitle().toStdString(), "detected Mouse, , , False");
}

TEST(KorvexFrm, TtyNoticeRefreshesThePortListsWithProductNamesAndLeavesTheCaption) {
  FakeSysfs sys;
  TKorvexFrm frm;
  frm.PortState->SysRoot = sys.Root();
  frm.PortState->DevRoot = sys.Dev();
  frm.PortState->RefreshComPorts();
  const QString caption = frm.windowTitle();

  // The adapter's USB device was announced before its driver made the tty.
  sys.AddUsbPort("ttyUSB1", "FT232R USB UART", "FTDI");
  sys.AddLink("dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "../../ttyUSB1");
  frm.UsbMonitor->HandleNotice(
      {"add", "/devices/pci0000:00/usb1/1-ttyUSB1/1-ttyUSB1:1.0/ttyUSB1/tty/ttyUSB1", {}, "tty"});
  EXPECT_EQ(frm.windowTitle(), caption);
  for (QComboBox* box : {static_cast<QComboBox*>(frm.comboDirComPort), static_cast<QComboBox*>(frm.cbRawComPort)}) {
    const int item = box->findData("ttyUSB1");
    ASSERT_GE(item, 0);
    EXPECT_EQ(box->itemText(item), "ttyUSB1 - FT232R USB UART");
    EXPECT_EQ(box->itemData(item, Qt::ToolTipRole).toString().toStdString(),
              sys.Dev() + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
  }
}

TEST(KorvexFrm, APrinterNodeNoticeListsThePrinterAndASendGoesToItUnchanged) {
  FakeSysfs sys;
  TKorvexFrm frm;
  frm.PortState->SysRoot = sys.Root();
  frm.PortState->DevRoot = sys.Dev();
  sys.AddUsbPrinter("1-4", "lp0", "Test Cutter", "Korvex", "KX1", "MFG:Korvex;");
  frm.UsbMonitor->HandleNotice({"add", sys.UsbDevPath("1-4") + "/1-4:1.0/usbmisc/lp0", {}, "usbmisc"});
  ASSERT_EQ(frm.TabUsb->cbPrinter->count(), 1);
  EXPECT_EQ(frm.TabUsb->cbPrinter->itemText(0), "Test Cutter (lp0)");
  EXPECT_EQ(frm.TabUsb->PrinterName(), sys.Dev() + "/usb/lp0");

  // The method shows its page; a FIFO in the node's place stands for the cutter.
  frm.comboPortType->setCurrentIndex(frm.comboPortType->findText("Direct USB Port "));
  frm.comboPortTypeClick();
  EXPECT_TRUE(frm.PageControl1->isTabVisible(frm.PageControl1->indexOf(frm.TabUsb)));
  EXPECT_FALSE(frm.PageControl1->isTabVisible(frm.PageControl1->indexOf(frm.TabCom)));
  const std::string fifo = sys.Root() + "/cutter";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int cutter = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(cutter, 0);
  frm.TabUsb->cbPrinter->setEditText(QString::fromStdString(fifo));
  const std::string job = "IN;PU0,0;PD400,0;";  // short, so nothing may pad it
  frm.TntMemo1->setPlainText(QString::fromStdString(job));
  frm.dSendClick();
  char received[256] = {};
  EXPECT_EQ(::read(cutter, received, sizeof received), static_cast<ssize_t>(job.size()));
  EXPECT_EQ(std::string(received, job.size()), job);
  const QString log = frm.memoLog->toPlainText();
  EXPECT_TRUE(log.contains("DirectUSB\t" + QString::number(job.size()) + " bytes")) << log.toStdString();
  EXPECT_TRUE(log.contains("SendRes\tTrue")) << log.toStdString();
  ::close(cutter);
}
