#include "FakeSysfs.h"
#include "platform/SerialDevices.h"

#include <fcntl.h>
#include <cerrno>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unistd.h>

using Ports = std::vector<std::string>;
using Found = std::vector<TSerialPort>;

namespace {

// The machine's kinds of ports: an FTDI adapter with a stable name, a CDC-ACM adapter
// whose interface names itself, a Bluetooth port, a built-in port with a UART and one
// without, and a console.
void addEveryKind(FakeSysfs& sys) {
  sys.AddUsbPort("ttyUSB0", "FT232R USB UART", "FTDI");
  sys.AddUsbPort("ttyACM0", "Korvex KX-600", "Korvex", "KX-600 Serial");
  sys.AddUsbPort("ttyUSB1", "", "Prolific Technology Inc.");  // a maker's string only
  sys.AddUsbPort("ttyACM1", "Test Cutter", "Korvex", "CDC Abstract Control Model (ACM)");  // a gadget's class string
  sys.AddRfcomm("rfcomm0");
  sys.AddBuiltinPort("ttyS0", 4);
  sys.AddBuiltinPort("ttyS1", 0);
  sys.AddVirtualTty("tty1");
  for (const char* node : {"ttyUSB0", "ttyACM0", "ttyACM1", "rfcomm0", "ttyS0", "ttyS1", "tty1"}) sys.AddDeviceFile(node);
  sys.AddLink("dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "../../ttyUSB0");
}

}  // namespace

TEST(ScanSerialPorts, NamesEachPortByItsProductWithItsStableLink) {
  FakeSysfs sys;
  addEveryKind(sys);
  Found ports;
  ASSERT_TRUE(ScanSerialPorts(ports, sys.Root(), sys.Dev()));
  const std::string byId = sys.Dev() + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  EXPECT_EQ(ports, (Found{{"rfcomm0", "Bluetooth serial", "", true},
                          {"ttyACM0", "KX-600 Serial", "", true},
                          {"ttyACM1", "Test Cutter", "", true},
                          {"ttyS0", "Built-in serial port", "", true},
                          {"ttyUSB0", "FT232R USB UART", byId, true},
                          {"ttyUSB1", "Prolific Technology Inc.", "", false}}));  // no node to open
}

TEST(ScanSerialPorts, ListingOpensNoDevice) {
  FakeSysfs sys;
  addEveryKind(sys);
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, sys.Dev().c_str(), IN_OPEN), 0);
  // Files opened below the folder, not the folders listed there.
  const auto opened = [watch] {
    Ports names;
    alignas(inotify_event) char buffer[4096];
    for (ssize_t n; (n = read(watch, buffer, sizeof buffer)) > 0;)
      for (char* at = buffer; at < buffer + n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(at);
        if (!(event->mask & IN_ISDIR)) names.push_back(event->len ? event->name : "?");
        at += sizeof(inotify_event) + event->len;
      }
    return names;
  };
  close(open((sys.Dev() + "/ttyS0").c_str(), O_RDONLY));
  ASSERT_EQ(opened(), Ports{"ttyS0"});  // the watch sees an open

  Found ports;
  ASSERT_TRUE(ScanSerialPorts(ports, sys.Root(), sys.Dev()));
  Ports names;
  ListSerialPorts(names, sys.Root());
  EXPECT_EQ(ports.size(), 6u);
  EXPECT_EQ(opened(), Ports{});
  close(watch);
}

TEST(ListSerialPorts, EmptyClassGivesEmptyListAndMissingClassLeavesListAlone) {
  FakeSysfs sys;
  Ports ports{"ttyUSB9"};
  ListSerialPorts(ports, sys.Root());
  EXPECT_TRUE(ports.empty());

  ports = {"ttyUSB9"};
  ListSerialPorts(ports, sys.Root() + "/nowhere");
  EXPECT_EQ(ports, Ports{"ttyUSB9"});
  Found found{{"ttyUSB9", "x", "", true}};
  EXPECT_FALSE(ScanSerialPorts(found, sys.Root() + "/nowhere", sys.Dev()));
  EXPECT_EQ(found.size(), 1u);
}

