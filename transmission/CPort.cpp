#include "CPort.h"

#include "platform/MainThread.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <limits>
#include <span>
#include <vector>

namespace {

constexpr std::uint32_t kWriteWaitSliceMs = 50;

constexpr std::array<const char*, 24> kErrorTexts = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
    "Port Not Open",
};

constexpr std::uint32_t kBaudValues[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                                         14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};

// The platform's event bits, in the order of TComEvent.
constexpr std::uint32_t kEventBits[] = {EV_RXCHAR, EV_TXEMPTY, EV_RXFLAG, EV_RING, EV_BREAK,
                                        EV_CTS,    EV_DSR,     EV_ERR,    EV_RLSD, EV_RX80FULL};

std::uint32_t eventMask(TComEvents events) {
  std::uint32_t mask = 0;
  for (std::size_t i = 0; i < events.size(); ++i)
    if (events[i]) mask |= kEventBits[i];
  return mask;
}

// The events whose dispatch reads the device. The hooks of the others are not built, so
// handing them over would only cost the two threads a round trip per write.
const TComEvents kDispatchedEvents = TComEvents().set(evError).set(evRxChar).set(evCTS).set(evDSR).set(evRLSD);

TComEvents eventSet(std::uint32_t mask) {
  TComEvents events;
  for (std::size_t i = 0; i < events.size(); ++i) events[i] = (mask & kEventBits[i]) != 0;
  return events;
}

// One blocking write: the platform's overlapped block with its manual-reset event, created
// signalled, and a private copy of the data. Released when the write ends, also by an error.
struct TOverlappedRequest {
  TOverlappedRequest() { Overlapped.hEvent = CreateEvent(true, true); }
  ~TOverlappedRequest() { CloseHandle(Overlapped.hEvent); }
  TOverlappedRequest(const TOverlappedRequest&) = delete;
  TOverlappedRequest& operator=(const TOverlappedRequest&) = delete;
  OVERLAPPED Overlapped;
  std::vector<std::uint8_t> Data;
};

}  // namespace

std::string ComErrorText(int comErrorCode) {
  if (comErrorCode < 1 || comErrorCode > static_cast<int>(kErrorTexts.size())) return {};
  return kErrorTexts[static_cast<std::size_t>(comErrorCode - 1)];
}

EComPort::EComPort(int comErrorCode, int osErrorCode)
    : std::runtime_error(osErrorCode > 0
                             ? ComErrorText(comErrorCode) + " (Error: " + std::to_string(osErrorCode) + ")"
                             : ComErrorText(comErrorCode)),
      osErrorCode_(osErrorCode > 0 ? osErrorCode : -1),
      comErrorCode_(comErrorCode) {}

void TComTimeouts::set(std::int32_t& field, std::int32_t value) {
  if (field == value) return;
  field = value;
  comPort_.ApplyTimeoutSettings();
}

void TComControlBlockSettings::applyControlBlock() { comPort_.ApplyControlBlock(); }

TFlowControl TComFlowControl::FlowControl() const {
  if (controlRTS_ == rtsHandshake && outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_) return fcHardware;
  if (controlRTS_ == rtsDisable && !outCTSFlow_ && xonXoffIn_ && xonXoffOut_) return fcSoftware;
  if (controlRTS_ == rtsDisable && !outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_) return fcNone;
  return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl value) {
  if (value != fcCustom) {
    controlRTS_ = value == fcHardware ? rtsHandshake : rtsDisable;
    outCTSFlow_ = value == fcHardware;
    xonXoffIn_ = xonXoffOut_ = value == fcSoftware;
  }
  applyControlBlock();
}

void TComBuffer::set(std::int32_t& field, std::int32_t value) {
  if (value > 0 && value % 2 != 0) --value;
  if (field == value) return;
  field = value;
  comPort_.ApplyQueueSizes();
}

TComThread::TComThread(TCustomComPort& comPort) : comPort_(comPort), stopEvent_(CreateEvent(true, false)) {
  SetCommMask(comPort_.Handle(), eventMask(comPort_.Events()));
  try {
    thread_ = std::thread(&TComThread::Execute, this);
  } catch (...) {
    CloseHandle(stopEvent_);
    throw;
  }
}

