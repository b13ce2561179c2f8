#pragma once
// The main window's controls as its form lays them out: the menus, the job, the
// connection method and its pages, the preview boxes with their rulers, Send and the
// status bar. The window derives from it and wires the controls to its handlers.

#include <QIcon>
#include <functional>
#include <vector>

#include "DropDownCombo.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QMainWindow;
class QMenu;
class QPainter;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRect;
class QSpinBox;
class QStatusBar;
class QTabWidget;
class QWidget;
class TDcbStatePage;
class TFileLabel;
class TJobMemo;
class TPacingControls;
class TPrintQueuePage;
class TUsbPrinterPage;
class TPaintBox32;

struct TKorvexForm {
  // Draws one item of the connection-method list: painter, item, its rectangle.
  using TDrawItem = std::function<void(QPainter&, int, const QRect&)>;

  // Creates the controls on the window; dcbUpdateDepth is the DCB page's guard.
  void SetupForm(QMainWindow& window, int& dcbUpdateDepth, TDrawItem drawPortType);

  // Controls, named as the form names them.
  QGroupBox* GroupBox1;
  TFileLabel* lbFilename;
  QPushButton* Button1;
  QGroupBox* StaticGroupBox3;
  QLabel* Label3;
  QComboBox* comboPortType;
  QTabWidget* PageControl1;
  QPushButton* dSend;
  QProgressBar* ProgressBar1;
  QLabel* lbProgress;
  QStatusBar* StatusBar1;
  QProgressBar* LoadProgress;  // in the status bar while a long load or rebuild runs
  TPaintBox32* pb;             // Tag 1 until its first paint has drawn the first picture
  TPaintBox32* pbTopRuler;
  TPaintBox32* pbLeftRuler;
  QLabel* lbPreviewNotice;  // what the preview leaves out; hidden when nothing
  std::vector<QIcon> ImageList1;
  QMenu* File1;
  QAction* Open1;
  QAction* Send1;
  QAction* RecentJobsEnd;  // the recent jobs go before it
  QAction* Exit1;
  QAction* BluetoothSettings1;

  QWidget* TabCom;
  TDropDownCombo* comboDirComPort;
  QComboBox* comboDirComBaud;
  QComboBox* comboDirComFlow;
  QCheckBox* cAdvancedCom;
  QCheckBox* cUseCustomCom;
  QGroupBox* gbAdvanced;
  QCheckBox* cUseComTxBuf;
  QSpinBox* rxTXBuf;
  TPacingControls* Pacing;

  QWidget* TabRawCom;
  TDropDownCombo* cbRawComPort;
  QComboBox* comboBR2;
  QSpinBox* rxTxBuf2;
  QCheckBox* cUseOverlap;
  QCheckBox* cPurgeCom;
  QCheckBox* cSetDCB;
  QCheckBox* cUseRawTXBuf;
  QCheckBox* cCustomRawCom;
  QCheckBox* TntCheckBox1;
  QCheckBox* cProcessMsgs;
  QGroupBox* gbAdvancedRC;
  QPushButton* Button7;
  QPushButton* Button8;
  QCheckBox* cUpdateDCB;

  TDcbStatePage* TabDCB;
  TPrintQueuePage* TabQueue;
  TUsbPrinterPage* TabUsb;

  QWidget* TabPlt;
  QLabel* lbPltInfo;
  QPushButton* SpeedButton2;
  TJobMemo* TntMemo1;

  QWidget* TabLog;
  QPlainTextEdit* memoLog;
  QPushButton* Button3;
  QPushButton* Button4;
  QCheckBox* cFullDebug;

 private:
  QWidget* createComPage();
  QWidget* createRawComPage();
  QWidget* createPltPage();
  QWidget* createLogPage();
};

// Selects the combo's item whose text equals the given one, or none.
void SelectText(QComboBox* combo, const QString& text);
