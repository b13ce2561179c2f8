#include "transmission/CPort.h"

#include "platform/MainThread.h"
#include "PtyPair.h"
#include "ScriptedQueuePort.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <termios.h>
#include <thread>

namespace {

using std::chrono::steady_clock;

long long msSince(steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(steady_clock::now() - start).count();
}

std::size_t openDescriptors() {
  const std::filesystem::directory_iterator fds("/proc/self/fd");
  return static_cast<std::size_t>(std::distance(begin(fds), end(fds)));
}

DCB lineState(const TComPort& port) {
  DCB dcb;
  EXPECT_TRUE(GetCommState(port.Handle(), dcb));
  return dcb;
}

void expectComError(const std::function<void()>& action, int code, int osCode, const std::string& message) {
  try {
    action();
    ADD_FAILURE() << "no EComPort for " << message;
  } catch (const EComPort& error) {
    EXPECT_EQ(error.ComErrorCode(), code);
    EXPECT_EQ(error.OsErrorCode(), osCode);
    EXPECT_EQ(std::string(error.what()), message);
  }
}

TEST(EComPort, TheMessageCarriesThePlatformCodeOnlyWhenThereIsOne) {
  struct Row {
    int code, osCode;
    const char* message;
    int storedOsCode;
  };
  const Row rows[] = {
      {cerOpenPort, 2, "Unable to open com port (Error: 2)", 2},
      {cerPortNotOpen, 0, "Port Not Open", -1},
      {cerPurgeComm, -1, "PurgeComm function failed", -1},
      {cerSetCommTimeouts, 22, "SetCommTimeouts failed (Error: 22)", 22},
      {cerRxBufLink, 0, "A component is linked to OnRxBuf event", -1},
  };
  for (const Row& row : rows) {
    const EComPort error(row.code, row.osCode);
    EXPECT_EQ(std::string(error.what()), row.message);
    EXPECT_EQ(error.OsErrorCode(), row.storedOsCode);
    EXPECT_EQ(error.ComErrorCode(), row.code);
  }
  EXPECT_EQ(ComErrorText(0), "");
  EXPECT_EQ(ComErrorText(25), "");
}

TEST(ComPort, ANewComponentHasItsDefaults) {
  TComPort port;
  EXPECT_EQ(port.Port(), "COM1");
  EXPECT_EQ(port.BaudRate(), br9600);
  EXPECT_EQ(port.DataBits(), dbEight);
  EXPECT_EQ(port.StopBits(), sbOneStopBit);
  EXPECT_EQ(port.Parity().Bits(), prNone);
  EXPECT_EQ(port.FlowControl().FlowControl(), fcNone);
  EXPECT_EQ(port.FlowControl().ControlDTR(), dtrDisable);
  EXPECT_EQ(port.FlowControl().ControlRTS(), rtsDisable);
  EXPECT_EQ(port.Buffer().InputSize(), 1024);
  EXPECT_EQ(port.Buffer().OutputSize(), 1024);
  EXPECT_EQ(port.Timeouts().ReadInterval(), -1);
  EXPECT_EQ(port.Timeouts().WriteTotalMultiplier(), 100);
  EXPECT_EQ(port.Timeouts().WriteTotalConstant(), 1000);
  EXPECT_EQ(port.Events().count(), 10u);
  EXPECT_FALSE(port.Connected());
}

TEST(ComPort, TheFlowControlShorthandWritesAndReadsTheFields) {
  TComPort port;
  TComFlowControl& flow = port.FlowControl();
  flow.SetControlDTR(dtrEnable);
  flow.SetTxContinueOnXoff(true);
  flow.SetFlowControl(fcHardware);
  EXPECT_EQ(flow.ControlRTS(), rtsHandshake);
  EXPECT_TRUE(flow.OutCTSFlow());
  EXPECT_EQ(flow.FlowControl(), fcHardware);
  flow.SetFlowControl(fcSoftware);
  EXPECT_TRUE(flow.XonXoffIn() && flow.XonXoffOut());
  EXPECT_FALSE(flow.OutCTSFlow());
  EXPECT_EQ(flow.FlowControl(), fcSoftware);
  flow.SetFlowControl(fcCustom);
  EXPECT_EQ(flow.FlowControl(), fcSoftware);  // fcCustom changes no field
  EXPECT_EQ(flow.ControlDTR(), dtrEnable);    // never touched by the shorthand
  EXPECT_TRUE(flow.TxContinueOnXoff());
  flow.SetFlowControl(fcNone);
  EXPECT_EQ(flow.FlowControl(), fcNone);
  flow.SetOutCTSFlow(true);  // CTS flow without the RTS handshake is no shorthand
  EXPECT_EQ(flow.FlowControl(), fcCustom);
  flow.SetFlowControl(fcHardware);
  flow.SetXonXoffOut(true);
  EXPECT_EQ(flow.FlowControl(), fcCustom);
}

TEST(ComPort, OddQueueSizesAreRoundedDown) {
  TComPort port;
  const std::pair<int, int> rows[] = {{1025, 1024}, {7, 6}, {1, 0}, {2048, 2048}, {0, 0}};
  for (const auto& [set, stored] : rows) {
    port.Buffer().SetInputSize(set);
    port.Buffer().SetOutputSize(set);
    EXPECT_EQ(port.Buffer().InputSize(), stored) << set;
    EXPECT_EQ(port.Buffer().OutputSize(), stored) << set;
  }
}

TEST(ComPort, EachFlowSettingReachesTheLineWithItsFlagWord) {
  struct Row {
    TFlowControl flow;
    std::uint32_t flags;
    tcflag_t cflag, iflag;
  };
  const Row rows[] = {{fcNone, 0x0001, 0, 0}, {fcHardware, 0x2005, CRTSCTS, 0}, {fcSoftware, 0x0301, 0, IXON | IXOFF}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.flags);
    PtyPair pty;
    TComPort port;
    port.SetPort(pty.SlaveName());
    port.FlowControl().SetFlowControl(row.flow);
    port.OpenPort();
    ASSERT_TRUE(port.Connected());
    const DCB dcb = lineState(port);
    EXPECT_EQ(dcb.Flags, row.flags);
    EXPECT_EQ(dcb.XonLim, 256);
    EXPECT_EQ(dcb.XoffLim, 256);
    EXPECT_EQ(dcb.XonChar, 17);
    EXPECT_EQ(dcb.XoffChar, 19);
    const auto line = pty.Settings();
    EXPECT_EQ(line.speed, 9600u);
    EXPECT_EQ(line.cflag & CRTSCTS, row.cflag);
    EXPECT_EQ(line.iflag & (IXON | IXOFF), row.iflag);
    EXPECT_EQ(line.oflag & OPOST, 0u);
  }
}

