// Pacing on a line without a working handshake, against the virtual cutter: jobs of every
// kind (short cuts, a polyline longer than the buffer, labels with rounded corners, one
// long line without breaks or terminators, lower case, PR pairs, PD;PA, circles and arcs,
// a VS change) at 9600 and 38400 baud into buffers of 256, 1024 and 4096 bytes, sent
// unpaced (the baseline, which loses), asking the cutter (--pace query) and by cutting
// time with the cutter's true buffer and speeds (--pace time); and asking the cutter with
// its answers 100 and 300 ms late, through a relay that holds them back.
//
// The instrument is kept apart from what it measures: each job's generator keeps its own
// account of the blade's path and times it at the cutter's speeds, and the bench counts
// what the cutter kept (--out) against the job itself. The cutter's own cut time and loss
// are printed beside them. Send time over cut time uses the generator's cut time.
//
// cutter_pacing [--quick]: --quick runs 38400 baud and a 1024-byte buffer only.

#include "CutterProcess.h"
#include "platform/NumberText.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kCutMmPerS = 150.0, kTravelMmPerS = 600.0;
constexpr std::size_t kJobBytes = 4500;

// What a job asks of the blade, kept by its generator as it writes it: the position in
// plotter units and the seconds its moves take at the cutter's speeds.
struct Blade {
  double x = 0.0, y = 0.0, seconds = 0.0, cutMmPerS = kCutMmPerS;
  void to(double toX, double toY, bool down) {
    seconds += std::hypot(toX - x, toY - y) / 40.0 / (down ? cutMmPerS : kTravelMmPerS);
    x = toX;
    y = toY;
  }
  // An arc about (cx, cy) through degrees, walked chord by chord at 5 degrees or less.
  void arc(double cx, double cy, double degrees, bool down) {
    const double radius = std::hypot(x - cx, y - cy), from = std::atan2(y - cy, x - cx);
    const int chords = static_cast<int>(std::ceil(std::abs(degrees) / 5.0 - 1e-9));
    for (int k = 1; k <= chords; ++k) {
      const double at = from + degrees * M_PI / 180.0 * k / chords;
      to(cx + radius * std::cos(at), cy + radius * std::sin(at), down);
    }
  }
};

struct Job {
  std::string name, text;
  double cutSeconds = 0.0;
};

std::string n(double v) { return std::to_string(static_cast<long>(std::lround(v))); }

// Cuts of 1 to 3 mm in random directions, a pen-up move now and then; Format writes one.
template <typename Format>
Job shortCuts(const std::string& name, std::string head, Format format, const std::string& tail = "PU0,0;") {
  std::mt19937 random(18);
  std::uniform_int_distribution<int> step(40, 120), sign(0, 1), pen(0, 9);
  Blade blade;
  std::string job = std::move(head);
  double x = 4000, y = 4000;
  while (job.size() < kJobBytes) {
    x = std::clamp(x + (sign(random) ? 1 : -1) * step(random), 0.0, 8000.0);
    y = std::clamp(y + (sign(random) ? 1 : -1) * step(random), 0.0, 8000.0);
    const bool down = pen(random) != 0;
    job += format(down, n(x), n(y));
    blade.to(x, y, down);
  }
  blade.to(0, 0, false);
  return {name, job + tail, blade.seconds};
}

