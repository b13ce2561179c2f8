#include "LineClock.h"

#include <algorithm>

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

TLineClock::TLineClock(std::uint32_t Baud) : FBaud(std::max<std::uint32_t>(Baud, 1)) {}

void TLineClock::Write(TTime Now) {
  if (Now < Clear()) return;
  FRunStart = Now;
  FRunBytes = 0;
}
