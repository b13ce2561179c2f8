#pragma once
// The 'DCB State' page: one override box per field of the device control block, the
// value each override imposes, and the three numbers ("Flag Mask", "Flag Value", "Item
// Mask") that show the boxes as bits and set them at once.

#include "transmission/DcbEditor.h"

#include <QWidget>

#include <cstdint>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;

class TDcbStatePage : public QWidget {
public:
  // flagUpdateDepth is the window's counter; above 0, value box changes leave "Flag Value" alone.
  explicit TDcbStatePage(int& flagUpdateDepth, QWidget* parent = nullptr);

  int GetFlagValue() const;
  int GetFlagMask() const;
  int GetItemMask() const;
  void SetFlagValueBoxes(int flags);
  void SetFlagOverrideBoxes(int mask);
  void SetItemOverrideBoxes(int mask);
  // What the boxes and item values impose; the baud rate is the caller's.
  TDcbOverrides Overrides() const;
  // "Update DCB Values": the port's flag word and its XonLim to XoffChar go into the editor.
  void LoadFromDcb(const DCB& dcb);

  // Handlers shared by all rows of a kind; the labels follow their spin edits.
  void flagOverrideClick(QCheckBox* overrideBox, QWidget* valueControl);
  void cbDCBf_ParityClick(QCheckBox* valueBox);  // the ten value boxes
  void flagComboClick();                         // the DTR and RTS combos
  void itemOverrideClick(QCheckBox* overrideBox, QSpinBox* spin);
  void SpeedButton1Click();
  void SpeedButton3Click();
  void SpeedButton4Click();
  void dResetDCBClick();

  // Flag overrides and their values, in bit order.
  QCheckBox *cDCB_fParity, *cbDCBf_Parity;
  QCheckBox *cDCB_fOutxCtsFlow, *cbDCBf_OutCtsFlow;
  QCheckBox *cDCB_fOutxDsrFlow, *cbDCBf_OutDsrFlow;
  QCheckBox* cDCB_fDtrControl;
  QComboBox* comboDTRControl;
  QCheckBox *cDCB_fDsrSensitive, *cbDCBf_DsrSensitive;
  QCheckBox *cDCB_fTXContinueOnXoff, *cbDCBf_TCContinue;
  QCheckBox *cDCB_fOutX, *cbDCBf_OutX;
  QCheckBox *cDCB_fInX, *cbDCBf_InX;
  QCheckBox *cDCB_fErrorChar, *cbDCBf_ErrorChar;
  QCheckBox *cDCB_fNull, *cbDCBf_Null;
  QCheckBox* cDCB_fRtsControl;
  QComboBox* comboRtsControl;
  QCheckBox *cDCB_fAbortOnErr, *cbDCBf_AbortOnError;

  // Item overrides, by their bit in the item mask.
  QCheckBox *cDCB_XonLim, *cDCB_XoffLim, *cDCB_ByteSize, *cDCB_Parity, *cDCB_StopBits;
  QCheckBox *cDCB_XonChar, *cDCB_XoffChar, *cDCB_ErrorChar, *cDCB_EofChar, *cDCB_EvtChar;
  QSpinBox *rxDCB_XonLim, *rxDCB_XoffLim, *rxDCB_ByteSize, *rxDCB_Parity, *rxDCB_StopBits;
  QSpinBox *rxDCB_XOnChar, *rxDCB_XoffChar, *rxDCB_ErrorChar, *rxDCB_EofChar, *rxDCB_EvtChar;
  QLabel *lbParity, *lbStopBits, *lbXonChar, *lbXoffChar, *lbErrorChar, *lbEofChar, *lbEvtChar;

  QSpinBox *rxMask, *rxVal, *rxItemMask;
  QPushButton *SpeedButton3, *SpeedButton1, *SpeedButton4;
  QPushButton* dResetDCB;

private:
  QSpinBox* itemSpin(int item) const;
  void showBoxNumbers();

  int& FlagUpdateDepth;
};
