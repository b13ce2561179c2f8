#include "transmission/DirectPortDriver.h"

#include "ports/PortExState.h"
#include "PtyPair.h"

#include <gtest/gtest.h>
#include <termios.h>

namespace {

// Every test starts with no port and no remembered descriptor, and leaves none.
class DirectPortDriver : public ::testing::Test {
protected:
  void SetUp() override {
    DCE_ClosePort();
    ForgetLastSplit();
  }
  void TearDown() override {
    DCE_ClosePort();
    ForgetLastSplit();
  }
  std::string descriptor(const std::string& settings) const {
    return "\\\\.\\" + pty.SlaveName() + ",<" + settings + ">";
  }
  PtyPair pty;
};

TEST_F(DirectPortDriver, OpensTheDescriptorThePortStateBuilds) {
  ASSERT_TRUE(DCE_OpenPort(descriptor("baud=38400 flow=cts/rts parity=n data=8 stop=1")));
  ASSERT_TRUE(DCE_COMFILE_Open());
  TComPort* port = DirectComPort();
  EXPECT_EQ(port->Port(), "\\\\.\\" + pty.SlaveName());
  EXPECT_EQ(port->BaudRate(), br38400);
  EXPECT_EQ(port->FlowControl().FlowControl(), fcHardware);
  const auto line = pty.Settings();
  EXPECT_EQ(line.speed, 38400u);
  EXPECT_EQ(line.cflag & CRTSCTS, tcflag_t{CRTSCTS});
}

TEST_F(DirectPortDriver, APortNameAloneOpensAt9600WithoutFlowControl) {
  ASSERT_TRUE(DCE_OpenPort(pty.SlaveName()));
  EXPECT_EQ(DirectComPort()->BaudRate(), br9600);
  EXPECT_EQ(DirectComPort()->FlowControl().FlowControl(), fcNone);
  EXPECT_EQ(pty.Settings().speed, 9600u);
}

TEST_F(DirectPortDriver, BaudAndFlowComeFromTheirItems) {
  struct Row {
    const char* settings;
    TBaudRate baud;
    TFlowControl flow;
  };
  const Row rows[] = {
      {"baud=115200 flow=xon/xoff", br115200, fcSoftware},
      {"baud=1200", br9600, fcNone},
      {"baud=128000", br9600, fcNone},
      {"baud=38400x", br9600, fcNone},
      {"baud= flow=", br9600, fcNone},
      {"BAUD=19200 FLOW=xon/xoff", br19200, fcSoftware},  // names ignore case
      {"flow=XON/XOFF", br9600, fcNone},                  // values do not
      {"baud=2400 baud=4800", br2400, fcNone},            // the first item wins
      {"flow=none baud=56000", br56000, fcNone},
      {"baud=57600\nflow=cts/rts", br57600, fcHardware},
      {"speed=38400 flow", br9600, fcNone},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.settings);
    ASSERT_TRUE(DCE_OpenPort(descriptor(row.settings)));
    EXPECT_EQ(DirectComPort()->BaudRate(), row.baud);
    EXPECT_EQ(DirectComPort()->FlowControl().FlowControl(), row.flow);
    DCE_ClosePort();
  }
}

TEST_F(DirectPortDriver, ADescriptorWithAnEmptyPortPartFailsAndForgetsNothing) {
  ASSERT_TRUE(DCE_OpenPort(descriptor("baud=19200")));
  DCE_ClosePort();
  EXPECT_FALSE(DCE_OpenPort(",<baud=38400 flow=cts/rts>"));
  EXPECT_EQ(DirectComPort(), nullptr);
  std::string portPart, settingsPart;
  ASSERT_TRUE(GetLastSplit(portPart, settingsPart));
  EXPECT_EQ(portPart, "\\\\.\\" + pty.SlaveName());
  EXPECT_EQ(settingsPart, "baud=19200");
}

TEST_F(DirectPortDriver, AnEmptyDescriptorReopensTheRememberedPort) {
  EXPECT_FALSE(DCE_OpenPort(""));
  EXPECT_EQ(DirectComPort(), nullptr);
  ASSERT_TRUE(DCE_OpenPort(descriptor("baud=57600 flow=xon/xoff")));
  DCE_ClosePort();
  EXPECT_EQ(DirectComPort(), nullptr);
  ASSERT_TRUE(DCE_OpenPort(""));
  EXPECT_EQ(DirectComPort()->BaudRate(), br57600);
  EXPECT_EQ(DirectComPort()->FlowControl().FlowControl(), fcSoftware);
}

TEST_F(DirectPortDriver, APortThatCannotOpenLeavesNoComponent) {
  EXPECT_FALSE(DCE_OpenPort("\\\\.\\korvex-no-such-port,<baud=9600 flow=none>"));
  EXPECT_EQ(DirectComPort(), nullptr);
  EXPECT_FALSE(DCE_COMFILE_Open());
}

TEST_F(DirectPortDriver, TextsAreSentWholeOrReportedAsFailed) {
  EXPECT_FALSE(DCE_SendText("IN;"));  // no port
  ASSERT_TRUE(DCE_OpenPort(descriptor("baud=9600 flow=none")));
  EXPECT_FALSE(DCE_SendText(""));
  EXPECT_TRUE(DCE_SendText("IN;PU0,0;PD1,1;@"));
  EXPECT_EQ(pty.Read(16), "IN;PU0,0;PD1,1;@");
}

TEST_F(DirectPortDriver, AShortWriteIsAFailureAndThePortStaysOpen) {
  ASSERT_TRUE(DCE_OpenPort(descriptor("baud=9600 flow=xon/xoff")));
  DirectComPort()->Timeouts().SetWriteTotalMultiplier(0);
  DirectComPort()->Timeouts().SetWriteTotalConstant(100);
  pty.StopOutput(DirectComPort()->Handle());
  EXPECT_FALSE(DCE_SendText("PU0,0;"));
  EXPECT_TRUE(DCE_COMFILE_Open());
}

TEST_F(DirectPortDriver, AnUnpluggedPortFailsTheSendAndClosesQuietly) {
  ASSERT_TRUE(DCE_OpenPort(descriptor("baud=9600 flow=none")));
  pty.CloseMaster();
  EXPECT_FALSE(DCE_SendText("IN;"));
  EXPECT_NE(DirectComPort(), nullptr);
  DCE_ClosePort();  // its purge fails; swallowed
  EXPECT_EQ(DirectComPort(), nullptr);
}

TEST_F(DirectPortDriver, ClosingAfterASendKeepsItsTail) {
  ASSERT_TRUE(DCE_OpenPort(descriptor("baud=115200 flow=none")));
  const std::string job(8000, 'T');
  ASSERT_TRUE(DCE_SendText(job));
  DCE_ClosePort();
  EXPECT_EQ(pty.Read(job.size(), 500), job);
}

TEST_F(DirectPortDriver, WithNoPortCloseAndApplyDoNothing) {
  DCE_ClosePort();
  ApplyPortSettings();
  EXPECT_EQ(DirectComPort(), nullptr);
}

}  // namespace
