#include "FakeSysfs.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void writeFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text << "\n";
}

struct {
  std::string folder;
  int entries = 0, given = 0;
} failing;

}  // namespace

// Every folder listing of the test program passes here, so that one can fail part-way.
extern "C" struct dirent* readdir(DIR* dir) {
  static const auto next = reinterpret_cast<struct dirent* (*)(DIR*)>(dlsym(RTLD_NEXT, "readdir"));
  struct dirent* entry = next(dir);
  if (failing.folder.empty() || !entry || entry->d_name[0] == '.') return entry;
  char target[4096];
  const ssize_t n = readlink(("/proc/self/fd/" + std::to_string(dirfd(dir))).c_str(), target, sizeof target);
  if (n <= 0 || failing.folder != std::string(target, static_cast<size_t>(n)) || failing.given++ < failing.entries)
    return entry;
  errno = ENOENT;
  return nullptr;
}

FakeSysfs::FakeSysfs() {
  std::string pattern = (fs::temp_directory_path() / "korvex-sysfs-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  root = pattern;
  fs::create_directories(ttyClass());
  fs::create_directories(root / "dev");
}

FakeSysfs::~FakeSysfs() {
  failing = {};
  std::error_code ec;
  fs::remove_all(root, ec);
}

void FakeSysfs::AddUsbPort(const std::string& name, const std::string& product, const std::string& maker,
                           const std::string& interfaceName) {
  const fs::path usb = root / "sys/devices/pci0000:00/usb1" / ("1-" + name);
  writeFile(usb / "idVendor", "0403");
  if (!product.empty()) writeFile(usb / "product", product);
  if (!maker.empty()) writeFile(usb / "manufacturer", maker);
  const fs::path interface = usb / (("1-" + name) + ":1.0");
  if (!interfaceName.empty()) writeFile(interface / "interface", interfaceName);
  const fs::path port = interface / name;
  fs::create_directories(port);
  fs::create_directories(ttyClass() / name);
  fs::create_directory_symlink(port, ttyClass() / name / "device");
}

void FakeSysfs::AddBuiltinPort(const std::string& name, int type) {
  const fs::path port = root / "sys/devices/platform/serial8250" / name;
  fs::create_directories(port);
  writeFile(ttyClass() / name / "type", std::to_string(type));
  fs::create_directory_symlink(port, ttyClass() / name / "device");
}

void FakeSysfs::AddRfcomm(const std::string& name) { fs::create_directories(ttyClass() / name); }

void FakeSysfs::AddVirtualTty(const std::string& name) { fs::create_directories(ttyClass() / name); }

void FakeSysfs::Remove(const std::string& name) { fs::remove_all(ttyClass() / name); }

int FakeSysfs::AddDeviceNode(const std::string& name) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) throw std::runtime_error("no pty");
  fs::create_symlink(ptsname(master), root / "dev" / name);
  return master;
}

void FakeSysfs::AddDeviceFile(const std::string& name) { writeFile(root / "dev" / name, ""); }

void FakeSysfs::AddUsbDevice(const std::string& name, const std::string& vendorId, const std::string& productId,
                             const std::string& serial, const std::string& product, int interfaceClass,
                             const std::string& driver) {
  const fs::path device = usbFolder(name), interface = device / (name + ":1.0");
  writeFile(device / "idVendor", vendorId);
  writeFile(device / "idProduct", productId);
  writeFile(device / "product", product);
  if (!serial.empty()) writeFile(device / "serial", serial);
  writeFile(interface / "bInterfaceClass",
            {"0123456789abcdef"[interfaceClass / 16], "0123456789abcdef"[interfaceClass % 16]});
  if (!driver.empty()) {
    fs::create_directories(root / "sys/bus/usb/drivers" / driver);
    fs::create_directory_symlink(root / "sys/bus/usb/drivers" / driver, interface / "driver");
  }
  fs::create_directories(usbBus());
  fs::create_directory_symlink(device, usbBus() / name);
  fs::create_directory_symlink(interface, usbBus() / (name + ":1.0"));
}

void FakeSysfs::AddUsbPrinter(const std::string& device, const std::string& node, const std::string& product,
                              const std::string& maker, const std::string& serial, const std::string& deviceId) {
  const fs::path folder = usbFolder(device), interface = folder / (device + ":1.0");
  for (const auto& [file, text] : {std::pair{"product", product}, {"manufacturer", maker}, {"serial", serial}})
    if (!text.empty()) writeFile(folder / file, text);
  if (!deviceId.empty()) writeFile(interface / "ieee1284_id", deviceId);
  fs::create_directories(interface / "usbmisc" / node);
  fs::create_directories(root / "sys/class/usbmisc" / node);
  fs::create_directory_symlink(interface, root / "sys/class/usbmisc" / node / "device");
}

void FakeSysfs::AddUsbDisk(const std::string& device, const std::string& disk, const std::string& vendor,
                           const std::string& model) {
  const fs::path lun = usbFolder(device) / (device + ":1.0/host6/target6:0:0/6:0:0:0");
  writeFile(lun / "vendor", (vendor + std::string(8, ' ')).substr(0, 8));
  writeFile(lun / "model", (model + std::string(16, ' ')).substr(0, 16));
  fs::create_directories(lun / "block" / disk);
  fs::create_directory_symlink(lun, lun / "block" / disk / "device");  // back up the tree, as in sysfs
}

void FakeSysfs::AddLink(const std::string& link, const std::string& target) {
  fs::create_directories((root / link).parent_path());
  fs::create_symlink(target, root / link);
}

void FakeSysfs::FailListingAfter(const std::string& folder, int entries) {
  failing = {fs::canonical(root / folder).string(), entries, 0};
}
