#include "SendPacer.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <utility>

namespace {

constexpr auto kAnswerTime = std::chrono::seconds(1);
constexpr unsigned kQueriesUnanswered = 2;
// A cutter with little room is asked again after this long, rather than sent a trickle.
constexpr unsigned kRoomRecheckMs = 20;
// A cutter whose answers stay the same without room this long is said to take nothing.
constexpr auto kNothingTaken = std::chrono::seconds(30);
// Bytes kept of a line that does not end, and shown of one that is no answer.
constexpr std::size_t kLongestLine = 64;
// The longest sleep between looks at the estimate, so the interface keeps running.
constexpr unsigned kLongestSleepMs = 50;
// The cutter may get the bytes this much later than the line would bring them (an adapter
// that buffers, a busy link): the estimate takes it to be that far behind.
constexpr auto kCutterLate = std::chrono::milliseconds(100);

constexpr const char* kChooseOther = "; choose pacing by cutting time, or a handshake that works (cts/rts or xon/xoff)";

// The bytes as a log line can show them: control and 8-bit bytes as \xNN.
std::string Printable(std::string_view Bytes) {
  std::string text;
  for (const char c : Bytes.substr(0, kLongestLine)) {
    if (c >= ' ' && c <= '~') {
      text += c;
      continue;
    }
    char hex[5];
    std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
    text += hex;
  }
  return text;
}

}  // namespace

std::unique_ptr<ISendPacer> MakeSendPacer(const TPacing& Pacing, TPacerPort Port,
                                          std::function<void(const std::string& Line)> Log) {
  switch (Pacing.Mode) {
    case TPaceMode::Query:
      return std::make_unique<TQueryPacer>(std::move(Port), Pacing.Speeds.Baud, std::move(Log));
    case TPaceMode::Time:
      return std::make_unique<TTimePacer>(std::move(Port), Pacing.Speeds, Pacing.CutterBufferBytes, std::move(Log));
    case TPaceMode::None:
      break;
  }
  return nullptr;
}

TQueryPacer::TQueryPacer(TPacerPort Port, std::uint32_t Baud, std::function<void(const std::string& Line)> Log)
    : FPort(std::move(Port)), FLog(std::move(Log)), FLine(Baud) {}

void TQueryPacer::Sent(std::string_view Bytes) {
  FSent += Bytes.size();
  FCredit -= std::min(FCredit, Bytes.size());
  FLine.Write(FPort.Now());
  FLine.Carry(Bytes.size());
}

std::size_t TQueryPacer::Allow(std::size_t Wanted, const TPacerPort::TKeepWaiting& KeepWaiting) {
  // Room the last answer vouches for goes without a question until it runs low.
  if (FCredit > 0 && FCredit >= std::min(Wanted, std::max<std::size_t>(1, FLargestFree / 4)))
    return std::min(Wanted, FCredit);
  for (std::size_t lastFree = 0;;) {
    std::size_t free = 0;
    if (!Ask(free, KeepWaiting)) return 0;
    FCredit = free;
    // Waiting for an eighth of the buffer keeps queries and writes few.
    if (free >= std::min(Wanted, std::max<std::size_t>(1, FLargestFree / 8))) {
      FNoRoomSince = {};
      return std::min(Wanted, free);
    }
    const auto now = FPort.Now();
    if (FNoRoomSince == TPacerPort::TTime{} || free != lastFree) {
      FNoRoomSince = now;
    } else if (now - FNoRoomSince >= kNothingTaken) {
      FLog("Pacing\tThe cutter has taken nothing for 30 s (it reports " + std::to_string(free) +
           " bytes free); still waiting, Cancel ends the send");
      FNoRoomSince = now;
    }
    lastFree = free;
    FPort.Sleep(kRoomRecheckMs);
    if (!KeepWaiting()) return 0;
  }
}

