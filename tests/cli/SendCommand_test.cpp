#include "cli/SendCommand.h"
#include "transmission/DirectSend.h"

#include "PtyDrainer.h"
#include "ScriptedQueuePort.h"
#include "transmission/DirectPortDriver.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sstream>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace {

struct CliRun {
  int code;
  std::string err;
};

CliRun send(const std::vector<std::string>& args) {
  std::istringstream in;
  std::ostringstream out, err;
  const int code = RunSendCommand(args, in, out, err);
  return {code, err.str()};
}

class SendCommandTest : public ::testing::Test {
protected:
  void SetUp() override {
    job = "IN;\r\n";
    for (int i = 0; i < 3000; ++i) job += "PD" + std::to_string(i) + "," + std::to_string(i * 3) + ";\r\n";
    for (int b = 0; b < 256; ++b) job.push_back(static_cast<char>(b));  // sent as they are
    std::ofstream(file, std::ios::binary) << job;
  }
  void TearDown() override {
    std::filesystem::remove(file);
    DirectPortFactory() = [] { return std::make_unique<TComPort>(); };
  }
  // The port's queue reports the script from the moment the job has been written.
  void scriptTheTail(std::function<std::uint32_t()> queue) {
    DirectPortFactory() = [queue] {
      auto port = std::make_unique<TScriptedQueuePort>();
      TScriptedQueuePort* raw = port.get();
      port->Queue = [raw, queue](int) { return raw->Connected() ? queue() : 0u; };
      return port;
    };
  }

  PtyPair pty;
  std::string job;
  // ctest runs each case in a process of its own, side by side: one file each.
  std::string file =
      (std::filesystem::temp_directory_path() / ("korvex-cli-send-" + std::to_string(getpid()) + ".plt")).string();
};

}  // namespace

TEST_F(SendCommandTest, SendsTheFileUnchangedAndLogsToStandardError) {
  for (const char* txBuffer : {"0", "200"}) {
    PtyDrainer cutter(pty);
    const CliRun run = send({file, "--port", pty.SlaveName(), "--baud", "115200", "--flow", "none", "--tx-buffer", txBuffer});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(cutter.WaitFor(job.size()), job);
    EXPECT_NE(run.err.find("\tPort Opened\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\tSendRes\tTrue\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("baud=115200 flow=none"), std::string::npos);
    // No handshake and no pacing: the send says what a slow cutter may do with that.
    EXPECT_NE(run.err.find("\tWarning\t" + UnguardedSendWarning(fmNone, TPaceMode::None) + "\n"), std::string::npos);
    EXPECT_FALSE(DCE_COMFILE_Open());  // closed once the job went out
  }
  PtyDrainer cutter(pty);
  const CliRun guarded = send({file, "--port", pty.SlaveName(), "--flow", "xon/xoff"});
  EXPECT_EQ(guarded.code, 0) << guarded.err;
  EXPECT_EQ(guarded.err.find("Warning"), std::string::npos) << guarded.err;
}

TEST_F(SendCommandTest, BadArgumentsAndUnreadableFilesExitWithTwo) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {file},
      {file, "--port"},
      {file, "--port", "ttyUSB0", "--baud", "fast"},
      {file, "--port", "ttyUSB0", "--baud", "1200"},
      {file, "--port", "ttyUSB0", "--flow", "rts"},
      {file, "--port", "ttyUSB0", "--tx-buffer", "-1"},
      {file, "extra", "--port", "ttyUSB0"},
      {"/nonexistent.plt", "--port", "ttyUSB0"},
      {"/tmp", "--port", "ttyUSB0"},
  };
  for (const auto& args : bad) EXPECT_EQ(send(args).code, 2) << (args.empty() ? "" : args.back());
  std::ofstream(file, std::ios::trunc);
  const CliRun empty = send({file, "--port", pty.SlaveName()});
  EXPECT_EQ(empty.code, 2);
  EXPECT_NE(empty.err.find("is empty: nothing to send"), std::string::npos) << empty.err;
}

TEST_F(SendCommandTest, ATailThatDoesNotDrainInTimeIsAFailureAndSaysSo) {
  PtyDrainer cutter(pty);
  // Stuck, and the purge cannot empty it either (as on cdc-acm): without flow control it
  // is given up at the bound its line time sets (5000 bytes at 115200 baud: 1.37 s).
  scriptTheTail([] { return 5000u; });
  const auto start = std::chrono::steady_clock::now();
  const CliRun run = send({file, "--port", pty.SlaveName(), "--baud", "115200", "--flow", "none"});
  EXPECT_EQ(run.code, 1);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1350));
  const std::string total = std::to_string(job.size()), sent = std::to_string(job.size() - 5000);
  for (const std::string& line :
       {std::string("\tSendRes\tFalse\n"), std::string("\tDrain\tThe port stopped sending the end of the job\n"),
        std::string("\tPurge\tThe port would not discard 5000 bytes; they may still go out\n"),
        "\tSent\t" + sent + " of " + total + " bytes\n"})
    EXPECT_NE(run.err.find(line), std::string::npos) << line << run.err;
  EXPECT_EQ(run.err.find("\tSendRes\tTrue"), std::string::npos) << run.err;
}

TEST_F(SendCommandTest, InterruptDuringTheDrainExitsAt130AtOnce) {
  PtyDrainer cutter(pty);
  std::atomic<bool> draining = false;
  std::chrono::steady_clock::time_point drainStart;
  scriptTheTail([&] {
    if (!draining) drainStart = std::chrono::steady_clock::now();
    draining = true;
    return 5000u;
  });
  std::thread interrupt([&] {
    while (!draining) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    kill(getpid(), SIGINT);
  });
  const CliRun run = send({file, "--port", pty.SlaveName(), "--baud", "115200", "--flow", "none"});
  interrupt.join();
  EXPECT_EQ(run.code, 130);  // the drain would have given up with 1 after a second
  EXPECT_LT(std::chrono::steady_clock::now() - drainStart, std::chrono::milliseconds(900));
}

