#include "UsbPrinters.h"

#include "SerialDevices.h"
#include "SysfsFiles.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// The status byte's bits, as a parallel port reports them (active high unless said).
constexpr std::uint8_t kNoError = 0x08;   // low while the printer reports an error
constexpr std::uint8_t kSelected = 0x10;  // online
constexpr std::uint8_t kPaperOut = 0x20;  // out of media

int nodeNumber(const std::string& name) {
  int number = -1;
  const char* digits = name.data() + 2;
  const auto [end, ec] = std::from_chars(digits, name.data() + name.size(), number);
  return name.rfind("lp", 0) == 0 && ec == std::errc() && end == name.data() + name.size() ? number : -1;
}

}  // namespace

bool ScanUsbPrinters(std::vector<TUsbPrinter>& printers, const std::string& sysRoot, const std::string& devRoot) {
  const fs::path usbmisc = fs::path(sysRoot) / "sys/class/usbmisc";
  std::vector<std::string> names;
  if (!Exists(usbmisc)) {
    printers.clear();  // the printer driver is not loaded: no printers, not a failure
    return true;
  }
  if (!ListFolder(usbmisc, names)) return false;
  std::erase_if(names, [](const std::string& name) { return nodeNumber(name) < 0; });
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return nodeNumber(a) < nodeNumber(b); });
  std::vector<TUsbPrinter> found;
  for (const std::string& name : names) {
    // The class entry's device is the printer interface; the USB device with its strings
    // is the interface's parent.
    const fs::path interface = usbmisc / name / "device";
    const fs::path device = interface / "..";
    TUsbPrinter printer;
    printer.Name = name;
    printer.Node = (fs::path(devRoot) / "usb" / name).string();
    printer.Manufacturer = ReadAttribute(device / "manufacturer");
    printer.Product = ReadAttribute(device / "product");
    if (printer.Product.empty()) printer.Product = printer.Manufacturer.empty() ? "USB printer" : printer.Manufacturer;
    printer.Serial = ReadAttribute(device / "serial");
    printer.DeviceId = ReadAttribute(interface / "ieee1284_id");
    printer.MayOpen = MayOpenDevice(printer.Node);
    found.push_back(std::move(printer));
  }
  printers = std::move(found);
  return true;
}

const TUsbPrinter* FindUsbPrinter(const std::vector<TUsbPrinter>& printers, const std::string& name) {
  const std::string bare = name.rfind("usb:", 0) == 0 ? name.substr(4) : name;
  for (const TUsbPrinter& printer : printers)
    if (bare == printer.Name || bare == printer.Node) return &printer;
  // A product matches only when it names one printer: two of a kind need their nodes.
  const auto sameProduct = [&](const TUsbPrinter& printer) { return printer.Product == bare; };
  if (std::count_if(printers.begin(), printers.end(), sameProduct) == 1)
    return &*std::find_if(printers.begin(), printers.end(), sameProduct);
  return nullptr;
}

bool NamesUsbPrinter(const std::string& name) {
  return name.rfind("usb:", 0) == 0 || name.rfind("/dev/usb/", 0) == 0;
}

std::string UsbPrinterStatusText(std::uint8_t status) {
  if (status & kPaperOut) return "out of media";
  if (!(status & kSelected)) return "offline (not selected)";
  if (!(status & kNoError)) return "error";
  return {};
}

std::string UsbPrinterNodePath(const std::vector<TUsbPrinter>& printers, const std::string& name) {
  if (const TUsbPrinter* printer = FindUsbPrinter(printers, name)) return printer->Node;
  const std::string bare = name.rfind("usb:", 0) == 0 ? name.substr(4) : name;
  return bare.rfind('/', 0) == 0 ? bare : "/dev/usb/" + bare;
}

std::string UsbPrinterOpenHint(const std::string& name, int error, const std::vector<TUsbPrinter>& present) {
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO: {
      std::string names;
      for (const TUsbPrinter& printer : present)
        names += (names.empty() ? "" : ", ") + printer.Name + " (" + printer.Product + ")";
      return "No USB printer " + name + ": is the cutter plugged in and switched on? USB printers present: " +
             (names.empty() ? "none" : names);
    }
    case EBUSY:
      return name + " is in use by another program: close it there, then send again.";
    case EACCES:
    case EPERM:
      return NoPermissionHint(UsbPrinterNodePath(present, name), "USB printers", "lp");
    default:
      return {};
  }
}
