#pragma once
// A throw-away sysfs tree with tty entries and USB devices, and a /dev folder whose
// nodes are ptys, for the port list tests.

#include <filesystem>
#include <string>

class FakeSysfs {
public:
  FakeSysfs();
  ~FakeSysfs();

  // A USB serial adapter: the tty links to a device below a USB device with strings, on
  // an interface that names itself when `interfaceName` is given.
  void AddUsbPort(const std::string& name, const std::string& product, const std::string& maker,
                  const std::string& interfaceName = "");
  // A built-in port; type 0 is a placeholder with no UART behind it.
  void AddBuiltinPort(const std::string& name, int type);
  void AddRfcomm(const std::string& name);
  // A console-like tty with no device behind it.
  void AddVirtualTty(const std::string& name);
  void Remove(const std::string& name);
  // Makes /dev/NAME a pty slave so the port can really be opened; returns the master fd.
  int AddDeviceNode(const std::string& name);
  // Makes /dev/NAME a plain file, so that opening it is seen but pulses no line.
  void AddDeviceFile(const std::string& name);

  // A USB device on bus 1 ("1-2") with one interface of the class, bound to `driver`
  // (empty: to none); it has no serial number when `serial` is empty.
  void AddUsbDevice(const std::string& name, const std::string& vendorId, const std::string& productId,
                    const std::string& serial, const std::string& product, int interfaceClass,
                    const std::string& driver);
  // A disk below the device's interface, with SCSI vendor and model padded as devices pad them.
  void AddUsbDisk(const std::string& device, const std::string& disk, const std::string& vendor,
                  const std::string& model);
  // The device's path below /sys as a notice names it (also of a device never added).
  std::string UsbDevPath(const std::string& device) const { return "/devices/pci0000:00/usb1/" + device; }
  // A USB printer on the printer driver: usbmisc entry `node` ("lp0") of the device's
  // printer interface, which reports `deviceId`; empty strings are left out.
  void AddUsbPrinter(const std::string& device, const std::string& node, const std::string& product,
                     const std::string& maker, const std::string& serial, const std::string& deviceId);
  void AddLink(const std::string& link, const std::string& target);
  // From now on listing the folder fails once `entries` of its names were given, as
  // listing a folder removed meanwhile does. Ends with the tree.
  void FailListingAfter(const std::string& folder, int entries);

  std::string Root() const { return root.string(); }
  std::string Dev() const { return (root / "dev").string(); }

private:
  std::filesystem::path root;
  std::filesystem::path ttyClass() const { return root / "sys/class/tty"; }
  std::filesystem::path usbBus() const { return root / "sys/bus/usb/devices"; }
  std::filesystem::path usbFolder(const std::string& device) const { return root / "sys" / UsbDevPath(device).substr(1); }
};