std::vector<Job> makeJobs() {
  std::vector<Job> jobs;
  jobs.push_back(shortCuts("short cuts", "IN;PU0,0;", [](bool down, const std::string& x, const std::string& y) {
    return std::string(down ? "PD" : "PU") + x + "," + y + ";\n";
  }));
  jobs.push_back(shortCuts("lower case", "in;pu0,0;", [](bool down, const std::string& x, const std::string& y) {
    return std::string(down ? "pd" : "pu") + x + "," + y + ";\n";
  }));
  // No line break, no terminator: each mnemonic ends the command before it.
  jobs.push_back(shortCuts("one long line", "IN;PU0,0", [](bool down, const std::string& x, const std::string& y) {
    return std::string(down ? "PD" : "PU") + x + "," + y;
  }, ";PU0,0;"));
  jobs.push_back(shortCuts("PD;PA", "IN;PU0,0;", [](bool down, const std::string& x, const std::string& y) {
    return std::string(down ? "PD;PA" : "PU;PA") + x + "," + y + ";\n";
  }));
  {
    // One polyline of 2 to 3 mm zigzags, longer than any of the buffers.
    Blade blade;
    std::string job = "IN;PU0,0;PD";
    for (int i = 0; job.size() < kJobBytes; ++i) {
      const double x = 100.0 * i, y = (i % 2) * 80.0;
      job += (i ? "," : "") + n(x) + "," + n(y);
      blade.to(x, y, true);
    }
    blade.to(0, 0, false);
    jobs.push_back({"long polyline", job + ";PU0,0;", blade.seconds});
  }
  {
    // Relative pairs, four cuts a command, signs and all.
    std::mt19937 random(7);
    std::uniform_int_distribution<int> step(-100, 100);
    Blade blade;
    std::string job = "IN;PU4000,4000;PR;";
    blade.to(4000, 4000, false);
    while (job.size() < kJobBytes) {
      job += "PD";
      for (int k = 0; k < 4; ++k) {
        const int dx = step(random), dy = step(random);
        job += (k ? "," : "") + std::to_string(dx) + "," + std::to_string(dy);
        blade.to(blade.x + dx, blade.y + dy, true);
      }
      job += ";PU40,40;\n";
      blade.to(blade.x + 40, blade.y + 40, false);
    }
    job += "PA;PU0,0;";
    blade.to(0, 0, false);
    jobs.push_back({"PR pairs", job, blade.seconds});
  }
  {
    // Labels of 20 by 10 mm with corners of 2 mm radius, a label a line.
    Blade blade;
    std::string job = "IN;";
    for (int i = 0; job.size() < kJobBytes; ++i) {
      const double left = (i % 8) * 1000.0, bottom = (i / 8) * 500.0, w = 800, h = 400, r = 80;
      job += "PU" + n(left + r) + "," + n(bottom) + ";PD" + n(left + w - r) + "," + n(bottom) + ";";
      blade.to(left + r, bottom, false);
      blade.to(left + w - r, bottom, true);
      const double corners[4][2] = {{left + w - r, bottom + r}, {left + w - r, bottom + h - r},
                                    {left + r, bottom + h - r}, {left + r, bottom + r}};
      const double next[4][2] = {{left + w, bottom + h - r}, {left + r, bottom + h}, {left, bottom + r},
                                 {left + w - r, bottom}};
      for (int c = 0; c < 4; ++c) {
        job += "AA" + n(corners[c][0]) + "," + n(corners[c][1]) + ",90;";
        blade.arc(corners[c][0], corners[c][1], 90, true);
        if (c < 3) {
          job += "PD" + n(next[c][0]) + "," + n(next[c][1]) + ";";
          blade.to(next[c][0], next[c][1], true);
        }
      }
      job += "PU;\n";
    }
    job += "PU0,0;";
    blade.to(0, 0, false);
    jobs.push_back({"labels", job, blade.seconds});
  }
  {
    // Circles of 2 to 6 mm radius, and half arcs beside them.
    Blade blade;
    std::string job = "IN;";
    for (int i = 0; job.size() < kJobBytes; ++i) {
      const double x = (i % 10) * 600.0 + 300, y = (i / 10) * 600.0 + 300, r = 80.0 + (i % 5) * 40;
      job += "PU" + n(x) + "," + n(y) + ";CI" + n(r) + ";\n";
      blade.to(x, y, false);
      blade.to(x + r, y, false);
      blade.arc(x, y, 360, true);
      blade.to(x, y, false);
      job += "PU" + n(x + 200) + "," + n(y) + ";PD;AR-100,0,180;PU;\n";
      blade.to(x + 200, y, false);
      blade.arc(x + 100, y, 180, true);
    }
    job += "PU0,0;";
    blade.to(0, 0, false);
    jobs.push_back({"circles, arcs", job, blade.seconds});
  }
  {
    // Short cuts with the speed set to 5, 10 and 15 cm/s in turn.
    std::mt19937 random(5);
    std::uniform_int_distribution<int> step(40, 120), sign(0, 1);
    Blade blade;
    std::string job = "IN;PU0,0;";
    double x = 4000, y = 4000;
    for (int i = 0; job.size() < kJobBytes; ++i) {
      if (i % 60 == 0) {
        const int vs = 5 + 5 * (i / 60 % 3);
        job += "VS" + std::to_string(vs) + ";\n";
        blade.cutMmPerS = vs * 10.0;
      }
      x = std::clamp(x + (sign(random) ? 1 : -1) * step(random), 0.0, 8000.0);
      y = std::clamp(y + (sign(random) ? 1 : -1) * step(random), 0.0, 8000.0);
      job += "PD" + n(x) + "," + n(y) + ";\n";
      blade.to(x, y, true);
    }
    blade.to(0, 0, false);
    jobs.push_back({"VS change", job + "PU0,0;", blade.seconds});
  }
  return jobs;
}

