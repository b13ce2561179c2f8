#include "platform/comm.h"

#include "PtyPair.h"

#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace {

using std::chrono::steady_clock;

long long msSince(steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(steady_clock::now() - start).count();
}

class Handle {
public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
  HANDLE handle_;
};

DCB lineState(std::uint32_t baud, std::uint32_t flags = DCB::fBinary) {
  DCB dcb;
  dcb.BaudRate = baud;
  dcb.Flags = flags;
  dcb.ByteSize = 8;
  dcb.XonChar = 17;
  dcb.XoffChar = 19;
  return dcb;
}

std::string pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

// Output stopped by the far end: the master sends XOFF to a slave that honours it.
void stopOutput(PtyPair& pty, HANDLE port) {
  ASSERT_TRUE(SetCommState(port, lineState(9600, DCB::fBinary | DCB::fOutX)));
  pty.StopOutput(port);
}

struct Overlapped {
  Overlapped() { io.hEvent = CreateEvent(true, false); }
  ~Overlapped() { CloseHandle(io.hEvent); }
  OVERLAPPED io;
};

TEST(CommOpen, NamesResolveBelowDev) {
  PtyPair pty;
  const std::string name = pty.SlaveName();
  for (const std::string& spelling :
       {"\\\\.\\" + name, name, "/dev/" + name, "\\\\.\\\\\\.\\" + name, "\\\\.\\/dev/" + name}) {
    Handle port(CreateFile(spelling, false));
    EXPECT_TRUE(port.valid()) << spelling << " errno " << GetLastError();
  }
}

TEST(CommOpen, MissingOrNonTtyDevicesFail) {
  EXPECT_EQ(CreateFile("\\\\.\\korvex-no-such-port", true), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ENOENT);
  EXPECT_EQ(CreateFile("/dev/null", false), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ENOTTY);
}

