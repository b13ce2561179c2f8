#include "SendSession.h"

#include "SendPacer.h"
#include "platform/CodePage.h"
#include "platform/Clock.h"
#include "platform/NumberText.h"
#include "platform/SerialDevices.h"
#include "translation/TransUtils.h"

#include <algorithm>

int SendPieceMax = 0;
int SendPiecePref = 0;

namespace {

constexpr std::size_t kMinimumPieceJob = 100;
constexpr std::size_t kDefaultHardLimit = 2000;
constexpr std::size_t kDefaultPreferred = 1024;
constexpr std::size_t kDefaultBlock = 2048;
constexpr unsigned kNoProgressPauseMs = 50;

std::string kilobytes(std::size_t bytes) { return FixedPoint(static_cast<double>(bytes) / 1024.0, 2) + " Kb"; }

}  // namespace

TSendSession::TSendSession(ISendView& view, TWriter writer, std::string portName)
    // The status line names the device as a Linux user knows it, not by its descriptor.
    : View(view), Writer(std::move(writer)), PortName(PortDevicePath(portName)) {}

bool TSendSession::Run(const std::string& jobText, bool useTxBuffer) {
  if (!useTxBuffer) return SendInPieces(jobText);
  return SendInBlocks(jobText, SendPieceMax > 0 ? static_cast<std::size_t>(SendPieceMax) + 1 : kDefaultBlock);
}

std::size_t TSendSession::BytesToSend(const std::string& jobText, bool useTxBuffer) {
  return useTxBuffer ? jobText.size() : std::max(jobText.size(), kMinimumPieceJob);
}

std::size_t TSendSession::FindPieceEnd(const std::string& text, std::size_t start, std::size_t preferred,
                                       std::size_t hardLimit) {
  const std::size_t length = text.size();
  if (preferred == hardLimit) return std::min(start + preferred, length);
  std::size_t lastBreak = 0, lastComma = 0;
  for (std::size_t pos = start; pos <= length; ++pos) {
    const char c = text[pos - 1];
    const std::size_t offset = pos - start;
    if (c == '\r' || c == '\n') {
      if (pos < length && (text[pos] == '\r' || text[pos] == '\n')) return pos + 1;
      return pos;
    }
    if (c == ';') {
      if (offset >= preferred) return pos;
      lastBreak = pos;
    } else if (c == ' ') {
      lastBreak = pos;
    } else if (c == ',') {
      lastComma = pos;
    }
    if (offset > preferred) {
      if (lastBreak) return lastBreak;
      if (lastComma) return lastComma;
      if (offset > hardLimit) return pos;
    }
  }
  return length;
}

bool TSendSession::writeStep(const char* data, std::size_t count, std::size_t& written) {
  written = 0;
  const auto keepWaiting = [this] {
    View.Pump();
    return CancelTag != AbortTag;
  };
  if (Pacer) {
    count = Pacer->Allow(count, keepWaiting);
    if (Pacer->Failed()) {
      CancelTag = AbortTag;
      SendOk = false;
      Failed = true;
      return false;
    }
    if (count == 0) return true;  // abandoned while waiting for room
  }
  const TSendWriteResult result = Writer(data, count, keepWaiting);
  if (result.Failed) {
    CancelTag = AbortTag;
    SendOk = false;
    Failed = true;
    return false;
  }
  written = std::min(result.Written, count);
  // The device's own word on why nothing moves, until bytes move again.
  if (!result.Status.empty()) {
    View.ShowStatus(TransFormat("(__The cutter reports: [0_STATE]__)", {AnsiToWide(result.Status)}));
    DeviceStatusShown = true;
  } else if (DeviceStatusShown && written > 0) {
    View.ShowStatus(SendingStatus);
    DeviceStatusShown = false;
  }
  if (Pacer) Pacer->Sent({data, written});
  // Any write that was not whole shows the notice; only one that moved nothing pauses.
  View.ShowWaiting(written < count);
  if (written == 0) SleepMs(kNoProgressPauseMs);
  return true;
}

void TSendSession::showProgress(std::size_t position, std::size_t maximum, std::size_t total) {
  if (!Pacer) {
    View.ShowProgress(position, maximum);
    showSent(position, total);
    return;
  }
  // Paced: what the cutter took, and the time left at the rate it has taken bytes so far.
  const std::size_t taken = std::min(Pacer->Taken(), total);
  View.ShowProgress(taken, maximum);
  std::string text = FixedPoint(static_cast<double>(taken) / 1024.0, 2) + " kb / " +
                     FixedPoint(static_cast<double>(total) / 1024.0, 2) + " kb";
  const double seconds =
      static_cast<double>(Clock() - Started - Paused) / static_cast<double>(QueryPerformanceFrequency());
  if (taken > 0 && seconds > 0.0)
    text += ", about " + FixedPoint(static_cast<double>(total - taken) * seconds / static_cast<double>(taken), 0) +
            " s left";
  View.ShowProgressText(text);
}

