#include "OutputDrain.h"

#include <algorithm>
#include <thread>

namespace {
constexpr auto kDrainPoll = std::chrono::milliseconds(10);
// Long enough for a driver that reports its queue in whole USB transfers a second apart.
constexpr auto kProgressWindow = std::chrono::seconds(3);
}  // namespace

TDrainRules DrainRulesFor(const DCB& dcb, std::chrono::milliseconds heldLimit) {
  TDrainRules rules;
  rules.Baud = dcb.BaudRate;
  rules.Handshake = (dcb.Flags & (DCB::fOutxCtsFlow | DCB::fOutX)) != 0;
  rules.HeldLimit = heldLimit;
  return rules;
}

TDrainClock SteadyDrainClock() {
  return {[] { return std::chrono::steady_clock::now(); },
          [](std::chrono::milliseconds span) { std::this_thread::sleep_for(span); }};
}

TDrainResult DrainOutput(const std::function<bool(std::uint32_t& bytes)>& queuedBytes, const TDrainRules& rules,
                         const TDrainWatch& keepWaiting, const TDrainClock& clock) {
  using namespace std::chrono;
  std::uint32_t queued = 0;
  if (!queuedBytes(queued)) return TDrainResult::GaveUp;
  if (queued == 0) return TDrainResult::Drained;
  const std::uint64_t rate = std::max<std::uint64_t>(rules.Baud, 50);
  const auto start = clock.Now();
  const auto deadline = start + milliseconds(std::uint64_t{queued} * 10 * 1000 * 2 / rate + 500);
  const milliseconds stallLimit = rules.Handshake ? rules.HeldLimit : duration_cast<milliseconds>(kProgressWindow);
  auto lastShrink = start;
  std::uint32_t smallest = queued;
  for (;;) {
    if (keepWaiting && !keepWaiting(queued)) return TDrainResult::Interrupted;
    clock.Sleep(kDrainPoll);
    if (!queuedBytes(queued)) return TDrainResult::GaveUp;
    if (queued == 0) return TDrainResult::Drained;
    const auto now = clock.Now();
    if (queued < smallest) {
      smallest = queued;
      lastShrink = now;
    }
    if (!rules.Handshake && now >= deadline) return TDrainResult::GaveUp;
    if (stallLimit.count() > 0 && now - lastShrink >= stallLimit) return TDrainResult::GaveUp;
  }
}
