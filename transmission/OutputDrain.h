#pragma once
// The wait for a port's queued output to go out before it closes, shared by the direct
// port component and the raw transmitter.

#include <cstdint>
#include <functional>

enum class TDrainResult { Drained, GaveUp, Interrupted };

// Waits while the device sends what is queued: at most twice the time the queued bytes
// need at the line rate (10 bits a byte) plus half a second, and no longer than a second
// without the queue shrinking (a stalled handshake). queuedBytes reads the queue, false
// when the device cannot tell. keepWaiting is called about every 10 ms (the caller lets
// its user interface run there); false from it stops the wait.
TDrainResult DrainOutput(const std::function<bool(std::uint32_t& bytes)>& queuedBytes, std::uint32_t baud,
                         const std::function<bool()>& keepWaiting);
