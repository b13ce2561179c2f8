#include "app/DcbStatePage.h"

#include "app/KorvexDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>

#include <gtest/gtest.h>

namespace {

class DcbPage : public ::testing::Test {
protected:
  void SetUp() override { page.dResetDCBClick(); }

  std::vector<QCheckBox*> valueBoxes() const {
    return {page.cbDCBf_Parity,     page.cbDCBf_OutCtsFlow,  page.cbDCBf_OutDsrFlow, page.cbDCBf_DsrSensitive,
            page.cbDCBf_TCContinue, page.cbDCBf_OutX,        page.cbDCBf_InX,        page.cbDCBf_ErrorChar,
            page.cbDCBf_Null,       page.cbDCBf_AbortOnError};
  }

  int depth = 0;
  TDcbStatePage page{depth};
};

void choose(QComboBox* combo, const char* text) {
  combo->setCurrentIndex(combo->findText(QString::fromLatin1(text)));
  emit combo->activated(combo->currentIndex());
}

}  // namespace

TEST(DcbStateEditor, TheWindowStartsWithTheResetValuesAndThePresetRestoresThem) {
  TKorvexFrm frm;
  for (const bool afterPreset : {false, true}) {
    TDcbStatePage& page = *frm.TabDCB;
    EXPECT_EQ(page.rxVal->value(), 8213) << afterPreset;
    EXPECT_EQ(page.rxItemMask->value(), 56);
    EXPECT_EQ(page.rxMask->value(), 12340);
    for (QCheckBox* box : {page.cDCB_fOutxCtsFlow, page.cDCB_fDtrControl, page.cDCB_fRtsControl, page.cDCB_ByteSize,
                           page.cDCB_Parity, page.cDCB_StopBits})
      EXPECT_TRUE(box->isChecked()) << box->objectName().toStdString();
    for (QCheckBox* box :
         {page.cDCB_fParity, page.cDCB_fOutX, page.cDCB_fAbortOnErr, page.cDCB_XonLim, page.cDCB_EvtChar})
      EXPECT_FALSE(box->isChecked()) << box->objectName().toStdString();
    EXPECT_TRUE(page.cbDCBf_OutCtsFlow->isEnabled() && page.comboDTRControl->isEnabled());
    EXPECT_FALSE(page.cbDCBf_Parity->isEnabled() || page.rxDCB_XonLim->isEnabled());
    EXPECT_EQ((QStringList{page.cbDCBf_OutCtsFlow->text(), page.cbDCBf_Parity->text()}),
              (QStringList{"TRUE", "FALSE"}));
    EXPECT_EQ((QStringList{page.comboDTRControl->currentText(), page.comboRtsControl->currentText()}),
              (QStringList{"Enable", "Handshake"}));
    EXPECT_EQ(page.rxDCB_ByteSize->value(), 8);
    EXPECT_EQ((QStringList{page.lbParity->text(), page.lbStopBits->text()}), (QStringList{"None", "1 bit"}));

    page.cDCB_fRtsControl->setChecked(false);
    page.rxVal->setValue(0);
    page.rxDCB_ByteSize->setValue(5);
    frm.BluetoothSettings1Click();
  }
}

TEST_F(DcbPage, SetOfAMaskWhoseBoxesAreCheckedChangesNoBoxAndShowsTheirMask) {
  page.rxMask->setValue(8213);
  page.SpeedButton3->click();
  EXPECT_EQ(page.GetFlagMask(), 12340);
  EXPECT_EQ(page.rxMask->value(), 12340);
  page.cDCB_fNull->setChecked(true);
  EXPECT_EQ(page.rxMask->value(), 12340 + 0x800);
}

