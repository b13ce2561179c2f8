#include "cli/VirtualCutterCommand.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A korvex-cli run in its own process, its standard output and error read through a pipe.
class Process {
public:
  explicit Process(std::vector<std::string> args) {
    args.insert(args.begin(), KORVEX_CLI);
    int pipeFds[2];
    if (pipe(pipeFds) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    out_ = pipeFds[0];
  }
  ~Process() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    ::close(out_);
  }

  // The next line that starts with prefix; empty when none came within timeoutMs.
  std::string LineStartingWith(const std::string& prefix, int timeoutMs = 10000) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
        const std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        if (line.starts_with(prefix)) return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0 || !readSome(static_cast<int>(left))) return {};
    }
  }
  void Signal(int signal) const { kill(pid_, signal); }
  // The exit status, once the output is read to its end.
  int Wait() {
    while (readSome(-1)) {
    }
    int status = 0;
    waitpid(std::exchange(pid_, -1), &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  const std::string& Output() const { return all_; }

private:
  bool readSome(int timeoutMs) {
    pollfd fd{out_, POLLIN, 0};
    if (poll(&fd, 1, timeoutMs) <= 0) return false;
    char buffer[4096];
    const ssize_t n = ::read(out_, buffer, sizeof buffer);
    if (n <= 0) return false;
    pending_.append(buffer, static_cast<std::size_t>(n));
    all_.append(buffer, static_cast<std::size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int out_ = -1;
  std::string pending_, all_;
};

class VirtualCutterTest : public ::testing::Test {
protected:
  void TearDown() override {
    fs::remove(job);
    fs::remove(received);
  }

  const std::string sample = readFile(fs::path(KORVEX_SAMPLES) / "korvex-sign.plt");
  const std::string stem = (fs::temp_directory_path() / ("korvex-cutter-test-" + std::to_string(getpid()))).string();
  const std::string link = stem + ".tty", job = stem + ".plt", received = stem + ".out";
};

}  // namespace

TEST_F(VirtualCutterTest, ReceivesExactlyWhatSendSentAtTheLineRateWithXoff) {
  const std::string bytes = sample + sample + sample;  // three signs, a page each
  std::ofstream(job, std::ios::binary) << bytes;
  Process cutter(
      {"virtual-cutter", "--link", link, "--baud", "9600", "--flow", "xon/xoff", "--buffer", "256", "--out", received});
  ASSERT_EQ(cutter.LineStartingWith("Port: "), "Port: " + link) << cutter.Output();

  Process send({"send", job, "--port", link, "--baud", "9600", "--flow", "xon/xoff"});
  EXPECT_EQ(send.Wait(), 0) << send.Output();
  // Each page after the first begins with the line break that ended the one before.
  for (const char* page :
       {"Page 1: 884 bytes, 9 contours", "Page 2: 885 bytes, 9 contours", "Page 3: 885 bytes, 9 contours"})
    EXPECT_TRUE(cutter.LineStartingWith("Page ").starts_with(page)) << page;
  const std::string end = cutter.LineStartingWith("End of job: ");
  cutter.Signal(SIGTERM);
  EXPECT_EQ(cutter.Wait(), 0) << cutter.Output();

  EXPECT_EQ(readFile(received), bytes);
  // 2655 bytes at 960 a second, the line busy throughout: the buffer never ran dry, and
  // it filled to three quarters at least once.
  EXPECT_TRUE(
      end.starts_with("End of job: 2655 bytes, 27 contours, cut 3856.77 mm, "
                      "bounds x 0.00 to 165.00 mm, y 0.00 to 50.00 mm; 2.77 s at 1.00 of the line rate; "))
      << end;
  EXPECT_EQ(end.find("XOFF sent 0 times"), std::string::npos) << end;
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST_F(VirtualCutterTest, XoffStopsTheSenderUntilTheBufferIsDownToAQuarter) {
  Process cutter({"virtual-cutter", "--link", link, "--baud", "9600", "--flow", "xon/xoff", "--buffer", "256"});
  ASSERT_EQ(cutter.LineStartingWith("Port: "), "Port: " + link) << cutter.Output();
  int port = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(port, 0);
  termios tio{};
  ASSERT_EQ(tcgetattr(port, &tio), 0);
  cfmakeraw(&tio);
  tio.c_iflag |= IXON;
  ASSERT_EQ(tcsetattr(port, TCSANOW, &tio), 0);

  const std::string first(300, ' ');
  ASSERT_EQ(::write(port, first.data(), first.size()), 300);
  // One byte at a time: the writes go through until the cutter's XOFF stops the line,
  // and again once its XON comes.
  std::size_t sent = first.size();
  auto probeUntil = [&](bool goesThrough) {
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (Clock::now() < deadline) {
      const bool wrote = ::write(port, " ", 1) == 1;
      sent += wrote;
      if (wrote == goesThrough) return Clock::now();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return Clock::time_point{};
  };
  const auto stopped = probeUntil(false);
  ASSERT_NE(stopped, Clock::time_point{}) << "never stopped";
  const auto resumed = probeUntil(true);
  ASSERT_NE(resumed, Clock::time_point{}) << "never resumed";
  // From full (256) down to a quarter (64) takes 192 bytes at 960 a second.
  EXPECT_GT(resumed - stopped, std::chrono::milliseconds(150));

  // A sender that leaves while stopped: the line stays stopped for the next one until
  // the cutter, its buffer worked off, sends XON to it.
  ASSERT_EQ(::write(port, first.data(), first.size()), 300);
  sent += first.size();
  ASSERT_NE(probeUntil(false), Clock::time_point{}) << "never stopped again";
  ::close(port);
  EXPECT_TRUE(cutter.LineStartingWith("End of job: ").starts_with("End of job: " + std::to_string(sent) + " bytes"));
  port = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(port, 0);
  sent = 0;
  EXPECT_NE(probeUntil(true), Clock::time_point{}) << "the next sender stays stopped";
  ::close(port);
  EXPECT_TRUE(cutter.LineStartingWith("End of job: ").starts_with("End of job: " + std::to_string(sent) + " byte"));
  cutter.Signal(SIGTERM);
  EXPECT_EQ(cutter.Wait(), 0);
}

TEST_F(VirtualCutterTest, OutlivesEachSenderAndEndsOnCtrlC) {
  std::ofstream(job, std::ios::binary) << sample;
  Process cutter({"virtual-cutter", "--link", link, "--baud", "115200", "--out", received});
  ASSERT_EQ(cutter.LineStartingWith("Port: "), "Port: " + link) << cutter.Output();
  for (const char* txBuffer : {"0", "300"}) {
    Process send({"send", job, "--port", link, "--baud", "115200", "--flow", "none", "--tx-buffer", txBuffer});
    EXPECT_EQ(send.Wait(), 0) << send.Output();
    EXPECT_TRUE(cutter.LineStartingWith("End of job: ").starts_with("End of job: 885 bytes, 9 contours")) << txBuffer;
  }
  cutter.Signal(SIGINT);
  EXPECT_EQ(cutter.Wait(), 0) << cutter.Output();
  EXPECT_EQ(readFile(received), sample + sample);
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST_F(VirtualCutterTest, RefusesBadArgumentsAndForeignFiles) {
  const std::vector<std::vector<std::string>> bad = {
      {"--baud", "fast"}, {"--baud", "0"}, {"--buffer", "0"}, {"--flow", "cts/rts"},
      {"--link"},         {"--link", ""},  {"extra"},
  };
  for (const auto& args : bad) {
    std::istringstream in;
    std::ostringstream out, err;
    EXPECT_EQ(RunVirtualCutterCommand(args, in, out, err), 2) << args[0];
  }

  std::ofstream(job) << "mine";  // not a link: left alone
  std::istringstream in;
  std::ostringstream out, err;
  EXPECT_EQ(RunVirtualCutterCommand({"--link", job}, in, out, err), 1);
  EXPECT_NE(err.str().find("is not a link"), std::string::npos) << err.str();
  EXPECT_EQ(readFile(job), "mine");

  EXPECT_EQ(RunVirtualCutterCommand({"--help"}, in, out, err), 0);
  EXPECT_NE(out.str().find("no RTS/CTS lines, so hardware flow control is not simulated"), std::string::npos);
}
