// korvex-cli behind a pipe whose reader has gone, as after `korvex-cli ... | head -1`:
// a failed write is an error like any other, never the end of the program.

#include "PtyDrainer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Waits until the file holds Count bytes or ten seconds passed; gives what it holds.
std::string waitForFile(const fs::path& path, std::size_t Count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::string text;
  while ((text = readFile(path)).size() < Count && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return text;
}

// korvex-cli with descriptor Fd on a pipe that nobody reads any more and standard error
// (unless Fd is it) in a file. SIGPIPE is set back to its default, as a shell starts a
// program, whatever this test program does with it.
class TClosedPipeRun {
public:
  TClosedPipeRun(std::vector<std::string> Args, int Fd, const std::string& ErrFile) {
    Args.insert(Args.begin(), KORVEX_CLI);
    std::vector<char*> argv;
    for (std::string& arg : Args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    ::close(fds[0]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, ErrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, fds[1], Fd);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &pipe);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    if (posix_spawn(&Pid, argv[0], &actions, &attributes, argv.data(), environ) != 0) Pid = -1;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (Pid < 0) throw std::runtime_error("cannot start korvex-cli");
  }
  ~TClosedPipeRun() {
    if (Pid > 0) Stop(SIGKILL);
  }
  // The exit status, 128 plus the signal's number when one ended it.
  int Stop(int Signal = 0) {
    if (Signal) kill(Pid, Signal);
    int status = 0;
    waitpid(std::exchange(Pid, -1), &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

private:
  pid_t Pid = -1;
};

class ClosedPipe : public ::testing::Test {
protected:
  void TearDown() override {
    for (const std::string& path : {job, errors, received, link}) fs::remove(path);
  }
  const std::string stem = (fs::temp_directory_path() / ("korvex-pipe-test-" + std::to_string(getpid()))).string();
  const std::string job = stem + ".plt", errors = stem + ".err", received = stem + ".out", link = stem + ".tty";
};

}  // namespace

TEST_F(ClosedPipe, OutputThatCannotBeWrittenExitsWithOneAndSaysSo) {
  std::ofstream(job) << "PD40,40;";
  EXPECT_EQ(TClosedPipeRun({"--help"}, STDOUT_FILENO, errors).Stop(), 1);
  EXPECT_EQ(readFile(errors), "korvex-cli: cannot write the output\n");
  EXPECT_EQ(TClosedPipeRun({"contours", job}, STDOUT_FILENO, errors).Stop(), 1);
  EXPECT_EQ(readFile(errors), "korvex-cli: cannot write the output\n");
}

TEST_F(ClosedPipe, SendFinishesItsSendWhenItsLogCannotBeWritten) {
  std::string bytes;
  while (bytes.size() < 3000) bytes += "PU0,0;PD400,400;";
  std::ofstream(job, std::ios::binary) << bytes;
  PtyPair line;
  PtyDrainer cutter(line);
  TClosedPipeRun send({"send", job, "--port", line.SlaveName(), "--baud", "115200", "--flow", "none"}, STDERR_FILENO,
                      errors);
  EXPECT_EQ(send.Stop(), 0);
  EXPECT_EQ(cutter.WaitFor(bytes.size()), bytes);
}

TEST_F(ClosedPipe, TheVirtualCutterCutsOnWithoutItsSummariesAndRemovesItsLink) {
  TClosedPipeRun cutter({"virtual-cutter", "--link", link, "--baud", "115200", "--speed", "0", "--out", received},
                        STDOUT_FILENO, errors);
  // Its first summary, what it is, could not be written; it says so and goes on.
  const std::string lost = "korvex-cli virtual-cutter: cannot write the summaries to standard output";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!readFile(errors).starts_with(lost) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(readFile(errors).starts_with(lost)) << readFile(errors);
  const std::string sample = readFile(fs::path(KORVEX_SAMPLES) / "korvex-sign.plt");
  const std::string send = std::string(KORVEX_CLI) + " send " + fs::path(KORVEX_SAMPLES).string() +
                           "/korvex-sign.plt --port " + link + " --baud 115200 --flow none 2>/dev/null";
  EXPECT_EQ(std::system(send.c_str()), 0);
  EXPECT_EQ(waitForFile(received, sample.size()), sample);
  EXPECT_EQ(cutter.Stop(SIGTERM), 1);  // ended by the signal, with its summaries lost
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}
