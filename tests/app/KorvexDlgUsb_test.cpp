#include <gtest/gtest.h>

#include <QComboBox>

#include "app/KorvexDlg.h"

namespace {

QStringList items(const QComboBox* combo) {
  QStringList texts;
  for (int i = 0; i < combo->count(); ++i) texts << combo->itemText(i);
  return texts;
}

}  // namespace

TEST(KorvexFrm, UsbNoticeSetsTheCaptionAndRefreshesThePortLists) {
  TKorvexFrm frm;
  ASSERT_NE(frm.UsbMonitor, nullptr);
  frm.PortState->TestMode = true;                                        // fixed lists, so that the refresh shows
  const std::string gone = "/devices/pci0000:00/0000:00:14.0/usb9/9-9";  // nothing there on this machine

  frm.UsbMonitor->HandleNotice({"add", gone, {{"ID_MODEL_FROM_DATABASE", "Maus f\xc3\xbcr B\xc3\xbcro"}}});
  EXPECT_EQ(frm.windowTitle().toStdString(), "detected Maus f\xc3\xbcr B\xc3\xbcro, , , True");
  EXPECT_EQ(items(frm.comboDirComPort), (QStringList{"COM1", "COM3", "COM4"}));
  EXPECT_EQ(frm.comboDirComPort->currentText(), "COM3");
  EXPECT_EQ(frm.PortState->UsbPaths.size(), 2u);

  frm.UsbMonitor->HandleNotice({"bind", gone, {}});  // the caption keeps the last notice
  EXPECT_TRUE(frm.windowTitle().endsWith(", True"));

  frm.UsbMonitor->HandleNotice({"remove", gone, {{"ID_MODEL_ENC", "Mouse"}}});
  EXPECT_EQ(frm.windowTitle().toStdString(), "detected Mouse, , , False");
}
