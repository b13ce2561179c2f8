#pragma once
// How long a cutter takes to work its buffer off: one command after the other, each as
// long as its moves take at the cutting speed (blade down) or the travel speed (blade
// up); a command's bytes leave the buffer when its moves are done. Without a cutting
// speed the buffer is worked off at the line rate instead. The virtual cutter cuts with
// it, and a send paced by cutting time estimates with it what the cutter still holds.
// Time is passed in, so it runs on any clock.

#include "geometry/ReleaseObjClass.h"
#include "geometry/VirtualCutterPort.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

struct TCuttingSpeeds {
  double CutMmPerS = 0.0;       // blade down; 0 works the buffer off at the line rate
  double TravelMmPerS = 800.0;  // blade up
  std::uint32_t Baud = 38400;   // 10 bits a byte
};

// How long the line takes to carry Count bytes at 10 bits a byte, rounded up to the
// nanosecond; exact for any count, so a long run adds up no rounding.
std::chrono::nanoseconds LineTime(std::uint64_t Count, std::uint32_t Baud);
// How many whole bytes the line carries in Span: the inverse of LineTime.
std::uint64_t LineBytes(std::chrono::nanoseconds Span, std::uint32_t Baud);

class TCuttingModel {
 public:
  using TTime = std::chrono::steady_clock::time_point;

  // One command that is done: its bytes and the time its moves took.
  struct TDone {
    std::size_t Bytes = 0;
    double Seconds = 0.0;
    TTime At{};
  };

  // HoldUntilMove: the bytes of commands without a move stay until the next move is
  // done, as a sender that cannot know what the cutter makes of them must assume.
  // Otherwise they leave as soon as the commands before them are done.
  TCuttingModel(const TCuttingSpeeds& Speeds, bool HoldUntilMove);

  // A job byte reaches the buffer at At, which never goes back.
  void Add(char Byte, TTime At);
  // Takes off the first command if it is done by Now; Bytes 0 when it is not.
  TDone TakeDone(TTime Now);
  // When the first command is done; TTime::max() when there is none.
  TTime NextDone() const { return FCommands.empty() ? TTime::max() : FCommands.front().Done; }
  // Bytes in the buffer: commands not done, and the bytes of the command still arriving.
  std::size_t Held() const { return FHeld; }
  // The job ended: the bytes after its last separator (or, holding, its last move) will
  // never make a command; they leave now. Answers how many.
  std::size_t DropUnfinished();
  // A new job: an empty buffer and the interpreter as it starts.
  void Reset();

 private:
  struct TCommand {
    TTime Done;
    std::size_t Bytes;
    double Seconds;
  };

  // Interprets the token just ended; the time its moves take, negative without a move.
  double TokenSeconds();
  void Schedule(std::size_t Bytes, double Seconds, TTime Start);

  TCuttingSpeeds FSpeeds;
  bool FHoldUntilMove;
  TReleasePtr<TVirtCutterObj> FCutter;
  bool FRelative = false;
  double FMoveSeconds = 0.0;
  bool FMoved = false;
  std::string FToken;        // the command still arriving, its separator last
  std::size_t FWaiting = 0;  // holding: bytes of commands without a move since the last move
  std::deque<TCommand> FCommands;
  std::size_t FHeld = 0;
  TTime FLastDone{};  // when the last command scheduled is done
  TTime FRunStart{};  // at the line rate: when the bytes worked off without a pause began
  std::uint64_t FRunBytes = 0;
};
