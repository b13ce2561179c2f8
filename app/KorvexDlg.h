#pragma once
// The main window: the job, the connection settings pages, the preview boxes, Send and
// the activity log.

#include <QMainWindow>
#include <memory>
#include <string>
#include <vector>

#include "DcbStatePage.h"
#include "KorvexForm.h"
#include "WindowSettings.h"
#include "ports/PortExState.h"
#include "ports/UsbMonitorUtils.h"
#include "preview/MatrixClass.h"
#include "transmission/ActivityLog.h"

class QAction;
class QCloseEvent;
class QComboBox;
class QDragEnterEvent;
class QDropEvent;
class QPainter;
class QSocketNotifier;
class TJobLoader;
class QWidget;
class TRawComTransmitter;
class TRawComView;
class TSimpleContourList;

class TKorvexFrm : public QMainWindow, public TKorvexForm {
 public:
  // Settings without a file leave the form's defaults and keep nothing.
  explicit TKorvexFrm(QWidget* parent = nullptr, TWindowSettings settings = TWindowSettings());
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
  // Puts the window where the last run left it; false when no place is remembered.
  bool RestoreGeometry();

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
  TWindowSettings Settings;
  std::unique_ptr<TRawComView> RawView;
  std::unique_ptr<TRawComTransmitter> RawCom;

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
 void wireHandlers();
 void setPageVisible(QWidget* page, bool visible);
 bool isPageVisible(QWidget* page) const;
 void fillPortCombo(QComboBox* combo);
 // After a load or rebuild: the notice under the preview, and for a job with nothing to
 // draw, rulers hidden and the reason in the status bar.
 void showJobState();
 // False, saying so in the status bar, while a load is under way: the memo, the label
 // and the preview may each show another job until it ends.
 bool loadSettled();
 void fillRecentJobs();
 // The controls whose choices the settings keep.
 std::vector<QWidget*> rememberedControls() const;
 void refreshPortCombo(QComboBox* combo, void (TKorvexFrm::*fill)());

 std::vector<std::string> TypedPorts;     // typed into the Direct COM box this run
 std::vector<QAction*> RecentJobActions;  // in the File menu, before RecentJobsEnd

 bool SendRunning = false;  // a send, with its dialog and port, is under way
};
