#include "RawComTransmitter.h"

#include "ActivityLog.h"
#include "DirectPortDriver.h"
#include "OutputDrain.h"
#include "platform/Clock.h"
#include "platform/NumberText.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace {

constexpr std::uint32_t kWriteTimeoutMs = 1000;  // per byte and once per write
constexpr unsigned kPumpSliceMs = 20;            // how often a wait lets the window run
constexpr auto kRetryPause = std::chrono::milliseconds(100);
constexpr std::uint32_t kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

bool validHandle(HANDLE handle) { return handle != 0 && handle != INVALID_HANDLE_VALUE; }

// Runs its action when the scope ends, also by an exception.
template <class F>
class TAtExit {
public:
  explicit TAtExit(F action) : Action(std::move(action)) {}
  ~TAtExit() { Action(); }
  TAtExit(const TAtExit&) = delete;
  TAtExit& operator=(const TAtExit&) = delete;

private:
  F Action;
};

}  // namespace

TRawComTransmitter::~TRawComTransmitter() {
  if (RawPortIsOpen()) CloseHandle(RawPortHandle);
}

void TRawComTransmitter::logDebug(const std::string& text) {
  if (Settings.FullDebug) log(text);
}

void TRawComTransmitter::logDcb(const DCB& dcb) {
  for (const std::string& line : DcbLogLines(dcb)) View.LogLine(line, false);
}

bool TRawComTransmitter::SendJob(const std::string& text) {
  SendRunning = true;
  View.ShowSending(true);
  bool sent = false;
  {
    const TAtExit ended([this] {
      SendRunning = false;
      View.ShowSending(false);
    });
    sent = SendRawText(text);
  }
  log(std::string("Send Result:") + (sent ? "-1" : "0"));
  if (!sent && !text.empty()) log(SentLine(SentBytes, text.size()));
  return sent;
}

bool TRawComTransmitter::OpenRawPort() {
  const std::string name = Settings.PortName;
  OpenError = 0;
  if (name.empty()) return false;
  if (RawPortIsOpen()) CloseRawPort();
  releaseDirectPort(name);
  log((Settings.Overlapped ? "Open OLPort:\t" : "Open Port:\t") + name);
  RawPortHandle = CreateFile(name, Settings.Overlapped);
  if (RawPortHandle == INVALID_HANDLE_VALUE) {
    OpenError = GetLastError();
    log("FAIL:\tUnable to open port\t" + name);
    return false;
  }
  SetRawTimeouts(RawPortHandle);
  if (Settings.SetDcb) SetRawDcb(RawPortHandle);
  if (Settings.PurgeOnOpen) {
    log("PurgeComm:\tPURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT");
    // Output is thrown away only when the port reports some: a pseudo-terminal's queue
    // always reads empty, and clearing it there drops what the far end has not read yet,
    // such as the tail of the job before.
    std::uint32_t queued = 0;
    const bool clearOutput = OutputQueueBytes(RawPortHandle, queued) && queued > 0;
    if (!Purge(RawPortHandle, clearOutput ? kPurgeAll : kPurgeAll & ~PURGE_TXCLEAR)) log("PurgeComm - FAILED");
  }
  return true;
}

void TRawComTransmitter::releaseDirectPort(const std::string& name) {
  // The direct path keeps its port open after a send, and a device opens only once.
  const TComPort* direct = DirectComPort();
  if (!direct || !direct->Connected() || !SameDevice(direct->Port(), name)) return;
  DCE_ClosePort([this] { return keepDraining(); });
  log("Closed previous port");
}

bool TRawComTransmitter::OutputQueueBytes(HANDLE handle, std::uint32_t& bytes) {
  COMSTAT stat;
  if (!ClearCommError(handle, nullptr, &stat)) return false;
  bytes = stat.cbOutQue;
  return true;
}

bool TRawComTransmitter::keepDraining() {
  View.Pump(RefreshDuringSend);
  return !CancelRequested;
}

std::uint32_t TRawComTransmitter::CloseRawPort() {
  std::uint32_t left = 0;
  if (RawPortHandle == 0) return left;
  if (RawPortHandle != INVALID_HANDLE_VALUE) {
    // Closing at once would leave the tail to the next open's purge.
    DCB dcb;
    GetCommState(RawPortHandle, dcb);
    const HANDLE handle = RawPortHandle;
    bool told = false;
    const TDrainResult drained =
        DrainOutput([this, handle](std::uint32_t& bytes) { return OutputQueueBytes(handle, bytes); },
                    DrainRulesFor(dcb, NoProgressLimit), [this, &told, &left](std::uint32_t queued) {
                      // A cutter holding the line keeps the close waiting: say so once.
                      if (!told) log("Waiting for the cutter to take the last " + WholeNumber(queued) + " bytes");
                      told = true;
                      left = queued;
                      return keepDraining();
                    });
    if (drained == TDrainResult::Drained) left = 0;
    else Purge(RawPortHandle, PURGE_TXABORT | PURGE_TXCLEAR);
    log("ClosePort");
    CloseHandle(RawPortHandle);
  }
  RawPortHandle = 0;
  return left;
}

