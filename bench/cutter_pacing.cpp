// What pacing buys on a line without a working handshake: the virtual cutter, 38400 baud,
// no flow control, a 1024-byte buffer and 800 mm/s, receives about 8 KB of short random
// cuts three ways: unpaced, paced by asking the cutter (--pace query) and paced by cutting
// time with the cutter's true buffer and speeds (--pace time). For each: the bytes the
// cutter lost, whether what it kept (--out) equals the job, and the send's wall time
// against the cutter's own cut time. The unpaced send is the baseline: it loses bytes.

#include "CutterProcess.h"
#include "platform/NumberText.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
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

// Runs the program with its standard error on /dev/null.
pid_t spawn(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
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
    TCutterProcess cutter(KORVEX_CLI,
                          {"--link", link, "--flow", "none", "--buffer", "1024", "--speed", "800", "--baud", "38400",
                           "--out", out},
                          true);
    if (cutter.Line("Port: ", std::chrono::seconds(10)).empty()) throw std::runtime_error("the cutter did not start");
    std::vector<std::string> args = {KORVEX_CLI, "send", jobPath, "--port", link, "--baud", "38400", "--flow", "none"};
    args.insert(args.end(), pace.begin(), pace.end());
    const auto start = Clock::now();
    const int sent = waitFor(spawn(args));
    const double sendSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    // A garbled job can move the blade a long way; the cutter then reports when stopped.
    std::string end = cutter.Line("End of job: ", std::chrono::seconds(15));
    if (end.empty()) {
      cutter.Stop(SIGTERM);
      end = cutter.Line("End of job: ", std::chrono::seconds(10));
    } else {
      cutter.Stop(SIGTERM);
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
