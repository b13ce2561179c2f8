// The program itself, started as a user would start it, on the offscreen platform.

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

extern char** environ;

namespace {

// Whether the process has a handler of its own for the signal ("SigCgt" in its status).
bool catches(pid_t pid, int number) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.starts_with("SigCgt:")) return (std::stoull(line.substr(7), nullptr, 16) >> (number - 1)) & 1;
  return false;
}

// The exit status once the process has ended, or -1 when it still runs after a minute.
int waitForExit(pid_t pid) {
  for (int tick = 0; tick < 6000; ++tick) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 256 + status;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return -1;
}

}  // namespace

// Ctrl-C, SIGTERM and a closed terminal (SIGHUP) end it alike, through its own handler.
TEST(Program, ASignalWhileTheStartUpErrorBoxIsOpenEndsIt) {
  for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
    // A folder is no job: the program opens its window and an error box about it.
    char program[] = KORVEX_GUI, folder[] = "/";
    char* argv[] = {program, folder, nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program, nullptr, nullptr, argv, environ), 0);
    // The signal is sent once the program handles it; it reaches the program's event loop
    // while the box is open, or waits for the box's loop if it comes before.
    for (int tick = 0; tick < 6000 && !catches(pid, number); ++tick)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(catches(pid, number)) << number;
    kill(pid, number);
    const int exitStatus = waitForExit(pid);
    if (exitStatus < 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    EXPECT_EQ(exitStatus, 128 + number) << number;
  }
}

// The settings go to the user's configuration folder (the tests' own, here) when the
// window closes; with --no-settings nothing is written.
TEST(Program, NoSettingsLeavesNoSettingsFileAndWithoutItOneIsKept) {
  const std::string file = std::string(std::getenv("XDG_CONFIG_HOME")) + "/korvex/korvex.conf";
  for (const bool keep : {false, true}) {
    std::remove(file.c_str());
    char program[] = KORVEX_GUI, option[] = "--no-settings";
    char* argv[] = {program, keep ? nullptr : option, nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program, nullptr, nullptr, argv, environ), 0);
    for (int tick = 0; tick < 6000 && !catches(pid, SIGTERM); ++tick)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    kill(pid, SIGTERM);  // closes the window the ordinary way
    const int exitStatus = waitForExit(pid);
    if (exitStatus < 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    EXPECT_EQ(exitStatus, 128 + SIGTERM);
    EXPECT_EQ(std::ifstream(file).good(), keep) << keep;
  }
  std::remove(file.c_str());
}
