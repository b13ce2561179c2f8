#include "UsbDevices.h"

#include "SysfsFiles.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <libudev.h>

namespace fs = std::filesystem;

namespace {

// Deep enough for interface/host/target/lun/block, the place of a USB disk.
constexpr int kDiskSearchDepth = 6;

int hexValue(const std::string& text) {
  int value = -1;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  return ec == std::errc() && end == text.data() + text.size() ? value : -1;
}

// The disk's folder below one of the device's interfaces (not below the devices of a
// hub's ports, which sit beside the interfaces); empty when there is none.
fs::path findDisk(const fs::path& device) {
  std::vector<std::string> children;
  if (!ListFolder(device, children)) return {};
  std::sort(children.begin(), children.end());
  const std::string interfacePrefix = device.filename().string() + ":";
  for (const auto& child : children) {
    if (child.rfind(interfacePrefix, 0) != 0) continue;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(device / child, ec), end; !ec && it != end; it.increment(ec)) {
      if (it.depth() >= kDiskSearchDepth) it.disable_recursion_pending();
      std::vector<std::string> disks;
      if (it->path().filename() != "block" || !ListFolder(it->path(), disks) || disks.empty()) continue;
      return it->path() / *std::min_element(disks.begin(), disks.end());
    }
  }
  return {};
}

// The disk's vendor and model as udev's database holds them, which only the real tree
// has; the names stay empty without it.
void readUdevDiskNames(const fs::path& disk, TUsbDeviceNames& names) {
  udev* context = udev_new();
  if (!context) return;
  if (udev_device* device = udev_device_new_from_syspath(context, disk.c_str())) {
    if (const char* vendor = udev_device_get_property_value(device, "ID_VENDOR_ENC"))
      names.DiskVendor = DecodeUdevText(vendor);
    if (const char* model = udev_device_get_property_value(device, "ID_MODEL_ENC"))
      names.DiskModel = DecodeUdevText(model);
    udev_device_unref(device);
  }
  udev_unref(context);
}

}  // namespace

std::vector<TUsbInterface> ListUsbInterfaces(unsigned interfaceClass, const std::string& sysRoot) {
  const fs::path bus = fs::path(sysRoot) / "sys/bus/usb/devices";
  std::vector<std::string> names;
  std::vector<TUsbInterface> found;
  if (!ListFolder(bus, names)) return found;
  std::sort(names.begin(), names.end());
  for (const auto& name : names) {
    const auto colon = name.find(':');
    if (colon == std::string::npos) continue;  // a device, not one of its interfaces
    if (hexValue(ReadAttribute(bus / name / "bInterfaceClass")) != static_cast<int>(interfaceClass)) continue;
    const std::string device = name.substr(0, colon);
    TUsbInterface usb{device, ReadAttribute(bus / device / "idVendor"), ReadAttribute(bus / device / "idProduct"),
                      ReadAttribute(bus / device / "serial"), LinkTargetName(bus / name / "driver")};
    if (usb.VendorId.empty() || usb.ProductId.empty()) continue;  // unplugged while it was read
    found.push_back(std::move(usb));
  }
  return found;
}

TUsbDeviceNames ReadUsbDeviceNames(const std::string& devPath, const std::string& sysRoot) {
  TUsbDeviceNames names;
  if (devPath.empty()) return names;
  const fs::path device = fs::path(sysRoot) / "sys" / fs::path(devPath).relative_path();
  names.Product = ReadAttribute(device / "product");
  const fs::path disk = findDisk(device);
  if (disk.empty()) return names;
  if (sysRoot == "/") readUdevDiskNames(disk, names);
  // Where udev has no database its names are the SCSI device's own, read here directly.
  if (names.DiskVendor.empty()) names.DiskVendor = ReadAttribute(disk / "device/vendor");
  if (names.DiskModel.empty()) names.DiskModel = ReadAttribute(disk / "device/model");
  return names;
}

std::string UsbDeviceAbove(const std::string& devPath, const std::string& sysRoot) {
  const fs::path sys = fs::path(sysRoot) / "sys";
  std::error_code error;
  // A USB device has a vendor id; its interfaces and what hangs below them have none.
  for (fs::path path = fs::path(devPath).relative_path().parent_path(); !path.empty(); path = path.parent_path())
    if (fs::exists(sys / path / "idVendor", error)) return "/" + path.string();
  return {};
}

std::string DecodeUdevText(const std::string& encoded) {
  std::string text;
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    if (encoded.compare(i, 2, "\\x") == 0 && i + 4 <= encoded.size()) {
      const char* digits = encoded.data() + i + 2;
      unsigned value = 0;
      if (std::from_chars(digits, digits + 2, value, 16).ptr == digits + 2) {
        text += static_cast<char>(value);
        i += 3;
        continue;
      }
    }
    text += encoded[i];
  }
  return WithoutTrailingBlanks(std::move(text));
}