TEST(ComPort, EachBaudRateReachesTheLine) {
  const std::pair<TBaudRate, std::uint32_t> rows[] = {
      {br110, 110},       {br300, 300},       {br600, 600},       {br1200, 1200},     {br2400, 2400},
      {br4800, 4800},     {br9600, 9600},     {br14400, 14400},   {br19200, 19200},   {br38400, 38400},
      {br56000, 56000},   {br57600, 57600},   {br115200, 115200}, {br128000, 128000}, {br256000, 256000},
      {brCustom, 31250},
  };
  PtyPair pty;
  TComPort port;
  port.SetPort(pty.SlaveName());
  port.SetCustomBaudRate(31250);
  port.OpenPort();
  for (const auto& [rate, baud] : rows) {
    port.SetBaudRate(rate);
    EXPECT_EQ(pty.Settings().speed, baud);
  }
}

TEST(ComPort, ThePortNameIsOpenedBehindTheDevicePrefix) {
  PtyPair pty;
  for (const std::string& name : {pty.SlaveName(), "\\\\.\\" + pty.SlaveName()}) {
    TComPort port;
    port.SetPort(name);
    port.OpenPort();
    EXPECT_TRUE(port.Connected()) << name;
  }
}

TEST(ComPort, OpenFailuresRaiseWithThePlatformCode) {
  PtyPair pty;
  TComPort holder;
  holder.SetPort(pty.SlaveName());
  holder.OpenPort();
  TComPort port;
  port.SetPort(pty.SlaveName());
  expectComError([&] { port.OpenPort(); }, cerOpenPort, EBUSY, "Unable to open com port (Error: 16)");
  port.SetPort("korvex-no-such-port");
  expectComError([&] { port.OpenPort(); }, cerOpenPort, ENOENT, "Unable to open com port (Error: 2)");
  EXPECT_FALSE(port.Connected());
}

TEST(ComPort, SettingsTheLineRefusesLeaveThePortClosedAndFree) {
  PtyPair pty;
  TComPort port;
  port.SetPort(pty.SlaveName());
  port.SetStopBits(sbOne5StopBits);
  expectComError([&] { port.OpenPort(); }, cerSetCommState, EINVAL, "SetCommState function failed (Error: 22)");
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(port.Handle(), INVALID_HANDLE_VALUE);
  port.SetStopBits(sbOneStopBit);
  port.OpenPort();
  EXPECT_TRUE(port.Connected());
}

