#pragma once
// The raw COM transmitter, the writer for a serial port provided over Bluetooth: it opens
// the device by name with the serial calls themselves rather than through the serial
// port component, sets fixed timeouts, imposes the DCB editor's overrides, purges, and
// writes the job in packets, plain or overlapped. The window and the tests drive it
// through a view.

#include "DcbEditor.h"
#include "platform/comm.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// The choices of the 'Raw COM' page, read when a command starts.
struct TRawComSettings {
  std::string PortName;
  bool Overlapped = true;
  bool PurgeOnOpen = true;
  bool SetDcb = true;
  bool UsePackets = true;
  int PacketSize = 200;
  bool RefreshGui = false;
  bool FullDebug = false;
  TDcbOverrides Overrides;
};

class IRawComView {
public:
  virtual ~IRawComView() = default;
  // Clears the activity log and restarts its clock.
  virtual void RestartLog() = 0;
  virtual void LogLine(const std::string& text, bool stamped) = 0;
  // A send starts or ends: while it runs Send cancels it and the diagnostics are locked.
  virtual void ShowSending(bool sending) = 0;
  virtual void BeginProgress(std::size_t total) = 0;
  virtual void ShowProgress(std::size_t written, std::size_t total) = 0;  // repainted at once
  virtual void EndProgress() = 0;
  // Lets the window run once: all of it with refreshGui, else only what cancels the send.
  virtual void Pump(bool refreshGui) = 0;
};

class TRawComTransmitter {
public:
  explicit TRawComTransmitter(IRawComView& view) : View(view) {}
  virtual ~TRawComTransmitter();  // releases a port an interrupted command left open
  TRawComTransmitter(const TRawComTransmitter&) = delete;
  TRawComTransmitter& operator=(const TRawComTransmitter&) = delete;

  // The raw branch of Send: SendRawText, then "Send Result:" with -1 (all written) or 0;
  // a send that did not finish adds how many of its bytes went out.
  bool SendJob(const std::string& text);
  // Opens, configures and writes the text, then closes the port; true when every byte
  // was written. A cancel or a cutter that takes nothing for NoProgressLimit ends it,
  // with the rest purged.
  bool SendRawText(const std::string& text);
  void RequestCancel() { CancelRequested = true; }
  bool Sending() const { return SendRunning; }

  // A device the direct path still holds open is released first, its tail drained.
  bool OpenRawPort();
  // Lets what the port still holds go out first (pumped, by DrainOutput's rules; a cutter
  // holding the line is waited for until it takes nothing for 30 s, or the user cancels);
  // what is left when that wait ends is thrown away. Returns how many bytes that was.
  std::uint32_t CloseRawPort();
  bool RawPortIsOpen() const { return RawPortHandle != 0 && RawPortHandle != INVALID_HANDLE_VALUE; }
  bool SetRawTimeouts(HANDLE handle);
  void SetRawDcb(HANDLE handle);
  bool WriteRawOverlapped(HANDLE handle, const char* data, std::uint32_t& written, std::uint32_t count);
  // The port's write timeouts still limit the write, but it goes out in short slices
  // between which the window runs and a cancel or a stall ends it.
  bool WriteRawDirect(HANDLE handle, const char* data, std::uint32_t& written, std::uint32_t count);
  // "Log Current DCB": opens the port, dumps its DCB and closes it again; the DCB when
  // it could be read.
  std::optional<DCB> LogCurrentDcb();

  TRawComSettings Settings;
  std::chrono::milliseconds NoProgressLimit{30000};
  HANDLE RawPortHandle = 0;
  int OpenError = 0;  // errno of the last open that failed; 0 after an open or no name

protected:
  // Bytes written and not yet sent; false when the device cannot tell.
  virtual bool OutputQueueBytes(HANDLE handle, std::uint32_t& bytes);
  // Every purge of the raw port goes through here.
  virtual bool Purge(HANDLE handle, std::uint32_t flags) { return PurgeComm(handle, flags); }

private:
  enum class TStop { None, Cancelled, Stalled };
  using Clock = std::chrono::steady_clock;

  void log(const std::string& text) { View.LogLine(text, true); }
  void logDebug(const std::string& text);
  void logDcb(const DCB& dcb);
  // Between packets and while a write waits: pumps, then false once the send is to stop.
  bool keepGoing();
  // While a port's tail drains: pumps, then false once a cancel asks to stop.
  bool keepDraining();
  void releaseDirectPort(const std::string& name);
  bool pauseBeforeRetry();
  bool waitForWrite(HANDLE handle, HANDLE event);
  // The write loop; gives how many bytes went out.
  std::size_t writePackets(const std::string& text, std::uint32_t packet);

  IRawComView& View;
  bool SendRunning = false;
  bool CancelRequested = false;
  bool RefreshDuringSend = false;
  TStop Stop = TStop::None;
  Clock::time_point LastProgress;
  std::size_t SentBytes = 0;  // of the last send
};