// A device that refuses the open as the system would for a reason a pty cannot give.
class TRefusingPort : public TComPort {
public:
  explicit TRefusingPort(int error) : Error(error) {}

protected:
  void OpenDeviceHandle() override { throw EComPort(1, Error); }

private:
  int Error;
};

TEST_F(SendCommandTest, EveryRefusalExitsWithOneAndSaysWhyAndWhatToDo) {
  const int busy = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(busy, 0);
  ASSERT_EQ(flock(busy, LOCK_EX | LOCK_NB), 0);
  const passwd* user = getpwuid(geteuid());
  ASSERT_NE(user, nullptr);
  const std::string me = user->pw_name;
  // A file in the working folder, named as a shell user names it.
  const std::string here = "./" + std::filesystem::path(file).filename().string();
  std::filesystem::copy_file(file, here, std::filesystem::copy_options::overwrite_existing);
  const struct {
    std::string port;
    int refusal;  // 0: the real device's answer
    std::string reason, hint;
  } rows[] = {
      {"ttyKORVEX_NONE", 0, "(Error: 2)",
       "No device ttyKORVEX_NONE: is the cutter plugged in and switched on? Ports present: "},
      {file, 0, "(Error: 25)", file + " is not a serial port."},
      {here, 0, "(Error: 25)", here + " is not a serial port."},
      {pty.SlaveName(), 0, "(Error: 16)",
       pty.SlaveName() + " is in use by another program: close it there, then send again."},
      {"ttyUSB7", EACCES, "(Error: 13)",
       "No permission to open ttyUSB7: serial ports are open to the dialout group. Add " + me +
           " to it (sudo usermod -aG dialout " + me + ") and log in again."},
      {"rfcomm0", EHOSTDOWN, "(Error: 112)",
       "The Bluetooth device behind rfcomm0 does not answer: switch the cutter on, "
       "check that it is paired and in range, then send again."},
  };
  for (const auto& row : rows) {
    if (row.refusal) DirectPortFactory() = [error = row.refusal] { return std::make_unique<TRefusingPort>(error); };
    const CliRun run = send({file, "--port", row.port});
    EXPECT_EQ(run.code, 1) << row.port;
    // The component's own text stays; the hint is a line of its own.
    const std::string says = "Unable to open COM Port! Unable to open com port " + row.reason + "\n" + row.hint;
    EXPECT_NE(run.err.find(says), std::string::npos) << run.err;
  }
  std::filesystem::remove(here);
  close(busy);
}

// Ctrl-C, a closed terminal and timeout(1) all cancel, purge and log the result.
TEST_F(SendCommandTest, InterruptTerminateAndHangUpStopTheSendAlike) {
  for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
    PtyPair line;
    PtyDrainer cutter(line);
    cutter.Pause();  // the cutter is stalled, so the send is still running when the signal comes
    std::thread stop([number, &line] {
      // Once the job's first bytes wait in the line, the send is under way with its handlers.
      int waiting = 0;
      while (ioctl(line.Master(), FIONREAD, &waiting) == 0 && waiting == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      kill(getpid(), number);
    });
    const CliRun run = send({file, "--port", line.SlaveName(), "--flow", "none"});
    stop.join();
    EXPECT_EQ(run.code, 128 + number);
    EXPECT_NE(run.err.find("\tSendRes\tFalse\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(" of " + std::to_string(job.size()) + " bytes\n"), std::string::npos) << run.err;
    cutter.Resume();
    EXPECT_LT(cutter.WaitFor(job.size(), 500).size(), job.size());
  }
}

TEST_F(SendCommandTest, AUsbPrinterTakesTheJobUnchangedAndNoLineSettings) {
  // A FIFO named as a printer node ("usb:" before its path) stands for the cutter.
  const std::string node = file + ".lp";
  ASSERT_EQ(mkfifo(node.c_str(), 0600), 0);
  const int cutter = ::open(node.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(cutter, 0);
  std::string received;
  std::atomic<bool> done = false;
  std::thread reader([&] {
    char buffer[4096];
    // Until the whole job is in, or the send has ended and nothing more comes.
    for (;;) {
      const bool ended = done;
      const ssize_t n = ::read(cutter, buffer, sizeof buffer);
      if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
      if (received.size() >= job.size() || (ended && n <= 0)) break;
      if (n <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  const CliRun run = send({file, "--port", "usb:" + node});
  done = true;
  reader.join();
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_TRUE(received == job) << received.size() << " of " << job.size() << " bytes arrived; " << run.err;
  EXPECT_NE(run.err.find("\tDirectUSB\t" + std::to_string(job.size()) + " bytes\n"), std::string::npos) << run.err;

  for (const std::vector<std::string>& lineSetting : {std::vector<std::string>{"--baud", "9600"},
                                                       {"--flow", "none"}, {"--pace", "query"}}) {
    std::vector<std::string> args{file, "--port", "usb:lp0"};
    args.insert(args.end(), lineSetting.begin(), lineSetting.end());
    const CliRun refused = send(args);
    EXPECT_EQ(refused.code, 2) << lineSetting[0];
    EXPECT_NE(refused.err.find("usb:lp0 is a USB printer: --baud, --flow, --tx-buffer and pacing do not apply"),
              std::string::npos)
        << refused.err;
  }
  // None there: the open says so, with the printers present.
  const CliRun missing = send({file, "--port", "usb:lp97"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.err.find("No USB printer usb:lp97"), std::string::npos) << missing.err;
  ::close(cutter);
  std::filesystem::remove(node);
}
