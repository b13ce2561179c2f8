#pragma once
// How long a cutter takes to work its buffer off: the job's bytes read as a cutter reads
// them (THpglReader), step after step, each as long as its moves take at the cutting speed
// (blade down; the job's VS when it asks for less) or the travel speed (blade up); a step's
// bytes leave the buffer when its moves are done. Without a cutting speed the buffer is
// worked off at the line rate instead. The virtual cutter cuts with it, and a send paced
// by cutting time estimates with it what the cutter still holds. Time is passed in, so it
// runs on any clock.

#include "transmission/HpglReader.h"
#include "transmission/LineClock.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>

struct TCuttingSpeeds {
  double CutMmPerS = 0.0;       // blade down; 0 works the buffer off at the line rate
  double TravelMmPerS = 800.0;  // blade up
  std::uint32_t Baud = 38400;   // 10 bits a byte
};

class TCuttingModel {
 public:
  using TTime = std::chrono::steady_clock::time_point;

  // One step that is done: its bytes and the time its moves took.
  struct TDone {
    std::size_t Bytes = 0;
    double Seconds = 0.0;
    TTime At{};
  };

  // HoldUnread: the bytes of commands the reader passes over, and those after them, stay
  // until the next move is done, as a sender that cannot know what the cutter makes of them
  // must assume. Otherwise they cost no time.
  TCuttingModel(const TCuttingSpeeds& Speeds, bool HoldUnread);

  // A job byte reaches the buffer at At, which never goes back.
  void Add(char Byte, TTime At);
  // Takes off the first step if it is done by Now; Bytes 0 when it is not.
  TDone TakeDone(TTime Now);
  // When the first step is done; TTime::max() when there is none.
  TTime NextDone() const { return FSteps.empty() ? TTime::max() : FSteps.front().Done; }
  // Bytes in the buffer: steps not done, and the bytes of the step still arriving.
  std::size_t Held() const { return FHeld; }
  // The job ended: the bytes after its last step (or, holding, its last move) will never
  // make one; they leave now. Answers how many.
  std::size_t DropUnfinished();
  // A new job: an empty buffer and a cutter as it starts.
  void Reset();

 private:
  struct TStep {
    TTime Done;
    std::size_t Bytes;
    double Seconds;
  };

  void Schedule(std::size_t Bytes, double Seconds, TTime Start);

  TCuttingSpeeds FSpeeds;
  bool FHoldUnread;
  THpglReader FReader;
  std::size_t FArriving = 0;  // bytes of the step still arriving
  std::size_t FWaiting = 0;   // holding: bytes since the last move that wait for the next one
  std::deque<TStep> FSteps;
  std::size_t FHeld = 0;
  TTime FLastDone{};       // when the last step scheduled is done
  TLineClock FLineRate;    // without a cutting speed: the buffer worked off as a line carries it
};
