#include "SendPacer.h"

#include <algorithm>
#include <utility>

namespace {

constexpr auto kAnswerTime = std::chrono::seconds(1);
constexpr unsigned kQueriesUnanswered = 2;
// A cutter with little room is asked again after this long, rather than sent a trickle.
constexpr unsigned kRoomRecheckMs = 20;
// The longest sleep between looks at the estimate, so the interface keeps running.
constexpr unsigned kLongestSleepMs = 50;
// What the line carries in this long is kept free for a cutter whose clock starts late.
constexpr std::uint64_t kStartMarginMs = 20;

}  // namespace

std::unique_ptr<ISendPacer> MakeSendPacer(const TPacing& Pacing, TPacerPort Port,
                                          std::function<void(const std::string& Line)> Log) {
  switch (Pacing.Mode) {
    case TPaceMode::Query:
      return std::make_unique<TQueryPacer>(std::move(Port), std::move(Log));
    case TPaceMode::Time:
      return std::make_unique<TTimePacer>(std::move(Port), Pacing.Speeds, Pacing.CutterBufferBytes);
    case TPaceMode::None:
      break;
  }
  return nullptr;
}

TQueryPacer::TQueryPacer(TPacerPort Port, std::function<void(const std::string& Line)> Log)
    : FPort(std::move(Port)), FLog(std::move(Log)) {}

std::size_t TQueryPacer::Allow(std::size_t Wanted, const TPacerPort::TKeepWaiting& KeepWaiting) {
  for (;;) {
    std::size_t free = 0;
    if (!Ask(free, KeepWaiting)) return 0;
    // Waiting for an eighth of the buffer keeps queries and writes few.
    if (free >= std::min(Wanted, std::max<std::size_t>(1, FLargestFree / 8))) return std::min(Wanted, free);
    FPort.Sleep(kRoomRecheckMs);
    if (!KeepWaiting()) return 0;
  }
}

bool TQueryPacer::Ask(std::size_t& Free, const TPacerPort::TKeepWaiting& KeepWaiting) {
  for (unsigned unanswered = 0; unanswered < kQueriesUnanswered; ++unanswered) {
    // The query travels behind every byte sent so far, so its answer counts them all.
    const std::size_t sentBefore = FSent;
    if (!FPort.Write(kBufferQuery, KeepWaiting)) {
      FFailed = KeepWaiting();  // a write cut short by a cancel is no failure
      return false;
    }
    ++FUnanswered;
    const auto deadline = FPort.Now() + kAnswerTime;
    for (auto now = FPort.Now(); now < deadline; now = FPort.Now()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
      if (!FPort.Read(static_cast<unsigned>(left), KeepWaiting, FAnswer)) {
        FFailed = true;
        return false;
      }
      if (TakeAnswers(Free)) {
        FLargestFree = std::max(FLargestFree, Free);
        FTaken = std::max(FTaken, sentBefore - std::min(sentBefore, FLargestFree - Free));
        return true;
      }
      if (!KeepWaiting()) return false;
    }
  }
  FFailed = true;
  FLog(
      "Pacing\tThe cutter does not answer buffer queries (ESC . B); choose pacing by cutting time, or a "
      "handshake that works (cts/rts or xon/xoff)");
  return false;
}

bool TQueryPacer::TakeAnswers(std::size_t& Free) {
  // "<digits>\r" per query; a late answer to a query asked again is passed over.
  std::size_t value = 0;
  bool digits = false, last = false;
  std::size_t used = 0;
  for (std::size_t i = 0; i < FAnswer.size(); ++i) {
    const char c = FAnswer[i];
    if (c >= '0' && c <= '9') {
      value = std::min<std::size_t>(value * 10 + static_cast<std::size_t>(c - '0'), 1u << 30);
      digits = true;
    } else if (c == '\r' && digits) {
      used = i + 1;
      if (FUnanswered > 0) --FUnanswered;
      last = FUnanswered == 0;
      Free = value;
      value = 0;
      digits = false;
    }
  }
  FAnswer.erase(0, used);
  return last;
}

TTimePacer::TTimePacer(TPacerPort Port, const TCuttingSpeeds& Speeds, std::size_t CutterBufferBytes)
    : FPort(std::move(Port)), FModel(Speeds, true), FBaud(std::max<std::uint32_t>(Speeds.Baud, 1)) {
  const std::size_t margin = static_cast<std::size_t>(std::uint64_t{FBaud} / 10 * kStartMarginMs / 1000);
  FLimit = CutterBufferBytes - std::min(margin, CutterBufferBytes / 4);
}

std::size_t TTimePacer::Held(TPacerPort::TTime Now) {
  for (TCuttingModel::TDone done; (done = FModel.TakeDone(Now)).Bytes > 0;) FTaken += done.Bytes;
  return FModel.Held();
}

void TTimePacer::Sent(std::string_view Bytes) {
  const auto now = FPort.Now();
  // A line that fell idle starts carrying again now; bytes behind others wait their turn.
  if (now >= FLineStart + LineTime(FLineBytes, FBaud)) {
    FLineStart = now;
    FLineBytes = 0;
  }
  for (const char c : Bytes) FModel.Add(c, FLineStart + LineTime(++FLineBytes, FBaud));
}

std::size_t TTimePacer::Allow(std::size_t Wanted, const TPacerPort::TKeepWaiting& KeepWaiting) {
  for (;;) {
    const auto now = FPort.Now();
    const std::size_t held = Held(now);
    if (held < FLimit) return std::min(Wanted, FLimit - held);
    const auto next = FModel.NextDone();
    // Nothing under way: what is held waits for bytes still to come, so some must go.
    if (next == TPacerPort::TTime::max()) return std::min(Wanted, std::max<std::size_t>(1, FLimit / 4));
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - now).count();
    FPort.Sleep(static_cast<unsigned>(std::clamp<std::int64_t>(wait, 1, kLongestSleepMs)));
    if (!KeepWaiting()) return 0;
  }
}
