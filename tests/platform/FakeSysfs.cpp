#include "FakeSysfs.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <stdexcept>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void writeFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text << "\n";
}

// The folder whose listing fails, how many names it gives first, and the names given so
// far by each listing of it that is under way.
struct FailingListing {
  std::string folder;
  int entries = 0;
  std::map<DIR*, int> given;
};

FailingListing& failing() {
  static FailingListing listing;
  return listing;
}

std::string folderOf(DIR* dir) {
  const std::string link = "/proc/self/fd/" + std::to_string(dirfd(dir));
  char target[4096];
  const ssize_t n = readlink(link.c_str(), target, sizeof target);
  return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

}  // namespace

// Every directory listing of the test program passes through here, so a listing of the
// chosen folder can fail part-way as the kernel fails one of a folder removed meanwhile.
extern "C" struct dirent* readdir(DIR* dir) {
  using Readdir = struct dirent* (*)(DIR*);
  static const auto next = reinterpret_cast<Readdir>(dlsym(RTLD_NEXT, "readdir"));
  FailingListing& listing = failing();
  if (listing.folder.empty() || folderOf(dir) != listing.folder) return next(dir);
  int& given = listing.given[dir];
  struct dirent* entry = next(dir);
  while (entry && entry->d_name[0] == '.' && (!entry->d_name[1] || (entry->d_name[1] == '.' && !entry->d_name[2])))
    entry = next(dir);
  if (entry && given < listing.entries) {
    ++given;
    return entry;
  }
  listing.given.erase(dir);
  if (entry) errno = ENOENT;
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
  failing() = {};
  std::error_code ec;
  fs::remove_all(root, ec);
}

void FakeSysfs::AddUsbPort(const std::string& name, const std::string& product, const std::string& maker) {
  const fs::path usb = root / "sys/devices/pci0000:00/usb1" / ("1-" + name);
  writeFile(usb / "idVendor", "0403");
  writeFile(usb / "product", product);
  writeFile(usb / "manufacturer", maker);
  const fs::path port = usb / (("1-" + name) + ":1.0") / name;
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

std::string FakeSysfs::UsbDevPath(const std::string& device) const {
  const auto added = usbDevPaths.find(device);
  return added != usbDevPaths.end() ? added->second : "/devices/pci0000:00/0000:00:14.0/usb1/" + device;
}

void FakeSysfs::AddUsbDevice(const std::string& name, const std::string& vendorId, const std::string& productId,
                             const std::string& serial, const std::string& product, const std::string& parent) {
  usbDevPaths[name] = parent.empty() ? UsbDevPath(name) : UsbDevPath(parent) + "/" + name;
  const fs::path device = usbFolder(name);
  writeFile(device / "idVendor", vendorId);
  writeFile(device / "idProduct", productId);
  writeFile(device / "product", product);
  if (!serial.empty()) writeFile(device / "serial", serial);
  fs::create_directories(usbBus());
  fs::create_directory_symlink(device, usbBus() / name);
}

void FakeSysfs::AddUsbInterface(const std::string& device, int number, int interfaceClass, const std::string& driver) {
  const std::string name = device + ":1." + std::to_string(number);
  const fs::path folder = usbFolder(device) / name;
  const char digits[] = "0123456789abcdef";
  writeFile(folder / "bInterfaceClass", {digits[interfaceClass / 16], digits[interfaceClass % 16]});
  if (!driver.empty()) {
    const fs::path bound = root / "sys/bus/usb/drivers" / driver;
    fs::create_directories(bound);
    fs::create_directory_symlink(bound, folder / "driver");
  }
  fs::create_directory_symlink(folder, usbBus() / name);
}

void FakeSysfs::AddUsbDisk(const std::string& device, const std::string& disk, const std::string& vendor,
                           const std::string& model) {
  const fs::path host = usbFolder(device) / (device + ":1.0/host6");
  const fs::path lun = host / "target6:0:0/6:0:0:0";
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
  failing() = {fs::canonical(root / folder).string(), entries, {}};
}