TComThread::~TComThread() {
  StopThread();
  ServeMainThreadUntil([this] { return finished_.load(); });
  thread_.join();
  CloseHandle(stopEvent_);
}

void TComThread::StopThread() {
  SetEvent(stopEvent_);
  std::this_thread::yield();
}

void TComThread::Execute() {
  const HANDLE handle = comPort_.Handle();
  OVERLAPPED overlapped;
  overlapped.hEvent = CreateEvent(true, true);
  const HANDLE waits[] = {stopEvent_, overlapped.hEvent};
  for (;;) {
    // A wait that cannot start (the device has gone) leaves its event reset, so only the
    // stop event can end the next wait rather than a loop of failing waits.
    std::uint32_t mask = 0;
    WaitCommEvent(handle, mask, overlapped);
    if (WaitForMultipleObjects(waits, INFINITE) != WAIT_OBJECT_0 + 1) break;
    std::uint32_t unused = 0;
    if (!GetOverlappedResult(handle, overlapped, unused, false)) continue;
    events_ = eventSet(overlapped.EventMask);
    if ((events_ & kDispatchedEvents).none()) continue;  // also a mask change ending the wait
    try {
      const TComEvents events = events_;
      RunOnMainThread([this, events] { comPort_.dispatchComMsg(events); });
    } catch (...) {
      break;  // the dispatch could not read the device (it has gone away) or its hook failed
    }
  }
  SetCommMask(handle, 0);
  // The output queue is the close's to decide on: a finished job's tail must not go.
  PurgeComm(handle, PURGE_RXCLEAR);
  CloseHandle(overlapped.hEvent);
  finished_ = true;
  NotifyMainThread();
}

TCustomComPort::TCustomComPort() = default;

TCustomComPort::~TCustomComPort() {
  try {
    ClosePort();
  } catch (const EComPort&) {
  }
}

void TCustomComPort::BeginSettingsUpdate() { ++updateCount_; }

void TCustomComPort::EndSettingsUpdate() {
  if (updateCount_ == 0) return;
  if (--updateCount_ == 0) ApplyAllSettings();
}

void TCustomComPort::SetPort(const std::string& value) {
  if (value == port_) return;
  port_ = value;
  if (connected_) {
    ClosePort();
    OpenPort();
  }
}

void TCustomComPort::OpenPort() {
  if (connected_) return;
  OpenDeviceHandle();
  connected_ = true;
  try {
    ApplyAllSettings();
  } catch (...) {
    CloseDeviceHandle();
    connected_ = false;
    throw;
  }
  if (events_.any()) eventThread_ = std::make_unique<TComThread>(*this);
  // The signal reads of the after-open step; with no signal hooks one read stands for the
  // three. A failure leaves the port open.
  std::uint32_t status = 0;
  if (!GetCommModemStatus(handle_, status)) RaiseComError(cerModemStatus, GetLastError());
}

void TCustomComPort::ClosePort() {
  if (!connected_) return;
  const bool purged = PurgeComm(handle_, PURGE_TXABORT | PURGE_RXABORT);
  const int purgeError = purged ? 0 : GetLastError();
  eventThread_.reset();
  // The kernel would hold the close until what is queued has gone out, for up to half a
  // minute on a stalled line.
  if (std::uint32_t queued = 0; OutputQueueBytes(queued) && queued > 0) PurgeComm(handle_, PURGE_TXCLEAR);
  CloseDeviceHandle();
  connected_ = false;
  if (!purged) RaiseComError(cerPurgeComm, purgeError);
}

void TCustomComPort::OpenDeviceHandle() {
  handle_ = CreateFile("\\\\.\\" + port_, true);
  if (handle_ == INVALID_HANDLE_VALUE) RaiseComError(cerOpenPort, GetLastError());
}

void TCustomComPort::CloseDeviceHandle() {
  if (handle_ != INVALID_HANDLE_VALUE && CloseHandle(handle_)) handle_ = INVALID_HANDLE_VALUE;
}

void TCustomComPort::ApplyAllSettings() {
  ApplyQueueSizes();
  ApplyControlBlock();
  ApplyTimeoutSettings();
}

void TCustomComPort::ApplyQueueSizes() {
  if (!canApply()) return;
  if (!SetupComm(handle_, static_cast<std::uint32_t>(buffer_.InputSize()),
                 static_cast<std::uint32_t>(buffer_.OutputSize())))
    RaiseComError(cerSetupComm, GetLastError());
}