TEST(ComPort, ChangesReachAnOpenLineUnlessAnUpdateIsPending) {
  PtyPair pty;
  TComPort port;
  port.SetPort(pty.SlaveName());
  port.OpenPort();
  port.SetBaudRate(br38400);
  EXPECT_EQ(pty.Settings().speed, 38400u);
  port.BeginSettingsUpdate();
  port.SetBaudRate(br57600);
  port.FlowControl().SetFlowControl(fcHardware);
  EXPECT_EQ(pty.Settings().speed, 38400u);
  port.EndSettingsUpdate();
  EXPECT_EQ(pty.Settings().speed, 57600u);
  EXPECT_EQ(pty.Settings().cflag & CRTSCTS, tcflag_t{CRTSCTS});
}

TEST(ComPort, WritesOnAClosedComponentRaisePortNotOpen) {
  TComPort port;
  EXPECT_EQ(port.WriteText(""), 0);
  expectComError([&] { port.WriteText("IN;"); }, cerPortNotOpen, -1, "Port Not Open");
  expectComError([&] { port.WriteBuffer("IN;", 3); }, cerPortNotOpen, -1, "Port Not Open");
}

TEST(ComPort, WrittenBytesReachTheLineUnchanged) {
  PtyPair pty;
  TComPort port;
  port.SetPort(pty.SlaveName());
  port.OpenPort();
  const std::string job = "IN;PU0,0;PD1,1;\r\nPU4000,4000;\x11\x13@";
  EXPECT_EQ(port.WriteText(job), static_cast<std::int32_t>(job.size()));
  EXPECT_EQ(port.WriteBuffer(job.data(), 5), 5);
  EXPECT_EQ(port.WriteBuffer(nullptr, 5), 0);
  EXPECT_EQ(pty.Read(job.size() + 5), job + job.substr(0, 5));
}

TEST(ComPort, AReadReturnsWhatCameOrNothingOnceItsTimeIsUp) {
  TComPort closed;
  char buffer[16];
  expectComError([&] { closed.ReadBuffer(buffer, 16, 100); }, cerPortNotOpen, -1, "Port Not Open");
  PtyPair pty;
  TComPort port;
  port.SetPort(pty.SlaveName());
  port.Timeouts().SetReadTotalConstant(7);
  port.OpenPort();
  pty.Write("1024\r");
  EXPECT_EQ(port.ReadBuffer(buffer, 16, 60000), 5);
  EXPECT_EQ(std::string(buffer, 5), "1024\r");
  // Nothing came: 0 when the time is up, asking in between whether to go on.
  int asked = 0;
  EXPECT_EQ(port.ReadBuffer(buffer, 16, 120, [&] { return ++asked > 0; }), 0);
  EXPECT_GE(asked, 1);
  // An answer of false ends the wait at once.
  asked = 0;
  EXPECT_EQ(port.ReadBuffer(buffer, 16, 60000, [&] { return ++asked < 3; }), 0);
  EXPECT_EQ(asked, 3);
  COMMTIMEOUTS timeouts;
  ASSERT_TRUE(GetCommTimeouts(port.Handle(), timeouts));
  EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 7u);  // the component's own are put back
  pty.CloseMaster();
  EXPECT_THROW(port.ReadBuffer(buffer, 16, 100), EComPort);
}

TEST(ComPort, AWriteToAStoppedLineReturnsShortAfterTheWriteTimeout) {
  PtyPair pty;
  TComPort port;
  port.SetPort(pty.SlaveName());
  port.FlowControl().SetFlowControl(fcSoftware);
  port.Timeouts().SetWriteTotalMultiplier(2);
  port.Timeouts().SetWriteTotalConstant(100);
  port.OpenPort();
  pty.StopOutput(port.Handle());
  const std::string block(100, 'P');
  const auto start = steady_clock::now();
  EXPECT_EQ(port.WriteBuffer(block.data(), 100), 0);
  EXPECT_GE(msSince(start), 290);  // 2 ms x 100 + 100 ms
  EXPECT_LT(msSince(start), 1500);
}

