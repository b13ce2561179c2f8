#include "FakeSysfs.h"

#include <cstdlib>
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
}  // namespace

FakeSysfs::FakeSysfs() {
  std::string pattern = (fs::temp_directory_path() / "korvex-sysfs-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  root = pattern;
  fs::create_directories(ttyClass());
  fs::create_directories(root / "dev");
}

FakeSysfs::~FakeSysfs() {
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
