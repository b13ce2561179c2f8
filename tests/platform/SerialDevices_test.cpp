#include "FakeSysfs.h"
#include "platform/SerialDevices.h"

#include <fcntl.h>
#include <cerrno>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>
#include <sys/file.h>
#include <unistd.h>

using Ports = std::vector<std::string>;

TEST(ListSerialPorts, KeepsRealDevicesAndBluetoothSortedIgnoringCase) {
  FakeSysfs sys;
  sys.AddUsbPort("ttyUSB0", "FT232R USB UART", "FTDI");
  sys.AddUsbPort("ttyACM10", "Cutter", "Maker");
  sys.AddUsbPort("ttyACM2", "Cutter", "Maker");
  sys.AddBuiltinPort("ttyS0", 4);
  sys.AddBuiltinPort("ttyS1", 0);  // placeholder: no UART
  sys.AddRfcomm("rfcomm0");
  sys.AddVirtualTty("tty1");
  Ports ports{"stale"};
  ListSerialPorts(ports, sys.Root());
  EXPECT_EQ(ports, (Ports{"rfcomm0", "ttyACM10", "ttyACM2", "ttyS0", "ttyUSB0"}));
}

TEST(ListSerialPorts, EmptyClassGivesEmptyListAndMissingClassLeavesListAlone) {
  FakeSysfs sys;
  Ports ports{"ttyUSB9"};
  ListSerialPorts(ports, sys.Root());
  EXPECT_TRUE(ports.empty());

  ports = {"ttyUSB9"};
  ListSerialPorts(ports, sys.Root() + "/nowhere");
  EXPECT_EQ(ports, Ports{"ttyUSB9"});
}

TEST(EnumFriendlyComPorts, NamesOpenablePortsAndSkipsBusyOrMissingOnes) {
  FakeSysfs sys;
  sys.AddUsbPort("ttyUSB0", "FT232R USB UART", "FTDI");
  sys.AddUsbPort("ttyUSB1", "CP2102 Bridge", "Silicon Labs");
  sys.AddRfcomm("rfcomm0");
  sys.AddUsbPort("ttyUSB2", "Gone", "Nobody");  // listed, but no device node
  const int m0 = sys.AddDeviceNode("ttyUSB0");
  const int m1 = sys.AddDeviceNode("ttyUSB1");
  const int mr = sys.AddDeviceNode("rfcomm0");

  // Another program holds ttyUSB1.
  const int holder = ::open((sys.Dev() + "/ttyUSB1").c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);

  EXPECT_EQ(EnumFriendlyComPorts(sys.Root(), sys.Dev()),
            (Ports{"rfcomm0=Bluetooth Serial Port (rfcomm0)", "ttyUSB0=FTDI FT232R USB UART (ttyUSB0)"}));

  ::close(holder);
  const Ports freed = EnumFriendlyComPorts(sys.Root(), sys.Dev());
  ASSERT_EQ(freed.size(), 3u);
  EXPECT_EQ(freed[2], "ttyUSB1=Silicon Labs CP2102 Bridge (ttyUSB1)");
  for (int fd : {m0, m1, mr}) ::close(fd);
}

TEST(SerialPortLists, ATreeThatFailsMidReadGivesEmptyListsWithoutThrowing) {
  FakeSysfs sys;
  sys.AddUsbPort("ttyUSB0", "A", "M");
  sys.AddUsbPort("ttyUSB1", "B", "M");
  sys.AddLink("sys/class/tty/ttyLoop", "ttyLoop");                  // a link to itself
  sys.AddLink("sys/class/tty/ttyACM0/device", "../../../nowhere");  // a device that is gone
  Ports ports;
  ListSerialPorts(ports, sys.Root());
  EXPECT_EQ(ports, (Ports{"ttyUSB0", "ttyUSB1"}));

  sys.FailListingAfter("sys/class/tty", 2);
  ports = {"stale"};
  Ports friendly{"stale"};
  EXPECT_NO_THROW(ListSerialPorts(ports, sys.Root()));
  EXPECT_NO_THROW(friendly = EnumFriendlyComPorts(sys.Root(), sys.Dev()));
  EXPECT_EQ(ports, Ports{"stale"});  // an unreadable class is no port list
  EXPECT_TRUE(friendly.empty());
}

TEST(PortOpenHint, NamesTheFixForPermissionsAndBusyPorts) {
  const passwd* user = getpwuid(geteuid());
  ASSERT_NE(user, nullptr);
  const std::string denied = PortOpenHint(EACCES);
  EXPECT_NE(denied.find("dialout"), std::string::npos) << denied;
  EXPECT_NE(denied.find(std::string("usermod -aG dialout ") + user->pw_name), std::string::npos) << denied;
  EXPECT_EQ(PortOpenHint(EPERM), denied);
  EXPECT_EQ(PortOpenHint(EBUSY), "Another program is using this port.");
  EXPECT_EQ(PortOpenHint(ENOENT), "");
  EXPECT_EQ(PortOpenHint(0), "");
}
