#include "ports/UsbMonitorUtils.h"

#include <gtest/gtest.h>

#include "FakeSysfs.h"

TEST(UsbMonitor, LookupGivesStorageTextsOnlyForADisk) {
  FakeSysfs sys;
  sys.AddUsbDevice("1-2", "0951", "1666", "60A44C3FAE22", "Pocket Disk");
  sys.AddUsbInterface("1-2", 0, 8, "usb-storage");
  sys.AddUsbDisk("1-2", "sdb", "Acme", "Pocket Disk 3.0");
  sys.AddUsbDevice("1-3", "046d", "c077", "", "Optical Mouse");
  sys.AddUsbInterface("1-3", 0, 3, "usbhid");
  sys.AddUsbDevice("1-4", "05e3", "0608", "", "USB2.0 Hub");  // a hub with a stick on its port
  sys.AddUsbInterface("1-4", 0, 9, "hub");
  sys.AddUsbDevice("1-4.1", "0951", "1666", "77", "Pocket Disk", "1-4");
  sys.AddUsbInterface("1-4.1", 0, 8, "usb-storage");
  sys.AddUsbDisk("1-4.1", "sdc", "Acme", "Pocket Disk 3.0");
  const TUsbMonitor monitor(sys.Root());

  struct Row {
    const char* what;
    TUdevNotice notice;
    TUsbDeviceTexts texts;
  };
  const Row rows[] = {
      {"stick", {"add", sys.UsbDevPath("1-2"), {}}, {"Pocket Disk", "Pocket Disk 3.0", "Acme Pocket Disk 3.0"}},
      {"mouse", {"add", sys.UsbDevPath("1-3"), {}}, {"Optical Mouse", "", ""}},
      {"hub", {"add", sys.UsbDevPath("1-4"), {}}, {"USB2.0 Hub", "", ""}},
      {"database name first",
       {"add", sys.UsbDevPath("1-3"), {{"ID_MODEL_FROM_DATABASE", "M100 Mouse"}, {"ID_MODEL_ENC", "Other"}}},
       {"M100 Mouse", "", ""}},
      {"removed: the product string the notice carries",
       {"remove", sys.UsbDevPath("1-7"), {{"ID_MODEL_ENC", "USB\\x20Receiver\\x20\\x20"}}},
       {"USB Receiver", "", ""}},
      {"no device path", {"add", "", {}}, {"", "", ""}},
  };
  for (const auto& row : rows) {
    const TUsbDeviceTexts texts = monitor.LookupUsbDevice(row.notice);
    EXPECT_EQ(texts.UsbDescription, row.texts.UsbDescription) << row.what;
    EXPECT_EQ(texts.StorageDescription, row.texts.StorageDescription) << row.what;
    EXPECT_EQ(texts.StorageFriendlyName, row.texts.StorageFriendlyName) << row.what;
  }
}

TEST(UsbMonitor, OnlyArrivalAndRemovalRaiseTheEvent) {
  FakeSysfs sys;
  sys.AddUsbDevice("1-3", "046d", "c077", "", "Optical Mouse");
  TUsbMonitor monitor(sys.Root());
  monitor.HandleNotice({"add", sys.UsbDevPath("1-3"), {}});  // no handler yet
  std::vector<std::string> captions;
  monitor.OnUsbDeviceChange = [&captions](bool arrived, const std::string& usb, const std::string& storage,
                                          const std::string& name) {
    captions.push_back(UsbChangeCaption(arrived, {usb, storage, name}));
  };
  for (const char* action : {"add", "bind", "change", "unbind", "", "remove"})
    monitor.HandleNotice({action, sys.UsbDevPath("1-3"), {}});
  EXPECT_EQ(captions,
            (std::vector<std::string>{"detected Optical Mouse, , , True", "detected Optical Mouse, , , False"}));
}

TEST(UsbMonitor, WithoutNoticesPendingReadingReturnsAtOnceAndRaisesNothing) {
  TUsbMonitor monitor;
  bool raised = false;
  monitor.OnUsbDeviceChange = [&raised](bool, const std::string&, const std::string&, const std::string&) {
    raised = true;
  };
  monitor.ReadNotices();
  monitor.ReadNotices();
  EXPECT_FALSE(raised);
}

TEST(UsbMonitor, DriveFromUnitMask) {
  const std::pair<std::uint32_t, const char*> rows[] = {
      {0x4, "C:"}, {0x6, ""}, {0, ""}, {1, "A:"}, {1u << 25, "Z:"}, {1u << 26, ""}, {0x80000000u, ""},
  };
  for (const auto& [mask, drive] : rows) EXPECT_EQ(TUsbMonitor::DriveFromUnitMask(mask), drive) << mask;
}
