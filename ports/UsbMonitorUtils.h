#pragma once
// Watches USB devices coming and going: udev's notices of whole USB devices and of the
// disks that appear on them, with the names people know the device by, handed to the
// owner through an event; and ttys coming and going, through a second one.

#include "platform/UdevMonitor.h"

#include <cstdint>
#include <functional>
#include <string>

// The three texts that describe a device in a notice.
struct TUsbDeviceTexts {
  std::string UsbDescription;
  std::string StorageDescription;   // empty unless the device is a storage device
  std::string StorageFriendlyName;  // likewise
  bool operator==(const TUsbDeviceTexts&) const = default;
};

// The caption that reports a notice: "detected " and the three texts and "True" for an
// arrival or "False" for a removal, separated by ", ".
std::string UsbChangeCaption(bool arrived, const TUsbDeviceTexts& texts);

class TUsbMonitor {
public:
  using TUsbDeviceChangeEvent =
      std::function<void(bool arrived, const std::string& usbDescription, const std::string& storageDescription,
                         const std::string& storageFriendlyName)>;

  // Listens to udev from here on; sysfs below sysRoot describes the devices.
  explicit TUsbMonitor(std::string sysRoot = "/") : SysRoot(std::move(sysRoot)) {}

  // Readable while notices are pending; -1 when udev cannot be listened to.
  int NoticeFd() const { return Notices.Fd(); }
  // Handles every pending notice; returns at once when there is none.
  void ReadNotices();
  // An arrival or a removal raises OnUsbDeviceChange for a USB device, OnTtyChange for a
  // tty and OnPrinterChange for a USB printer node; a disk's arrival below a USB device raises OnUsbDeviceChange for that
  // device again, now with its storage texts. Other actions are ignored.
  void HandleNotice(const TUdevNotice& notice);
  // The device's description, and for a storage device its disk's description and name.
  TUsbDeviceTexts LookupUsbDevice(const TUdevNotice& notice) const;
  // Exactly one of bits 0 to 25 set gives "A:" to "Z:"; any other mask an empty text.
  static std::string DriveFromUnitMask(std::uint32_t mask);

  TUsbDeviceChangeEvent OnUsbDeviceChange;
  std::function<void()> OnTtyChange;
  // A USB printer node (/dev/usb/lpN) came or went; it comes after its device's notice.
  std::function<void()> OnPrinterChange;

private:
  std::string SysRoot;
  TUdevMonitor Notices;
};
