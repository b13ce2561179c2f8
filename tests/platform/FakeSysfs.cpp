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

void FakeSysfs::AddLink(const std::string& link, const std::string& target) {
  fs::create_directories((root / link).parent_path());
  fs::create_symlink(target, root / link);
}

void FakeSysfs::FailListingAfter(const std::string& folder, int entries) {
  failing() = {fs::canonical(root / folder).string(), entries, {}};
}