TEST(CommOpen, SecondOpenIsBusyUntilTheFirstCloses) {
  PtyPair pty;
  const HANDLE first = CreateFile(pty.SlaveName(), true);
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateFile(pty.SlaveName(), false), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), EBUSY);
  ASSERT_TRUE(CloseHandle(first));
  // Root opens an exclusive tty anyway; everyone else needs the flag gone.
  const int look = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(look, 0);
  int exclusive = -1;
  EXPECT_EQ(ioctl(look, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  ::close(look);
  Handle again(CreateFile(pty.SlaveName(), false));
  EXPECT_TRUE(again.valid());
  EXPECT_FALSE(CloseHandle(first));
  EXPECT_EQ(GetLastError(), EBADF);
}

TEST(CommState, TheSlaveShowsTheLineSettings) {
  struct Row {
    const char* what;
    std::uint32_t baud, flags;
    std::uint8_t byteSize, parity, stopBits;
    tcflag_t cflagSet, iflagSet;
  };
  const std::uint32_t rtsHandshake = RTS_CONTROL_HANDSHAKE << DCB::RtsControlShift;
  // A pty always runs 8 bits without parity whatever it is told, so size and parity
  // enable are not in the table; the odd/mark/space and stop-bit choices still show.
  const Row rows[] = {
      {"8N1, no flow", 9600, DCB::fBinary, 8, NOPARITY, ONESTOPBIT, 0, 0},
      {"CTS output flow", 38400, DCB::fBinary | DCB::fOutxCtsFlow, 8, NOPARITY, ONESTOPBIT, CRTSCTS, 0},
      {"RTS handshake", 19200, DCB::fBinary | rtsHandshake, 8, NOPARITY, ONESTOPBIT, CRTSCTS, 0},
      {"XON/XOFF", 115200, DCB::fBinary | DCB::fOutX | DCB::fInX, 8, NOPARITY, ONESTOPBIT, 0, IXON | IXOFF},
      {"rate without a B constant", 56000, DCB::fBinary, 8, NOPARITY, ONESTOPBIT, 0, 0},
      {"7E2 with checking", 2400, DCB::fBinary | DCB::fParity, 7, EVENPARITY, TWOSTOPBITS, CSTOPB, INPCK},
      {"odd", 4800, DCB::fBinary, 8, ODDPARITY, ONESTOPBIT, PARODD, 0},
      {"mark", 14400, DCB::fBinary, 6, MARKPARITY, ONESTOPBIT, PARODD | CMSPAR, 0},
      {"space", 256000, DCB::fBinary, 5, SPACEPARITY, ONESTOPBIT, CMSPAR, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    PtyPair pty;
    Handle port(CreateFile(pty.SlaveName(), true));
    ASSERT_TRUE(port.valid());
    DCB dcb = lineState(row.baud, row.flags);
    dcb.ByteSize = row.byteSize;
    dcb.Parity = row.parity;
    dcb.StopBits = row.stopBits;
    ASSERT_TRUE(SetCommState(port.get(), dcb)) << GetLastError();
    const auto line = pty.Settings();
    EXPECT_EQ(line.speed, row.baud);
    EXPECT_EQ(line.inputSpeed, row.baud);
    EXPECT_EQ(line.cflag & (PARODD | CMSPAR | CSTOPB | CRTSCTS), row.cflagSet);
    EXPECT_EQ(line.iflag & (IXON | IXOFF | INPCK | IXANY), row.iflagSet);
    EXPECT_EQ(line.cflag & (CLOCAL | CREAD), tcflag_t{CLOCAL | CREAD});
    EXPECT_EQ(line.oflag & OPOST, 0u);
    EXPECT_EQ(line.iflag & (ICRNL | INLCR | IGNCR), 0u);
    EXPECT_EQ(line.lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(line.vstart, 17);
    EXPECT_EQ(line.vstop, 19);
  }
}

TEST(CommState, AStandardRateAfterACustomOneSetsBothSpeeds) {
  PtyPair pty;
  Handle port(CreateFile(pty.SlaveName(), true));
  ASSERT_TRUE(port.valid());
  ASSERT_TRUE(SetCommState(port.get(), lineState(56000)));
  ASSERT_TRUE(SetCommState(port.get(), lineState(9600)));
  EXPECT_EQ(pty.Settings().speed, 9600u);
  EXPECT_EQ(pty.Settings().inputSpeed, 9600u);
}

TEST(CommState, ReadBackKeepsTheFieldsWithoutATermiosCounterpart) {
  PtyPair pty;
  Handle port(CreateFile(pty.SlaveName(), true));
  ASSERT_TRUE(port.valid());
  DCB set = lineState(128000, DCB::fBinary | DCB::fOutxDsrFlow | DCB::fDsrSensitivity | DCB::fTXContinueOnXoff |
                                  DCB::fErrorChar | DCB::fNull | DCB::fAbortOnError | DCB::fInX |
                                  (DTR_CONTROL_HANDSHAKE << DCB::DtrControlShift) |
                                  (RTS_CONTROL_TOGGLE << DCB::RtsControlShift));
  set.XonLim = 1234;
  set.XoffLim = 321;
  set.XonChar = 0x11;
  set.XoffChar = 0x13;
  set.ErrorChar = '?';
  set.EofChar = 26;
  set.EvtChar = '\n';
  ASSERT_TRUE(SetCommState(port.get(), set));
  DCB got;
  got.DCBlength = 0;
  ASSERT_TRUE(GetCommState(port.get(), got));
  EXPECT_EQ(got.DCBlength, 28u);
  EXPECT_EQ(got.BaudRate, 128000u);
  EXPECT_EQ(got.Flags, set.Flags);
  EXPECT_EQ(got.XonLim, 1234);
  EXPECT_EQ(got.XoffLim, 321);
  EXPECT_EQ(got.ByteSize, 8);
  EXPECT_EQ(got.ErrorChar, '?');
  EXPECT_EQ(got.EofChar, 26);
  EXPECT_EQ(got.EvtChar, '\n');
}

TEST(CommState, UnsupportedSettingsAreRefusedAndChangeNothing) {
  PtyPair pty;
  Handle port(CreateFile(pty.SlaveName(), false));
  ASSERT_TRUE(port.valid());
  ASSERT_TRUE(SetCommState(port.get(), lineState(19200)));
  struct Row {
    const char* what;
    void (*spoil)(DCB&);
  };
  const Row rows[] = {
      {"1.5 stop bits", [](DCB& d) { d.StopBits = ONE5STOPBITS; }},
      {"4 data bits", [](DCB& d) { d.ByteSize = 4; }},
      {"9 data bits", [](DCB& d) { d.ByteSize = 9; }},
      {"parity 5", [](DCB& d) { d.Parity = 5; }},
      {"speed 0", [](DCB& d) { d.BaudRate = 0; }},
      {"XON equals XOFF", [](DCB& d) { d.Flags |= DCB::fOutX, d.XoffChar = d.XonChar; }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    DCB dcb = lineState(57600);
    row.spoil(dcb);
    EXPECT_FALSE(SetCommState(port.get(), dcb));
    EXPECT_EQ(GetLastError(), EINVAL);
    EXPECT_EQ(pty.Settings().speed, 19200u);
  }
}

TEST(CommWrite, EveryByteGoesOutUnchanged) {
  PtyPair pty;
  Handle port(CreateFile(pty.SlaveName(), false));
  ASSERT_TRUE(port.valid());
  std::string bytes;
  for (int round = 0; round < 4; ++round)
    for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
  std::uint32_t written = 0;
  ASSERT_TRUE(WriteFile(port.get(), bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written, nullptr));
  EXPECT_EQ(written, bytes.size());
  EXPECT_EQ(pty.Read(bytes.size()), bytes);
}

TEST(CommWrite, APlainWriteEndsShortWhenTheWriteTimeoutRunsOut) {
  PtyPair pty;
  Handle port(CreateFile(pty.SlaveName(), false));
  ASSERT_TRUE(port.valid());
  stopOutput(pty, port.get());
  ASSERT_TRUE(SetCommTimeouts(port.get(), {MAXDWORD, 0, 0, 3, 100}));
  const std::string bytes(100, 'x');
  std::uint32_t written = 99;
  const auto start = steady_clock::now();
  EXPECT_TRUE(WriteFile(port.get(), bytes.data(), 100, &written, nullptr));
  const auto elapsed = msSince(start);
  EXPECT_EQ(written, 0u);
  EXPECT_GE(elapsed, 390);  // 3 ms x 100 + 100 ms
  EXPECT_LT(elapsed, 1500);
}

TEST(CommWrite, AWriteToAMasterThatNeverReadsReturnsWhatFitted) {
  PtyPair pty;
  Handle port(CreateFile(pty.SlaveName(), false));
  ASSERT_TRUE(port.valid());
  ASSERT_TRUE(SetCommTimeouts(port.get(), {MAXDWORD, 0, 0, 0, 200}));
  const std::string bytes = pattern(64 * 1024);
  std::uint32_t written = 0;
  const auto start = steady_clock::now();
  EXPECT_TRUE(WriteFile(port.get(), bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written, nullptr));
  EXPECT_GE(msSince(start), 195);
  EXPECT_GT(written, 0u);
  EXPECT_LT(written, bytes.size());
  EXPECT_EQ(pty.Read(written), bytes.substr(0, written));
}

TEST(CommWrite, AnOverlappedWritePendsUntilTheMasterReads) {
  PtyPair pty;
  Handle port(CreateFile(pty.SlaveName(), true));
  ASSERT_TRUE(port.valid());
  const std::string bytes = pattern(40 * 1024);
  Overlapped request;
  std::uint32_t written = 0;
  ASSERT_FALSE(WriteFile(port.get(), bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written, &request.io));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  EXPECT_EQ(WaitForSingleObject(request.io.hEvent, 100), WAIT_TIMEOUT);
  std::uint32_t transferred = 0;
  EXPECT_FALSE(GetOverlappedResult(port.get(), request.io, transferred, false));
  EXPECT_EQ(GetLastError(), ERROR_IO_INCOMPLETE);

  EXPECT_EQ(pty.Read(bytes.size()), bytes);
  EXPECT_EQ(WaitForSingleObject(request.io.hEvent, 2000), WAIT_OBJECT_0);
  ASSERT_TRUE(GetOverlappedResult(port.get(), request.io, transferred, false));
  EXPECT_EQ(transferred, bytes.size());
}

TEST(CommWrite, AnOverlappedWriteCompletesShortAtItsDeadline) {
  PtyPair pty;
  Handle port(CreateFile(pty.SlaveName(), true));
  ASSERT_TRUE(port.valid());
  stopOutput(pty, port.get());
  ASSERT_TRUE(SetCommTimeouts(port.get(), {MAXDWORD, 0, 0, 2, 100}));
  Overlapped request;
  const auto start = steady_clock::now();
  ASSERT_FALSE(WriteFile(port.get(), "0123456789", 10, nullptr, &request.io));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  std::uint32_t transferred = 1;
  ASSERT_TRUE(GetOverlappedResult(port.get(), request.io, transferred, true));
  EXPECT_EQ(transferred, 0u);
  EXPECT_GE(msSince(start), 115);
  EXPECT_LT(msSince(start), 1500);
}

TEST(CommPurge, TxAbortEndsAPendingWriteWithWhatWentOut) {
  PtyPair pty;
  Handle port(CreateFile(pty.SlaveName(), true));
  ASSERT_TRUE(port.valid());
  const std::string bytes = pattern(64 * 1024);
  Overlapped request;
  ASSERT_FALSE(WriteFile(port.get(), bytes.data(), static_cast<std::uint32_t>(bytes.size()), nullptr, &request.io));
  ASSERT_TRUE(PurgeComm(port.get(), PURGE_TXABORT | PURGE_RXABORT));
  EXPECT_EQ(WaitForSingleObject(request.io.hEvent, 1000), WAIT_OBJECT_0);
  std::uint32_t transferred = 0;
  EXPECT_FALSE(GetOverlappedResult(port.get(), request.io, transferred, false));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
  EXPECT_GT(transferred, 0u);
  EXPECT_LT(transferred, bytes.size());
  EXPECT_EQ(pty.Read(bytes.size(), 200), bytes.substr(0, transferred));
}

TEST(CommPurge, RxClearEmptiesTheReceiveQueue) {
  PtyPair pty;
  Handle port(CreateFile(pty.SlaveName(), false));
  ASSERT_TRUE(port.valid());
  pty.Write("0123456789");
  COMSTAT stat;
  for (int i = 0; i < 2000 && stat.cbInQue < 10; ++i) {  // up to 10 s: the input arrives when it does
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(ClearCommError(port.get(), nullptr, &stat));
  }
  EXPECT_EQ(stat.cbInQue, 10u);
  ASSERT_TRUE(PurgeComm(port.get(), PURGE_TXCLEAR | PURGE_RXCLEAR));
  std::uint32_t errors = 99;
  ASSERT_TRUE(ClearCommError(port.get(), &errors, &stat));
  EXPECT_EQ(stat.cbInQue, 0u);
  EXPECT_EQ(errors, 0u);
  EXPECT_FALSE(PurgeComm(port.get(), 0x10));
  EXPECT_EQ(GetLastError(), EINVAL);
}

TEST(CommPurge, TxClearDiscardsWhatTheKernelStillHolds) {
  // A cancelled job must stop at the bytes already on the wire. On a pty the kernel's
  // queue is what the far end has not read yet, except what its own line discipline has
  // taken in already (at most 4 KB), which stands for the wire here.
  PtyPair pty;
  Handle port(CreateFile(pty.SlaveName(), true));
  ASSERT_TRUE(port.valid());
  const std::string bytes = pattern(6000);
  std::uint32_t written = 0;
  ASSERT_TRUE(WriteFile(port.get(), bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written, nullptr));
  ASSERT_EQ(written, bytes.size());
  ASSERT_TRUE(PurgeComm(port.get(), PURGE_TXABORT | PURGE_TXCLEAR));
  const std::string received = pty.Read(bytes.size(), 200);
  EXPECT_LE(received.size(), 4096u);
  EXPECT_EQ(received, bytes.substr(0, received.size()));
}

TEST(CommEvents, ManualEventsStaySetAndAutoEventsResetOnTheirWait) {
  Handle manual(CreateEvent(true, true)), automatic(CreateEvent(false, false));
  EXPECT_EQ(WaitForSingleObject(manual.get(), 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(manual.get(), 0), WAIT_OBJECT_0);
  ASSERT_TRUE(ResetEvent(manual.get()));
  const HANDLE both[] = {manual.get(), automatic.get()};
  const auto start = steady_clock::now();
  EXPECT_EQ(WaitForMultipleObjects(both, 80), WAIT_TIMEOUT);
  EXPECT_GE(msSince(start), 79);

  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    SetEvent(automatic.get());
  });
  EXPECT_EQ(WaitForMultipleObjects(both, 2000), WAIT_OBJECT_0 + 1);
  setter.join();
  EXPECT_EQ(WaitForSingleObject(automatic.get(), 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(INVALID_HANDLE_VALUE, 0), WAIT_FAILED);
}

TEST(CommEvents, ReceivedCharactersAndTransmitEmptyEndTheWait) {
  PtyPair pty;
  Handle port(CreateFile(pty.SlaveName(), true));
  ASSERT_TRUE(port.valid());
  ASSERT_TRUE(SetCommMask(port.get(), EV_RXCHAR | EV_TXEMPTY | EV_CTS | EV_ERR));
  Overlapped wait;
  std::uint32_t mask = 0;
  ASSERT_FALSE(WaitCommEvent(port.get(), mask, wait.io));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  EXPECT_EQ(WaitForSingleObject(wait.io.hEvent, 50), WAIT_TIMEOUT);
  pty.Write("abc");
  ASSERT_EQ(WaitForSingleObject(wait.io.hEvent, 2000), WAIT_OBJECT_0);
  std::uint32_t unused = 0;
  ASSERT_TRUE(GetOverlappedResult(port.get(), wait.io, unused, false));
  EXPECT_EQ(wait.io.EventMask, EV_RXCHAR);

  // Unread input alone is no new event; the write's transmit-empty is kept until asked for.
  std::uint32_t written = 0;
  ASSERT_TRUE(WriteFile(port.get(), "xyz", 3, &written, nullptr));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(WaitCommEvent(port.get(), mask, wait.io));
  EXPECT_EQ(mask, EV_TXEMPTY);

  ASSERT_FALSE(WaitCommEvent(port.get(), mask, wait.io));
  ASSERT_TRUE(SetCommMask(port.get(), 0));
  ASSERT_EQ(WaitForSingleObject(wait.io.hEvent, 1000), WAIT_OBJECT_0);
  ASSERT_TRUE(GetOverlappedResult(port.get(), wait.io, unused, false));
  EXPECT_EQ(wait.io.EventMask, 0u);
  EXPECT_FALSE(WaitCommEvent(port.get(), mask, wait.io));
  EXPECT_EQ(GetLastError(), EINVAL);
}

TEST(CommModem, APtyReadsAsAllLinesOff) {
  PtyPair pty;
  Handle port(CreateFile(pty.SlaveName(), false));
  ASSERT_TRUE(port.valid());
  std::uint32_t status = 0xFF;
  ASSERT_TRUE(GetCommModemStatus(port.get(), status));
  EXPECT_EQ(status, 0u);
}

TEST(CommHangup, WritesFailPromptlyWhenTheDeviceGoesAway) {
  PtyPair pty;
  Handle port(CreateFile(pty.SlaveName(), true));
  ASSERT_TRUE(port.valid());
  ASSERT_TRUE(SetCommTimeouts(port.get(), {MAXDWORD, 0, 0, 0, 0}));  // no write limit at all
  const std::string bytes = pattern(64 * 1024);
  Overlapped request;
  ASSERT_FALSE(WriteFile(port.get(), bytes.data(), static_cast<std::uint32_t>(bytes.size()), nullptr, &request.io));
  pty.CloseMaster();
  const auto start = steady_clock::now();
  ASSERT_EQ(WaitForSingleObject(request.io.hEvent, 2000), WAIT_OBJECT_0);
  std::uint32_t transferred = 0;
  EXPECT_FALSE(GetOverlappedResult(port.get(), request.io, transferred, false));
  EXPECT_EQ(GetLastError(), EIO);
  std::uint32_t written = 0;
  EXPECT_FALSE(WriteFile(port.get(), "x", 1, &written, nullptr));
  EXPECT_EQ(GetLastError(), EIO);
  EXPECT_FALSE(WriteFile(port.get(), "x", 1, &written, &request.io));
  EXPECT_EQ(GetLastError(), EIO);
  EXPECT_FALSE(PurgeComm(port.get(), PURGE_TXABORT | PURGE_RXABORT));
  EXPECT_FALSE(ClearCommError(port.get(), nullptr, nullptr));
  EXPECT_LT(msSince(start), 1000);
}

TEST(CommRead, TheReadTimeoutsDecideWhenAReadReturns) {
  PtyPair pty;
  Handle port(CreateFile(pty.SlaveName(), false));
  ASSERT_TRUE(port.valid());
  char buffer[16];
  std::uint32_t read = 99;
  auto readNow = [&](COMMTIMEOUTS timeouts, std::uint32_t count) {
    EXPECT_TRUE(SetCommTimeouts(port.get(), timeouts));
    read = 99;
    EXPECT_TRUE(ReadFile(port.get(), buffer, count, &read));
    return std::string(buffer, read);
  };
  // What is there, at once, or nothing.
  EXPECT_EQ(readNow({MAXDWORD, 0, 0, 0, 0}, 16), "");
  pty.Write("12\r");
  const auto sent = steady_clock::now();
  while (readNow({MAXDWORD, 0, 0, 0, 0}, 16).empty() && msSince(sent) < 2000) {
  }
  EXPECT_EQ(std::string(buffer, read), "12\r");
  // The first bytes, or none once the constant has passed.
  auto start = steady_clock::now();
  EXPECT_EQ(readNow({MAXDWORD, MAXDWORD, 150, 0, 0}, 16), "");
  EXPECT_GE(msSince(start), 150);
  pty.Write("7");
  EXPECT_EQ(readNow({MAXDWORD, MAXDWORD, 60000, 0, 0}, 16), "7");
  // A total timeout ends a read that got fewer bytes than asked, and so does a pause
  // between bytes.
  pty.Write("abc");
  start = steady_clock::now();
  EXPECT_EQ(readNow({0, 0, 150, 0, 0}, 5), "abc");
  EXPECT_GE(msSince(start), 150);
  pty.Write("xy");
  EXPECT_EQ(readNow({50, 0, 0, 0, 0}, 5), "xy");
  // A device that went away fails.
  pty.CloseMaster();
  EXPECT_FALSE(ReadFile(port.get(), buffer, 1, &read));
  EXPECT_EQ(GetLastError(), EIO);
}

}  // namespace
