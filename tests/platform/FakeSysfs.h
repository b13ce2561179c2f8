#pragma once
// A throw-away sysfs tree with tty entries and USB devices, and a /dev folder whose
// nodes are ptys, for the port list tests.

#include <filesystem>
#include <map>
#include <string>

class FakeSysfs {
public:
  FakeSysfs();
  ~FakeSysfs();

  // A USB serial adapter: the tty links to a device below a USB device with strings.
  void AddUsbPort(const std::string& name, const std::string& product, const std::string& maker);
  // A built-in port; type 0 is a placeholder with no UART behind it.
  void AddBuiltinPort(const std::string& name, int type);
  void AddRfcomm(const std::string& name);
  // A console-like tty with no device behind it.
  void AddVirtualTty(const std::string& name);
  void Remove(const std::string& name);
  // Makes /dev/NAME a pty slave so the port can really be opened; returns the master fd.
  int AddDeviceNode(const std::string& name);

  // A USB device on bus 1 ("1-2", "1-1.4") with its ids and strings, on a port of the
  // root hub or of the hub `parent`; an empty serial number means the device has none.
  void AddUsbDevice(const std::string& name, const std::string& vendorId, const std::string& productId,
                    const std::string& serial, const std::string& product, const std::string& parent = "");
  // Interface `number` of an added device, of the given class, with the driver bound to
  // it (empty: none).
  void AddUsbInterface(const std::string& device, int number, int interfaceClass, const std::string& driver);
  // A disk below the device's first interface as usb-storage gives it, with the SCSI
  // vendor and model fields padded as devices report them.
  void AddUsbDisk(const std::string& device, const std::string& disk, const std::string& vendor,
                  const std::string& model);
  // The device's path below /sys, as udev names it in a notice (also for a device that
  // was never added, as after its removal).
  std::string UsbDevPath(const std::string& device) const;
  // A link anywhere in the tree, pointing wherever it is told (nowhere, or at itself).
  void AddLink(const std::string& link, const std::string& target);
  // From now on, listing the folder (below the root) fails after `entries` names, as a
  // folder that vanishes while it is read does. The destructor ends it.
  void FailListingAfter(const std::string& folder, int entries);

  std::string Root() const { return root.string(); }
  std::string Dev() const { return (root / "dev").string(); }

private:
  std::filesystem::path root;
  std::map<std::string, std::string> usbDevPaths;
  std::filesystem::path usbFolder(const std::string& device) const {
    return root / "sys" / UsbDevPath(device).substr(1);
  }
  std::filesystem::path ttyClass() const { return root / "sys/class/tty"; }
  std::filesystem::path usbBus() const { return root / "sys/bus/usb/devices"; }
};
