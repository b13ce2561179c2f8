#pragma once
// The raw COM transmitter as the main window shows it: the activity log, the progress
// bar and counter, Send turned into Cancel while a send runs, Escape, and the locked
// diagnostics. Without "Refresh GUI" the window keeps painting during a send, but only
// what cancels it reaches the controls.

#include "transmission/RawComTransmitter.h"

#include <QObject>

class TKorvexFrm;

class TRawComView : public QObject, public IRawComView {
public:
  explicit TRawComView(TKorvexFrm& form);

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
  TKorvexFrm& Form;
  bool OnlyCancelInput = false;
};
