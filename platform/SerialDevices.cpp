#include "SerialDevices.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <strings.h>
#include <sys/file.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string readAttribute(const fs::path& file) {
  std::ifstream in(file);
  std::string value;
  std::getline(in, value);
  while (!value.empty() && (value.back() == '\r' || value.back() == ' ' || value.back() == '\t'))
    value.pop_back();
  return value;
}

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

bool isSerialPort(const fs::path& ttyEntry, const std::string& name) {
  if (startsWith(name, "rfcomm")) return true;
  std::error_code ec;
  if (!fs::exists(ttyEntry / "device", ec)) return false;
  // The 8250 driver registers placeholder ttyS ports with no UART behind them.
  return !(startsWith(name, "ttyS") && readAttribute(ttyEntry / "type") == "0");
}

// Names of the serial ports in the tty class, in no particular order; false when the
// class folder cannot be read.
bool collectPorts(const std::string& sysRoot, std::vector<std::string>& names) {
  const fs::path ttyClass = fs::path(sysRoot) / "sys/class/tty";
  std::error_code ec;
  fs::directory_iterator it(ttyClass, ec);
  if (ec) return false;
  for (const auto& entry : it) {
    const std::string name = entry.path().filename().string();
    if (isSerialPort(entry.path(), name)) names.push_back(name);
  }
  return true;
}

// The USB product strings above the port's device, as a person would call the adapter.
std::string friendlyName(const std::string& sysRoot, const std::string& name) {
  if (startsWith(name, "rfcomm")) return "Bluetooth Serial Port (" + name + ")";
  std::error_code ec;
  fs::path dir = fs::canonical(fs::path(sysRoot) / "sys/class/tty" / name / "device", ec);
  const fs::path root = fs::canonical(sysRoot, ec);
  std::string interfaceName;
  for (int depth = 0; !ec && depth < 8 && dir != root && dir.has_parent_path(); ++depth, dir = dir.parent_path()) {
    if (interfaceName.empty() && fs::exists(dir / "interface", ec)) interfaceName = readAttribute(dir / "interface");
    if (!fs::exists(dir / "idVendor", ec) && !fs::exists(dir / "product", ec)) continue;
    std::string product = interfaceName.empty() ? readAttribute(dir / "product") : interfaceName;
    const std::string maker = readAttribute(dir / "manufacturer");
    if (!maker.empty() && product.find(maker) == std::string::npos)
      product = product.empty() ? maker : maker + " " + product;
    if (product.empty()) break;
    return product + " (" + name + ")";
  }
  return "Serial Port (" + name + ")";
}

bool canOpenExclusively(const fs::path& device) {
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);
  return free;
}

bool lessIgnoringCase(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; }

}  // namespace

void ListSerialPorts(std::vector<std::string>& ports, const std::string& sysRoot) {
  std::vector<std::string> names;
  if (!collectPorts(sysRoot, names)) return;
  std::stable_sort(names.begin(), names.end(), lessIgnoringCase);
  ports = std::move(names);
}

std::vector<std::string> EnumFriendlyComPorts(const std::string& sysRoot, const std::string& devRoot) {
  std::vector<std::string> names, entries;
  if (!collectPorts(sysRoot, names)) return entries;
  std::sort(names.begin(), names.end(), lessIgnoringCase);
  for (const auto& name : names)
    if (canOpenExclusively(fs::path(devRoot) / name)) entries.push_back(name + "=" + friendlyName(sysRoot, name));
  return entries;
}