bool TRawComTransmitter::SetRawTimeouts(HANDLE handle) {
  if (!validHandle(handle)) return false;
  log("SetCommTimeouts");
  COMMTIMEOUTS timeouts;
  timeouts.ReadIntervalTimeout = MAXDWORD;  // reads, never made, would return at once
  timeouts.WriteTotalTimeoutMultiplier = kWriteTimeoutMs;
  timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
  return SetCommTimeouts(handle, timeouts);
}

void TRawComTransmitter::SetRawDcb(HANDLE handle) {
  if (!validHandle(handle)) return;
  log("Set DCB");
  DCB dcb;  // zeroed; a failed read leaves it so and the overrides go onto zeros
  log(std::string("GetCommState\t") + (GetCommState(handle, dcb) ? "True" : "False"));
  if (Settings.FullDebug) logDcb(dcb);
  ApplyDcbOverrides(dcb, Settings.Overrides);
  log(std::string("SetCommState\t") + (SetCommState(handle, dcb) ? "True" : "False"));
  if (Settings.FullDebug) logDcb(dcb);
}

std::optional<DCB> TRawComTransmitter::LogCurrentDcb() {
  if (!OpenRawPort()) return std::nullopt;
  std::optional<DCB> read;
  DCB dcb;
  if (GetCommState(RawPortHandle, dcb)) {
    logDcb(dcb);
    read = dcb;
  } else {
    log("Unable to get DCB");
  }
  CloseRawPort();
  return read;
}

bool TRawComTransmitter::keepGoing() {
  View.Pump(RefreshDuringSend);
  if (CancelRequested)
    Stop = TStop::Cancelled;
  else if (Clock::now() - LastProgress >= NoProgressLimit)
    Stop = TStop::Stalled;
  return Stop == TStop::None;
}

bool TRawComTransmitter::pauseBeforeRetry() {
  const auto until = Clock::now() + kRetryPause;
  do {
    if (!keepGoing()) return false;
    SleepMs(kPumpSliceMs);
  } while (Clock::now() < until);
  return true;
}

bool TRawComTransmitter::waitForWrite(HANDLE handle, HANDLE event) {
  // What the port still holds, pending write included; a shrinking queue is progress
  // even while the write as a whole has not completed.
  std::optional<std::uint32_t> queued;
  for (;;) {
    const std::uint32_t waited = WaitForSingleObject(event, kPumpSliceMs);
    if (waited == WAIT_OBJECT_0) return true;
    if (waited != WAIT_TIMEOUT) return false;
    COMSTAT stat;
    if (ClearCommError(handle, nullptr, &stat)) {
      if (queued && stat.cbOutQue < *queued) LastProgress = Clock::now();
      queued = stat.cbOutQue;
    }
    if (!keepGoing()) {
      PurgeComm(handle, PURGE_TXABORT);  // completes the write with what went out
      return WaitForSingleObject(event, INFINITE) == WAIT_OBJECT_0;
    }
  }
}

bool TRawComTransmitter::WriteRawOverlapped(HANDLE handle, const char* data, std::uint32_t& written,
                                            std::uint32_t count) {
  written = 0;
  if (handle == 0 || count == 0) return false;
  OVERLAPPED overlapped;
  overlapped.hEvent = CreateEvent(true, false);
  const TAtExit closeEvent([&] { CloseHandle(overlapped.hEvent); });
  if (WriteFile(handle, data, count, &written, &overlapped)) {
    if (written == count) {
      logDebug("Write OK\t" + std::to_string(written));
      return true;
    }
    logDebug("DirectWrite: Not Equal to dwWrite: " + std::to_string(written) + "\t" + std::to_string(count));
    return written > 0;
  }
  if (GetLastError() != ERROR_IO_PENDING) {
    logDebug("WriteFail");
    return false;
  }
  const bool signalled = waitForWrite(handle, overlapped.hEvent);
  logDebug("IO_PENDING");
  if (!signalled) {
    logDebug("WaitForSingleObj Err");
    return false;
  }
  if (!GetOverlappedResult(handle, overlapped, written, false)) {
    logDebug("No OverlappedResult");
    return false;
  }
  logDebug("GotOverlap: " + std::to_string(written));
  // A write that took nothing is still a success: the send loop tries the packet again.
  if (written != count) logDebug("Not Equal to dwWrite: " + std::to_string(written) + "\t" + std::to_string(count));
  return true;
}

