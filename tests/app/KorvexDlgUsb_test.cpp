#include "app/KorvexDlg.h"

#include <QComboBox>
#include <gtest/gtest.h>

TEST(KorvexFrm, UsbNoticeSetsTheCaptionAndRefreshesThePortLists) {
  TKorvexFrm frm;
  frm.PortState->TestMode = true;                           // fixed lists, so that the refresh shows
  const std::string gone = "/devices/pci0000:00/usb9/9-9";  // nothing there on this machine

  frm.UsbMonitor->HandleNotice({"add", gone, {{"ID_MODEL_FROM_DATABASE", "Maus f\xc3\xbcr B\xc3\xbcro"}}});
  EXPECT_EQ(frm.windowTitle().toStdString(), "detected Maus f\xc3\xbcr B\xc3\xbcro, , , True");
  ASSERT_EQ(frm.comboDirComPort->count(), 3);  // COM1 and COM4, and COM3 that is chosen
  EXPECT_EQ(frm.comboDirComPort->itemText(2), "COM4");
  EXPECT_EQ(frm.PortState->UsbPaths.size(), 2u);

  frm.UsbMonitor->HandleNotice({"remove", gone, {{"ID_MODEL_ENC", "Mouse"}}});
  EXPECT_EQ(frm.windowTitle().toStdString(), "detected Mouse, , , False");
}
