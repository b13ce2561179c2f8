#include "app/JobLoader.h"

#include "app/JobMemo.h"
#include "preview/PreviewRender.h"
#include "raster/PaintBox32.h"

#include <QCoreApplication>
#include <QTextCursor>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Count cuts "PUa,b;PDc,d;", each followed by After.
std::string Cuts(int Count, const std::string& After = "") {
  std::string job = "IN;";
  for (int i = 0; i < Count; ++i)
    job += "PU" + std::to_string(1000 + i * 7 % 9000) + "," + std::to_string(1000 + i * 13 % 9000) + ";PD" +
           std::to_string(1000 + i * 11 % 9000) + "," + std::to_string(1000 + i * 17 % 9000) + ";" + After;
  return job;
}

bool SamePixels(const TBitmap32& A, const TBitmap32& B) {
  return A.Width() == B.Width() && A.Height() == B.Height() &&
         std::equal(A.Bits(), A.Bits() + std::size_t(A.Width()) * A.Height(), B.Bits());
}

// A memo and the three preview boxes as the window has them, a loader over them that
// works in small steps, and a clock that moves an eighth of a second at every reading.
struct Window {
  Window() {
    box.resize(PreviewBoxWidth, PreviewBoxHeight);
    top.resize(PreviewBoxWidth, RulerBoxThickness);
    left.resize(RulerBoxThickness, PreviewBoxHeight);
    space.UseMillimetres();
    loader.ReadSlice = 1000;
    loader.TextSlice = 700;
    loader.SegmentSlice = 50;
    loader.StepBudget = 0.0;  // a pump after every step
    loader.Now = [this] { return clock += 0.125; };
    loader.Pump = [this] {
      ++pumps;
      if (onPump) onPump();
      QCoreApplication::processEvents();
    };
    loader.ShowProgress = [this](int percent) { progress.push_back(percent); };
    memo.OnJobChanged = [this] { loader.JobEdited(); };  // as the window has it
  }

  // In a folder of this process, since test processes run side by side.
  std::string job(const std::string& name, const std::string& bytes) {
    const auto path = folder / name;
    std::filesystem::create_directories(folder);
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  }
  ~Window() { std::filesystem::remove_all(folder); }

  // What RebuildPreview draws at once for the job.
  void expectPreviewOf(const std::string& bytes) {
    TBitmap32 b(PreviewBoxWidth, PreviewBoxHeight), t(PreviewBoxWidth, RulerBoxThickness),
        l(RulerBoxThickness, PreviewBoxHeight);
    TPreviewNotice notice;
    const IMatrixRef m = RebuildPreview(bytes, {b, t, l}, TMatrixObj::CreateIdentity(), space, &notice);
    EXPECT_TRUE(SamePixels(box.Buffer(), b));
    EXPECT_TRUE(SamePixels(top.Buffer(), t));
    EXPECT_TRUE(SamePixels(left.Buffer(), l));
    EXPECT_TRUE(m->SameAs(view.get()));
    EXPECT_EQ(loader.Notice.Text(), notice.Text());
  }

  std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("korvex-loader-test-" + std::to_string(getpid()));
  TJobMemo memo;
  TPaintBox32 box, top, left;
  TWorkSpace space;
  IMatrixRef view = TMatrixObj::CreateIdentity();
  TJobLoader loader{memo, box, top, left, view, space};
  double clock = 0.0;
  int pumps = 0;
  std::function<void()> onPump;
  std::vector<int> progress;
};

}  // namespace

TEST(JobLoader, LoadsInStepsWithTheWindowAnsweringAndDrawsWhatOneRebuildDraws) {
  Window w;
  const std::string job = Cuts(1000, "\r\n") + "PU0,0;CI40;";
  const std::string path = w.job("cuts.plt", job);
  bool timerFired = false;
  QTimer::singleShot(0, [&] { timerFired = true; });
  int jobIn = 0, loadingSeen = 0;
  w.onPump = [&] { loadingSeen += w.loader.Loading(); };
  std::string reason;
  ASSERT_EQ(w.loader.Load(path, reason, [&] { ++jobIn; }), TJobLoader::TOutcome::Done);
  EXPECT_EQ(loadingSeen, w.pumps);  // from its first step to its last
  EXPECT_FALSE(w.loader.Loading());
  EXPECT_EQ(jobIn, 1);
  EXPECT_TRUE(timerFired);  // events were processed while it loaded
  // Some 25 reads, 35 slices of text and 20 steps of 50 segments, each followed by a pump.
  EXPECT_GT(w.pumps, 25 + 30 + 15);
  EXPECT_EQ(w.memo.JobBytes(), job);
  EXPECT_EQ(w.memo.toPlainText().size(), static_cast<qsizetype>(job.size() - 1000));  // CR LF is one separator
  EXPECT_FALSE(w.memo.isReadOnly());
  w.expectPreviewOf(job);
  EXPECT_FALSE(w.loader.Notice.Empty());
  // Progress shows from half a second on, never goes back, and is hidden at the end.
  ASSERT_GE(w.progress.size(), 3u);
  EXPECT_EQ(w.pumps - static_cast<int>(w.progress.size()) + 1, 3);  // an eighth of a second a step
  EXPECT_TRUE(std::is_sorted(w.progress.begin(), w.progress.end() - 1));
  EXPECT_LE(w.progress[w.progress.size() - 2], 100);
  EXPECT_EQ(w.progress.back(), -1);
  EXPECT_FALSE(w.loader.Busy());
}

