#pragma once
// The serial port component of the direct path: line settings, flow control, timeouts and
// queue sizes that reach the device as they change, blocking writes through an
// overlapped request, and an event thread that hands the port's events to the main
// thread. Failed platform calls raise EComPort.

#include "OutputDrain.h"
#include "platform/comm.h"

#include <atomic>
#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

enum TBaudRate : std::uint8_t {
  brCustom, br110, br300, br600, br1200, br2400, br4800, br9600,
  br14400, br19200, br38400, br56000, br57600, br115200, br128000, br256000
};
enum TDataBits : std::uint8_t { dbFive, dbSix, dbSeven, dbEight };
enum TStopBits : std::uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TParityBits : std::uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl : std::uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl : std::uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl : std::uint8_t { fcHardware, fcSoftware, fcNone, fcCustom };
enum TComEvent : std::uint8_t { evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full };
using TComEvents = std::bitset<10>;  // indexed by TComEvent

// The component's error codes; ComErrorText gives their messages.
enum TComErrorCode : int {
  cerOpenPort = 1, cerWriteFile, cerReadFile, cerInvalidAsync, cerPurgeComm, cerAsyncStatus, cerSetCommState,
  cerSetCommTimeouts, cerSetupComm, cerClearCommError, cerModemStatus, cerEscapeComm, cerTransmitChar,
  cerConnectedProperty, cerEnumPorts, cerStoreSettings, cerLoadSettings, cerLinkRegistration, cerLedState,
  cerThreadCreated, cerWaitForEvent, cerRxBufLink, cerRegistry, cerPortNotOpen
};

// The message of a component error code (1 to 24); empty for any other value.
std::string ComErrorText(int comErrorCode);

// The message is the code's text, followed by " (Error: n)" when there is a platform code.
class EComPort : public std::runtime_error {
public:
  EComPort(int comErrorCode, int osErrorCode);
  int OsErrorCode() const { return osErrorCode_; }  // errno, -1 when none
  int ComErrorCode() const { return comErrorCode_; }

private:
  int osErrorCode_;
  int comErrorCode_;
};

class TCustomComPort;

// Milliseconds; -1 stands for the all-ones value. A write of n bytes may take
// WriteTotalMultiplier * n + WriteTotalConstant before it completes short.
class TComTimeouts {
public:
  explicit TComTimeouts(TCustomComPort& comPort) : comPort_(comPort) {}
  TComTimeouts(const TComTimeouts&) = delete;
  TComTimeouts& operator=(const TComTimeouts&) = delete;

  std::int32_t ReadInterval() const { return readInterval_; }
  std::int32_t ReadTotalMultiplier() const { return readTotalMultiplier_; }
  std::int32_t ReadTotalConstant() const { return readTotalConstant_; }
  std::int32_t WriteTotalMultiplier() const { return writeTotalMultiplier_; }
  std::int32_t WriteTotalConstant() const { return writeTotalConstant_; }
  void SetReadInterval(std::int32_t value) { set(readInterval_, value); }
  void SetReadTotalMultiplier(std::int32_t value) { set(readTotalMultiplier_, value); }
  void SetReadTotalConstant(std::int32_t value) { set(readTotalConstant_, value); }
  void SetWriteTotalMultiplier(std::int32_t value) { set(writeTotalMultiplier_, value); }
  void SetWriteTotalConstant(std::int32_t value) { set(writeTotalConstant_, value); }

private:
  void set(std::int32_t& field, std::int32_t value);
  TCustomComPort& comPort_;
  std::int32_t readInterval_ = -1, readTotalMultiplier_ = 0, readTotalConstant_ = 0;
  std::int32_t writeTotalMultiplier_ = 100, writeTotalConstant_ = 1000;
};

// A settings group whose fields are part of the device control block: every change
// applies the block to an open port.
class TComControlBlockSettings {
public:
  TComControlBlockSettings(const TComControlBlockSettings&) = delete;
  TComControlBlockSettings& operator=(const TComControlBlockSettings&) = delete;

protected:
  explicit TComControlBlockSettings(TCustomComPort& comPort) : comPort_(comPort) {}
  template <class T>
  void set(T& field, T value) {
    if (field == value) return;
    field = value;
    applyControlBlock();
  }
  void applyControlBlock();

private:
  TCustomComPort& comPort_;
};

class TComFlowControl : public TComControlBlockSettings {
public:
  explicit TComFlowControl(TCustomComPort& comPort) : TComControlBlockSettings(comPort) {}

