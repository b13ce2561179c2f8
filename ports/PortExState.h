#pragma once
// Connection settings chosen in the main window, the port descriptor text that names
// a serial port with its settings, and the lists of ports present on the machine.

#include "platform/SerialDevices.h"
#include "platform/UsbPrinters.h"

#include <cstdint>
#include <string>
#include <vector>

enum TPortKind : std::uint8_t { pkNone = 0, pkDirectCom = 1, pkDirectUsb = 2, pkWindowsPort = 3, pkPrintQueue = 4 };
enum TFlowMode : std::uint8_t { fmNone = 0, fmXonXoff = 1, fmCtsRts = 2 };

// Splits "port,<name=value ...>" into its port part and the text inside the angle
// brackets. Every successful split is remembered process-wide (the direct port driver
// reopens the remembered port for an empty descriptor): an empty descriptor changes
// nothing and answers whether something is remembered, giving the remembered parts.
bool SplitDescriptor(const std::string& descriptor, std::string& portPart, std::string& settingsPart);
// The parts of the last successful split; false and both empty when there was none.
bool GetLastSplit(std::string& portPart, std::string& settingsPart);
// Forgets the remembered split (tests start from a clean memory).
void ForgetLastSplit();

// The name with every device prefix "\\.\" taken out.
std::string WithoutDevicePrefix(std::string name);

// Upper-cases the letters a to z only; other bytes stay as they are.
std::string UpperAscii(std::string text);

class TPortExState {
public:
  TPortExState();

  std::vector<std::string> ComPorts;
  std::vector<std::string> UsbPaths;
  std::vector<std::string> UsbLocations;
  // The USB printer nodes a direct USB send writes to, with their products; refreshed
  // with UsbPaths.
  std::vector<TUsbPrinter> UsbPrinters;
  std::string SelPortName;
  std::string SelPrinterName;
  std::string SelPortParam;
  bool SettingsStored = false;
  TPortKind PortKind = pkNone;
  std::string Descriptor;
  std::string UsbPath;
  bool UsePrinter = false;
  std::string WindowsPort;
  std::string CustomPort;
  std::string PrinterName;
  std::string PortName;
  std::int32_t BaudRate = 0;
  TFlowMode FlowMode = fmNone;
  std::uint32_t TestDeviceMask = 5;
  std::string UsbFilter;
  std::vector<std::string> FriendlyNames;  // "name=friendly name"
  // The ports of ComPorts with their product names, stable names and permissions, in the
  // same order; what the port lists show.
  std::vector<TSerialPort> ComPortDetails;

  // Where port lists are read from; tests point it at a fake tree.
  std::string SysRoot = "/";
  std::string DevRoot = "/dev";
  // Fixed test entries instead of enumerated ports while running under a debugger.
  bool TestMode;

  void Reset();
  void ApplySelection();
  static TPortKind ClassifyPortType(const std::string& name);
  void SetPortName(const std::string& name) { PortName = name; }
  void SetBaudRate(std::int32_t baud) { BaudRate = baud; }
  void SetFlowMode(TFlowMode mode) { FlowMode = mode; }
  void SetDescriptor(const std::string& descriptor) { Descriptor = descriptor; }
  std::string BuildDescriptor() const;
  void ParseDescriptor(const std::string& descriptor);
  static std::int32_t ParseBaudRate(const std::string& settings);
  // Re-reads the ports present and their names without opening any; true when the set
  // of ports changed.
  bool RefreshComPorts();
  // Rebuilds UsbPaths, UsbLocations and UsbPrinters; true when the set of paths or of
  // printers changed.
  bool RefreshUsbPorts();
  // The USB printer-class interfaces present that pass the filter, as device paths
  // "\\?\usb#vid_VVVV&pid_PPPP#SERIAL#{printer class}", into `paths` and, when given,
  // the names of their drivers into `locations` (a device without a driver has none
  // there). Nothing happens without a path list.
  void EnumUsbPrinters(std::vector<std::string>* paths, std::vector<std::string>* locations) const;
  // Whether a path passes UsbFilter: an empty path never does, an empty filter passes
  // every other one, else the filter must occur in the path ignoring letter case.
  bool MatchesUsbFilter(const std::string& path) const;
};

// The port the window starts on: the designed one when the system lists it or lists
// none, else the first USB serial adapter listed, then a Bluetooth port, and a built-in
// port only when nothing else is listed, so that a user with one adapter can send at once.
std::string StartPortName(const std::vector<std::string>& listed, const std::string& designed);
