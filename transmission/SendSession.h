#pragma once
// The transfer of one job to an open port, in pieces cut at command boundaries or in
// fixed blocks, with progress, a waiting notice and cancel. The dialog, the command
// line and the tests drive it through a view.

#include "OutputDrain.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/Clock.h"

class ISendPacer;

// Process-wide piece settings, set by the Send command from the Tx buffer size and
// kept across sends: the hard piece limit (block size minus one in block mode) and the
// preferred piece length; 0 leaves the defaults.
extern int SendPieceMax;
extern int SendPiecePref;

inline constexpr int AbortTag = 666;

// What one write did: bytes that went out, and whether the device failed (as opposed
// to a write timeout, which only comes back short).
struct TSendWriteResult {
  std::size_t Written = 0;
  bool Failed = false;
  // What the device reported while the write waited ("out of media"), shown as the
  // send's status; empty when it reported nothing.
  std::string Status;
};

// How a transfer ended: whole (Ok), cancelled by the user, or failed because the device
// failed (Failed); with the bytes that went out of how many were to go. TailGivenUp: every
// byte was written, but the port stopped sending the last ones.
struct TSendOutcome {
  bool Ok = false;
  bool Failed = false;
  std::size_t Sent = 0;
  std::size_t Total = 0;
  bool TailGivenUp = false;
};

class ISendView {
public:
  virtual ~ISendView() = default;
  virtual void ShowStatus(const std::u16string& status) = 0;
  virtual void ShowProgressText(const std::string& text) = 0;
  virtual void ShowProgress(std::size_t position, std::size_t maximum) = 0;
  virtual void ShowWaiting(bool waiting) = 0;
  // Lets the user interface run once; the abort request arrives through it.
  virtual void Pump() = 0;
};

class TSendSession {
public:
  // Writes count bytes; while the write has to wait it keeps asking keepWaiting, which
  // lets the user interface run and answers false once the user aborted.
  using TWriter = std::function<TSendWriteResult(const char* data, std::size_t count,
                                                 const std::function<bool()>& keepWaiting)>;

  // An empty writer stands for a port that is not open; the status line shows the port
  // name as the device path it opens ("\\.\ttyUSB0" as /dev/ttyUSB0).
  TSendSession(ISendView& view, TWriter writer, std::string portName);

  // Chooses the way of writing as the Tx buffer option asks; true when a transfer ran
  // (the dialog then closes itself), false when there was nothing to send or no port.
  bool Run(const std::string& jobText, bool useTxBuffer);
  bool SendInPieces(std::string text);
  bool SendInBlocks(const std::string& text, std::size_t blockSize);

  // The bytes a transfer of the job writes: in pieces a short job is padded with spaces.
  static std::size_t BytesToSend(const std::string& jobText, bool useTxBuffer);

  // The last position (1-based, inclusive) of the piece that begins at start.
  static std::size_t FindPieceEnd(const std::string& text, std::size_t start, std::size_t preferred,
                                  std::size_t hardLimit);

  // Paces every piece or block (nullptr: none); the progress then shows what the cutter
  // took and the time left. The pacer outlives the transfer.
  void UsePacer(ISendPacer* pacer) { Pacer = pacer; }

  // The wait for the port to send what it still holds once every byte is written: it
  // drains with the watch it is given. Without one the transfer ends at its last write.
  using TTailWait = std::function<TDrainResult(const TDrainWatch& watch)>;
  void UseTailWait(TTailWait wait) { TailWait = std::move(wait); }

  // Also honoured when asked for before the transfer started.
  void RequestAbort() { CancelTag = AbortTag; }

  // The transfer waits while a question is open; that time does not count in the rate
  // the time left is estimated from.
  void PauseClock();
  void ResumeClock();
  // Performance counter ticks; tests script it.
  std::function<std::int64_t()> Clock = QueryPerformanceCounter;

  TSendOutcome Outcome() const { return {SendOk, Failed, Sent, Total, TailGivenUp}; }

  int CancelTag = 0;
  bool SendOk = false;
  bool Failed = false;  // a write failed, as opposed to the user's cancel
  bool TailGivenUp = false;
  std::size_t Sent = 0, Total = 0;

private:
  // Writes, reports the result to the view and pauses when nothing went out; false when
  // the device failed.
  bool writeStep(const char* data, std::size_t count, std::size_t& written);
  void showSent(std::size_t sent, std::size_t total);
  // Once every byte is written: waits while the cutter takes what the port holds. Sent
  // then counts only what left the port.
  void waitForTail();
  void showProgress(std::size_t position, std::size_t maximum, std::size_t total);

  ISendView& View;
  TWriter Writer;
  std::u16string SendingStatus;  // what the status line says while the job goes out
  bool DeviceStatusShown = false;
  std::string PortName;
  ISendPacer* Pacer = nullptr;
  TTailWait TailWait;
  std::int64_t Started = 0;  // performance counter ticks at the transfer's start
  std::int64_t Paused = 0;   // ticks spent paused since then
  std::int64_t PausedAt = 0;  // when the open pause began
  bool PauseOpen = false;
};

// Where a transfer writes: the writer, the wait for what the port still holds after the
// last write, and the port's name as the status line shows it.
struct TSendLine {
  TSendSession::TWriter Writer;
  TSendSession::TTailWait TailWait;
  std::string PortName;
};
