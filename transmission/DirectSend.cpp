#include "DirectSend.h"

#include "ActivityLog.h"
#include "DirectPortDriver.h"
#include "SendSession.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/NumberText.h"
#include "platform/SerialDevices.h"
#include "ports/PortExState.h"
#include "translation/TransUtils.h"

#include <algorithm>
#include <cerrno>
#include <climits>

TSendSession::TWriter DirectPortWriter() {
  if (!DCE_COMFILE_Open()) return {};
  return [](const char* data, std::size_t count, const std::function<bool()>& keepWaiting) {
    TComPort* port = DirectComPort();
    if (!port) return TSendWriteResult{0, true, {}};
    try {
      const auto chunk = static_cast<std::int32_t>(std::min<std::size_t>(count, INT_MAX));
      return TSendWriteResult{static_cast<std::size_t>(port->WriteBuffer(data, chunk, keepWaiting)), false, {}};
    } catch (const EComPort& error) {
      // Holding a dead device's handle would keep its lock, and its name, taken.
      const int gone = error.OsErrorCode();
      if (gone == EIO || gone == ENXIO || gone == ENODEV) DCE_ClosePort();
      return TSendWriteResult{0, true, {}};
    }
  };
}

TSendSession::TTailWait DirectPortTailWait() {
  return [](const TDrainWatch& watch) {
    TComPort* port = DirectComPort();
    if (!port) return TDrainResult::GaveUp;
    try {
      return port->DrainTransmitQueue(watch);
    } catch (const EComPort&) {
      return TDrainResult::GaveUp;
    }
  };
}

TPacerPort DirectPacerPort() {
  TPacerPort port;
  port.Write = [writer = DirectPortWriter()](std::string_view bytes, const TPacerPort::TKeepWaiting& keepWaiting) {
    if (!writer) return false;
    const TSendWriteResult result = writer(bytes.data(), bytes.size(), keepWaiting);
    return !result.Failed && result.Written == bytes.size();
  };
  port.Read = [](unsigned timeoutMs, const TPacerPort::TKeepWaiting& keepWaiting, std::string& bytes) {
    TComPort* comPort = DirectComPort();
    if (!comPort) return false;
    try {
      char buffer[256];
      const std::int32_t n = comPort->ReadBuffer(buffer, sizeof buffer, timeoutMs, keepWaiting);
      bytes.append(buffer, static_cast<std::size_t>(std::max(n, 0)));
      return true;
    } catch (const EComPort&) {
      return false;
    }
  };
  port.Now = [] { return std::chrono::steady_clock::now(); };
  port.Sleep = [](unsigned ms) { SleepMs(ms); };
  return port;
}

std::string UnguardedSendWarning(TFlowMode flow, TPaceMode pace) {
  if (flow != fmNone || pace != TPaceMode::None) return {};
  return "Without a handshake or pacing, a cutter slower than its line may lose bytes: choose flow control "
         "RTS/CTS or XON/XOFF, or pacing.";
}

bool RunDirectSend(const std::string& jobText, const std::string& descriptor, int bufferSize,
                   const TDirectSendHooks& hooks) {
  hooks.Log("DirectCOM\t" + std::to_string(jobText.size()) + " bytes");
  hooks.Log("SD\t" + descriptor);
  if (DCE_COMFILE_Open()) {
    hooks.Log("Port already open");
    DCE_ClosePort(hooks.KeepWaiting);
    hooks.Log("Closed previous port");
  }
  hooks.Log("Opening:\t" + descriptor);
  if (!DCE_OpenPort(descriptor)) {
    hooks.Log("Failed to open");
    std::string port, settings;
    SplitDescriptor(descriptor, port, settings);
    std::vector<std::string> ports;
    ListSerialPorts(ports);
    hooks.OpenFailed("Unable to open COM Port!", DCE_LastError(),
                     PortOpenHint(WithoutDevicePrefix(port), DCE_LastErrorCode(), ports));
    return false;
  }
  hooks.Log("Port Opened");
  if (bufferSize > 0) SendPieceMax = SendPiecePref = bufferSize - 1;
  const TSendOutcome outcome = hooks.Transfer(jobText, bufferSize > 0);
  if (outcome.Ok) {
    hooks.Log("SendRes\tTrue");
    return true;
  }
  const std::uint32_t kept = DCE_PurgeOutput();
  hooks.Log("SendRes\tFalse");
  if (outcome.TailGivenUp && kept == 0)
    hooks.Log("Drain\tThe port stopped sending the end of the job; the rest was discarded");
  else if (outcome.TailGivenUp)
    hooks.Log("Drain\tThe port stopped sending the end of the job");
  // Some drivers discard nothing: what they hold may still reach the cutter.
  if (kept > 0) hooks.Log("Purge\tThe port would not discard " + WholeNumber(kept) + " bytes; they may still go out");
  hooks.Log(SentLine(outcome.Sent, outcome.Total));
  if (outcome.Failed)
    hooks.SendFailed(
        TransFormat("(__The job was not sent completely: [0_SENT] of [1_TOTAL] bytes went out. Check "
                    "that the cutter is on and connected, then send the job again.__)",
                    {AnsiToWide(WholeNumber(outcome.Sent)), AnsiToWide(WholeNumber(outcome.Total))}));
  return false;
}
