#pragma once
// The main window: the job, the connection settings pages, the preview boxes, Send and
// the activity log.

#include "transmission/ActivityLog.h"
#include "DcbStatePage.h"
#include "DropDownCombo.h"
#include "RawComView.h"
#include "ports/PortExState.h"
#include "ports/UsbMonitorUtils.h"
#include "preview/MatrixClass.h"

#include <QMainWindow>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QCloseEvent;
class QComboBox;
class QDragEnterEvent;
class QDropEvent;
class QGroupBox;
class QLabel;
class QPainter;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSocketNotifier;
class QSpinBox;
class QStatusBar;
class QTabWidget;
class TJobLoader;
class TJobMemo;
class TPacingControls;
class TPrintQueuePage;
class QWidget;
class TPaintBox32;
class TSimpleContourList;

class TKorvexFrm : public QMainWindow {
public:
  explicit TKorvexFrm(QWidget* parent = nullptr);
  ~TKorvexFrm() override;

  // Operations other parts of the program use.
  void LogLine(const std::string& text, bool stamped);
  void LogDebugLine(const std::string& text);
  void RestartLogClock() { Log.RestartLogClock(); }
  std::string LogClockText() const { return Log.LogClockText(); }
  void StorePortSettings();
  void UpdateJobSizeInfo();

  // The job as 8-bit text, byte for byte as loaded (or as edited in the memo).
  const std::string& JobText() const;
  // Puts a job file into the memo; false (and a message box) when it cannot be read.
  bool LoadJob(const std::string& path);
  // The job `korvex JOB` names (a desktop entry passes the file it opens) loads as Load
  // would, once the event loop runs; an empty name changes nothing.
  void OpenStartJob(const std::string& file);

  // Event handlers.
  void FormCreate();
  void Button1Click();
  void TntMemo1Change();
  void comboPortTypeDrawItem(QPainter& painter, int index, const QRect& rect);
  void comboPortTypeClick();
  void comboDirComPortDropDown();
  void comboDirComPortClick();
  // A name or path typed into the Direct COM port box: stored like a listed port and kept
  // in the lists for the rest of the run.
  void comboDirComPortTyped();
  void comboDirComBaudClick();
  void comboDirComFlowClick();
  void cAdvancedComClick();
  void cUseCustomComClick();
  void cUseComTxBufClick();
  void cbRawComPortDropDown();
  void comboBR2Click();
  void cSetDCBClick();
  void cUseRawTXBufClick();
  void cCustomRawComClick();
  void TntCheckBox1Click();
  void BluetoothSettings1Click();
  void dSendClick();
  void UsbDeviceChanged(bool arrived, const std::string& usbDescription, const std::string& storageDescription,
                        const std::string& storageFriendlyName);
  // A tty came or went: an adapter's port appears after its USB device's notice.
  void TtyDeviceChanged();
  void Button7Click();
  void Button8Click();
  void SpeedButton2Click();
  void pbGDIOverlay();

  // The preview: box and rulers drawn off screen, then shown at once.
  void RebuildPreview();
  void DrawPreview(const TSimpleContourList* List);
  void DrawRulers();

  void ShowConnectionPages(int mask);
  int ConnectionPageMask() const;
  void FillComPortList();
  void FillRawComPortList();

  // Owned objects.
  std::unique_ptr<TPortExState> PortState;
  std::unique_ptr<TUsbMonitor> UsbMonitor;
  std::unique_ptr<QSocketNotifier> UsbNotices;  // the monitor's socket, served by the event loop
  TActivityLog Log;
  IMatrixRef FViewMatrix;  // millimetres to pixels of pb; the rulers read it
  std::unique_ptr<TJobLoader> Loader;  // loads and rebuilds with the window answering
  int FlagUpdateDepth = 0;
  TRawComView RawView{*this};
  TRawComTransmitter RawCom{RawView};

  // Controls, named as the form names them.
  QGroupBox* GroupBox1;
  QLabel* lbFilename;
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
  TPaintBox32* pb;  // Tag 1 until its first paint has drawn the first picture
  TPaintBox32* pbTopRuler;
  TPaintBox32* pbLeftRuler;
  QLabel* lbPreviewNotice;  // what the preview leaves out; hidden when nothing
  std::vector<QIcon> ImageList1;
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

  QWidget* TabPlt;
  QLabel* lbPltInfo;
  QPushButton* SpeedButton2;
  TJobMemo* TntMemo1;

  QWidget* TabLog;
  QPlainTextEdit* memoLog;
  QPushButton* Button3;
  QPushButton* Button4;
  QCheckBox* cFullDebug;

protected:
  // A job file dragged onto the window, its memo included, loads as Load would.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  // A load or rebuild under way stops with the window.
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  // Accepts a drag that carries a local file and loads the file on the drop; false for
  // anything else.
  bool acceptJobDrag(QDropEvent* event);
  void createControls();
  void wireHandlers();
  QWidget* createComPage();
  QWidget* createRawComPage();
  QWidget* createPltPage();
  QWidget* createLogPage();
  void setPageVisible(QWidget* page, bool visible);
  bool isPageVisible(QWidget* page) const;
  void fillPortCombo(QComboBox* combo);
  void showPreviewNotice();
  void refreshPortCombo(QComboBox* combo, void (TKorvexFrm::*fill)());

  std::vector<std::string> TypedPorts;  // typed into the Direct COM box this run
  bool SendRunning = false;  // a send, with its dialog and port, is under way
};
