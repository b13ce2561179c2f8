#pragma once
// Pacing a send for a line whose handshake cannot be trusted: before each piece or block
// the send asks how many bytes may go, so that the cutter's buffer never overflows.
// "Ask the cutter" queries its free buffer space (ESC . B); "By cutting time" estimates
// what it still holds from the job's moves at its speeds and from the line rate. Neither
// hands out a byte it cannot account for: a pacer that cannot go on fails the send.

#include "transmission/CuttingModel.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

enum class TPaceMode { None, Query, Time };

struct TPacing {
  TPaceMode Mode = TPaceMode::None;
  std::size_t CutterBufferBytes = 0;  // by cutting time: the cutter's buffer
  TCuttingSpeeds Speeds;              // the line rate; by cutting time also the cutter's speeds
};

// The line and the clock as a pacer sees them; tests script them.
struct TPacerPort {
  using TTime = std::chrono::steady_clock::time_point;
  using TKeepWaiting = std::function<bool()>;
  // Writes the bytes whole; false when they did not all go (failed, or abandoned).
  std::function<bool(std::string_view Bytes, const TKeepWaiting& KeepWaiting)> Write;
  // Appends to Bytes what came within TimeoutMs (nothing when none came); false when the
  // device failed.
  std::function<bool(unsigned TimeoutMs, const TKeepWaiting& KeepWaiting, std::string& Bytes)> Read;
  std::function<TTime()> Now;
  std::function<void(unsigned Ms)> Sleep;
};

class ISendPacer {
 public:
  virtual ~ISendPacer() = default;
  // How many of the next Wanted bytes may go now; waits, asking KeepWaiting (which lets
  // the user interface run) between looks, until some may. 0 when the wait was abandoned
  // or the pacer failed.
  virtual std::size_t Allow(std::size_t Wanted, const TPacerPort::TKeepWaiting& KeepWaiting) = 0;
  // The bytes that went out.
  virtual void Sent(std::string_view Bytes) = 0;
  // The bytes the cutter is known or thought to have worked off.
  virtual std::size_t Taken() const = 0;
  // True once the send cannot go on paced; the log has said why.
  virtual bool Failed() const = 0;
};

// Nothing for TPaceMode::None. Log writes one line of the activity log.
std::unique_ptr<ISendPacer> MakeSendPacer(const TPacing& Pacing, TPacerPort Port,
                                          std::function<void(const std::string& Line)> Log);

// The query, HP-GL's device control for free buffer space.
inline constexpr std::string_view kBufferQuery = "\x1b.B";

class TQueryPacer : public ISendPacer {
 public:
  TQueryPacer(TPacerPort Port, std::uint32_t Baud, std::function<void(const std::string& Line)> Log);
  std::size_t Allow(std::size_t Wanted, const TPacerPort::TKeepWaiting& KeepWaiting) override;
  void Sent(std::string_view Bytes) override;
  std::size_t Taken() const override { return FTaken; }
  bool Failed() const override { return FFailed; }

 private:
  // The free space the cutter reports; false when it gave none (failed or abandoned).
  bool Ask(std::size_t& Free, const TPacerPort::TKeepWaiting& KeepWaiting);
  // Takes the whole lines in FAnswer; true once the last query's answer came.
  bool TakeAnswers(std::size_t& Free);
  void Fail(const std::string& Why);

  TPacerPort FPort;
  std::function<void(const std::string&)> FLog;
  TLineClock FLine;
  std::size_t FSent = 0, FTaken = 0;
  std::size_t FCredit = 0;       // the last answer less what went since: room for certain
  std::size_t FLargestFree = 0;  // the buffer's size, as far as the answers show it
  unsigned FUnanswered = 0;      // queries whose answers have not come yet
  std::string FAnswer;           // bytes of a line still arriving
  std::string FUnreadable;       // the last line that was no answer
  TPacerPort::TTime FNoRoomSince{};  // since when the answers left no room; {} while they do
  bool FFailed = false;
};

class TTimePacer : public ISendPacer {
 public:
  TTimePacer(TPacerPort Port, const TCuttingSpeeds& Speeds, std::size_t CutterBufferBytes,
             std::function<void(const std::string& Line)> Log);
  std::size_t Allow(std::size_t Wanted, const TPacerPort::TKeepWaiting& KeepWaiting) override;
  void Sent(std::string_view Bytes) override;
  std::size_t Taken() const override { return FTaken; }
  bool Failed() const override { return FFailed; }
  // What the cutter is thought to hold at Now, bytes still on the line included, taken
  // to be a little behind the estimate.
  std::size_t Held(TPacerPort::TTime Now);

 private:
  TPacerPort FPort;
  std::function<void(const std::string&)> FLog;
  TCuttingModel FModel;
  TLineClock FLine;
  std::size_t FBufferBytes;
  std::size_t FSent = 0, FTaken = 0;
  bool FFailed = false;
};
