#include "CuttingModel.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// Nanoseconds a byte of 10 bits takes, times the baud rate.
constexpr std::uint64_t kByteNsTimesBaud = 10'000'000'000ull;

}  // namespace

std::chrono::nanoseconds LineTime(std::uint64_t Count, std::uint32_t Baud) {
  const unsigned __int128 ns = (static_cast<unsigned __int128>(Count) * kByteNsTimesBaud + Baud - 1) / Baud;
  return std::chrono::nanoseconds(static_cast<std::int64_t>(ns));
}

std::uint64_t LineBytes(std::chrono::nanoseconds Span, std::uint32_t Baud) {
  if (Span.count() <= 0) return 0;
  return static_cast<std::uint64_t>(static_cast<unsigned __int128>(Span.count()) * Baud / kByteNsTimesBaud);
}

TCuttingModel::TCuttingModel(const TCuttingSpeeds& Speeds, bool HoldUntilMove)
    : FSpeeds(Speeds), FHoldUntilMove(HoldUntilMove) {
  FSpeeds.Baud = std::max<std::uint32_t>(FSpeeds.Baud, 1);
  FSpeeds.CutMmPerS = std::max(FSpeeds.CutMmPerS, 0.0);
  if (FSpeeds.TravelMmPerS <= 0.0) FSpeeds.TravelMmPerS = FSpeeds.CutMmPerS;
  Reset();
}

void TCuttingModel::Reset() {
  FCutter.reset(new TVirtCutterObj);
  FCutter->OnCutterEvent = [this](std::int32_t Code, TVector2D Point, const std::string&) {
    if (Code != ceCutMove && Code != cePenUpMove) return true;
    // Raised before the interpreter moves on, so the position is still where the move starts.
    const TVector2D from = FCutter->CurrentPos;
    const double length = std::hypot(double{Point.X} - from.X, double{Point.Y} - from.Y);
    FMoveSeconds += length / (Code == ceCutMove ? FSpeeds.CutMmPerS : FSpeeds.TravelMmPerS);
    FMoved = true;
    return true;
  };
  FRelative = false;
  FToken.clear();
  FWaiting = 0;
  FCommands.clear();
  FHeld = 0;
  FLastDone = FRunStart = TTime{};
  FRunBytes = 0;
}

void TCuttingModel::Add(char Byte, TTime At) {
  ++FHeld;
  if (FSpeeds.CutMmPerS == 0.0) {
    // At the line rate: a line that fell idle starts a new run; bytes that join a busy
    // buffer wait their turn. Counted from the run's start, so no rounding adds up.
    if (FCommands.empty() || At >= FLastDone) {
      FRunStart = At;
      FRunBytes = 0;
    }
    FLastDone = FRunStart + LineTime(++FRunBytes, FSpeeds.Baud);
    FCommands.push_back({FLastDone, 1, 10.0 / FSpeeds.Baud});
    return;
  }
  FToken += Byte;
  if (!TVirtCutterObj::IsSeparator(Byte)) return;
  const double seconds = TokenSeconds();
  const std::size_t bytes = FToken.size();
  FToken.clear();
  if (seconds < 0.0 && FHoldUntilMove) {
    FWaiting += bytes;
    return;
  }
  Schedule(bytes + std::exchange(FWaiting, 0), std::max(seconds, 0.0), At);
}

double TCuttingModel::TokenSeconds() {
  FMoveSeconds = 0.0;
  FMoved = false;
  FCutter->InterpretTokens(FToken, FRelative);
  return FMoved ? FMoveSeconds : -1.0;
}

void TCuttingModel::Schedule(std::size_t Bytes, double Seconds, TTime Start) {
  const auto duration = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(Seconds));
  FLastDone = std::max(FLastDone, Start) + duration;
  FCommands.push_back({FLastDone, Bytes, Seconds});
}

TCuttingModel::TDone TCuttingModel::TakeDone(TTime Now) {
  if (FCommands.empty() || FCommands.front().Done > Now) return {};
  const TCommand command = FCommands.front();
  FCommands.pop_front();
  FHeld -= command.Bytes;
  return {command.Bytes, command.Seconds, command.Done};
}

std::size_t TCuttingModel::DropUnfinished() {
  const std::size_t bytes = FToken.size() + FWaiting;
  FToken.clear();
  FWaiting = 0;
  FHeld -= bytes;
  return bytes;
}
