#include "CutterProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <stdexcept>
#include <utility>

extern char** environ;

TCutterProcess::TCutterProcess(const std::string& Program, std::vector<std::string> Args, bool Quiet) {
  Args.insert(Args.begin(), {Program, "virtual-cutter"});
  std::vector<char*> argv;
  for (std::string& arg : Args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  if (Quiet) posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  if (posix_spawn(&Pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) Pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  Out = fds[0];
  if (Pid < 0) {
    ::close(Out);
    throw std::runtime_error("cannot start " + Program);
  }
}

TCutterProcess::~TCutterProcess() {
  if (Pid > 0) Stop(SIGKILL);
  ::close(Out);
}

std::string TCutterProcess::Line(const std::string& Prefix, std::chrono::milliseconds Within) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + Within;
  for (char buffer[4096];;) {
    for (std::size_t end; (end = Pending.find('\n')) != std::string::npos;) {
      const std::string line = Pending.substr(0, end);
      Pending.erase(0, end + 1);
      if (line.starts_with(Prefix)) return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd fd{Out, POLLIN, 0};
    const ssize_t n = left > 0 && poll(&fd, 1, static_cast<int>(left)) > 0 ? ::read(Out, buffer, sizeof buffer) : 0;
    if (n <= 0) return {};
    Pending.append(buffer, static_cast<std::size_t>(n));
  }
}

int TCutterProcess::Stop(int Signal) {
  kill(Pid, Signal);
  int status = 0;
  waitpid(std::exchange(Pid, -1), &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