bool TRawComTransmitter::WriteRawDirect(HANDLE handle, const char* data, std::uint32_t& written, std::uint32_t count) {
  written = 0;
  if (handle == 0 || count == 0) return false;
  COMMTIMEOUTS limits;
  if (!GetCommTimeouts(handle, limits)) {
    logDebug("Write Fail\t" + std::to_string(GetLastError()));
    return false;
  }
  const std::uint64_t limitMs =
      std::uint64_t{limits.WriteTotalTimeoutMultiplier} * count + limits.WriteTotalTimeoutConstant;
  const auto deadline = limitMs ? Clock::now() + std::chrono::milliseconds(limitMs) : Clock::time_point::max();
  COMMTIMEOUTS slice = limits;
  slice.WriteTotalTimeoutMultiplier = 0;
  slice.WriteTotalTimeoutConstant = kPumpSliceMs;
  SetCommTimeouts(handle, slice);
  const TAtExit restore([&] { SetCommTimeouts(handle, limits); });
  for (;;) {
    std::uint32_t part = 0;
    const bool ok = WriteFile(handle, data + written, count - written, &part, nullptr);
    written += part;
    if (part > 0) LastProgress = Clock::now();
    if (!ok) {
      logDebug("Write Fail\t" + std::to_string(GetLastError()));
      return false;
    }
    if (written == count || Clock::now() >= deadline || !keepGoing()) break;
  }
  if (written != count) log("DWmismatch: \t" + std::to_string(count) + "\t" + std::to_string(written));
  logDebug("Write OK\t" + std::to_string(written));
  return true;
}

std::size_t TRawComTransmitter::writePackets(const std::string& text, std::uint32_t packet) {
  const bool overlapped = Settings.Overlapped;
  const std::size_t total = text.size();
  View.BeginProgress(total);
  const TAtExit ended([this] { View.EndProgress(); });
  Stop = TStop::None;
  LastProgress = Clock::now();
  std::size_t position = 0;
  while (position < total) {
    if (CancelRequested) Stop = TStop::Cancelled;
    if (Stop != TStop::None) break;
    const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(total - position, packet));
    const char* data = text.data() + position;
    std::uint32_t written = 0;
    const bool ok = overlapped ? WriteRawOverlapped(RawPortHandle, data, written, count)
                               : WriteRawDirect(RawPortHandle, data, written, count);
    position += written;  // a failing write may still have sent some
    View.ShowProgress(position, total);
    if (!ok) break;
    if (written > 0) {
      LastProgress = Clock::now();
      View.Pump(RefreshDuringSend);
    } else if (!pauseBeforeRetry()) {
      break;
    }
  }
  return position;
}

bool TRawComTransmitter::SendRawText(const std::string& text) {
  View.RestartLog();
  RefreshDuringSend = Settings.RefreshGui;
  CancelRequested = false;
  SentBytes = 0;
  log("Send DirectCOM - Raw:\t" + std::to_string(text.size()) + " bytes");
  if (text.empty() || !OpenRawPort()) return false;
  // The packet size is compared unsigned, so a negative one limits nothing; 0 is the
  // whole text at once.
  std::uint32_t packet = 0;
  if (Settings.UsePackets) {
    packet = static_cast<std::uint32_t>(Settings.PacketSize);
    log("PacketSize:\t" + std::to_string(Settings.PacketSize));
  }
  if (packet == 0) packet = std::numeric_limits<std::uint32_t>::max();

  SentBytes = writePackets(text, packet);
  const bool complete = SentBytes == text.size();
  if (Stop == TStop::Stalled) log("FAIL:\tNo progress for 30 s");
  if (Stop == TStop::Cancelled) log("FAIL:\tCancelled");
  // What is still queued would otherwise go out after the send ended, or hold up the close.
  if (!complete) Purge(RawPortHandle, PURGE_TXABORT | PURGE_TXCLEAR);
  // Bytes the close could not send never left the port.
  const std::uint32_t unsent = CloseRawPort();
  if (complete && unsent > 0) {
    log("FAIL:\tThe port did not send the last " + WholeNumber(unsent) + " bytes");
    SentBytes -= std::min<std::size_t>(unsent, SentBytes);
  }
  CancelRequested = false;  // a diagnostic's close waits for its tail again
  return complete && unsent == 0;
}