void TSendSession::PauseClock() {
  if (PauseOpen) return;
  PauseOpen = true;
  PausedAt = Clock();
}

void TSendSession::ResumeClock() {
  if (!PauseOpen) return;
  PauseOpen = false;
  Paused += Clock() - PausedAt;
}

void TSendSession::showSent(std::size_t sent, std::size_t total) {
  View.ShowProgressText(FixedPoint(static_cast<double>(sent) / 1024.0, 2) + " kb / " +
                        FixedPoint(static_cast<double>(total) / 1024.0, 2) + " kb");
}

void TSendSession::waitForTail() {
  if (!SendOk || !TailWait) return;
  std::uint32_t left = 0;
  bool told = false;
  const TDrainResult result = TailWait([&](std::uint32_t queued) {
    if (!told || queued != left) {
      // A cutter holding the line looks like a hung send unless the window says why.
      if (!told) View.ShowStatus(TranslateMarker("(__Waiting for the cutter to take the end of the job__)"));
      told = true;
      left = queued;
      const std::size_t gone = Total - std::min<std::size_t>(queued, Total);
      View.ShowProgress(gone, Total);
      View.ShowProgressText(FixedPoint(static_cast<double>(gone) / 1024.0, 2) + " kb / " +
                            FixedPoint(static_cast<double>(Total) / 1024.0, 2) + " kb, the cutter is taking the last " +
                            WholeNumber(queued) + " bytes");
    }
    View.Pump();
    return CancelTag != AbortTag;
  });
  if (result == TDrainResult::Drained) return;
  SendOk = false;
  Sent = Total - std::min<std::size_t>(left, Total);
  if (result == TDrainResult::GaveUp) Failed = TailGivenUp = true;
}

bool TSendSession::SendInPieces(std::string text) {
  SendOk = Failed = TailGivenUp = false;
  Sent = Total = 0;
  if (text.empty() || !Writer) return false;
  const std::size_t hardLimit = SendPieceMax > 0 ? static_cast<std::size_t>(SendPieceMax) : kDefaultHardLimit;
  const std::size_t preferred = SendPiecePref > 0 ? static_cast<std::size_t>(SendPiecePref) : kDefaultPreferred;
  text.resize(BytesToSend(text, false), ' ');
  const std::size_t total = Total = text.size();

  View.ShowStatus(SendingStatus = TransFormat("(__Sending data to [0_PORT]__)", {AnsiToWide(PortName)}));
  View.ShowProgressText(kilobytes(total));
  View.ShowProgress(0, total);
  SendOk = true;
  Started = Clock();
  Paused = 0;

  // A piece that comes back short goes on from its first unsent byte, so every byte
  // reaches the cutter exactly once.
  std::size_t next = 1, pieceEnd = 0;
  while (next <= total) {
    View.Pump();
    if (CancelTag == AbortTag) break;
    if (next > pieceEnd) pieceEnd = FindPieceEnd(text, next, preferred, hardLimit);
    std::size_t written = 0;
    if (!writeStep(text.data() + next - 1, pieceEnd - next + 1, written)) break;
    next += written;
    Sent += written;
    if (written > 0) showProgress(Sent, total, total);
  }
  if (next <= total) SendOk = false;
  waitForTail();
  View.ShowProgress(0, total);
  return true;
}

bool TSendSession::SendInBlocks(const std::string& text, std::size_t blockSize) {
  SendOk = Failed = TailGivenUp = false;
  Sent = Total = 0;
  if (text.empty() || !Writer) return false;
  const std::size_t total = Total = text.size();

  View.ShowStatus(SendingStatus = TransFormat("(__Sending data to: [0_PORT]__)", {AnsiToWide(PortName)}));
  View.ShowProgressText(kilobytes(total));
  View.ShowProgress(0, total + 1);
  SendOk = true;
  Started = Clock();
  Paused = 0;

  std::size_t position = 1;
  while (position <= total) {
    View.Pump();
    if (CancelTag == AbortTag) break;
    const std::size_t count = std::min(total - position + 1, blockSize);
    std::size_t written = 0;
    if (!writeStep(text.data() + position - 1, count, written)) break;
    position += written;
    Sent += written;
    if (written > 0) showProgress(position, total + 1, total);
  }
  if (position <= total) SendOk = false;
  waitForTail();
  View.ShowProgress(0, total + 1);
  return true;
}
