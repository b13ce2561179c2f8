#include "CuttingModel.h"

#include <algorithm>
#include <utility>

namespace {

constexpr double kLongestStepSeconds = 1e6;

}  // namespace

TCuttingModel::TCuttingModel(const TCuttingSpeeds& Speeds, bool HoldUnread)
    : FSpeeds(Speeds), FHoldUnread(HoldUnread), FLineRate(Speeds.Baud) {
  FSpeeds.Baud = std::max<std::uint32_t>(FSpeeds.Baud, 1);
  FSpeeds.CutMmPerS = std::max(FSpeeds.CutMmPerS, 0.0);
  if (FSpeeds.TravelMmPerS <= 0.0) FSpeeds.TravelMmPerS = FSpeeds.CutMmPerS;
  Reset();
}

void TCuttingModel::Reset() {
  FReader.Reset();
  FArriving = FWaiting = 0;
  FSteps.clear();
  FHeld = 0;
  FLastDone = TTime{};
  FLineRate = TLineClock(FSpeeds.Baud);
}

void TCuttingModel::Add(char Byte, TTime At) {
  ++FHeld;
  if (FSpeeds.CutMmPerS == 0.0) {
    // At the line rate: bytes that join a busy buffer wait their turn.
    FLineRate.Write(At);
    FLastDone = FLineRate.Carry();
    FSteps.push_back({FLastDone, 1, 10.0 / FSpeeds.Baud});
    return;
  }
  ++FArriving;
  THpglStep step;
  if (!FReader.Read(Byte, step)) return;
  const std::size_t bytes = std::exchange(FArriving, 0);
  if (FHoldUnread && !step.Moved && (!step.Read || FWaiting > 0)) {
    FWaiting += bytes;
    return;
  }
  // The job may slow the blade with VS; a cutter never goes faster than its speed.
  const double cut = step.JobMmPerS > 0.0 ? std::min(step.JobMmPerS, FSpeeds.CutMmPerS) : FSpeeds.CutMmPerS;
  Schedule(bytes + std::exchange(FWaiting, 0), step.CutMm / cut + step.TravelMm / FSpeeds.TravelMmPerS, At);
}

void TCuttingModel::Schedule(std::size_t Bytes, double Seconds, TTime Start) {
  // Absurd coordinates or speeds make absurd steps; the clock must not overflow on them.
  const auto duration = std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::duration<double>(std::min(Seconds, kLongestStepSeconds)));
  const TTime from = std::max(FLastDone, Start), last = TTime::max() - std::chrono::nanoseconds(1);
  FLastDone = last - from > duration ? from + duration : last;
  FSteps.push_back({FLastDone, Bytes, Seconds});
}

TCuttingModel::TDone TCuttingModel::TakeDone(TTime Now) {
  if (FSteps.empty() || FSteps.front().Done > Now) return {};
  const TStep step = FSteps.front();
  FSteps.pop_front();
  FHeld -= step.Bytes;
  return {step.Bytes, step.Seconds, step.Done};
}

std::size_t TCuttingModel::DropUnfinished() {
  const std::size_t bytes = std::exchange(FArriving, 0) + std::exchange(FWaiting, 0);
  FHeld -= bytes;
  return bytes;
}