TEST(ComPort, ReceivedCharactersAreDispatchedOnTheMainThread) {
  PtyPair pty;
  TComPort port;
  port.SetPort(pty.SlaveName());
  std::uint32_t received = 0;
  std::thread::id ranOn;
  port.OnRxChar = [&](TCustomComPort& sender, std::uint32_t count) {
    EXPECT_EQ(&sender, &port);
    received = count;
    ranOn = std::this_thread::get_id();
  };
  port.OpenPort();
  pty.Write("abc");
  const auto start = steady_clock::now();
  while (received == 0 && msSince(start) < 3000) {
    DrainMainThreadQueue();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(received, 3u);
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(ComPort, ClosingWhileTheEventThreadWaitsForItsHandOverDoesNotDeadlock) {
  PtyPair pty;
  TComPort port;
  port.SetPort(pty.SlaveName());
  int dispatched = 0;
  port.OnRxChar = [&](TCustomComPort&, std::uint32_t) { ++dispatched; };
  std::atomic<bool> handedOver = false;
  SetMainThreadWakeup([&] { handedOver = true; });
  port.OpenPort();
  std::atomic<bool> writing = true;
  std::thread sender([&] {
    while (writing) {
      pty.Write("x");
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  for (const auto posted = steady_clock::now(); !handedOver && msSince(posted) < 3000;) std::this_thread::yield();
  EXPECT_TRUE(handedOver);
  const auto start = steady_clock::now();
  port.ClosePort();  // nothing drains the queue here but the close itself
  EXPECT_LT(msSince(start), 2000);
  writing = false;
  sender.join();
  SetMainThreadWakeup(nullptr);
  EXPECT_FALSE(port.Connected());
  EXPECT_GE(dispatched, 1);
}

TEST(ComPort, ACloseWhosePurgeFailsStillReleasesTheDevice) {
  PtyPair pty;
  const std::size_t before = openDescriptors();
  {
    TComPort port;
    port.SetPort(pty.SlaveName());
    port.OpenPort();
    pty.CloseMaster();
    expectComError([&] { port.ClosePort(); }, cerPurgeComm, EIO, "PurgeComm function failed (Error: 5)");
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.Handle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(openDescriptors(), before - 1);  // only the master went
    port.ClosePort();                           // closed: nothing to meet again
  }
  EXPECT_EQ(openDescriptors(), before - 1);
}

TEST(ComPort, AnUnpluggedDeviceFailsWritesPromptly) {
  PtyPair pty;
  TComPort port;
  port.SetPort(pty.SlaveName());
  port.OpenPort();
  pty.CloseMaster();
  const std::string job(4000, 'J');  // 401 s of write timeout
  const auto start = steady_clock::now();
  expectComError([&] { port.WriteText(job); }, cerWriteFile, EIO, "WriteFile function failed (Error: 5)");
  EXPECT_LT(msSince(start), 1000);
  EXPECT_TRUE(port.Connected());
}

TEST(ComPort, AWriteTheDeviceFailsPartWayCountsWhatTheDriverTookAndTheNextWriteRaises) {
  PtyPair pty;
  TComPort port;
  port.SetPort(pty.SlaveName());
  port.OpenPort();
  const std::string job(1 << 20, 'J');  // more than the line holds, so the write waits
  bool unplugged = false;
  const std::int32_t written = port.WriteBuffer(job.data(), static_cast<std::int32_t>(job.size()), [&] {
    if (!unplugged) pty.CloseMaster();
    unplugged = true;
    return true;
  });
  EXPECT_TRUE(unplugged);
  EXPECT_GT(written, 0);
  EXPECT_LT(written, static_cast<std::int32_t>(job.size()));
  expectComError([&] { port.WriteText("PU;"); }, cerWriteFile, EIO, "WriteFile function failed (Error: 5)");
}

TEST(ComPort, WithoutEventsNoThreadRunsAndTheLineStillWorks) {
  PtyPair pty;
  TComPort port;
  port.SetPort(pty.SlaveName());
  port.SetEvents(TComEvents());
  bool dispatched = false;
  port.OnRxChar = [&](TCustomComPort&, std::uint32_t) { dispatched = true; };
  port.OpenPort();
  pty.Write("abc");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(DrainMainThreadQueue(), 0u);
  EXPECT_FALSE(dispatched);
  EXPECT_EQ(port.WriteText("PU;"), 3);
  EXPECT_EQ(pty.Read(3), "PU;");
}

TEST(ComPortDrain, StopsAtOnceWhenTheCallerSaysSo) {
  PtyPair pty;
  TScriptedQueuePort port;
  port.SetPort(pty.SlaveName());
  port.OpenPort();
  port.Queue = [](int) { return 5000u; };
  const auto start = steady_clock::now();
  EXPECT_EQ(port.DrainTransmitQueue([](std::uint32_t) { return false; }), TDrainResult::Interrupted);
  EXPECT_LT(msSince(start), 100);
  port.Queue = [](int) { return 0u; };
}

}  // namespace
