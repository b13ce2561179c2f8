#include "OutputDrain.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {
constexpr auto kDrainPoll = std::chrono::milliseconds(10);
}

TDrainResult DrainOutput(const std::function<bool(std::uint32_t& bytes)>& queuedBytes, std::uint32_t baud,
                         const std::function<bool()>& keepWaiting) {
  using namespace std::chrono;
  std::uint32_t queued = 0;
  if (!queuedBytes(queued)) return TDrainResult::GaveUp;
  if (queued == 0) return TDrainResult::Drained;
  const std::uint64_t rate = std::max<std::uint64_t>(baud, 50);
  const auto start = steady_clock::now();
  const auto deadline = start + milliseconds(std::uint64_t{queued} * 10 * 1000 * 2 / rate + 500);
  auto lastShrink = start;
  std::uint32_t smallest = queued;
  for (;;) {
    if (keepWaiting && !keepWaiting()) return TDrainResult::Interrupted;
    std::this_thread::sleep_for(kDrainPoll);
    if (!queuedBytes(queued)) return TDrainResult::GaveUp;
    if (queued == 0) return TDrainResult::Drained;
    const auto now = steady_clock::now();
    if (queued < smallest) {
      smallest = queued;
      lastShrink = now;
    }
    if (now >= deadline || now - lastShrink >= seconds(1)) return TDrainResult::GaveUp;
  }
}
