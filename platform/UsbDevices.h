#pragma once
// USB devices as sysfs below a root folder shows them (the real root is "/"; tests build
// a fake tree), with the names udev's database adds where the real system has one.

#include <string>
#include <vector>

// One interface of a USB device.
struct TUsbInterface {
  std::string Device;     // the device's sysfs name, its place on the bus, e.g. "1-1.2"
  std::string VendorId;   // idVendor, four hex digits
  std::string ProductId;  // idProduct
  std::string Serial;     // the device's serial number string; empty when it has none
  std::string Driver;     // the driver bound to the interface; empty when none is
};

// The interfaces of the given interface class present, ordered by their sysfs names.
// Empty when the bus cannot be read to the end.
std::vector<TUsbInterface> ListUsbInterfaces(unsigned interfaceClass, const std::string& sysRoot = "/");

// What a USB device calls itself: its product string and, for a storage device, the
// vendor and model of its disk.
struct TUsbDeviceNames {
  std::string Product;
  std::string DiskVendor;
  std::string DiskModel;
};

// The names of the device at devPath (below /sys, as udev gives it, e.g.
// "/devices/pci0000:00/0000:00:14.0/usb1/1-2"); each is empty when it cannot be read.
TUsbDeviceNames ReadUsbDeviceNames(const std::string& devPath, const std::string& sysRoot = "/");

// The USB device (its path below /sys) that holds the device at devPath, such as a
// stick's disk; empty when no USB device does.
std::string UsbDeviceAbove(const std::string& devPath, const std::string& sysRoot = "/");

// udev's escaped form of a text ("\x20" for a blank) back to the text, without the
// blanks a fixed-width field pads it with.
std::string DecodeUdevText(const std::string& encoded);
