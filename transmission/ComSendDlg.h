#pragma once
// The modal "Sending to Cutter" dialog: its first paint starts the transfer to the port
// the direct port driver holds, or the one given as Transfer, it shows the progress and
// lets the user cancel.

#include "SendPacer.h"
#include "SendSession.h"

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

class TFrmComSend : public QDialog, private ISendView {
public:
  explicit TFrmComSend(QWidget* parent = nullptr);
  ~TFrmComSend() override;

  std::string JobText;
  bool UseTxBuffer = false;
  bool SendOk = false;
  // How the send paces itself, and where a pacer's log lines go.
  TPacing Pacing;
  std::function<void(const std::string& line)> Log;
  // A warning shown under the status for the whole send (English; translated when shown).
  std::string Caution;
  // Runs instead of the transfer to the direct port when set: it drives the view, asks
  // aborted() all along and tells how it ended.
  std::function<TSendOutcome(ISendView& view, const std::function<bool()>& aborted)> Transfer;
  // How the transfer ended, also when it never started.
  TSendOutcome Outcome() const;

  void FormCreate();
  void PaintBox1Paint();
  void SpeedButton1Click();
  void dAbortClick();

  QGroupBox* GroupBox3;
  QLabel* Label7;
  QLabel* labelStatus;
  QLabel* Label9;
  QLabel* labelProgress;
  QLabel* LabelWaiting;
  QProgressBar* ProgressBar1;
  QPushButton* dAbort;
  QWidget* PaintBox1;
  QPushButton* SpeedButton1;
  QLabel* lbHasGlobalTrans;
  QLabel* labelCaution;

  // Escape, the close button and the window manager all end here and take Cancel's path:
  // the user is asked, and Yes ends the transfer, also one that has not started yet.
  void reject() override;

protected:
  void showEvent(QShowEvent* event) override;  // centred on the main window

private:
  void ShowStatus(const std::u16string& status) override;
  void ShowProgressText(const std::string& text) override;
  void ShowProgress(std::size_t position, std::size_t maximum) override;
  void ShowWaiting(bool waiting) override;
  void Pump() override;

  std::unique_ptr<ISendPacer> Pacer;
  std::unique_ptr<TSendSession> Session;
  bool AbortRequested = false;  // before the transfer started, or for a given Transfer
  std::optional<TSendOutcome> TransferOutcome;
};

// While one exists, the send dialog ends without asking: a signal or the program's end
// closes the windows and cancels a running send, with nobody there to answer.
class TCancelSendsWithoutAsking {
public:
  TCancelSendsWithoutAsking();
  ~TCancelSendsWithoutAsking();
  TCancelSendsWithoutAsking(const TCancelSendsWithoutAsking&) = delete;
  TCancelSendsWithoutAsking& operator=(const TCancelSendsWithoutAsking&) = delete;
};
