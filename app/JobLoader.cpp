#include "JobLoader.h"

#include "JobMemo.h"
#include "platform/JobFile.h"
#include "preview/PreviewRender.h"
#include "raster/PaintBox32.h"

#include <QCoreApplication>
#include <chrono>
#include <limits>
#include <utility>

namespace {

// Of a load's progress, reading takes the first fifth and filling the memo the next
// three tenths; the preview has the rest.
constexpr double kReadShare = 0.2, kFillShare = 0.3;

}  // namespace

TJobLoader::TJobLoader(TJobMemo& Memo, TPaintBox32& Box, TPaintBox32& TopRuler, TPaintBox32& LeftRuler,
                       IMatrixRef& ViewMatrix, TWorkSpace& Space)
    : Pump([] { QCoreApplication::processEvents(); }),
      Now([] { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }),
      FMemo(Memo),
      FBox(Box),
      FTopRuler(TopRuler),
      FLeftRuler(LeftRuler),
      FViewMatrix(ViewMatrix),
      FSpace(Space) {}

TJobLoader::TRun TJobLoader::Begin(bool Load) {
  ++FActive;
  FLoading += Load;
  TRun run;
  run.Number = ++FRuns;
  run.Load = Load ? ++FLoads : 0;
  run.Start = FLastPump = Now();
  return run;
}

bool TJobLoader::Continue(const TRun& Run, double Share) {
  const double now = Now();
  if (StepBudget > 0.0 && now - FLastPump < StepBudget) return true;  // nothing has run in between
  if (ShowProgress && now - Run.Start >= ProgressDelay) {
    FProgressShown = true;
    ShowProgress(static_cast<int>(Share * 100.0));
  }
  Pump();
  if (StepBudget > 0.0) FLastPump = Now();
  if (Run.Load != 0 && Run.Load != FLoads) return false;
  return Run.Preview == 0 || Run.Preview == FPreviews;
}

TJobLoader::TOutcome TJobLoader::End(const TRun& Run, TOutcome Outcome) {
  --FActive;
  FLoading -= Run.Load != 0;
  // A replaced run leaves the progress to the one that replaced it.
  if (Run.Number == FRuns && FProgressShown && ShowProgress) {
    FProgressShown = false;
    ShowProgress(-1);
  }
  return Outcome;
}

TJobLoader::TOutcome TJobLoader::Load(const std::string& Path, std::string& Reason,
                                      const std::function<void()>& JobIn) {
  TRun run = Begin(true);
  TJobFileReader reader;
  if (!reader.Open(Path, Reason)) return End(run, TOutcome::Failed);
  while (!reader.Done()) {
    if (!reader.ReadSome(ReadSlice, Reason)) return End(run, TOutcome::Failed);
    if (!Continue(run, kReadShare * reader.Progress())) return End(run, TOutcome::Replaced);
  }
  FMemo.BeginJob(reader.Take());
  while (FMemo.FillJob(TextSlice))
    if (!Continue(run, kReadShare + kFillShare * FMemo.FillProgress())) return End(run, TOutcome::Replaced);
  if (JobIn) JobIn();
  // The job is in; a rebuild that replaced this one's drawing has drawn it.
  const TOutcome drawn = BuildPreview(run, kReadShare + kFillShare, true);
  return End(run, drawn == TOutcome::Replaced && run.Load == FLoads ? TOutcome::Done : drawn);
}

TJobLoader::TOutcome TJobLoader::Rebuild(bool Pumping) {
  TRun run = Begin(false);
  return End(run, BuildPreview(run, 0.0, Pumping));
}

void TJobLoader::JobEdited() {
  if (FReadingText != 0 && FReadingText == FPreviews) ++FPreviews;
}

void TJobLoader::Abandon() {
  ++FLoads;
  ++FPreviews;
}

TJobLoader::TOutcome TJobLoader::BuildPreview(TRun& Run, double From, bool Pumping) {
  Run.Preview = ++FPreviews;
  // Drawn off screen into buffers kept from the last rebuild; the boxes go on showing
  // the last picture until this one is complete.
  FBoxBuffer.SetSize(FBox.Buffer().Width(), FBox.Buffer().Height());
  FTopBuffer.SetSize(FTopRuler.Buffer().Width(), FTopRuler.Buffer().Height());
  FLeftBuffer.SetSize(FLeftRuler.Buffer().Width(), FLeftRuler.Buffer().Height());
  // The text is read while the rebuild interprets it; a load or an edit that changes it
  // in between replaces the rebuild before its next step.
  TPreviewRebuild rebuild(FMemo.JobBytes(), {FBoxBuffer, FTopBuffer, FLeftBuffer}, FViewMatrix, FSpace);
  constexpr std::size_t kAll = std::numeric_limits<std::size_t>::max();
  while (rebuild.Step(Pumping ? SegmentSlice : kAll, Pumping ? ParseSlice : kAll)) {
    FReadingText = rebuild.ReadsText() ? Run.Preview : 0;
    if (Pumping && !Continue(Run, From + (1.0 - From) * rebuild.Progress())) return TOutcome::Replaced;
  }
  FReadingText = 0;
  std::swap(FBox.Buffer(), FBoxBuffer);
  std::swap(FTopRuler.Buffer(), FTopBuffer);
  std::swap(FLeftRuler.Buffer(), FLeftBuffer);
  FViewMatrix = rebuild.ViewMatrix();
  Notice = rebuild.Notice();
  FBox.update();
  FTopRuler.update();
  FLeftRuler.update();
  return TOutcome::Done;
}
