#pragma once
// A cutter as the sender sees it, without the line: a buffer of limited size that the
// cutter works off at the line rate, XON/XOFF decisions on its fill, and a summary of
// each page and job from the PLT interpreter. Time is passed in, so it runs on any clock.

#include "geometry/RawCutGeo.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

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
  };

  TCutterEmulator(const TSettings& Settings, TReport Report);

  std::size_t Buffered() const { return FJob.size() - FTaken; }
  // How many bytes the buffer takes now.
  std::size_t Room() const;
  // With XON/XOFF: XOFF is due from three quarters full until the fill is down to a
  // quarter. Always false without it.
  bool HoldSender() const { return FHold; }
  unsigned XoffCount() const { return FXoffCount; }

  // Bytes off the line at Now; the line side reads no more than Room().
  void Receive(std::string_view Bytes, TTime Now);
  // Works the buffer off up to Now, one byte per ten bit times, and reports each page
  // end that passes.
  void Advance(TTime Now);
  // When Advance next changes what the line side must do (XON due, room for more,
  // the buffer empty), at most a tenth of a second of line time ahead while bytes
  // are buffered; TTime::max() when the buffer is empty.
  TTime NextWake() const;
  // The sender is gone: works off what is left and reports the job, when it had bytes.
  void EndJob(TTime Now);

private:
  // When the Count-th byte of the current run (bytes taken without a pause) is done.
  TTime DoneAt(std::uint64_t Count) const;
  void Take(std::size_t Count);
  void UpdateHold();

  TSettings FSettings;
  TReport FReport;
  std::string FJob;  // every byte of the job so far; the buffer is the part not yet taken
  std::size_t FTaken = 0;
  std::size_t FPageStart = 0;
  int FPage = 0;
  // The page-end test needs no more than the first bytes of a token.
  std::string FToken;
  std::size_t FTokenLength = 0;
  TTime FRunStart{};
  std::uint64_t FRunTaken = 0;
  TTime FJobStart{};
  TTime FLastDone{};
  bool FHold = false;
  unsigned FXoffCount = 0;
};
