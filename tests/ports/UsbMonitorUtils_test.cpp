#include "ports/UsbMonitorUtils.h"

#include <gtest/gtest.h>

#include <vector>

#include "FakeSysfs.h"

TEST(UsbMonitor, ArrivalAndRemovalNameTheDeviceAndTheDiskOfAStorageDevice) {
  FakeSysfs sys;
  sys.AddUsbDevice("1-2", "0951", "1666", "60A44C3FAE22", "Pocket Disk", 8, "usb-storage");
  sys.AddUsbDisk("1-2", "sdb", "Acme", "Pocket Disk 3.0");
  sys.AddUsbDevice("1-3", "046d", "c077", "", "Optical Mouse", 3, "usbhid");
  TUsbMonitor monitor(sys.Root());
  std::string caption;
  int ttyChanges = 0;
  monitor.OnTtyChange = [&ttyChanges] { ++ttyChanges; };
  monitor.OnUsbDeviceChange = [&caption](bool arrived, const auto& usb, const auto& storage, const auto& name) {
    caption = UsbChangeCaption(arrived, {usb, storage, name});
  };
  const std::pair<TUdevNotice, const char*> rows[] = {
      {{"add", sys.UsbDevPath("1-2"), {}}, "detected Pocket Disk, Pocket Disk 3.0, Acme Pocket Disk 3.0, True"},
      {{"add", sys.UsbDevPath("1-3"), {}}, "detected Optical Mouse, , , True"},
      {{"add", sys.UsbDevPath("1-3"), {{"ID_MODEL_FROM_DATABASE", "M100"}}}, "detected M100, , , True"},
      {{"remove", sys.UsbDevPath("1-7"), {{"ID_MODEL_ENC", "USB\\x20Receiver\\x20"}}},
       "detected USB Receiver, , , False"},
      {{"bind", sys.UsbDevPath("1-3"), {}}, ""},
  };
  for (const auto& [notice, expected] : rows) {
    caption.clear();
    monitor.HandleNotice(notice);
    EXPECT_EQ(caption, expected) << notice.Action << " " << notice.DevPath;
  }
  EXPECT_EQ(ttyChanges, 0);

  // An adapter's tty comes after its USB device: it changes the lists, not the caption.
  const std::string tty = sys.UsbDevPath("1-3") + "/1-3:1.0/ttyUSB1/tty/ttyUSB1";
  for (const char* action : {"add", "change", "remove"}) monitor.HandleNotice({action, tty, {}, "tty"});
  EXPECT_EQ(ttyChanges, 2);
  // So does a printer's node, after its device.
  int printerChanges = 0;
  monitor.OnPrinterChange = [&printerChanges] { ++printerChanges; };
  const std::string node = sys.UsbDevPath("1-3") + "/1-3:1.0/usbmisc/lp0";
  for (const char* action : {"add", "remove"}) monitor.HandleNotice({action, node, {}, "usbmisc"});
  EXPECT_EQ(printerChanges, 2);
  EXPECT_EQ(ttyChanges, 2);
  EXPECT_EQ(caption, "");
}

TEST(UsbMonitor, AStickWhoseDiskComesAfterItsNoticeIsNamedWhenTheDiskArrives) {
  FakeSysfs sys;
  sys.AddUsbDevice("1-4", "0951", "1666", "60A44C3FAE22", "Pocket Disk", 8, "usb-storage");
  TUsbMonitor monitor(sys.Root());
  std::vector<std::string> captions;
  monitor.OnUsbDeviceChange = [&captions](bool arrived, const auto& usb, const auto& storage, const auto& name) {
    captions.push_back(UsbChangeCaption(arrived, {usb, storage, name}));
  };
  monitor.HandleNotice({"add", sys.UsbDevPath("1-4"), {}});
  sys.AddUsbDisk("1-4", "sdc", "Acme", "Pocket Disk 3.0");
  const std::string disk = sys.UsbDevPath("1-4") + "/1-4:1.0/host6/target6:0:0/6:0:0:0/block/sdc";
  monitor.HandleNotice({"add", disk, {}, "block"});
  monitor.HandleNotice({"remove", disk, {}, "block"});                         // the device's own removal follows
  monitor.HandleNotice({"add", "/devices/virtual/block/loop0", {}, "block"});  // no USB device above
  EXPECT_EQ(captions, (std::vector<std::string>{"detected Pocket Disk, , , True",
                                                "detected Pocket Disk, Pocket Disk 3.0, Acme Pocket Disk 3.0, True"}));
}

TEST(UsbMonitor, ReadingWithNothingPendingReturnsAtOnce) {
  TUsbMonitor monitor;
  monitor.OnUsbDeviceChange = [](bool, const auto&, const auto&, const auto&) { ADD_FAILURE() << "no notice"; };
  monitor.ReadNotices();
}

TEST(UsbMonitor, DriveFromUnitMask) {
  const std::pair<std::uint32_t, const char*> rows[] = {
      {0x4, "C:"}, {0x6, ""}, {0, ""}, {1u << 25, "Z:"}, {1u << 26, ""}};
  for (const auto& [mask, drive] : rows) EXPECT_EQ(TUsbMonitor::DriveFromUnitMask(mask), drive) << mask;
}
