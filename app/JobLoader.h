#pragma once
// Loading a job into the memo and building its preview in steps, with the window's events
// processed between them, so that a job of millions of segments never freezes the
// window. A load or rebuild started while another runs (from an event processed between
// its steps) replaces it: the older one stops at its next step and leaves everything to
// the newer. The preview is drawn into buffers of the loader's own, kept from one rebuild
// to the next, and handed to the paint boxes only when it is complete.

#include "preview/MatrixClass.h"
#include "preview/PreviewNotice.h"
#include "raster/Bitmap32.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class TJobMemo;
class TPaintBox32;
class TWorkSpace;

class TJobLoader {
 public:
  // ViewMatrix is the window's: each rebuild starts from it and replaces it when done.
  TJobLoader(TJobMemo& Memo, TPaintBox32& Box, TPaintBox32& TopRuler, TPaintBox32& LeftRuler, IMatrixRef& ViewMatrix,
             TWorkSpace& Space);

  enum class TOutcome { Done, Failed, Replaced };

  // Reads the file into the memo (Failed, with a reason, leaves the job as it was),
  // calls JobIn once the job is in, and rebuilds the preview. Replaced only by a newer
  // load; a rebuild that replaces its drawing draws the same job.
  TOutcome Load(const std::string& Path, std::string& Reason, const std::function<void()>& JobIn);
  // Rebuilds the preview of the memo's job. Without Pumping it runs to the end at once
  // (inside a paint, say).
  TOutcome Rebuild(bool Pumping = true);
  bool Busy() const { return FActive > 0; }
  // A load is under way: the memo, the label or the picture may still show another job.
  bool Loading() const { return FLoading > 0; }
  // The memo's job was edited: a rebuild under way that is still reading the old text
  // stops at its next step (one that only draws goes on).
  void JobEdited();
  // Every load and rebuild under way stops at its next step, the memo as it is (the
  // window is closing).
  void Abandon();

  // What the picture of the last complete rebuild leaves out.
  TPreviewNotice Notice;

  // Lets the window process its events; QCoreApplication::processEvents by default.
  std::function<void()> Pump;
  // Seconds on a steady clock.
  std::function<double()> Now;
  // The progress of a run that has taken ProgressDelay seconds so far, in percent; -1
  // when the run is over.
  std::function<void(int Percent)> ShowProgress;
  double ProgressDelay = 0.5;
  // The work of one step: bytes read, characters put into the memo, segments drawn
  // (a long one costs some hundred pixels).
  std::size_t ReadSlice = std::size_t{1} << 20;
  std::size_t TextSlice = std::size_t{1} << 16;
  std::size_t SegmentSlice = 2000;
  std::size_t ParseSlice = std::size_t{1} << 18;
  // Steps follow one another without pumping for this many seconds; 0 pumps after each.
  double StepBudget = 0.02;

 private:
  // One load or rebuild. Only a newer load replaces a load while it reads and fills the
  // memo; once it draws, a newer rebuild replaces it too.
  struct TRun {
    std::uint64_t Number = 0, Load = 0, Preview = 0;  // 0: not a load, not drawing yet
    double Start = 0.0;
  };
  TRun Begin(bool Load);
  // After a step: once the step budget is spent, shows the run's progress (Share of its
  // work, from 0 to 1) and pumps. False when a newer run has replaced it.
  bool Continue(const TRun& Run, double Share);
  TOutcome End(const TRun& Run, TOutcome Outcome);
  TOutcome BuildPreview(TRun& Run, double From, bool Pumping);

  TJobMemo& FMemo;
  TPaintBox32 &FBox, &FTopRuler, &FLeftRuler;
  IMatrixRef& FViewMatrix;
  TWorkSpace& FSpace;
  TBitmap32 FBoxBuffer, FTopBuffer, FLeftBuffer;
  std::uint64_t FRuns = 0, FLoads = 0, FPreviews = 0;  // the numbers of the newest
  int FActive = 0;                                     // runs under way, the newest innermost
  int FLoading = 0;                                    // loads among them
  bool FProgressShown = false;
  double FLastPump = 0.0;          // when the window last had its events processed
  std::uint64_t FReadingText = 0;  // the rebuild that still reads the job text, or 0
};