void TCustomComPort::ApplyTimeoutSettings() {
  if (!canApply()) return;
  const COMMTIMEOUTS timeouts{static_cast<std::uint32_t>(timeouts_.ReadInterval()),
                              static_cast<std::uint32_t>(timeouts_.ReadTotalMultiplier()),
                              static_cast<std::uint32_t>(timeouts_.ReadTotalConstant()),
                              static_cast<std::uint32_t>(timeouts_.WriteTotalMultiplier()),
                              static_cast<std::uint32_t>(timeouts_.WriteTotalConstant())};
  if (!SetCommTimeouts(handle_, timeouts)) RaiseComError(cerSetCommTimeouts, GetLastError());
}

void TCustomComPort::ApplyControlBlock() {
  if (!canApply()) return;
  if (!SetCommState(handle_, controlBlock())) RaiseComError(cerSetCommState, GetLastError());
}

DCB TCustomComPort::controlBlock() {
  DCB dcb;
  dcb.BaudRate = baudRate_ == brCustom ? static_cast<std::uint32_t>(std::max(customBaudRate_, 0))
                                       : kBaudValues[baudRate_];
  dcb.ByteSize = static_cast<std::uint8_t>(5 + dataBits_);
  dcb.Parity = parity_.Bits();
  dcb.StopBits = stopBits_;
  dcb.Flags = DCB::fBinary;
  const TComFlowControl& flow = flowControl_;
  if (discardNull_) dcb.Flags |= DCB::fNull;
  if (flow.OutCTSFlow()) dcb.Flags |= DCB::fOutxCtsFlow;
  if (flow.OutDSRFlow()) dcb.Flags |= DCB::fOutxDsrFlow;
  dcb.Flags |= std::uint32_t{flow.ControlDTR()} << DCB::DtrControlShift;
  dcb.Flags |= std::uint32_t{flow.ControlRTS()} << DCB::RtsControlShift;
  if (flow.XonXoffOut()) dcb.Flags |= DCB::fOutX;
  if (flow.XonXoffIn()) dcb.Flags |= DCB::fInX;
  if (flow.DSRSensitivity()) dcb.Flags |= DCB::fDsrSensitivity;
  if (flow.TxContinueOnXoff()) dcb.Flags |= DCB::fTXContinueOnXoff;
  if (parity_.Check()) {
    dcb.Flags |= DCB::fParity;
    if (parity_.Replace()) {
      dcb.Flags |= DCB::fErrorChar;
      dcb.ErrorChar = parity_.ReplaceChar();
    }
  }
  // A quarter of the input queue, held to what the 16-bit fields can carry.
  const auto limit = static_cast<std::uint16_t>(std::clamp(buffer_.InputSize() / 4, 0, 0xFFFF));
  dcb.XonLim = dcb.XoffLim = limit;
  dcb.XonChar = flow.XonChar();
  dcb.XoffChar = flow.XoffChar();
  dcb.EvtChar = eventChar_;
  return dcb;
}

std::int32_t TCustomComPort::WriteText(const std::string& text) {
  if (text.empty()) return 0;
  const auto count = std::min<std::size_t>(text.size(), std::numeric_limits<std::int32_t>::max());
  return WriteBuffer(text.data(), static_cast<std::int32_t>(count));
}

