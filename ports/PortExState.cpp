#include "PortExState.h"

#include "platform/Debugger.h"
#include "platform/UsbDevices.h"

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

// A refreshed list changed unless it has as many entries as before and holds every old
// one again, in any order and letter case.
bool listChanged(const std::vector<std::string>& old, const std::vector<std::string>& now) {
  if (old.size() != now.size()) return true;
  return !std::all_of(old.begin(), old.end(), [&now](const std::string& o) {
    return std::any_of(now.begin(), now.end(), [&o](const std::string& n) { return sameIgnoringCase(o, n); });
  });
}

constexpr unsigned kPrinterInterfaceClass = 7;

std::string usbPrinterPath(const std::string& vendorId, const std::string& productId, const std::string& instance) {
  return "\\\\?\\usb#vid_" + vendorId + "&pid_" + productId + "#" + instance +
         "#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
}

// The serial number names the device in its path unless it has none or holds what would
// break the path apart ('#') or cannot be shown; then its place on the bus does.
std::string instanceText(const TUsbInterface& usb) {
  const bool usable = !usb.Serial.empty() && std::all_of(usb.Serial.begin(), usb.Serial.end(),
                                                         [](char c) { return c >= ' ' && c < 0x7f && c != '#'; });
  return usable ? usb.Serial : usb.Device;
}

// The fixed devices of test mode, by their bit in TestDeviceMask.
struct TTestUsbDevice {
  const char* vendorId;
  const char* productId;
  const char* serial;
  const char* location;
};
const TTestUsbDevice kTestUsbDevices[] = {
    {"0483", "5750", "KVX0000001", "Port_#0003.Hub_#0006"},
    {"0483", "5750", "KVX0000002", "Port_#0004.Hub_#0006"},
    {"04b8", "0007", "KVX0000003", "Port_#0002.Hub_#0005"},
};

}  // namespace

std::string UpperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string WithoutDevicePrefix(std::string name) {
  for (auto pos = name.find(kDevicePrefix); pos != std::string::npos; pos = name.find(kDevicePrefix, pos))
    name.erase(pos, kDevicePrefix.size());
  return name;
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
    case pkPrintQueue:  // chosen in the window only; no stored selection names it
    case pkNone:
      break;
  }
}

std::string TPortExState::BuildDescriptor() const {
  return kDevicePrefix + WithoutDevicePrefix(PortName) + ",<baud=" + std::to_string(BaudRate) +
         " flow=" + flowWord(FlowMode) + " parity=n data=8 stop=1>";
}

void TPortExState::ParseDescriptor(const std::string& descriptor) {
  if (descriptor.empty()) return;
  std::string port, settings;
  if (!SplitDescriptor(descriptor, port, settings)) return;
  PortName = WithoutDevicePrefix(port);
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
  std::vector<TSerialPort> found;
  ScanSerialPorts(found, SysRoot, DevRoot);
  // Every present port has its name; whether it could be opened decides nothing.
  FriendlyNames.clear();
  for (const TSerialPort& port : found)
    FriendlyNames.push_back(port.Name + "=" + port.Product + " (" + port.Name + ")");
  std::vector<std::string> old = std::move(ComPorts);
  ComPorts.clear();
  if (TestMode) {
    const std::string testName = "Test USB Serial (COM4)";
    found = {{"COM1", "Serial port", "", true}, {"COM4", "Test USB Serial", "", true}};
    auto entry = std::find_if(FriendlyNames.begin(), FriendlyNames.end(), [](const std::string& e) {
      return e.compare(0, 5, "COM4=") == 0;
    });
    if (entry != FriendlyNames.end()) *entry = "COM4=" + testName;
    else FriendlyNames.push_back("COM4=" + testName);
  }
  ComPortDetails = std::move(found);
  for (const TSerialPort& port : ComPortDetails) ComPorts.push_back(port.Name);
  return listChanged(old, ComPorts);
}

bool TPortExState::RefreshUsbPorts() {
  std::vector<std::string> old = std::move(UsbPaths);
  UsbPaths.clear();
  EnumUsbPrinters(&UsbPaths, &UsbLocations);
  const std::vector<TUsbPrinter> oldPrinters = UsbPrinters;
  if (!TestMode) ScanUsbPrinters(UsbPrinters, SysRoot, DevRoot);
  const bool printersChanged = UsbPrinters != oldPrinters;
  return listChanged(old, UsbPaths) || printersChanged;
}

void TPortExState::EnumUsbPrinters(std::vector<std::string>* paths, std::vector<std::string>* locations) const {
  if (!paths) return;
  paths->clear();
  if (locations) locations->clear();
  const auto add = [&](const std::string& path, const std::string& location) {
    if (!MatchesUsbFilter(path)) return;
    paths->push_back(path);
    if (locations && !location.empty()) locations->push_back(location);
  };
  if (TestMode) {
    for (unsigned bit = 0; bit < std::size(kTestUsbDevices); ++bit) {
      const TTestUsbDevice& device = kTestUsbDevices[bit];
      if (TestDeviceMask & (1u << bit))
        add(usbPrinterPath(device.vendorId, device.productId, device.serial), device.location);
    }
    return;
  }
  for (const auto& usb : ListUsbInterfaces(kPrinterInterfaceClass, SysRoot))
    add(usbPrinterPath(usb.VendorId, usb.ProductId, instanceText(usb)), usb.Driver);
}

bool TPortExState::MatchesUsbFilter(const std::string& path) const {
  if (path.empty()) return false;
  return UsbFilter.empty() || UpperAscii(path).find(UpperAscii(UsbFilter)) != std::string::npos;
}

std::string StartPortName(const std::vector<std::string>& listed, const std::string& designed) {
  if (listed.empty() || std::find(listed.begin(), listed.end(), designed) != listed.end()) return designed;
  return *std::min_element(listed.begin(), listed.end(), [](const std::string& a, const std::string& b) {
    return PortPreferenceRank(a) < PortPreferenceRank(b);
  });
}
