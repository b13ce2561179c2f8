#pragma once
// When a serial line has carried the bytes written to it: 10 bits a byte at the baud rate,
// one byte after the other, a line that fell idle starting afresh when bytes come again.

#include <chrono>
#include <cstdint>

// How long the line takes to carry Count bytes at 10 bits a byte, rounded up to the
// nanosecond; exact for any count, so a long run adds up no rounding.
std::chrono::nanoseconds LineTime(std::uint64_t Count, std::uint32_t Baud);
// How many whole bytes the line carries in Span: the inverse of LineTime.
std::uint64_t LineBytes(std::chrono::nanoseconds Span, std::uint32_t Baud);

class TLineClock {
 public:
  using TTime = std::chrono::steady_clock::time_point;

  explicit TLineClock(std::uint32_t Baud);
  // Bytes are written at Now: they follow those still on the line, or start a new run.
  void Write(TTime Now);
  // When the last of the next Count bytes written is through; counts them. Write comes first.
  TTime Carry(std::uint64_t Count = 1) {
    FRunBytes += Count;
    return Clear();
  }
  // When the line has carried every byte written so far.
  TTime Clear() const { return FRunStart + LineTime(FRunBytes, FBaud); }

 private:
  std::uint32_t FBaud;
  TTime FRunStart{};  // when the line last began to carry bytes without a pause
  std::uint64_t FRunBytes = 0;  // carried since then, counted from the run's start so no rounding adds up
};
