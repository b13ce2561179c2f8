#include "app/KorvexDlg.h"

#include <QComboBox>
#include <gtest/gtest.h>

TEST(KorvexFrm, UsbNoticeSetsTheCaptionAndRefreshesThePortLists) {
  TKorvexFrm frm;
  frm.PortState->TestMode = true;                           // fixed lists, so that the refresh shows
  const std::string gone = "/devices/pci0000:00/usb9/9-9";  // nothing there on this machine

  frm.UsbMonitor->HandleNotice({"add", gone, {{"ID_MODEL_FROM_DATABASE", "Maus f\xc3\xbcr B\xc3\xbcro"}}});
  EXPECT_EQ(frm.windowTitle().toStdString(), "detected Maus f\xc3\xbcr B\xc3\xbcro, , , True");
  // The fixed ports COM1 and COM4, beside the port chosen at start.
  EXPECT_NE(frm.comboDirComPort->findText("COM1"), -1);
  EXPECT_NE(frm.comboDirComPort->findText("COM4"), -1);
  EXPECT_EQ(frm.PortState->UsbPaths.size(), 2u);

  frm.UsbMonitor->HandleNotice({"remove", gone, {{"ID_MODEL_ENC", "Mouse"}}});
  EXPECT_EQ(frm.windowTitle().toStdString(), "detected Mouse, , , False");
}
