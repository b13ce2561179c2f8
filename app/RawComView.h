#pragma once
// The raw COM transmitter as the main window shows it: the activity log, the progress
// bar and counter, Send turned into Cancel while a send runs, Escape, and the locked
// diagnostics. Without "Refresh GUI" the window keeps painting during a send, but only
// what cancels it reaches the controls. The window hands over the controls it lends and
// what the view may ask of it; the view knows nothing else of the window.

#include <QObject>
#include <functional>

#include "transmission/RawComTransmitter.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QWidget;
class TDcbStatePage;

struct TRawComControls {
  QWidget* Window = nullptr;  // closing it cancels, as Escape does
  QPushButton* Send = nullptr;
  QPushButton* LogDcb = nullptr;
  QPushButton* TestOpen = nullptr;
  QLabel* Progress = nullptr;
  QProgressBar* Bar = nullptr;
  QComboBox* Baud = nullptr;
  QSpinBox* PacketSize = nullptr;
  QCheckBox *Overlapped = nullptr, *Purge = nullptr, *SetDcb = nullptr, *UsePackets = nullptr, *RefreshGui = nullptr,
            *FullDebug = nullptr;
  TDcbStatePage* Dcb = nullptr;
  // The port the page names, the activity log's lines and its restart, and what Escape,
  // closing the window or Send (reading "Cancel") ask for.
  std::function<std::string()> PortName;
  std::function<void(const std::string& text, bool stamped)> LogLine;
  std::function<void()> RestartLog;
  std::function<void()> Cancel;
};

class TRawComView : public QObject, public IRawComView {
public:
 explicit TRawComView(TRawComControls controls);

 // The 'Raw COM' page, the DCB editor and the debugging mode as they stand now.
 TRawComSettings ReadSettings() const;

 void RestartLog() override;
 void LogLine(const std::string& text, bool stamped) override;
 void ShowSending(bool sending) override;
 void BeginProgress(std::size_t total) override;
 void ShowProgress(std::size_t written, std::size_t total) override;
 void EndProgress() override;
 void Pump(bool refreshGui) override;

protected:
  // Installed on the application while a send runs.
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
 TRawComControls Controls;
 bool OnlyCancelInput = false;
};