TEST(JobLoader, AQuickRebuildShowsNoProgress) {
  Window w;
  w.loader.Now = [] { return 7.0; };
  std::string job = "PU0,0;PD";
  for (int i = 0; i < 1000; ++i) job += std::to_string(i * 37 % 4000) + "," + std::to_string(i * 53 % 3000) + ",";
  w.memo.LoadJob(job + "0,0;");
  int loadingSeen = 0;
  w.onPump = [&] { loadingSeen += w.loader.Loading(); };
  EXPECT_EQ(w.loader.Rebuild(), TJobLoader::TOutcome::Done);
  EXPECT_EQ(loadingSeen, 0);  // a rebuild of the job shown is no load
  EXPECT_GT(w.pumps, 10);
  EXPECT_TRUE(w.progress.empty());
  w.expectPreviewOf(w.memo.JobBytes());
}

TEST(JobLoader, ASecondLoadReplacesTheFirstCleanly) {
  Window w;
  const std::string first = w.job("first.plt", Cuts(830));
  const std::string second = w.job("second.plt", "IN;PU0,0;PD4000,4000;");
  // The second load starts from inside the first: while it reads, while it fills the
  // memo, and while it draws.
  for (const int at : {3, 25, 60}) {
    w.pumps = 0;
    TJobLoader::TOutcome inner{};
    w.onPump = [&] {
      if (w.pumps != at) return;
      std::string reason;
      inner = w.loader.Load(second, reason, {});
    };
    std::string reason;
    EXPECT_EQ(w.loader.Load(first, reason, {}), TJobLoader::TOutcome::Replaced) << at;
    w.onPump = nullptr;
    EXPECT_EQ(inner, TJobLoader::TOutcome::Done) << at;
    EXPECT_EQ(w.memo.JobBytes(), "IN;PU0,0;PD4000,4000;") << at;
    EXPECT_EQ(w.memo.toPlainText(), "IN;PU0,0;PD4000,4000;") << at;
    EXPECT_FALSE(w.memo.isReadOnly()) << at;
    w.expectPreviewOf("IN;PU0,0;PD4000,4000;");
    EXPECT_FALSE(w.loader.Busy());
  }
  EXPECT_EQ(w.progress.back(), -1);
}

TEST(JobLoader, ARedrawDuringALoadLeavesTheLoadedJobAndItsPicture) {
  Window w;
  const std::string job = Cuts(830) + "PU0,0;";
  const std::string path = w.job("job.plt", job);
  for (const int at : {3, 25, 60}) {
    w.memo.LoadJob("IN;PU0,0;PD40,40;");
    w.pumps = 0;
    TJobLoader::TOutcome redraw{};
    w.onPump = [&] {
      if (w.pumps == at) redraw = w.loader.Rebuild();
    };
    std::string reason;
    EXPECT_EQ(w.loader.Load(path, reason, {}), TJobLoader::TOutcome::Done) << at;
    w.onPump = nullptr;
    EXPECT_EQ(redraw, TJobLoader::TOutcome::Done) << at;
    EXPECT_EQ(w.memo.JobBytes(), job) << at;
    w.expectPreviewOf(job);
    EXPECT_FALSE(w.loader.Busy());
  }
}

TEST(JobLoader, AnEditWhileARebuildReadsTheTextReplacesIt) {
  Window w;
  w.loader.ParseSlice = 100;
  w.memo.LoadJob(Cuts(500));
  w.onPump = [&] {
    if (w.pumps != 2) return;
    // Enough to move the job's bytes elsewhere.
    QTextCursor end(w.memo.document());
    end.movePosition(QTextCursor::End);
    end.insertText(QString(100000, 'x'));
  };
  EXPECT_EQ(w.loader.Rebuild(), TJobLoader::TOutcome::Replaced);
  w.onPump = nullptr;
  EXPECT_EQ(w.loader.Rebuild(), TJobLoader::TOutcome::Done);
  w.expectPreviewOf(w.memo.JobBytes());
  // Once the text is read, an edit leaves the drawing to finish (editing never redraws).
  const std::string read = w.memo.JobBytes();
  w.loader.ParseSlice = read.size();  // read in one step: then come the page and 10 of drawing
  w.pumps = 0;
  w.onPump = [&] {
    if (w.pumps == 5) w.memo.UndoEdit();
  };
  EXPECT_EQ(w.loader.Rebuild(), TJobLoader::TOutcome::Done);
  EXPECT_NE(w.memo.JobBytes(), read);
  w.expectPreviewOf(read);
}

TEST(JobLoader, AFileThatCannotBeReadLeavesTheJob) {
  Window w;
  w.memo.LoadJob("IN;PU0,0;PD40,40;");
  std::string reason;
  EXPECT_EQ(w.loader.Load((w.folder / "missing.plt").string(), reason, {}), TJobLoader::TOutcome::Failed);
  EXPECT_FALSE(reason.empty());
  EXPECT_EQ(w.memo.JobBytes(), "IN;PU0,0;PD40,40;");
  EXPECT_FALSE(w.loader.Busy());
}