std::int32_t TCustomComPort::WriteBuffer(const void* buffer, std::int32_t count,
                                         const std::function<bool()>& keepWaiting) {
  TOverlappedRequest request;
  if (handle_ == INVALID_HANDLE_VALUE) RaiseComError(cerPortNotOpen, 0);
  if (buffer && count > 0) {
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    request.Data.assign(bytes, bytes + count);
  }
  const auto size = static_cast<std::uint32_t>(request.Data.size());
  if (!WriteFile(handle_, request.Data.data(), size, nullptr, &request.Overlapped) &&
      GetLastError() != ERROR_IO_PENDING)
    RaiseComError(cerWriteFile, GetLastError());
  bool abandoned = false;
  for (;;) {
    const std::uint32_t waited = WaitForSingleObject(request.Overlapped.hEvent, keepWaiting ? kWriteWaitSliceMs : INFINITE);
    if (waited == WAIT_OBJECT_0) break;
    if (waited != WAIT_TIMEOUT) RaiseComError(cerWriteFile, GetLastError());
    if (!keepWaiting()) {
      abandoned = true;
      PurgeComm(handle_, PURGE_TXABORT);  // completes the request with what went out
      if (WaitForSingleObject(request.Overlapped.hEvent, INFINITE) != WAIT_OBJECT_0)
        RaiseComError(cerWriteFile, GetLastError());
      break;
    }
  }
  std::uint32_t transferred = 0;
  // A write that fails part way (the device went) returns what the driver took, so the
  // caller counts it; the failure comes back at the next write.
  if (!GetOverlappedResult(handle_, request.Overlapped, transferred, false) && transferred == 0 &&
      !(abandoned && GetLastError() == ERROR_OPERATION_ABORTED))
    RaiseComError(cerWriteFile, GetLastError());
  return static_cast<std::int32_t>(transferred);
}

std::int32_t TCustomComPort::ReadBuffer(void* buffer, std::int32_t count, std::uint32_t timeoutMs,
                                        const std::function<bool()>& keepWaiting) {
  if (handle_ == INVALID_HANDLE_VALUE) RaiseComError(cerPortNotOpen, 0);
  if (!buffer || count <= 0) return 0;
  COMMTIMEOUTS kept;
  if (!GetCommTimeouts(handle_, kept)) RaiseComError(cerReadFile, GetLastError());
  // Only this read uses the read timeouts, so they are set for it and put back after.
  COMMTIMEOUTS firstBytes = kept;
  firstBytes.ReadIntervalTimeout = firstBytes.ReadTotalTimeoutMultiplier = MAXDWORD;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::uint32_t read = 0;
  bool ok = true;
  int error = 0;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) break;
    firstBytes.ReadTotalTimeoutConstant = static_cast<std::uint32_t>(std::min<std::int64_t>(left, kWriteWaitSliceMs));
    ok = SetCommTimeouts(handle_, firstBytes) && ReadFile(handle_, buffer, static_cast<std::uint32_t>(count), &read);
    if (!ok) error = GetLastError();
    if (!ok || read > 0 || (keepWaiting && !keepWaiting())) break;
  }
  SetCommTimeouts(handle_, kept);
  if (!ok) RaiseComError(cerReadFile, error);
  return static_cast<std::int32_t>(read);
}

bool TCustomComPort::OutputQueueBytes(std::uint32_t& bytes) {
  COMSTAT stat;
  if (!ClearCommError(handle_, nullptr, &stat)) return false;
  bytes = stat.cbOutQue;
  return true;
}

TDrainResult TCustomComPort::DrainTransmitQueue(const TDrainWatch& keepWaiting, std::chrono::milliseconds heldLimit) {
  if (!connected_) return TDrainResult::Drained;
  return DrainOutput([this](std::uint32_t& bytes) { return OutputQueueBytes(bytes); },
                     DrainRulesFor(controlBlock(), heldLimit), keepWaiting);
}

void TCustomComPort::PurgeOutput() {
  if (handle_ == INVALID_HANDLE_VALUE) return;
  if (!PurgeComm(handle_, PURGE_TXABORT | PURGE_TXCLEAR)) RaiseComError(cerPurgeComm, GetLastError());
}

void TCustomComPort::RaiseComError(int comErrorCode, int osErrorCode) const {
  throw EComPort(comErrorCode, osErrorCode);
}

void TCustomComPort::dispatchComMsg(TComEvents events) {
  if (events[evError]) {
    std::uint32_t errors = 0;
    if (!ClearCommError(handle_, &errors, nullptr)) RaiseComError(cerClearCommError, GetLastError());
  }
  if (events[evRxChar]) {
    COMSTAT stat;
    if (!ClearCommError(handle_, nullptr, &stat)) RaiseComError(cerClearCommError, GetLastError());
    if (stat.cbInQue > 0 && OnRxChar) OnRxChar(*this, stat.cbInQue);
  }
  // The line-change hooks are not built; one status read stands for theirs.
  if (events[evCTS] || events[evDSR] || events[evRLSD]) {
    std::uint32_t status = 0;
    if (!GetCommModemStatus(handle_, status)) RaiseComError(cerModemStatus, GetLastError());
  }
}
