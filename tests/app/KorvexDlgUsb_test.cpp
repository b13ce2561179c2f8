#include "app/KorvexDlg.h"
#include "FakeSysfs.h"

#include <QComboBox>
#include <gtest/gtest.h>

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
