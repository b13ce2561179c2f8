#include "SerialDevices.h"

#include "SysfsFiles.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <filesystem>
#include <strings.h>
#include <sys/file.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

bool isSerialPort(const fs::path& ttyEntry, const std::string& name) {
  if (startsWith(name, "rfcomm")) return true;
  if (!Exists(ttyEntry / "device")) return false;
  // The 8250 driver registers placeholder ttyS ports with no UART behind them.
  return !(startsWith(name, "ttyS") && ReadAttribute(ttyEntry / "type") == "0");
}

// Names of the serial ports in the tty class, in no particular order; false when the
// class folder cannot be read to the end.
bool collectPorts(const std::string& sysRoot, std::vector<std::string>& names) {
  const fs::path ttyClass = fs::path(sysRoot) / "sys/class/tty";
  std::vector<std::string> entries;
  if (!ListFolder(ttyClass, entries)) return false;
  for (const auto& name : entries)
    if (isSerialPort(ttyClass / name, name)) names.push_back(name);
  return true;
}

// The USB product strings above the port's device, as a person would call the adapter.
std::string friendlyName(const std::string& sysRoot, const std::string& name) {
  if (startsWith(name, "rfcomm")) return "Bluetooth Serial Port (" + name + ")";
  std::error_code deviceError, rootError;
  fs::path dir = fs::canonical(fs::path(sysRoot) / "sys/class/tty" / name / "device", deviceError);
  const fs::path root = fs::canonical(sysRoot, rootError);
  std::string interfaceName;
  for (int depth = 0; !deviceError && !rootError && depth < 8 && dir != root && dir.has_parent_path();
       ++depth, dir = dir.parent_path()) {
    if (interfaceName.empty() && Exists(dir / "interface")) interfaceName = ReadAttribute(dir / "interface");
    if (!Exists(dir / "idVendor") && !Exists(dir / "product")) continue;
    std::string product = interfaceName.empty() ? ReadAttribute(dir / "product") : interfaceName;
    const std::string maker = ReadAttribute(dir / "manufacturer");
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

std::string PortOpenHint(int error) {
  if (error == EBUSY) return "Another program is using this port.";
  if (error != EACCES && error != EPERM) return {};
  const passwd* user = ::getpwuid(::geteuid());
  const std::string name = user && user->pw_name ? user->pw_name : "your user";
  return "Serial ports are open to the dialout group: add " + name + " to it (sudo usermod -aG dialout " + name +
         ") and log in again.";
}
