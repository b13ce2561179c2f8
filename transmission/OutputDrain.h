#pragma once
// The wait for a port's queued output to go out, at the end of a send and before a port
// closes; shared by the send session, the direct port component and the raw transmitter.

#include "platform/comm.h"

#include <chrono>
#include <cstdint>
#include <functional>

enum class TDrainResult { Drained, GaveUp, Interrupted };

// How long a queue that stops shrinking is waited for.
struct TDrainRules {
  std::uint32_t Baud = 9600;
  // A handshake holds the output: a queue that does not shrink is the cutter holding the
  // line while it cuts, not a dead port, and is waited for as a stall in the middle of
  // the job would be.
  bool Handshake = false;
  // With a handshake, the longest the queue may stay unshrunk; zero waits until the
  // caller stops the wait.
  std::chrono::milliseconds HeldLimit{0};
};

// The rules for a port set up as dcb: a handshake when the cutter can hold our output
// (CTS or XON/XOFF).
TDrainRules DrainRulesFor(const DCB& dcb, std::chrono::milliseconds heldLimit = {});

// Told the bytes still queued at every look (about every 10 ms), so the caller can say
// what it waits for and let its user interface run; false from it stops the wait.
using TDrainWatch = std::function<bool(std::uint32_t queued)>;

// Time as the wait sees it; tests script it.
struct TDrainClock {
  std::function<std::chrono::steady_clock::time_point()> Now;
  std::function<void(std::chrono::milliseconds)> Sleep;
};
TDrainClock SteadyDrainClock();

// Waits while the device sends what is queued; queuedBytes reads the queue, false when
// the device cannot tell. Progress is bytes leaving the queue over a window of a few
// seconds, since some drivers (cdc-acm) count whole USB transfers and report none in
// between. Without a handshake the wait gives up when the queue has not shrunk for that
// window, and in any case after twice the time the first queued bytes need at the line
// rate (10 bits a byte) plus half a second. With one, only keepWaiting or HeldLimit end it.
TDrainResult DrainOutput(const std::function<bool(std::uint32_t& bytes)>& queuedBytes, const TDrainRules& rules,
                         const TDrainWatch& keepWaiting, const TDrainClock& clock = SteadyDrainClock());
