// How long the window takes to load a big job and be idle again, against hp2xx rendering
// the same file to PNG in the same run (when hp2xx is installed: scripts/install-bench-deps);
// the peak memory of each load and the longest the window went without processing its
// events meanwhile; the cost of one keystroke in a 1 MB job; the heap bytes a
// contour costs beyond its points; and korvex-cli contours on the job of many cuts.
//
// Each load runs in a child process of its own (this program started again with
// --window FILE), so its peak memory is its own. Every figure is the median of three runs.

#include "BenchJobs.h"
#include "app/JobMemo.h"
#include "app/KorvexDlg.h"
#include "geometry/VirtualCutterPort.h"

#include <QApplication>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <malloc.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Runs the event loop until everything queued so far, painting included, has been done.
void untilIdle() {
  QEventLoop loop;
  QTimer::singleShot(0, &loop, &QEventLoop::quit);
  loop.exec();
  QCoreApplication::processEvents();
}

struct Run {
  double seconds = 0;
  double peakMb = 0;
  bool ok = false;
  double longestGap = 0;  // of the window's event processing, where measured
};

// Starts argv, waits, and gives its wall time and peak memory.
Run runProcess(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const auto start = Clock::now();
  const pid_t child = fork();
  if (child == 0) {
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  return {secondsSince(start), static_cast<double>(usage.ru_maxrss) / 1024.0,
          WIFEXITED(status) && WEXITSTATUS(status) == 0};
}

Run median(int runs, const std::vector<std::string>& args) {
  std::vector<Run> all;
  for (int i = 0; i < runs; ++i) all.push_back(runProcess(args));
  std::sort(all.begin(), all.end(), [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
  Run m = all[all.size() / 2];
  for (const Run& r : all) m.ok = m.ok && r.ok;
  return m;
}

bool haveHp2xx() { return std::system("command -v hp2xx > /dev/null 2>&1") == 0; }

// The child: opens the window, loads the file, and prints the seconds until it is idle
// and the longest time the window went without processing its events meanwhile, as a
// timer that asks to tick every 5 ms sees it.
int windowLoad(int argc, char** argv, const std::string& file) {
  QApplication app(argc, argv);
  TKorvexFrm window;
  window.show();
  untilIdle();
  auto last = Clock::now();
  double longestGap = 0;
  QTimer ticks;
  QObject::connect(&ticks, &QTimer::timeout, [&] {
    longestGap = std::max(longestGap, secondsSince(last));
    last = Clock::now();
  });
  ticks.start(5);
  const auto start = last = Clock::now();
  if (!window.LoadJob(file)) return 1;
  untilIdle();
  const double seconds = secondsSince(start);
  longestGap = std::max(longestGap, secondsSince(last));
  std::printf("%.6f %.6f\n", seconds, longestGap);
  return 0;
}

// The child for keystrokes: the mean cost of typing one character into a loaded job.
int keystrokes(int argc, char** argv, const std::string& file) {
  QApplication app(argc, argv);
  TKorvexFrm window;
  window.show();
  if (!window.LoadJob(file)) return 1;
  untilIdle();
  window.TntMemo1->setFocus();
  window.TntMemo1->moveCursor(QTextCursor::End);
  constexpr int kKeys = 50;
  const auto start = Clock::now();
  for (int i = 0; i < kKeys; ++i) {
    QTest::keyClick(window.TntMemo1, static_cast<char>('a' + i % 26));
    untilIdle();
  }
  std::printf("%.6f\n", secondsSince(start) / kKeys);
  return 0;
}

// Seconds printed by a child run of this program; the child's peak memory comes along.
Run childFigure(const std::string& self, const std::string& mode, const std::string& file) {
  std::vector<Run> all;
  for (int i = 0; i < 3; ++i) {
    const std::string out = (std::filesystem::temp_directory_path() / "korvex-bench-child.txt").string();
    const Run r = runProcess({"sh", "-c", "exec \"$0\" \"$1\" \"$2\" > \"$3\"", self, mode, file, out});
    double seconds = 0, gap = 0;
    if (std::FILE* f = std::fopen(out.c_str(), "r")) {
      if (std::fscanf(f, "%lf %lf", &seconds, &gap) < 1) seconds = 0;
      std::fclose(f);
    }
    all.push_back({seconds, r.peakMb, r.ok, gap});
  }
  std::sort(all.begin(), all.end(), [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
  Run m = all[1];
  // The worst of the three: a freeze shows in any run.
  for (const Run& r : all) m.longestGap = std::max(m.longestGap, r.longestGap);
  return m;
}

// Heap bytes a contour costs beyond its points, for the job of many short cuts.
double bytesPerContour(const std::string& job, std::ptrdiff_t& contours) {
  // Large blocks are mapped rather than carved from the heap; both count.
  auto inUse = [] {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
  };
  const std::size_t before = inUse();
  TReleasePtr<TVirtCutterObj> cutter(new TVirtCutterObj);
  cutter->BuildContours = true;
  cutter->ParseJobText(job);
  const std::size_t after = inUse();
  const TSimpleContourList* list = cutter->Contours();
  contours = list->ContourCount();
  std::size_t points = 0;
  for (std::ptrdiff_t i = 0; i < contours; ++i) points += static_cast<std::size_t>(list->ContourAt(i)->PointCount());
  return (static_cast<double>(after - before) - static_cast<double>(points * sizeof(TSimplePt))) /
         static_cast<double>(contours);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--window") return windowLoad(argc, argv, argv[2]);
  if (argc == 3 && std::string(argv[1]) == "--keys") return keystrokes(argc, argv, argv[2]);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const std::string self = std::filesystem::canonical("/proc/self/exe").string();
  const auto dir = std::filesystem::temp_directory_path();
  const std::string oneLine = (dir / "korvex-one-line.plt").string();
  const std::string manyCuts = (dir / "korvex-many-cuts.plt").string();
  const std::string oneMb = (dir / "korvex-1mb.plt").string();
  // The cuts one per CR LF line: for the memo the harder shape of the two.
  const std::string lineJob = MillionSegmentJob(), cutsJob = TwoPointCutsJob("\r\n");
  WriteJobFile(oneLine, lineJob);
  WriteJobFile(manyCuts, cutsJob);
  WriteJobFile(oneMb, lineJob.substr(0, 1 << 20) + "PU0,0;");
  const bool hp2xx = haveHp2xx();

  std::printf("window load until idle, median of 3 (offscreen):\n");
  for (const auto& [name, path, bytes] :
       {std::tuple{"one line, 1,000,000 segments", oneLine, lineJob.size()},
        std::tuple{"550,000 two-point cuts, a line each", manyCuts, cutsJob.size()}}) {
    const Run load = childFigure(self, "--window", path);
    std::printf("  %-36s %5.1f MB  load %.3f s  peak %.0f MB  longest event gap %.0f ms%s\n", name,
                static_cast<double>(bytes) / 1e6, load.seconds, load.peakMb, load.longestGap * 1e3,
                load.ok ? "" : "  (FAILED)");
    if (hp2xx) {
      const std::string png = (dir / "korvex-bench-hp2xx.png").string();
      const Run ref = median(3, {"hp2xx", "-q", "-m", "png", "-f", png, path});
      std::printf("  %-36s hp2xx -m png %.3f s  ratio load/hp2xx %.2f\n", "", ref.seconds, load.seconds / ref.seconds);
    }
  }
  if (!hp2xx) std::printf("  (hp2xx is not installed: scripts/install-bench-deps)\n");

  const Run key = childFigure(self, "--keys", oneMb);
  std::printf("one keystroke in a 1 MB one-line job: %.2f ms\n", key.seconds * 1e3);

  std::ptrdiff_t contours = 0;
  const double perContour = bytesPerContour(cutsJob, contours);
  std::printf("contour list of the 550,000 cuts: %td contours, %.1f bytes a contour beyond its points\n", contours,
              perContour);

  const std::string cli = (std::filesystem::path(self).parent_path().parent_path() / "cli/korvex-cli").string();
  const Run json = median(3, {"sh", "-c", "exec \"$0\" contours \"$1\" > /dev/null", cli, manyCuts});
  std::printf("korvex-cli contours of the 550,000 cuts: %.3f s, peak %.0f MB%s\n", json.seconds, json.peakMb,
              json.ok ? "" : "  (FAILED)");
  for (const std::string& f : {oneLine, manyCuts, oneMb}) std::filesystem::remove(f);
  return 0;
}
