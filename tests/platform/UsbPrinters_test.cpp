#include "platform/UsbPrinters.h"

#include "FakeSysfs.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using Printers = std::vector<TUsbPrinter>;

TEST(ScanUsbPrinters, ListsEachPrinterNodeWithWhatItsDeviceCallsItselfInNodeOrder) {
  FakeSysfs sys;
  sys.AddUsbPrinter("1-2", "lp10", "Test Cutter", "Korvex", "KX0042", "MFG:Korvex;MDL:KX-600;CMD:HPGL;");
  sys.AddUsbPrinter("1-3", "lp2", "", "Acme", "", "");  // names only its maker
  sys.AddUsbPrinter("1-4", "lp3", "", "", "", "");      // names nothing
  std::filesystem::create_directories(sys.Root() + "/sys/class/usbmisc/hiddev0");  // not a printer
  Printers found;
  ASSERT_TRUE(ScanUsbPrinters(found, sys.Root(), sys.Dev()));
  const std::string usb = sys.Dev() + "/usb/";
  EXPECT_EQ(found, (Printers{{"lp2", usb + "lp2", "Acme", "Acme", "", "", false},
                             {"lp3", usb + "lp3", "USB printer", "", "", "", false},
                             {"lp10", usb + "lp10", "Test Cutter", "Korvex", "KX0042",
                              "MFG:Korvex;MDL:KX-600;CMD:HPGL;", false}}));  // no nodes to open

  // Without the printer driver there is no class, and so no printers: not a failure.
  FakeSysfs bare;
  EXPECT_TRUE(ScanUsbPrinters(found, bare.Root(), bare.Dev()));
  EXPECT_TRUE(found.empty());
}

TEST(FindUsbPrinter, TakesTheNodeItsNameUsbNameOrAProductThatNamesOnePrinter) {
  const Printers printers{{"lp0", "/dev/usb/lp0", "Test Cutter", "", "", "", true},
                          {"lp1", "/dev/usb/lp1", "Twin", "", "", "", true},
                          {"lp2", "/dev/usb/lp2", "Twin", "", "", "", true}};
  for (const char* name : {"/dev/usb/lp0", "usb:lp0", "lp0", "Test Cutter"})
    EXPECT_EQ(FindUsbPrinter(printers, name), &printers[0]) << name;
  EXPECT_EQ(FindUsbPrinter(printers, "Twin"), nullptr);  // two of a kind need their nodes
  EXPECT_EQ(FindUsbPrinter(printers, "usb:lp2"), &printers[2]);
  EXPECT_EQ(FindUsbPrinter(printers, "lp9"), nullptr);
  EXPECT_EQ(UsbPrinterNodePath(printers, "Test Cutter"), "/dev/usb/lp0");
  EXPECT_EQ(UsbPrinterNodePath(printers, "usb:lp9"), "/dev/usb/lp9");  // not there yet: the open says so
  EXPECT_EQ(UsbPrinterNodePath(printers, "/tmp/fifo"), "/tmp/fifo");
  EXPECT_TRUE(NamesUsbPrinter("usb:lp0"));
  EXPECT_TRUE(NamesUsbPrinter("/dev/usb/lp0"));
  EXPECT_FALSE(NamesUsbPrinter("ttyUSB0"));
  EXPECT_FALSE(NamesUsbPrinter("/dev/ttyUSB0"));
}

TEST(UsbPrinterStatusText, ReadsTheStatusByteAsTheDriverReportsIt) {
  // As a printer gadget reported them: 0x18 selected, 0x08 not selected, 0x38 out of paper.
  const std::pair<std::uint8_t, const char*> rows[] = {
      {0x18, ""}, {0x08, "offline (not selected)"}, {0x38, "out of media"}, {0x28, "out of media"}, {0x10, "error"},
  };
  for (const auto& [status, text] : rows) EXPECT_EQ(UsbPrinterStatusText(status), text) << int(status);
}

TEST(UsbPrinterOpenHint, SaysWhatToDoForAMissingBusyOrForbiddenPrinter) {
  const Printers present{{"lp0", "/dev/usb/lp0", "Test Cutter", "", "", "", true}};
  EXPECT_EQ(UsbPrinterOpenHint("usb:lp3", ENOENT, present),
            "No USB printer usb:lp3: is the cutter plugged in and switched on? USB printers present: lp0 (Test Cutter)");
  EXPECT_EQ(UsbPrinterOpenHint("lp0", EBUSY, present), "lp0 is in use by another program: close it there, then send again.");
  const std::string denied = UsbPrinterOpenHint("lp0", EACCES, present);
  EXPECT_TRUE(denied.starts_with("No permission to open /dev/usb/lp0: USB printers are open to the ")) << denied;
  EXPECT_NE(denied.find("sudo usermod -aG "), std::string::npos) << denied;
  EXPECT_EQ(UsbPrinterOpenHint("lp0", EIO, present), "");
}

}  // namespace
