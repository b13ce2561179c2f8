#include "FakeSysfs.h"
#include "ports/PortExState.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

TPortExState stateFor(const std::string& name, TFlowMode flow, std::int32_t baud) {
  TPortExState state;
  state.SetPortName(name);
  state.SetFlowMode(flow);
  state.SetBaudRate(baud);
  return state;
}

class Descriptor : public ::testing::Test {
protected:
  void SetUp() override { ForgetLastSplit(); }
};

}  // namespace

TEST_F(Descriptor, BuildsTheDescriptorText) {
  struct Row {
    std::string port;
    int flow;
    std::int32_t baud;
    std::string expected;
  };
  const Row rows[] = {
      {"COM3", fmCtsRts, 38400, "\\\\.\\COM3,<baud=38400 flow=cts/rts parity=n data=8 stop=1>"},
      {"ttyUSB0", fmXonXoff, 9600, "\\\\.\\ttyUSB0,<baud=9600 flow=xon/xoff parity=n data=8 stop=1>"},
      {"", fmCtsRts, 9600, "\\\\.\\,<baud=9600 flow=cts/rts parity=n data=8 stop=1>"},
      {"\\\\.\\COM5", fmNone, 115200, "\\\\.\\COM5,<baud=115200 flow=none parity=n data=8 stop=1>"},
      {"COM1", 3, -5, "\\\\.\\COM1,<baud=-5 flow= parity=n data=8 stop=1>"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(stateFor(row.port, static_cast<TFlowMode>(row.flow), row.baud).BuildDescriptor(), row.expected)
        << row.port;
}

TEST_F(Descriptor, BuiltDescriptorParsesBack) {
  for (TFlowMode flow : {fmNone, fmXonXoff, fmCtsRts}) {
    const TPortExState built = stateFor("\\\\.\\rfcomm0", flow, 57600);
    TPortExState parsed;
    parsed.ParseDescriptor(built.BuildDescriptor());
    EXPECT_EQ(parsed.PortName, "rfcomm0");
    EXPECT_EQ(parsed.BaudRate, 57600);
    EXPECT_EQ(parsed.FlowMode, flow);
  }
  TPortExState empty;
  empty.ParseDescriptor(stateFor("", fmCtsRts, 9600).BuildDescriptor());
  EXPECT_EQ(empty.PortName, "");
  EXPECT_EQ(empty.FlowMode, fmCtsRts);
}

TEST_F(Descriptor, SplitsAtTheFirstCommaAndKeepsOnlyBracketText) {
  std::string port, settings;
  ASSERT_TRUE(SplitDescriptor("\\\\.\\COM3,junk<baud=1,2>x,y<flow=c<z>", port, settings));
  EXPECT_EQ(port, "\\\\.\\COM3");
  EXPECT_EQ(settings, "baud=1,2flow=cz");

  EXPECT_TRUE(SplitDescriptor("\\\\.\\", port, settings));
  EXPECT_EQ(port, "\\\\.\\");
  EXPECT_EQ(settings, "");
}

TEST_F(Descriptor, RemembersTheLastSuccessfulSplitOnly) {
  std::string port, settings;
  EXPECT_FALSE(GetLastSplit(port, settings));
  EXPECT_FALSE(SplitDescriptor("", port, settings));

  ASSERT_TRUE(SplitDescriptor("COM7,<baud=19200>", port, settings));
  EXPECT_FALSE(SplitDescriptor(",<baud=1>", port, settings));  // empty port part
  ASSERT_TRUE(SplitDescriptor("", port, settings));
  EXPECT_EQ(port, "COM7");
  EXPECT_EQ(settings, "baud=19200");
  ASSERT_TRUE(GetLastSplit(port, settings));
  EXPECT_EQ(port, "COM7");

  TPortExState state;  // a split made by the port state is remembered too
  state.ParseDescriptor("ttyACM0,<baud=4800>");
  GetLastSplit(port, settings);
  EXPECT_EQ(port, "ttyACM0");
  EXPECT_EQ(settings, "baud=4800");
}

TEST_F(Descriptor, ParsesBaudAndFlowWords) {
  struct Row {
    const char* descriptor;
    std::int32_t baud;
    TFlowMode flow;
  };
  const Row rows[] = {
      {"COM1", 9600, fmNone},  // no comma: empty settings
      {"COM1,<baud=19200x flow=none>", 19200, fmNone},
      {"COM1,<baud=x>", 9600, fmNone},
      {"COM1,<baud=99999999999>", 9600, fmNone},
      {"COM1,<baud=-5>", 9600, fmNone},
      {"COM1,<baud=2147483647>", 2147483647, fmNone},
      {"COM1,<flow=xon/xoff flow=c>", 9600, fmXonXoff},
      {"COM1,<flow=cts>", 9600, fmCtsRts},
      {"COM1,<flow=x>", 9600, fmXonXoff},
      {"COM1,<FLOW=cts/rts>", 9600, fmNone},
  };
  for (const auto& row : rows) {
    TPortExState state;
    state.ParseDescriptor(row.descriptor);
    EXPECT_EQ(state.PortName, "COM1") << row.descriptor;
    EXPECT_EQ(state.BaudRate, row.baud) << row.descriptor;
    EXPECT_EQ(state.FlowMode, row.flow) << row.descriptor;
  }
}

TEST_F(Descriptor, EmptyOrPortlessDescriptorChangesNothing) {
  for (const char* text : {"", ",<baud=19200 flow=none>"}) {
    TPortExState state = stateFor("COM9", fmXonXoff, 4800);
    state.ParseDescriptor(text);
    EXPECT_EQ(state.PortName, "COM9");
    EXPECT_EQ(state.BaudRate, 4800);
    EXPECT_EQ(state.FlowMode, fmXonXoff);
  }
}

TEST(PortExState, CreateAndResetDefaults) {
  TPortExState state;
  EXPECT_EQ(state.PortKind, pkNone);
  EXPECT_EQ(state.BaudRate, 0);
  EXPECT_EQ(state.TestDeviceMask, 5u);
  state.ApplySelection();  // empty selection: nothing but the defaults
  EXPECT_EQ(state.PortKind, pkNone);
  EXPECT_EQ(state.BaudRate, 9600);
  EXPECT_EQ(state.FlowMode, fmCtsRts);
}

TEST(PortExState, AppliesTheSelectionByKind) {
  EXPECT_EQ(TPortExState::ClassifyPortType("directcomport"), pkDirectCom);
  EXPECT_EQ(TPortExState::ClassifyPortType("DirectUsbPort"), pkDirectUsb);
  EXPECT_EQ(TPortExState::ClassifyPortType("Direct COM Port"), pkWindowsPort);

  TPortExState state;
  state.SelPortName = "DIRECTCOMPORT";
  state.SelPortParam = "\\\\.\\ttyUSB0,<baud=115200 flow=xon/xoff>";
  state.ApplySelection();
  EXPECT_EQ(state.PortKind, pkDirectCom);
  EXPECT_EQ(state.Descriptor, state.SelPortParam);
  EXPECT_EQ(state.PortName, "ttyUSB0");
  EXPECT_EQ(state.BaudRate, 115200);
  EXPECT_EQ(state.FlowMode, fmXonXoff);

  state.SelPortName = "prn:";
  state.SelPrinterName = "Cutter";
  state.ApplySelection();
  EXPECT_TRUE(state.UsePrinter);
  EXPECT_EQ(state.PrinterName, "Cutter");
  EXPECT_EQ(state.WindowsPort, "");
  EXPECT_EQ(state.PortName, "");  // the earlier COM selection was reset

  state.SelPortName = "LPT1:";
  state.ApplySelection();
  EXPECT_EQ(state.PortKind, pkWindowsPort);
  EXPECT_FALSE(state.UsePrinter);
  EXPECT_EQ(state.WindowsPort, "LPT1:");

  state.SelPortName = "CustomPort";
  state.SelPortParam = "tcp:cutter";
  state.ApplySelection();
  EXPECT_EQ(state.CustomPort, "tcp:cutter");
  EXPECT_EQ(state.WindowsPort, "CustomPort");
}

TEST(RefreshComPorts, ReportsAChangeOnlyWhenTheSetOfPortsChanged) {
  FakeSysfs sys;
  TPortExState state;
  state.TestMode = false;
  state.SysRoot = sys.Root();
  state.DevRoot = sys.Dev();

  EXPECT_FALSE(state.RefreshComPorts());  // no port at all, not even at first
  sys.AddUsbPort("ttyUSB0", "A", "M");
  sys.AddUsbPort("ttyUSB1", "B", "M");
  EXPECT_TRUE(state.RefreshComPorts());
  EXPECT_EQ(state.ComPorts, (std::vector<std::string>{"ttyUSB0", "ttyUSB1"}));
  EXPECT_FALSE(state.RefreshComPorts());

  sys.Remove("ttyUSB1");  // removed
  EXPECT_TRUE(state.RefreshComPorts());
  sys.AddUsbPort("ttyACM0", "C", "M");  // replaced at equal count
  EXPECT_TRUE(state.RefreshComPorts());
  EXPECT_EQ(state.ComPorts, (std::vector<std::string>{"ttyACM0", "ttyUSB0"}));
  EXPECT_FALSE(state.RefreshComPorts());
}

TEST(RefreshComPorts, EveryPresentPortHasItsNameEvenWhenAnotherProgramHoldsIt) {
  FakeSysfs sys;
  sys.AddUsbPort("ttyUSB0", "FT232R USB UART", "FTDI");
  sys.AddRfcomm("rfcomm0");  // a Bluetooth port that no one could open now
  const int master = sys.AddDeviceNode("ttyUSB0");
  FILE* busy = fopen((sys.Dev() + "/ttyUSB0").c_str(), "r+");
  ASSERT_NE(busy, nullptr);
  ASSERT_EQ(flock(fileno(busy), LOCK_EX | LOCK_NB), 0);
  TPortExState state;
  state.TestMode = false;
  state.SysRoot = sys.Root();
  state.DevRoot = sys.Dev();
  state.RefreshComPorts();
  EXPECT_EQ(state.ComPorts, (std::vector<std::string>{"rfcomm0", "ttyUSB0"}));
  EXPECT_EQ(state.FriendlyNames,
            (std::vector<std::string>{"rfcomm0=Bluetooth serial (rfcomm0)", "ttyUSB0=FT232R USB UART (ttyUSB0)"}));
  ASSERT_EQ(state.ComPortDetails.size(), 2u);
  EXPECT_EQ(state.ComPortDetails[1].Product, "FT232R USB UART");
  fclose(busy);
  close(master);
}

TEST(RefreshComPorts, TestModeListsFixedPorts) {
  FakeSysfs sys;
  sys.AddUsbPort("ttyUSB0", "A", "M");
  TPortExState state;
  state.TestMode = true;
  state.SysRoot = sys.Root();
  state.DevRoot = sys.Dev();
  EXPECT_TRUE(state.RefreshComPorts());
  EXPECT_EQ(state.ComPorts, (std::vector<std::string>{"COM1", "COM4"}));
  EXPECT_EQ(state.FriendlyNames, (std::vector<std::string>{"ttyUSB0=A (ttyUSB0)", "COM4=Test USB Serial (COM4)"}));
  EXPECT_EQ(state.ComPortDetails[1].Product, "Test USB Serial");
  EXPECT_FALSE(state.RefreshComPorts());
}

namespace {

using Paths = std::vector<std::string>;

std::string printerPath(const std::string& ids, const std::string& instance) {
  return "\\\\?\\usb#" + ids + "#" + instance + "#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
}

TPortExState stateOn(const FakeSysfs& sys) {
  TPortExState state;
  state.TestMode = false;
  state.SysRoot = sys.Root();
  return state;
}

}  // namespace

TEST(EnumUsbPrinters, ListsPrinterInterfacesWithTheirDriversThroughTheFilter) {
  FakeSysfs sys;
  sys.AddUsbDevice("1-2", "04b8", "0007", "X5ZK004711", "Cutter", 7, "usblp");
  sys.AddUsbDevice("1-3", "046d", "c077", "", "Optical Mouse", 3, "usbhid");
  sys.AddUsbDevice("1-1.4", "0483", "5750", "", "Plotter", 7, "");        // no serial number, no driver
  sys.AddUsbDevice("1-5", "1a86", "7584", "A#12", "Bridge", 7, "usblp");  // a serial that would split the path
  TPortExState state = stateOn(sys);
  Paths paths{"stale"}, locations{"stale"};
  state.EnumUsbPrinters(&paths, &locations);
  EXPECT_EQ(paths, (Paths{printerPath("vid_0483&pid_5750", "1-1.4"), printerPath("vid_04b8&pid_0007", "X5ZK004711"),
                          printerPath("vid_1a86&pid_7584", "1-5")}));
  EXPECT_EQ(locations, (Paths{"usblp", "usblp"}));

  for (const char* filter : {"VID_04B8", "x5zk"}) {
    state.UsbFilter = filter;
    state.EnumUsbPrinters(&paths, &locations);
    EXPECT_EQ(paths, Paths{printerPath("vid_04b8&pid_0007", "X5ZK004711")}) << filter;
  }
}

TEST(EnumUsbPrinters, TestModeListsTheFixedDevicesOfTheMask) {
  TPortExState state;
  state.TestMode = true;
  Paths paths, locations;
  state.EnumUsbPrinters(&paths, &locations);  // mask 5: the first and the third
  EXPECT_EQ(paths,
            (Paths{printerPath("vid_0483&pid_5750", "KVX0000001"), printerPath("vid_04b8&pid_0007", "KVX0000003")}));
  EXPECT_EQ(locations, (Paths{"Port_#0003.Hub_#0006", "Port_#0002.Hub_#0005"}));
  state.TestDeviceMask = 0;
  state.EnumUsbPrinters(&paths, &locations);
  EXPECT_TRUE(paths.empty() && locations.empty());
}

TEST(RefreshUsbPorts, ReportsAChangeOfTheSetAndEmptiesTheListsWhenTheTreeFailsMidRead) {
  FakeSysfs sys;
  TPortExState state = stateOn(sys);
  EXPECT_FALSE(state.RefreshUsbPorts());  // two empty lists are equal
  sys.AddUsbDevice("1-2", "04b8", "0007", "CUTTER1", "Cutter", 7, "usblp");
  sys.AddUsbDevice("1-3", "0483", "5750", "PLOTTER2", "Plotter", 7, "usblp");
  sys.AddLink("sys/bus/usb/devices/1-9:1.0", "1-9:1.0");                        // a link to itself
  sys.AddLink("sys/bus/usb/devices/1-8:1.0", "../../../devices/gone/1-8:1.0");  // unplugged
  EXPECT_TRUE(state.RefreshUsbPorts());
  EXPECT_FALSE(state.RefreshUsbPorts());
  EXPECT_EQ(state.UsbLocations, (Paths{"usblp", "usblp"}));  // refilled, not appended to
  state.UsbFilter = "cutter";
  EXPECT_TRUE(state.RefreshUsbPorts());
  state.UsbFilter = "plotter";  // another device at the same count
  EXPECT_TRUE(state.RefreshUsbPorts());

  sys.FailListingAfter("sys/bus/usb/devices", 3);
  bool changed = false;
  EXPECT_NO_THROW(changed = state.RefreshUsbPorts());
  EXPECT_TRUE(changed);
  EXPECT_TRUE(state.UsbPaths.empty() && state.UsbLocations.empty());
}

TEST(StartPortName, TheDesignedPortElseAnAdapterThenBluetoothAndBuiltInLast) {
  using Names = std::vector<std::string>;
  const struct {
    Names listed;
    const char* start;
  } rows[] = {
      {{}, "COM3"},
      {{"rfcomm0", "COM3", "ttyUSB0"}, "COM3"},
      {{"rfcomm0", "ttyS0", "ttyUSB0", "ttyUSB1"}, "ttyUSB0"},
      {{"rfcomm0", "ttyACM0", "ttyS0", "ttyUSB0"}, "ttyACM0"},
      {{"rfcomm0", "rfcomm1", "ttyS0"}, "rfcomm0"},
      {{"ttyAMA0", "ttyS0"}, "ttyAMA0"},
      {{"ttyS0", "ttyS1"}, "ttyS0"},
  };
  for (const auto& row : rows) EXPECT_EQ(StartPortName(row.listed, "COM3"), row.start) << row.listed.size();
}

TEST(RefreshUsbPorts, FollowsPrinterNodesComingAndGoing) {
  FakeSysfs sys;
  TPortExState state = stateOn(sys);
  state.DevRoot = sys.Dev();
  EXPECT_FALSE(state.RefreshUsbPorts());
  sys.AddUsbPrinter("1-2", "lp0", "Test Cutter", "Korvex", "", "");
  EXPECT_TRUE(state.RefreshUsbPorts());
  ASSERT_EQ(state.UsbPrinters.size(), 1u);
  EXPECT_EQ(state.UsbPrinters[0].Product, "Test Cutter");
  EXPECT_EQ(state.UsbPrinters[0].Node, sys.Dev() + "/usb/lp0");
  EXPECT_FALSE(state.RefreshUsbPorts());
  std::filesystem::remove_all(sys.Root() + "/sys/class/usbmisc/lp0");
  EXPECT_TRUE(state.RefreshUsbPorts());
  EXPECT_TRUE(state.UsbPrinters.empty());
}
