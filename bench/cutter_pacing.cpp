// What pacing buys on a line without a working handshake: the virtual cutter, 38400 baud,
// no flow control, a 1024-byte buffer and 800 mm/s, receives about 8 KB of short random
// cuts three ways: unpaced, paced by asking the cutter (--pace query) and paced by cutting
// time with the cutter's true buffer and speeds (--pace time). For each: the bytes the
// cutter lost, whether what it kept (--out) equals the job, and the send's wall time
// against the cutter's own cut time. The unpaced send is the baseline: it loses bytes.

#include "platform/NumberText.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kJobBytes = 8000;

pid_t spawn(std::vector<std::string> args, int out) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (out >= 0) posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
  const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  posix_spawn_file_actions_adddup2(&actions, devNull, STDERR_FILENO);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(devNull);
  if (pid < 0) throw std::runtime_error("cannot start " + args[0]);
  return pid;
}

int waitFor(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The virtual cutter in a process of its own, its standard output read line by line.
class Cutter {
 public:
  Cutter(const std::string& link, const std::string& out) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    pid_ = spawn({KORVEX_CLI, "virtual-cutter", "--link", link, "--flow", "none", "--buffer", "1024", "--speed", "800",
                  "--baud", "38400", "--out", out},
                 fds[1]);
    ::close(fds[1]);
    out_ = fds[0];
  }
  ~Cutter() {
    if (pid_ > 0) Stop();
    ::close(out_);
  }
  // The next line that starts with prefix; empty when none comes within the time.
  std::string Line(const std::string& prefix, std::chrono::seconds within) {
    const auto deadline = Clock::now() + within;
    for (char buffer[4096];;) {
      for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
        const std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        if (line.starts_with(prefix)) return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      pollfd fd{out_, POLLIN, 0};
      const ssize_t n = left > 0 && poll(&fd, 1, static_cast<int>(left)) > 0 ? ::read(out_, buffer, sizeof buffer) : 0;
      if (n <= 0) return {};
      pending_.append(buffer, static_cast<std::size_t>(n));
    }
  }
  // Ends the cutter, which works off what it holds at once and reports the job.
  void Stop() {
    kill(pid_, SIGTERM);
    waitFor(pid_);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string pending_;
};

// Cuts of 2 to 6 mm in random directions, a pen-up move now and then, within 400 mm.
std::string makeJob() {
  std::mt19937 random(18);
  std::uniform_int_distribution<int> step(80, 240), sign(0, 1), pen(0, 9);
  std::string job = "IN;PU0,0;";
  int x = 8000, y = 8000;
  while (job.size() < kJobBytes) {
    x = std::clamp(x + (sign(random) ? 1 : -1) * step(random), 0, 16000);
    y = std::clamp(y + (sign(random) ? 1 : -1) * step(random), 0, 16000);
    job += (pen(random) == 0 ? "PU" : "PD") + std::to_string(y) + "," + std::to_string(x) + ";";
  }
  return job + "PU0,0;@";
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The number after marker in line, or -1.
double figure(const std::string& line, const std::string& marker) {
  const std::size_t at = line.find(marker);
  if (at == std::string::npos) return -1;
  return std::strtod(line.c_str() + at + marker.size(), nullptr);
}

std::string padded(std::string text, std::size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

}  // namespace

int main() {
  const std::string stem = (fs::temp_directory_path() / ("korvex-pacing-" + std::to_string(getpid()))).string();
  const std::string jobPath = stem + ".plt", link = stem + ".tty", out = stem + ".out";
  const std::string job = makeJob();
  std::ofstream(jobPath, std::ios::binary) << job;

  std::printf("virtual cutter: 38400 baud, flow none, buffer 1024 bytes, 800 mm/s; job %zu bytes of short cuts\n",
              job.size());
  std::printf("%s\n", "pacing   lost bytes  out = job  send s  cut s  send / cut");
  const std::vector<std::pair<std::string, std::vector<std::string>>> modes = {
      {"none", {}},
      {"query", {"--pace", "query"}},
      {"time", {"--pace", "time", "--cutter-buffer", "1024", "--speed", "800", "--travel", "800"}}};
  int status = 0;
  for (const auto& [name, pace] : modes) {
    Cutter cutter(link, out);
    if (cutter.Line("Port: ", std::chrono::seconds(10)).empty()) throw std::runtime_error("the cutter did not start");
    std::vector<std::string> args = {KORVEX_CLI, "send", jobPath, "--port", link, "--baud", "38400", "--flow", "none"};
    args.insert(args.end(), pace.begin(), pace.end());
    const auto start = Clock::now();
    const int sent = waitFor(spawn(args, -1));
    const double sendSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    // A garbled job can move the blade a long way; the cutter then reports when stopped.
    std::string end = cutter.Line("End of job: ", std::chrono::seconds(15));
    if (end.empty()) {
      cutter.Stop();
      end = cutter.Line("End of job: ", std::chrono::seconds(10));
    } else {
      cutter.Stop();
    }
    const double lost = figure(end, "; lost "), cut = figure(end, "; cut time ");
    const bool same = readFile(out) == job;
    std::printf("%s %s  %s  %s  %s  %s%s\n", padded(name, 8).c_str(), padded(FixedPoint(lost, 0), 10).c_str(),
                padded(same ? "yes" : "no", 9).c_str(), padded(FixedPoint(sendSeconds, 2), 6).c_str(),
                padded(FixedPoint(cut, 2), 5).c_str(), FixedPoint(cut > 0 ? sendSeconds / cut : 0, 2).c_str(),
                sent == 0 ? "" : "  (send failed)");
    if (name != "none" && (lost != 0 || !same || sent != 0)) status = 1;
  }
  fs::remove(jobPath);
  fs::remove(out);
  return status;
}
