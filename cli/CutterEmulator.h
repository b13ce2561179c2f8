#pragma once
// A cutter as the sender sees it, without the line: a buffer of limited size that the
// cutter works off as it cuts (or at the line rate), bytes lost when they meet it full,
// XON/XOFF decisions on its fill, answers to the buffer query ESC . B, and a summary of
// each page and job from the PLT interpreter. Time is passed in, so it runs on any clock.

#include "geometry/RawCutGeo.h"
#include "transmission/CuttingModel.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

// What a job or page cuts, as the preview would draw it.
struct TCutSummary {
  std::size_t Bytes = 0;
  std::ptrdiff_t Contours = 0;
  double CutLengthMm = 0.0;
  TRect2D Bounds = EmptyRect2D;  // millimetres; EmptyRect2D without a cut
  // "1618 bytes, 9 contours, cut 1234.56 mm, bounds x 0.00 to 165.00 mm, y 0.00 to 50.00 mm"
  std::string Text() const;
};

// Interprets the text on its own, as a fresh preview does.
TCutSummary SummariseCut(std::string_view Text);

class TCutterEmulator {
public:
  using TClock = std::chrono::steady_clock;
  using TTime = TClock::time_point;
  using TReport = std::function<void(const std::string& Line)>;

  struct TSettings {
    std::uint32_t Baud = 38400;  // 10 bits a byte on the line
    bool XonXoff = false;
    std::size_t BufferBytes = 4096;
    double CutMmPerS = 0.0;  // 0 works the buffer off at the line rate
    double TravelMmPerS = 800.0;
  };

  TCutterEmulator(const TSettings& Settings, TReport Report);

  std::size_t Buffered() const { return FModel.Held(); }
  // How many bytes the buffer takes now.
  std::size_t Room() const;
  // With XON/XOFF: XOFF is due from three quarters full until the fill is down to a
  // quarter. Always false without it.
  bool HoldSender() const { return FHold; }
  unsigned XoffCount() const { return FXoffCount; }
  std::size_t LostBytes() const { return FLost; }

  // Bytes off the line, all arrived at Now. A job byte that finds the buffer full is lost;
  // the job bytes kept are appended to Kept. Device-control sequences (ESC . and a letter,
  // with its parameters to a colon) are no job bytes; the answer to ESC . B waits in Replies().
  void Receive(std::string_view Bytes, TTime Now, std::string& Kept);
  // What the cutter has to say to the sender, taken once.
  std::string TakeReplies() { return std::exchange(FReplies, {}); }
  // Works the buffer off up to Now and reports each page end that passes.
  void Advance(TTime Now);
  // When the next command is done; TTime::max() when none is under way.
  TTime NextWake() const { return FModel.NextDone(); }
  // True while commands are under way (the bytes of an unfinished one are not).
  bool Working() const { return FModel.NextDone() != TTime::max(); }
  // The sender is gone: works off what is left and reports the job, when it had bytes.
  void EndJob();

 private:
  void Keep(char Byte, TTime Now, std::string& Kept);
  void Take(std::size_t Count);
  void UpdateHold();
  // "; cut time 1.23 s; lost 0 bytes" since the given counts.
  std::string CutAndLoss(double Seconds, std::size_t Lost, std::size_t FirstLost) const;

  TSettings FSettings;
  TReport FReport;
  TCuttingModel FModel;
  std::string FJob;  // the job bytes kept so far; the buffer is the part not yet taken
  std::size_t FTaken = 0;
  std::size_t FPageStart = 0;
  int FPage = 0;
  // Finds page ends in a stream of bytes; needs no more than the first bytes of a token.
  struct TPageEnds {
    std::string Token;
    bool Feed(char C);  // true when C ends a page-end token
  };
  struct TLoss {
    std::size_t Count = 0;
    std::size_t First = 0;  // offset among the job bytes that came, kept or lost
  };
  TPageEnds FArriving, FTaking;
  TLoss FArrivingLoss;            // of the page still arriving
  std::deque<TLoss> FPageLosses;  // of the pages that arrived and are not cut yet
  double FPageSeconds = 0.0, FJobSeconds = 0.0;
  std::size_t FReceived = 0;  // job bytes that came, kept or lost
  std::size_t FLost = 0, FFirstLost = 0;
  int FEscape = 0;  // how much of ESC . has come, or 3 while its parameters come
  std::string FReplies;
  TTime FJobStart{};
  TTime FLastDone{};
  bool FHold = false;
  unsigned FXoffCount = 0;
};