  bool OutCTSFlow() const { return outCTSFlow_; }
  bool OutDSRFlow() const { return outDSRFlow_; }
  TDTRFlowControl ControlDTR() const { return controlDTR_; }
  TRTSFlowControl ControlRTS() const { return controlRTS_; }
  bool XonXoffOut() const { return xonXoffOut_; }
  bool XonXoffIn() const { return xonXoffIn_; }
  bool DSRSensitivity() const { return dsrSensitivity_; }
  bool TxContinueOnXoff() const { return txContinueOnXoff_; }
  std::uint8_t XonChar() const { return xonChar_; }
  std::uint8_t XoffChar() const { return xoffChar_; }
  void SetOutCTSFlow(bool value) { set(outCTSFlow_, value); }
  void SetOutDSRFlow(bool value) { set(outDSRFlow_, value); }
  void SetControlDTR(TDTRFlowControl value) { set(controlDTR_, value); }
  void SetControlRTS(TRTSFlowControl value) { set(controlRTS_, value); }
  void SetXonXoffOut(bool value) { set(xonXoffOut_, value); }
  void SetXonXoffIn(bool value) { set(xonXoffIn_, value); }
  void SetDSRSensitivity(bool value) { set(dsrSensitivity_, value); }
  void SetTxContinueOnXoff(bool value) { set(txContinueOnXoff_, value); }
  void SetXonChar(std::uint8_t value) { set(xonChar_, value); }
  void SetXoffChar(std::uint8_t value) { set(xoffChar_, value); }

  // The shorthand: fcHardware and fcSoftware for exactly their combinations, fcNone with
  // RTS disabled and the three switches off, fcCustom otherwise. Setting fcCustom
  // changes no field; DTR, DSR flow, DSR sensitivity and continue-on-XOFF are never touched.
  TFlowControl FlowControl() const;
  void SetFlowControl(TFlowControl value);

private:
  bool outCTSFlow_ = false, outDSRFlow_ = false;
  TDTRFlowControl controlDTR_ = dtrDisable;
  TRTSFlowControl controlRTS_ = rtsDisable;
  bool xonXoffOut_ = false, xonXoffIn_ = false, dsrSensitivity_ = false, txContinueOnXoff_ = false;
  std::uint8_t xonChar_ = 17, xoffChar_ = 19;
};

class TComParity : public TComControlBlockSettings {
public:
  explicit TComParity(TCustomComPort& comPort) : TComControlBlockSettings(comPort) {}

  TParityBits Bits() const { return bits_; }
  bool Check() const { return check_; }
  bool Replace() const { return replace_; }
  std::uint8_t ReplaceChar() const { return replaceChar_; }
  void SetBits(TParityBits value) { set(bits_, value); }
  void SetCheck(bool value) { set(check_, value); }
  void SetReplace(bool value) { set(replace_, value); }
  void SetReplaceChar(std::uint8_t value) { set(replaceChar_, value); }

private:
  TParityBits bits_ = prNone;
  bool check_ = false, replace_ = false;
  std::uint8_t replaceChar_ = 0;
};

// Driver queue sizes in bytes; an odd positive size is stored as the next lower even one.
class TComBuffer {
public:
  explicit TComBuffer(TCustomComPort& comPort) : comPort_(comPort) {}
  TComBuffer(const TComBuffer&) = delete;
  TComBuffer& operator=(const TComBuffer&) = delete;

  std::int32_t InputSize() const { return inputSize_; }
  std::int32_t OutputSize() const { return outputSize_; }
  void SetInputSize(std::int32_t value) { set(inputSize_, value); }
  void SetOutputSize(std::int32_t value) { set(outputSize_, value); }

private:
  void set(std::int32_t& field, std::int32_t value);
  TCustomComPort& comPort_;
  std::int32_t inputSize_ = 1024, outputSize_ = 1024;
};

// Waits on the device for the component's events and hands each set of them to the
// main thread, waiting until it has been dispatched there.
class TComThread {
public:
  explicit TComThread(TCustomComPort& comPort);
  // Stops the thread and waits for it, serving its hand-overs meanwhile.
  ~TComThread();
  TComThread(const TComThread&) = delete;
  TComThread& operator=(const TComThread&) = delete;

  void StopThread();

private:
  void Execute();
  TCustomComPort& comPort_;
  HANDLE stopEvent_;
  TComEvents events_;  // the last received set, used by the thread only
  std::atomic<bool> finished_ = false;
  std::thread thread_;
};

class TCustomComPort {
public:
  TCustomComPort();
  // Closes the port first, ignoring any error of the close.
  virtual ~TCustomComPort();
  TCustomComPort(const TCustomComPort&) = delete;
  TCustomComPort& operator=(const TCustomComPort&) = delete;

  // Settings are applied only while no update is pending; the last end applies them all.
  void BeginSettingsUpdate();
  void EndSettingsUpdate();

