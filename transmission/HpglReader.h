#pragma once
// A job's bytes as a cutter reads them, one at a time as they reach it, cut into steps: a
// step ends with the byte that completes something the cutter does, so its bytes can leave
// the buffer once that is done. A coordinate pair of PU, PD, PA or PR is a step of its own,
// so a polyline longer than the buffer streams through it.
//
// Read: PU, PD, PA and PR with any number of pairs, the pen state carried from command to
// command; CI, AA and AR as chords at their stated chord angle (5 degrees when none);
// PE encoded polylines; VS, the job's own speed in cm/s, until IN or the next VS; IN and
// DF. Mnemonics in either case; numbers signed or decimal, separated by commas, blanks or
// signs; a command ends at ";" or at the next mnemonic. LB is passed over to its ETX and
// any other command to its terminator (";", a line break or the next mnemonic), byte by
// byte, each byte a step the reader does not time. Plotter units, 40 to the millimetre.

#include <string>

struct THpglStep {
  double CutMm = 0.0;     // blade down
  double TravelMm = 0.0;  // blade up
  double JobMmPerS = 0.0;  // the speed the job set with VS; 0 while it set none
  bool Moved = false;      // it has moves, maybe of no length
  bool Read = true;        // false for bytes of a command the reader passes over
};

class THpglReader {
 public:
  // Reads one byte; true when it ends a step, which Step then holds.
  bool Read(char Byte, THpglStep& Step);
  // A new job: a cutter just initialised, at the origin.
  void Reset() { *this = {}; }

 private:
  enum class TState { Between, Mnemonic, Numbers, Encoded, Label, Skip };

  bool ReadNumbers(char Byte, THpglStep& Step);
  bool ReadEncoded(unsigned char Byte, THpglStep& Step);
  // Ends the number being read, if any; true when it completes a pair that moved.
  bool EndNumber(THpglStep& Step);
  // The command is complete: does what its numbers ask.
  void EndCommand(THpglStep& Step);
  void MoveTo(double X, double Y, bool Down, THpglStep& Step);
  // An arc about (CenterX, CenterY) through Degrees, as chords of at most ChordDegrees.
  void Arc(double CenterX, double CenterY, double Degrees, double ChordDegrees, THpglStep& Step);
  // Begins the command whose first letter is Byte.
  void BeginMnemonic(char Byte);

  TState FState = TState::Between;
  char FFirst = 0;
  std::string FMnemonic;
  std::string FNumber;  // the number being read, its sign first
  double FNumbers[4] = {};
  int FCount = 0;  // numbers read of the command, or of the pair for PU, PD, PA and PR
  double FX = 0.0, FY = 0.0;
  bool FDown = false, FRelative = false;
  double FJobMmPerS = 0.0;
  // PE: the encoded number being read, its next digit's weight, and the flags given.
  unsigned long long FEncoded = 0, FWeight = 1;
  bool FSevenBit = false, FEncodedUp = false, FEncodedAbsolute = false;
  char FEncodedFlag = 0;  // ':' pen or '>' fraction: the next number is no coordinate
  int FFractionBits = 0;
};