TEST_F(DcbPage, WhatThePageShowsIsWhatIsWritten) {
  // The boxes are in their reset state already: the preset changes none of them.
  page.dResetDCBClick();
  EXPECT_EQ(page.rxMask->value(), 12340);
  DCB port;
  port.Flags = DCB::fBinary | RTS_CONTROL_TOGGLE << DCB::RtsControlShift;
  ApplyDcbOverrides(port, page.Overrides());
  EXPECT_EQ(port.Flags & DCB::fRtsControl, RTS_CONTROL_HANDSHAKE << DCB::RtsControlShift);

  // Numbers typed in count only through their Set.
  page.rxMask->setValue(4);
  page.rxVal->setValue(0);
  page.rxItemMask->setValue(0);
  TDcbOverrides overrides = page.Overrides();
  EXPECT_EQ(overrides.FlagMask, 12340u);
  EXPECT_EQ(overrides.FlagValue, 8213u);
  EXPECT_EQ(overrides.ItemMask, 56u);
  page.SpeedButton3->click();
  overrides = page.Overrides();
  EXPECT_EQ(overrides.FlagMask, 4u);
  EXPECT_EQ(overrides.FlagValue, 8213u);
  EXPECT_EQ(page.rxVal->value(), 8213);  // the typed value went with the mask's Set, unapplied
}

TEST_F(DcbPage, ValueBoxesAndCombosMakeTheFlagValue) {
  page.cDCB_fParity->setChecked(true);
  EXPECT_TRUE(page.cbDCBf_Parity->isEnabled());
  page.cbDCBf_Parity->setChecked(true);
  EXPECT_EQ(page.cbDCBf_Parity->text(), "TRUE");
  EXPECT_EQ(page.rxVal->value(), 8213 + 2);

  choose(page.comboRtsControl, "Disable");
  const int disabled = page.rxVal->value();
  choose(page.comboRtsControl, "Toggle");
  EXPECT_EQ(page.rxVal->value(), disabled + 12288);
  choose(page.comboDTRControl, "(Invalid)");
  EXPECT_EQ(page.rxVal->value() & 0x30, 0x30);
}

TEST_F(DcbPage, SetTakesOnlyTheEditorsBits) {
  page.rxVal->setValue(-1);
  page.SpeedButton1->click();
  for (QCheckBox* box : valueBoxes()) {
    EXPECT_TRUE(box->isChecked()) << box->objectName().toStdString();
    EXPECT_EQ(box->text(), "TRUE");
  }
  EXPECT_EQ(page.comboDTRControl->currentIndex(), 3);
  EXPECT_EQ(page.comboRtsControl->currentIndex(), 3);
  EXPECT_EQ(page.rxVal->value(), 0x7FFF);
  page.cbDCBf_Null->setChecked(false);
  EXPECT_EQ(page.rxVal->value(), 0x7FFF - 0x800);

  page.rxItemMask->setValue(-1);
  page.SpeedButton4->click();
  EXPECT_TRUE(page.cDCB_XonLim->isChecked());
  EXPECT_TRUE(page.rxDCB_EvtChar->isEnabled());
  EXPECT_EQ(page.rxItemMask->value(), 2046);
}

TEST_F(DcbPage, LabelsFollowTheirSpinEdits) {
  page.rxDCB_XOnChar->setValue(19);
  EXPECT_EQ(page.lbXonChar->text(), "0x13h");
  page.rxDCB_EvtChar->setValue(97);
  EXPECT_EQ(page.lbEvtChar->text(), "a");
  page.rxDCB_Parity->setValue(3);
  EXPECT_EQ(page.lbParity->text(), "Mark");
}

TEST_F(DcbPage, OverridesAreTheBoxesAndTheItemValues) {
  page.rxDCB_XoffChar->setValue(0x13);
  const TDcbOverrides overrides = page.Overrides();
  EXPECT_EQ(overrides.FlagValue, 8213u);
  EXPECT_EQ(overrides.FlagMask, 12340u);
  EXPECT_EQ(overrides.ItemMask, 56u);
  EXPECT_EQ(overrides.Items[3], 8u);
  EXPECT_EQ(overrides.Items[7], 0x13u);
}

TEST(DcbStateEditor, ThePageFitsItsColumnWithoutSidewaysScrolling) {
  TKorvexFrm frm;
  frm.BluetoothSettings1Click();  // the page is shown
  frm.show();
  ASSERT_EQ(frm.PageControl1->currentWidget(), frm.TabRawCom);
  frm.PageControl1->setCurrentWidget(frm.TabDCB);
  const auto* scroll = frm.TabDCB->findChild<QScrollArea*>();
  ASSERT_NE(scroll, nullptr);
  EXPECT_LE(scroll->widget()->minimumSizeHint().width(), scroll->viewport()->width());
  EXPECT_EQ(scroll->horizontalScrollBar()->maximum(), 0);
}
