#include "SerialDevices.h"

#include "SysfsFiles.h"
#include "UsbDevices.h"

#include <algorithm>
#include <cerrno>
#include <grp.h>
#include <libudev.h>
#include <map>
#include <pwd.h>
#include <filesystem>
#include <strings.h>
#include <sys/stat.h>
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

// udev's database name of the tty's device, which only the real tree has.
std::string udevModelName(const std::string& name) {
  std::string model;
  udev* context = udev_new();
  if (!context) return model;
  if (udev_device* device = udev_device_new_from_subsystem_sysname(context, "tty", name.c_str())) {
    if (const char* known = udev_device_get_property_value(device, "ID_MODEL_FROM_DATABASE"))
      model = known;
    else if (const char* own = udev_device_get_property_value(device, "ID_MODEL_ENC"))
      model = DecodeUdevText(own);
    udev_device_unref(device);
  }
  udev_unref(context);
  return model;
}

// What the adapter calls itself: the USB interface's own string, else the device's product,
// else its maker, else udev's database name; a port with no USB device above it by its kind.
std::string productName(const std::string& sysRoot, const std::string& name) {
  if (startsWith(name, "rfcomm")) return "Bluetooth serial";
  std::error_code deviceError, rootError;
  fs::path dir = fs::canonical(fs::path(sysRoot) / "sys/class/tty" / name / "device", deviceError);
  const fs::path root = fs::canonical(sysRoot, rootError);
  std::string interfaceName;
  for (int depth = 0; !deviceError && !rootError && depth < 8 && dir != root && dir.has_parent_path();
       ++depth, dir = dir.parent_path()) {
    // A CDC interface string ("CDC Abstract Control Model (ACM)") names the USB class,
    // not the device, and would call every such cutter the same.
    if (interfaceName.empty() && Exists(dir / "interface"))
      if (std::string text = ReadAttribute(dir / "interface"); !startsWith(text, "CDC ")) interfaceName = text;
    if (!Exists(dir / "idVendor") && !Exists(dir / "product")) continue;
    for (const std::string& text : {interfaceName, ReadAttribute(dir / "product"), ReadAttribute(dir / "manufacturer")})
      if (!text.empty()) return text;
    break;
  }
  if (sysRoot == "/")
    if (std::string model = udevModelName(name); !model.empty()) return model;
  return startsWith(name, "ttyS") ? "Built-in serial port" : "Serial port";
}

// Each by-id link by the device it leads to, both as their canonical paths.
std::map<fs::path, fs::path> byIdLinks(const fs::path& devRoot) {
  std::map<fs::path, fs::path> links;
  const fs::path folder = devRoot / "serial/by-id";
  std::vector<std::string> names;
  if (!ListFolder(folder, names)) return links;
  std::sort(names.begin(), names.end());
  for (const auto& name : names) {
    // Resolved by hand: a node that is gone for a moment still has its link.
    std::error_code ec;
    const fs::path target = fs::read_symlink(folder / name, ec);
    const fs::path device = ec ? fs::path() : fs::weakly_canonical(folder / target, ec);
    if (!ec) links.emplace(device, folder / name);  // the first name wins
  }
  return links;
}

bool lessIgnoringCase(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; }

std::string userName() {
  const passwd* user = ::getpwuid(::geteuid());
  return user && user->pw_name ? user->pw_name : "your user";
}

// The group that may open the node, or the usual one for its kind of device.
std::string deviceGroup(const std::string& port, const std::string& usualGroup) {
  struct stat info {};
  if (::stat(PortDevicePath(port).c_str(), &info) == 0 && (info.st_mode & S_IRWXG) == (S_IRGRP | S_IWGRP))
    if (const group* owner = ::getgrgid(info.st_gid); owner && owner->gr_name && owner->gr_gid != 0)
      return owner->gr_name;
  return usualGroup;
}

}  // namespace