  // The device path is "\\.\" followed by the port name, also when it already starts so.
  // A different port on an open component closes it and opens the new one.
  const std::string& Port() const { return port_; }
  void SetPort(const std::string& value);
  // Each line setting applies the device control block when it changes.
  TBaudRate BaudRate() const { return baudRate_; }
  void SetBaudRate(TBaudRate value) { setLineSetting(baudRate_, value); }
  std::int32_t CustomBaudRate() const { return customBaudRate_; }  // the rate of brCustom
  void SetCustomBaudRate(std::int32_t value) { setLineSetting(customBaudRate_, value); }
  TDataBits DataBits() const { return dataBits_; }
  void SetDataBits(TDataBits value) { setLineSetting(dataBits_, value); }
  TStopBits StopBits() const { return stopBits_; }
  void SetStopBits(TStopBits value) { setLineSetting(stopBits_, value); }
  bool DiscardNull() const { return discardNull_; }
  void SetDiscardNull(bool value) { setLineSetting(discardNull_, value); }
  std::uint8_t EventChar() const { return eventChar_; }
  void SetEventChar(std::uint8_t value) { setLineSetting(eventChar_, value); }
  // The events the event thread waits for; none means no thread. Used at the next open.
  TComEvents Events() const { return events_; }
  void SetEvents(TComEvents value) { events_ = value; }

  TComParity& Parity() { return parity_; }
  TComFlowControl& FlowControl() { return flowControl_; }
  TComTimeouts& Timeouts() { return timeouts_; }
  TComBuffer& Buffer() { return buffer_; }

  bool Connected() const { return connected_; }
  HANDLE Handle() const { return handle_; }

  void OpenPort();
  // Purges the pending calls, stops the event thread and releases the device. Output the
  // device still holds is thrown away rather than waited for (drain first to keep it);
  // a pseudo-terminal, which cannot tell, keeps it. A failing purge is raised only after
  // the release, so the component is closed whatever happens.
  void ClosePort();

  // Write and wait: the count written, smaller than asked when the write timeout ran out.
  // A closed component raises "Port Not Open". An empty text writes nothing and returns 0.
  // A write that has to wait calls keepWaiting about every 50 ms (the caller lets its
  // user interface run there); when it answers false the write is abandoned and returns
  // what went out so far. Without it the write just waits.
  std::int32_t WriteText(const std::string& text);
  std::int32_t WriteBuffer(const void* buffer, std::int32_t count, const std::function<bool()>& keepWaiting = {});
  // Waits up to timeoutMs for received bytes and returns as soon as any are there (at most
  // count); 0 when none came. keepWaiting is asked about every 50 ms; false ends the wait.
  // A closed component raises "Port Not Open", a failing device "ReadFile function failed".
  std::int32_t ReadBuffer(void* buffer, std::int32_t count, std::uint32_t timeoutMs,
                          const std::function<bool()>& keepWaiting = {});
  // Waits while the device sends what is queued, as DrainOutput describes, by the rules
  // of the port's flow control.
  TDrainResult DrainTransmitQueue(const TDrainWatch& keepWaiting = {}, std::chrono::milliseconds heldLimit = {});
  // Ends a pending write and throws away what the device still holds for the line.
  void PurgeOutput();
  // Bytes written and not yet sent; false when the device cannot tell.
  bool QueuedOutput(std::uint32_t& bytes) { return connected_ && OutputQueueBytes(bytes); }

  // Run on the main thread when characters have arrived, with the receive queue count.
  // It must not close the port (the close would wait for the hand-over it runs in).
  std::function<void(TCustomComPort& sender, std::uint32_t count)> OnRxChar;

protected:
  virtual void OpenDeviceHandle();
  virtual void CloseDeviceHandle();
  virtual void ApplyAllSettings();
  virtual void ApplyControlBlock();
  virtual void ApplyTimeoutSettings();
  virtual void ApplyQueueSizes();
  // Bytes written and not yet sent; false when the device cannot tell.
  virtual bool OutputQueueBytes(std::uint32_t& bytes);
  [[noreturn]] void RaiseComError(int comErrorCode, int osErrorCode) const;

private:
  friend class TComTimeouts;
  friend class TComControlBlockSettings;
  friend class TComBuffer;
  friend class TComThread;

  template <class T>
  void setLineSetting(T& field, T value) {
    if (field == value) return;
    field = value;
    ApplyControlBlock();
  }
  bool canApply() const { return connected_ && updateCount_ == 0; }
  DCB controlBlock();
  void dispatchComMsg(TComEvents events);

  std::string port_ = "COM1";
  TBaudRate baudRate_ = br9600;
  std::int32_t customBaudRate_ = 9600;
  TDataBits dataBits_ = dbEight;
  TStopBits stopBits_ = sbOneStopBit;
  bool discardNull_ = false;
  std::uint8_t eventChar_ = 0;
  TComEvents events_ = TComEvents().set();
  TComParity parity_{*this};
  TComFlowControl flowControl_{*this};
  TComTimeouts timeouts_{*this};
  TComBuffer buffer_{*this};
  bool connected_ = false;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  int updateCount_ = 0;
  std::unique_ptr<TComThread> eventThread_;
};

class TComPort : public TCustomComPort {};