TEST(SerialPortLists, ATreeThatFailsMidReadGivesNoListWithoutThrowing) {
  FakeSysfs sys;
  sys.AddUsbPort("ttyUSB0", "A", "M");
  sys.AddUsbPort("ttyUSB1", "B", "M");
  sys.AddLink("sys/class/tty/ttyLoop", "ttyLoop");                  // a link to itself
  sys.AddLink("sys/class/tty/ttyACM0/device", "../../../nowhere");  // a device that is gone
  sys.AddLink("dev/serial/by-id/usb-loop", "usb-loop");
  Ports ports;
  ListSerialPorts(ports, sys.Root());
  EXPECT_EQ(ports, (Ports{"ttyUSB0", "ttyUSB1"}));

  sys.FailListingAfter("sys/class/tty", 2);
  ports = {"stale"};
  Found found;
  EXPECT_NO_THROW(ListSerialPorts(ports, sys.Root()));
  EXPECT_NO_THROW(EXPECT_FALSE(ScanSerialPorts(found, sys.Root(), sys.Dev())));
  EXPECT_EQ(ports, Ports{"stale"});  // an unreadable class is no port list
}

TEST(MayOpenNode, FollowsTheModeForOwnerGroupAndOthers) {
  const std::vector<gid_t> dialout{20, 1000};
  EXPECT_TRUE(MayOpenNode(0660, 0, 20, 1000, dialout));      // crw-rw---- root:dialout, a member
  EXPECT_FALSE(MayOpenNode(0660, 0, 20, 1000, {1000}));      // not a member
  EXPECT_FALSE(MayOpenNode(0640, 0, 20, 1000, dialout));     // the group may only read
  EXPECT_TRUE(MayOpenNode(0600, 1000, 5, 1000, {}));         // the user's own, as a logged-in seat gives it
  EXPECT_FALSE(MayOpenNode(0066, 1000, 20, 1000, dialout));  // the owner's bits count for the owner
  EXPECT_TRUE(MayOpenNode(0666, 0, 0, 1000, {}));            // anyone
  EXPECT_TRUE(MayOpenNode(0000, 5, 5, 0, {}));               // root
}

TEST(PortDevicePath, ResolvesNamesPrefixesAndPaths) {
  EXPECT_EQ(PortDevicePath("ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(PortDevicePath("\\\\.\\ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(PortDevicePath("\\\\.\\\\\\.\\pts/3"), "/dev/pts/3");
  EXPECT_EQ(PortDevicePath("\\\\.\\/tmp/korvex-cutter"), "/tmp/korvex-cutter");
  EXPECT_EQ(PortDevicePath("/dev/serial/by-id/usb-x"), "/dev/serial/by-id/usb-x");
  EXPECT_EQ(PortDevicePath("./cutter"), "./cutter");  // from the working folder, as a shell reads it
  EXPECT_EQ(PortDevicePath("../tmp/cutter"), "../tmp/cutter");
  EXPECT_EQ(PortDevicePath("serial/by-id/usb-x"), "/dev/serial/by-id/usb-x");
}

TEST(PortOpenHint, SaysWhyAndWhatToDoByKind) {
  EXPECT_EQ(PortOpenHint("ttyUSB0", ENOENT, {"ttyS0", "rfcomm0"}),
            "No device ttyUSB0: is the cutter plugged in and switched on? Ports present: ttyS0, rfcomm0");
  EXPECT_EQ(PortOpenHint("ttyUSB0", ENXIO, {}),
            "No device ttyUSB0: is the cutter plugged in and switched on? Ports present: none");
  EXPECT_EQ(PortOpenHint("ttyUSB0", EBUSY, {}),
            "ttyUSB0 is in use by another program: close it there, then send again.");
  EXPECT_EQ(PortOpenHint("/tmp/x", ENOTTY, {}), "/tmp/x is not a serial port.");
  EXPECT_EQ(PortOpenHint("/tmp", EISDIR, {}), "/tmp is not a serial port.");
  EXPECT_NE(PortOpenHint("rfcomm0", EHOSTDOWN, {}).find("Bluetooth device behind rfcomm0 does not answer"),
            std::string::npos);

  const passwd* user = getpwuid(geteuid());
  ASSERT_NE(user, nullptr);
  const std::string denied = PortOpenHint("ttyKORVEX_NONE", EACCES, {});
  EXPECT_NE(denied.find("No permission to open ttyKORVEX_NONE"), std::string::npos) << denied;
  EXPECT_NE(denied.find(std::string("sudo usermod -aG dialout ") + user->pw_name), std::string::npos) << denied;
  EXPECT_EQ(PortOpenHint("ttyKORVEX_NONE", EPERM, {}), denied);
  EXPECT_EQ(PortOpenHint("ttyUSB0", EIO, {}), "");
  EXPECT_EQ(PortOpenHint("ttyUSB0", 0, {}), "");
}