bool ScanSerialPorts(std::vector<TSerialPort>& ports, const std::string& sysRoot, const std::string& devRoot) {
  const fs::path ttyClass = fs::path(sysRoot) / "sys/class/tty";
  std::vector<std::string> entries;
  if (!ListFolder(ttyClass, entries)) return false;
  std::sort(entries.begin(), entries.end(), lessIgnoringCase);
  const std::map<fs::path, fs::path> links = byIdLinks(devRoot);
  std::vector<TSerialPort> found;
  for (const auto& name : entries) {
    if (!isSerialPort(ttyClass / name, name)) continue;
    const fs::path node = fs::path(devRoot) / name;
    std::error_code ec;
    const auto link = links.find(fs::weakly_canonical(node, ec));
    found.push_back(
        {name, productName(sysRoot, name), link == links.end() || ec ? "" : link->second.string(), MayOpenDevice(node.string())});
  }
  ports = std::move(found);
  return true;
}

void ListSerialPorts(std::vector<std::string>& ports, const std::string& sysRoot) {
  std::vector<TSerialPort> found;
  if (!ScanSerialPorts(found, sysRoot)) return;
  ports.clear();
  for (auto& port : found) ports.push_back(std::move(port.Name));
}

int PortPreferenceRank(const std::string& name) {
  if (startsWith(name, "ttyUSB") || startsWith(name, "ttyACM")) return 0;
  if (startsWith(name, "rfcomm")) return 1;
  return startsWith(name, "ttyS") ? 3 : 2;
}

bool MayOpenDevice(const std::string& node) {
  struct stat info {};
  if (::stat(node.c_str(), &info) != 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
  groups.resize(static_cast<std::size_t>(std::max(::getgroups(static_cast<int>(groups.size()), groups.data()), 0)));
  groups.push_back(::getegid());
  return MayOpenNode(info.st_mode, info.st_uid, info.st_gid, ::geteuid(), groups);
}

bool MayOpenNode(mode_t mode, uid_t owner, gid_t group, uid_t user, const std::vector<gid_t>& groups) {
  if (user == 0) return true;
  const mode_t readWrite = owner == user                                                    ? S_IRUSR | S_IWUSR
                           : std::find(groups.begin(), groups.end(), group) != groups.end() ? S_IRGRP | S_IWGRP
                                                                                            : S_IROTH | S_IWOTH;
  return (mode & readWrite) == readWrite;
}

std::string PortDevicePath(const std::string& name) {
  static const std::string prefix = "\\\\.\\";
  std::string path = name;
  while (startsWith(path, prefix.c_str())) path.erase(0, prefix.size());
  const bool isPath = startsWith(path, "/") || startsWith(path, "./") || startsWith(path, "../");
  return isPath ? path : "/dev/" + path;
}

std::string PortOpenHint(const std::string& port, int error, const std::vector<std::string>& present) {
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO: {
      std::string names;
      for (const auto& name : present) names += (names.empty() ? "" : ", ") + name;
      return "No device " + port +
             ": is the cutter plugged in and switched on? Ports present: " + (names.empty() ? "none" : names);
    }
    case EBUSY:
      return port + " is in use by another program: close it there, then send again.";
    case EACCES:
    case EPERM:
      return NoPermissionHint(port, "serial ports", "dialout");
    case ENOTTY:
    case EISDIR:
      return port + " is not a serial port.";
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ETIMEDOUT:
    case ECONNREFUSED:
    case ECONNRESET:
    case ENOTCONN:
      return "The Bluetooth device behind " + port +
             " does not answer: switch the cutter on, check that it is paired and in range, then send again.";
    default:
      return {};
  }
}

std::string NoPermissionHint(const std::string& port, const std::string& devices, const std::string& usualGroup) {
  const std::string user = userName(), group = deviceGroup(port, usualGroup);
  return "No permission to open " + port + ": " + devices + " are open to the " + group + " group. Add " + user +
         " to it (sudo usermod -aG " + group + " " + user + ") and log in again.";
}
