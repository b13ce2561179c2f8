#include "DirectPortDriver.h"

#include "ports/PortExState.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <string_view>

namespace {

std::unique_ptr<TComPort>& directPort() {
  // Never destroyed: a port still open when the program ends is closed by the kernel,
  // which lets its last bytes drain, rather than purged by a close at exit.
  static auto* port = new std::unique_ptr<TComPort>;
  return *port;
}

std::string& lastOpenError() {
  static std::string error;
  return error;
}

int& lastOpenErrorCode() {
  static int code = 0;
  return code;
}

struct BaudRow {
  const char* value;
  TBaudRate rate;
};

constexpr BaudRow kBaudRows[] = {
    {"9600", br9600},   {"19200", br19200}, {"38400", br38400},   {"2400", br2400},   {"4800", br4800},
    {"14400", br14400}, {"56000", br56000}, {"57600", br57600}, {"115200", br115200},
};

// The settings part read as name=value lines, one per space-separated item: the text
// after the first "=" of the first line whose name matches ignoring case; "" when none.
std::string settingValue(const std::string& settings, const std::string& name) {
  const std::string wanted = UpperAscii(name);
  std::size_t start = 0;
  while (start <= settings.size()) {
    std::size_t end = settings.find_first_of(" \r\n", start);
    if (end == std::string::npos) end = settings.size();
    const std::string_view line(settings.data() + start, end - start);
    const std::size_t equals = line.find('=');
    if (equals != std::string_view::npos && UpperAscii(std::string(line.substr(0, equals))) == wanted)
      return std::string(line.substr(equals + 1));
    start = end + 1;
  }
  return {};
}

// A close has nobody to cancel it when the program ends, so a cutter that holds the line
// is waited for no longer than a raw send waits for a stalled one.
constexpr std::chrono::milliseconds kClosingHeldLimit{30000};

}  // namespace

std::string DCE_LastError() { return lastOpenError(); }

int DCE_LastErrorCode() { return lastOpenErrorCode(); }

TComPort* DirectComPort() { return directPort().get(); }

bool DCE_COMFILE_Open() { return directPort() && directPort()->Connected(); }

bool IsDirectBaudRate(std::int32_t baud) {
  const std::string value = std::to_string(baud);
  return std::any_of(std::begin(kBaudRows), std::end(kBaudRows), [&](const BaudRow& row) { return value == row.value; });
}

void ApplyPortSettings() {
  TComPort* port = DirectComPort();
  std::string portPart, settingsPart;
  GetLastSplit(portPart, settingsPart);
  if (!port || settingsPart.empty()) return;
  const std::string baud = settingValue(settingsPart, "baud");
  for (const BaudRow& row : kBaudRows)
    if (baud == row.value) port->SetBaudRate(row.rate);
  const std::string flow = settingValue(settingsPart, "flow");
  port->FlowControl().SetFlowControl(flow == "xon/xoff" ? fcSoftware : flow == "cts/rts" ? fcHardware : fcNone);
}

std::function<std::unique_ptr<TComPort>()>& DirectPortFactory() {
  static std::function<std::unique_ptr<TComPort>()> factory = [] { return std::make_unique<TComPort>(); };
  return factory;
}

bool DCE_OpenPort(const std::string& descriptor) {
  lastOpenError().clear();
  lastOpenErrorCode() = 0;
  std::string portPart, settingsPart;
  if (!SplitDescriptor(descriptor, portPart, settingsPart)) {
    lastOpenError() = descriptor.empty() ? "no port to open again" : "the descriptor names no port";
    return false;
  }
  std::unique_ptr<TComPort>& port = directPort();
  try {
    if (!port) port = DirectPortFactory()();
    port->BeginSettingsUpdate();
    port->SetPort(portPart);
    ApplyPortSettings();
    port->EndSettingsUpdate();
    port->OpenPort();
    if (port->Connected()) return true;
  } catch (const EComPort& error) {
    lastOpenError() = error.what();
    lastOpenErrorCode() = std::max(error.OsErrorCode(), 0);
  } catch (const std::exception& error) {
    lastOpenError() = error.what();  // a thread that could not start
  }
  port.reset();
  return false;
}

bool DCE_SendText(const std::string& text) {
  if (!DCE_COMFILE_Open() || text.empty()) return false;
  std::int32_t written = 0;
  try {
    written = DirectComPort()->WriteText(text);
  } catch (const std::exception&) {
    written = 0;
  }
  return static_cast<std::size_t>(written) == text.size();
}

TDrainResult DCE_ClosePort(const std::function<bool()>& keepWaiting) {
  std::unique_ptr<TComPort>& port = directPort();
  if (!port) return TDrainResult::Drained;
  TDrainResult drained = TDrainResult::GaveUp;
  try {
    // The port stays open after a send, so the end of the last job may still be queued.
    drained = port->DrainTransmitQueue([&keepWaiting](std::uint32_t) { return !keepWaiting || keepWaiting(); },
                                       kClosingHeldLimit);
    if (drained != TDrainResult::Drained) port->PurgeOutput();
  } catch (const EComPort&) {
  }
  try {
    port->ClosePort();
  } catch (const EComPort&) {
  }
  port.reset();
  return drained;
}

std::uint32_t DCE_PurgeOutput() {
  if (!DCE_COMFILE_Open()) return 0;
  std::uint32_t kept = 0;
  try {
    DirectComPort()->PurgeOutput();
  } catch (const EComPort&) {
  }
  if (!DirectComPort()->QueuedOutput(kept)) kept = 0;
  return kept;
}
