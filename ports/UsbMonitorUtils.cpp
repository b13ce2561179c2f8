#include "UsbMonitorUtils.h"

#include "platform/UsbDevices.h"

#include <bit>

namespace {

std::string property(const TUdevNotice& notice, const char* name) {
  const auto found = notice.Properties.find(name);
  return found == notice.Properties.end() ? std::string() : found->second;
}

}  // namespace

std::string UsbChangeCaption(bool arrived, const TUsbDeviceTexts& texts) {
  return "detected " + texts.UsbDescription + ", " + texts.StorageDescription + ", " + texts.StorageFriendlyName +
         ", " + (arrived ? "True" : "False");
}

void TUsbMonitor::ReadNotices() {
  for (const auto& notice : Notices.ReadPending()) HandleNotice(notice);
}

void TUsbMonitor::HandleNotice(const TUdevNotice& notice) {
  const bool arrived = notice.Action == "add";
  if (!arrived && notice.Action != "remove") return;
  if (notice.Subsystem == "tty") {
    if (OnTtyChange) OnTtyChange();
    return;
  }
  if (notice.Subsystem == "usbmisc") {
    if (OnPrinterChange) OnPrinterChange();
    return;
  }
  if (notice.Subsystem == "block") {
    // A stick's disk appears after its USB device's notice, which could not name the disk
    // yet: its arrival tells the device's texts again, the disk's among them.
    const std::string device = UsbDeviceAbove(notice.DevPath, SysRoot);
    if (!arrived || device.empty()) return;
    const TUsbDeviceTexts texts = LookupUsbDevice({notice.Action, device, {}});
    if (OnUsbDeviceChange)
      OnUsbDeviceChange(true, texts.UsbDescription, texts.StorageDescription, texts.StorageFriendlyName);
    return;
  }
  const TUsbDeviceTexts texts = LookupUsbDevice(notice);
  if (OnUsbDeviceChange)
    OnUsbDeviceChange(arrived, texts.UsbDescription, texts.StorageDescription, texts.StorageFriendlyName);
}

TUsbDeviceTexts TUsbMonitor::LookupUsbDevice(const TUdevNotice& notice) const {
  const TUsbDeviceNames names = ReadUsbDeviceNames(notice.DevPath, SysRoot);
  TUsbDeviceTexts texts;
  // udev's hardware database names the model first. A device it does not know goes by
  // its own product string, which after a removal only the notice still carries.
  texts.UsbDescription = property(notice, "ID_MODEL_FROM_DATABASE");
  if (texts.UsbDescription.empty()) texts.UsbDescription = names.Product;
  if (texts.UsbDescription.empty()) texts.UsbDescription = DecodeUdevText(property(notice, "ID_MODEL_ENC"));
  texts.StorageDescription = names.DiskModel;
  texts.StorageFriendlyName = names.DiskVendor.empty() || names.DiskModel.empty()
                                  ? names.DiskVendor + names.DiskModel
                                  : names.DiskVendor + " " + names.DiskModel;
  return texts;
}

std::string TUsbMonitor::DriveFromUnitMask(std::uint32_t mask) {
  if (!std::has_single_bit(mask) || mask >= (1u << 26)) return {};
  return {static_cast<char>('A' + std::countr_zero(mask)), ':'};
}
