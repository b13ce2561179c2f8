#include "PortExState.h"

#include "platform/Debugger.h"
#include "platform/SerialDevices.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace {

const std::string kDevicePrefix = "\\\\.\\";

struct LastSplit {
  std::string descriptor, portPart, settingsPart;
};

LastSplit& lastSplit() {
  static LastSplit memory;
  return memory;
}

std::string withoutDevicePrefix(std::string name) {
  for (auto pos = name.find(kDevicePrefix); pos != std::string::npos; pos = name.find(kDevicePrefix, pos))
    name.erase(pos, kDevicePrefix.size());
  return name;
}

const char* flowWord(TFlowMode mode) {
  switch (mode) {
    case fmNone: return "none";
    case fmXonXoff: return "xon/xoff";
    case fmCtsRts: return "cts/rts";
  }
  return "";
}

bool sameIgnoringCase(const std::string& a, const std::string& b) {
  return UpperAscii(a) == UpperAscii(b);
}

}  // namespace

std::string UpperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

bool SplitDescriptor(const std::string& descriptor, std::string& portPart, std::string& settingsPart) {
  LastSplit& memory = lastSplit();
  if (descriptor.empty()) {
    portPart = memory.portPart;
    settingsPart = memory.settingsPart;
    return !memory.descriptor.empty();
  }
  std::string port, settings;
  bool afterComma = false, inside = false;
  for (char c : descriptor) {
    if (!afterComma) {
      if (c == ',') afterComma = true;
      else port += c;
    } else if (c == '<') {
      inside = true;
    } else if (c == '>') {
      inside = false;
    } else if (inside) {
      settings += c;
    }
  }
  if (port.empty()) return false;
  memory = {descriptor, port, settings};
  portPart = std::move(port);
  settingsPart = std::move(settings);
  return true;
}

bool GetLastSplit(std::string& portPart, std::string& settingsPart) {
  portPart.clear();
  settingsPart.clear();
  const LastSplit& memory = lastSplit();
  if (memory.descriptor.empty()) return false;
  portPart = memory.portPart;
  settingsPart = memory.settingsPart;
  return true;
}

void ForgetLastSplit() { lastSplit() = {}; }

TPortExState::TPortExState() : TestMode(IsDebuggerPresent()) {}

void TPortExState::Reset() {
  SettingsStored = false;
  PortKind = pkDirectCom;
  Descriptor.clear();
  UsbPath.clear();
  PortName.clear();
  BaudRate = 9600;
  FlowMode = fmCtsRts;
  UsePrinter = false;
  WindowsPort.clear();
  CustomPort.clear();
  PrinterName.clear();
}

TPortKind TPortExState::ClassifyPortType(const std::string& name) {
  if (name.empty()) return pkNone;
  const std::string upper = UpperAscii(name);
  if (upper == "DIRECTCOMPORT") return pkDirectCom;
  if (upper == "DIRECTUSBPORT") return pkDirectUsb;
  return pkWindowsPort;
}

void TPortExState::ApplySelection() {
  Reset();
  PortKind = ClassifyPortType(SelPortName);
  switch (PortKind) {
    case pkDirectCom:
      Descriptor = SelPortParam;
      ParseDescriptor(Descriptor);
      break;
    case pkDirectUsb:
      UsbPath = SelPortParam;
      break;
    case pkWindowsPort: {
      const std::string upper = UpperAscii(SelPortName);
      UsePrinter = upper == "PRN:";
      if (!UsePrinter) WindowsPort = SelPortName;
      if (upper == "CUSTOMPORT") CustomPort = SelPortParam;
      if (UsePrinter) PrinterName = SelPrinterName;
      break;
    }
    case pkNone:
      break;
  }
}

std::string TPortExState::BuildDescriptor() const {
  return kDevicePrefix + withoutDevicePrefix(PortName) + ",<baud=" + std::to_string(BaudRate) +
         " flow=" + flowWord(FlowMode) + " parity=n data=8 stop=1>";
}

void TPortExState::ParseDescriptor(const std::string& descriptor) {
  if (descriptor.empty()) return;
  std::string port, settings;
  if (!SplitDescriptor(descriptor, port, settings)) return;
  PortName = withoutDevicePrefix(port);
  BaudRate = ParseBaudRate(settings);
  if (BaudRate == 0) BaudRate = 9600;
  FlowMode = fmNone;
  if (settings.find("flow=x") != std::string::npos) FlowMode = fmXonXoff;
  if (settings.find("flow=c") != std::string::npos) FlowMode = fmCtsRts;
  if (settings.find("flow=xon/xoff") != std::string::npos) FlowMode = fmXonXoff;
  if (settings.find("flow=cts/rts") != std::string::npos) FlowMode = fmCtsRts;
}

std::int32_t TPortExState::ParseBaudRate(const std::string& settings) {
  const auto at = settings.find("baud=");
  if (at == std::string::npos) return 0;
  const char* first = settings.data() + at + 5;
  const char* last = first;
  const char* end = settings.data() + settings.size();
  while (last != end && *last >= '0' && *last <= '9') ++last;
  std::int32_t value = 0;
  const auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || ptr != last) return 0;
  return value;
}

bool TPortExState::RefreshComPorts() {
  FriendlyNames = EnumFriendlyComPorts(SysRoot, DevRoot);
  std::vector<std::string> old = std::move(ComPorts);
  ComPorts.clear();
  if (TestMode) {
    ComPorts = {"COM1", "COM4"};
    const std::string testName = "Test USB Serial (COM4)";
    auto entry = std::find_if(FriendlyNames.begin(), FriendlyNames.end(), [](const std::string& e) {
      return e.compare(0, 5, "COM4=") == 0;
    });
    if (entry != FriendlyNames.end()) *entry = "COM4=" + testName;
    else FriendlyNames.push_back("COM4=" + testName);
  } else {
    ListSerialPorts(ComPorts, SysRoot);
  }
  if (old.size() != ComPorts.size()) return true;
  return !std::all_of(old.begin(), old.end(), [this](const std::string& o) {
    return std::any_of(ComPorts.begin(), ComPorts.end(),
                       [&o](const std::string& n) { return sameIgnoringCase(o, n); });
  });
}

bool TPortExState::RefreshUsbPorts() {
  UsbPaths.clear();
  UsbLocations.clear();
  return false;
}