bool TQueryPacer::Ask(std::size_t& Free, const TPacerPort::TKeepWaiting& KeepWaiting) {
  // Something that came and is no answer is not asked about again: silence is, once.
  FUnreadable.clear();
  bool heard = false;
  for (unsigned asked = 0; asked < kQueriesUnanswered && !heard; ++asked) {
    // The query travels behind every byte sent so far, so its answer counts them all.
    const std::size_t sentBefore = FSent;
    if (!FPort.Write(kBufferQuery, KeepWaiting)) {
      FFailed = KeepWaiting();  // a write cut short by a cancel is no failure
      return false;
    }
    ++FUnanswered;
    // It reaches the cutter once the line has carried what is queued ahead of it.
    FLine.Write(FPort.Now());
    const auto deadline = FLine.Carry(kBufferQuery.size()) + kAnswerTime;
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
      // Line ends alone, as the LF of a CR LF, say nothing.
      heard = !FUnreadable.empty() || !FAnswer.empty();
      if (!KeepWaiting()) return false;
    }
  }
  if (!heard)
    Fail("The cutter does not answer buffer queries (ESC . B)");
  else
    Fail("The cutter answered '" + Printable(FUnreadable.empty() ? FAnswer : FUnreadable) +
         "' to the buffer query (ESC . B), which is not a buffer size");
  return false;
}

void TQueryPacer::Fail(const std::string& Why) {
  FFailed = true;
  FLog("Pacing\t" + Why + kChooseOther);
}

bool TQueryPacer::TakeAnswers(std::size_t& Free) {
  // An answer is a line of digits, blanks around them allowed, ended by CR or LF. A late
  // answer to a query asked again is passed over; so is a line that is no answer when an
  // answer follows it, as an echo of the job is.
  bool last = false;
  for (std::size_t end; (end = FAnswer.find_first_of("\r\n")) != std::string::npos;) {
    std::string line = FAnswer.substr(0, end);
    FAnswer.erase(0, end + 1);
    // An echo of the query, and what came before it on its line, is not the answer.
    if (const std::size_t echo = line.rfind(kBufferQuery); echo != std::string::npos)
      line.erase(0, echo + kBufferQuery.size());
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos) continue;  // nothing, as between CR and LF
    const std::size_t past = line.find_last_not_of(" \t") + 1;
    std::size_t value = 0;
    const auto [stop, error] = std::from_chars(line.data() + first, line.data() + past, value);
    if (error != std::errc() || stop != line.data() + past) {
      FUnreadable = line;
      continue;
    }
    if (FUnanswered > 0) --FUnanswered;
    last = FUnanswered == 0;
    Free = value;
  }
  // A line that never ends is no answer; what is kept of it is for the log.
  if (FAnswer.size() > kLongestLine) FAnswer.erase(0, FAnswer.size() - kLongestLine);
  return last;
}

TTimePacer::TTimePacer(TPacerPort Port, const TCuttingSpeeds& Speeds, std::size_t CutterBufferBytes,
                       std::function<void(const std::string& Line)> Log)
    : FPort(std::move(Port)),
      FLog(std::move(Log)),
      FModel(Speeds, true),
      FLine(Speeds.Baud),
      FBufferBytes(CutterBufferBytes) {}

std::size_t TTimePacer::Held(TPacerPort::TTime Now) {
  for (TCuttingModel::TDone done; (done = FModel.TakeDone(Now - kCutterLate)).Bytes > 0;) FTaken += done.Bytes;
  return FModel.Held();
}

void TTimePacer::Sent(std::string_view Bytes) {
  FSent += Bytes.size();
  FLine.Write(FPort.Now());
  for (const char c : Bytes) FModel.Add(c, FLine.Carry());
}

std::size_t TTimePacer::Allow(std::size_t Wanted, const TPacerPort::TKeepWaiting& KeepWaiting) {
  for (;;) {
    const auto now = FPort.Now();
    const std::size_t held = Held(now);
    if (held < FBufferBytes) return std::min(Wanted, FBufferBytes - held);
    const auto next = FModel.NextDone();
    if (next == TPacerPort::TTime::max()) {
      // The buffer is thought full of bytes the estimate cannot time, and nothing it can
      // time is under way: no wait would make room for certain.
      FFailed = true;
      FLog("Pacing\tFrom byte " + std::to_string(FSent - held + 1) +
           " the job has more bytes than the cutter's buffer that the cutting-time estimate cannot time; choose "
           "asking the cutter (ESC . B), or a handshake that works (cts/rts or xon/xoff)");
      return 0;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next + kCutterLate - now).count();
    FPort.Sleep(static_cast<unsigned>(std::clamp<std::int64_t>(wait, 1, kLongestSleepMs)));
    if (!KeepWaiting()) return 0;
  }
}