pid_t spawn(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  if (pid < 0) throw std::runtime_error("cannot start " + args[0]);
  return pid;
}

int waitFor(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

double figure(const std::string& line, const std::string& marker) {
  const std::size_t at = line.find(marker);
  return at == std::string::npos ? -1 : std::strtod(line.c_str() + at + marker.size(), nullptr);
}

// A pseudo-terminal in front of the cutter's port that passes the sender's bytes on at
// once and the cutter's answers only after a delay, as a Bluetooth adapter might. Once the
// sender has closed its side and every byte went on, it closes the cutter's side.
class LateAnswers {
public:
  LateAnswers(const std::string& cutterPort, std::chrono::milliseconds delay) : delay(delay) {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) throw std::runtime_error("no pty");
    port = ptsname(master);
    termios tio{};
    tcgetattr(master, &tio);
    cfmakeraw(&tio);
    tcsetattr(master, TCSANOW, &tio);
    cutter = ::open(cutterPort.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (cutter < 0) throw std::runtime_error("cannot open " + cutterPort);
    tcgetattr(cutter, &tio);
    cfmakeraw(&tio);
    tcsetattr(cutter, TCSANOW, &tio);
    relay = std::thread([this] { run(); });
  }
  // Waits for the sender's bytes to have gone on; a minute at most.
  ~LateAnswers() {
    for (int i = 0; i < 6000 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    done = true;
    relay.join();
    ::close(master);
    if (cutter >= 0) ::close(cutter);
  }

  std::string port;

private:
  void run() {
    std::string forward;
    std::deque<std::pair<Clock::time_point, std::string>> answers;
    char buffer[4096];
    bool heard = false;  // before the sender opens its side, the master reports a hang-up too
    while (!done) {
      const auto now = Clock::now();
      while (!answers.empty() && answers.front().first <= now) {
        if (::write(master, answers.front().second.data(), answers.front().second.size()) < 0) {
        }
        answers.pop_front();
      }
      pollfd fds[2] = {{forward.size() > 4096 ? -1 : master, POLLIN, 0},
                       {cutter, static_cast<short>(POLLIN | (forward.empty() ? 0 : POLLOUT)), 0}};
      poll(fds, 2, 2);
      if (fds[0].revents & POLLIN) {
        const ssize_t got = ::read(master, buffer, sizeof buffer);
        if (got > 0) forward.append(buffer, static_cast<std::size_t>(got));
        heard = heard || got > 0;
      } else if (fds[0].revents & POLLHUP) {
        if (heard && forward.empty()) done = true;
        if (!heard) std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
      if (fds[1].revents & POLLOUT) {
        const ssize_t put = ::write(cutter, forward.data(), forward.size());
        if (put > 0) forward.erase(0, static_cast<std::size_t>(put));
      }
      if (fds[1].revents & POLLIN) {
        const ssize_t got = ::read(cutter, buffer, sizeof buffer);
        if (got > 0) answers.push_back({Clock::now() + delay, std::string(buffer, static_cast<std::size_t>(got))});
      }
    }
  }

  std::chrono::milliseconds delay;
  int master = -1, cutter = -1;
  std::atomic<bool> done{false};
  std::thread relay;
};

struct Mode {
  std::string name;
  std::vector<std::string> pace;
  int answerDelayMs = 0;
};

struct Result {
  long lost = 0;  // the job's bytes the cutter did not keep
  bool same = false;
  int exit = 0;
  double sendSeconds = 0.0, cutterCut = 0.0, cutterLost = 0.0;
};

Result run(const Job& job, std::uint32_t baud, std::size_t buffer, const Mode& mode, const std::string& stem) {
  const std::string jobPath = stem + ".plt", link = stem + ".tty", out = stem + ".out";
  std::ofstream(jobPath, std::ios::binary | std::ios::trunc) << job.text;
  TCutterProcess cutter(KORVEX_CLI,
                        {"--link", link, "--flow", "none", "--buffer", std::to_string(buffer), "--speed",
                         FixedPoint(kCutMmPerS, 0), "--travel", FixedPoint(kTravelMmPerS, 0), "--baud",
                         std::to_string(baud), "--out", out},
                        true);
  if (cutter.Line("Port: ", std::chrono::seconds(10)).empty()) throw std::runtime_error("the cutter did not start");
  std::unique_ptr<LateAnswers> relay;
  if (mode.answerDelayMs > 0) relay = std::make_unique<LateAnswers>(link, std::chrono::milliseconds(mode.answerDelayMs));
  std::vector<std::string> args = {KORVEX_CLI, "send", jobPath, "--port", relay ? relay->port : link,
                                   "--baud", std::to_string(baud), "--flow", "none"};
  args.insert(args.end(), mode.pace.begin(), mode.pace.end());
  if (mode.name == "time")
    args.insert(args.end(), {"--cutter-buffer", std::to_string(buffer), "--speed", FixedPoint(kCutMmPerS, 0),
                             "--travel", FixedPoint(kTravelMmPerS, 0)});
  Result result;
  const auto start = Clock::now();
  result.exit = waitFor(spawn(args));
  result.sendSeconds = std::chrono::duration<double>(Clock::now() - start).count();
  relay.reset();
  // A garbled job can move the blade a long way; stopped, the cutter reports at once.
  const auto within = std::chrono::milliseconds(static_cast<long>(job.cutSeconds * 1000)) + std::chrono::seconds(3);
  std::string end = cutter.Line("End of job: ", within);
  cutter.Stop(SIGTERM);
  if (end.empty()) end = cutter.Line("End of job: ", std::chrono::seconds(10));
  result.cutterCut = figure(end, "; cut time ");
  result.cutterLost = figure(end, "; lost ");
  const std::string kept = readFile(out);
  result.same = kept == job.text;
  result.lost = static_cast<long>(job.text.size()) - static_cast<long>(kept.size());
  return result;
}

std::string padded(std::string text, std::size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
  const std::string stem = (fs::temp_directory_path() / ("korvex-pacing-" + std::to_string(getpid()))).string();
  const std::vector<Job> jobs = makeJobs();
  const std::vector<Mode> modes = {{"none", {}},
                                   {"query", {"--pace", "query"}},
                                   {"time", {"--pace", "time"}},
                                   {"query+100ms", {"--pace", "query"}, 100},
                                   {"query+300ms", {"--pace", "query"}, 300}};
  std::printf("virtual cutter: flow none, %s mm/s down, %s mm/s up; jobs of about %zu bytes\n",
              FixedPoint(kCutMmPerS, 0).c_str(), FixedPoint(kTravelMmPerS, 0).c_str(), kJobBytes);
  std::printf("%s\n", "job            baud   buffer pacing       lost  out=job exit send s  cut s  cutter's cut s, lost  send/cut");
  struct Worst {
    int runs = 0, losing = 0, differing = 0, failed = 0;
    double ratio = 0.0;
  };
  std::map<std::string, Worst> worst;
  int status = 0;
  for (const Job& job : jobs)
    for (const std::uint32_t baud : {9600u, 38400u})
      for (const std::size_t buffer : {256u, 1024u, 4096u})
        for (const Mode& mode : modes) {
          const bool full = baud == 38400 && buffer == 1024;
          if ((quick || mode.answerDelayMs > 0) && !full) continue;
          const Result r = run(job, baud, buffer, mode, stem);
          const double ratio = r.sendSeconds / job.cutSeconds;
          std::printf("%s %s %s %s %s %s %s %s %s %s, %s  %s\n", padded(job.name, 14).c_str(),
                      padded(std::to_string(baud), 6).c_str(), padded(std::to_string(buffer), 6).c_str(),
                      padded(mode.name, 11).c_str(), padded(std::to_string(r.lost), 5).c_str(),
                      padded(r.same ? "yes" : "no", 7).c_str(), padded(std::to_string(r.exit), 4).c_str(),
                      padded(FixedPoint(r.sendSeconds, 2), 6).c_str(), padded(FixedPoint(job.cutSeconds, 2), 6).c_str(),
                      padded(FixedPoint(r.cutterCut, 2), 6).c_str(), FixedPoint(r.cutterLost, 0).c_str(),
                      FixedPoint(ratio, 2).c_str());
          std::fflush(stdout);
          Worst& w = worst[mode.name];
          ++w.runs;
          w.losing += r.lost != 0;
          w.differing += !r.same;
          w.failed += r.exit != 0;
          w.ratio = std::max(w.ratio, ratio);
          if (mode.name != "none" && (r.lost != 0 || !r.same || r.exit != 0)) status = 1;
        }
  std::printf("\npacing       runs  losing  out differs  exit not 0  worst send/cut\n");
  for (const Mode& mode : modes) {
    const Worst& w = worst[mode.name];
    std::printf("%s %s %s %s %s %s\n", padded(mode.name, 12).c_str(), padded(std::to_string(w.runs), 5).c_str(),
                padded(std::to_string(w.losing), 7).c_str(), padded(std::to_string(w.differing), 12).c_str(),
                padded(std::to_string(w.failed), 11).c_str(), FixedPoint(w.ratio, 2).c_str());
  }
  fs::remove(stem + ".plt");
  fs::remove(stem + ".out");
  return status;
}
