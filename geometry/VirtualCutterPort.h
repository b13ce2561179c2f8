#pragma once
// Reads PLT job text the way a cutter would and turns the commands it understands into
// events; with BuildContours set, the cutting moves become a contour list (millimetres)
// for the preview. What is sent to the cutter never passes through here.

#include "geometry/RawCutGeo.h"
#include "geometry/ReleaseObjClass.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

enum TCutterEvent : std::int32_t {
  cePageEnd = 1,
  cePenUpMove = 2,
  ceCutMove = 3,
  ceEndOfJob = 4,
  ceSelectPen = 5,
  ceCmd10 = 6,
  ceFrame = 7,
};

// What the interpreter leaves out of the contours although a cutter of the full command
// language would act on it: moves by PA, PR, A or R while the pen is down, pen and move
// commands in lower case, coordinate pairs split off by a blank or line break, arcs,
// circles, rectangles, wedges, curves and encoded polylines, and a cutting move that no
// separator ends. Counted only; what the interpreter makes of the job does not change.
struct TUnreadCommands {
  // A token shown in a notice is cut to this many bytes.
  static constexpr std::size_t kShownToken = 24;

  std::size_t Count = 0;
  std::size_t FirstOffset = 0;  // byte offset of the first in the job text, when Count > 0
  std::string FirstToken;       // its first kShownToken bytes
  std::size_t FirstLength = 0;  // its whole length
};

using TCutterEventHook =
    std::function<bool(std::int32_t Code, TVector2D Point, const std::string& Text)>;

class TVirtCutterObj : public TRefObj {
public:
  // Plotter units per millimetre.
  static constexpr double UnitsPerMm = 40.0;

  TVector2D PageOrigin;  // added to every absolute pair
  TVector2D CurrentPos;  // tool position after the last move
  TCutterEventHook OnCutterEvent;
  std::int32_t PenNumber = 0;
  bool BuildContours = false;
  // Page end: true puts origin and position back to (0, 0); false makes the current
  // position the new origin.
  bool ResetOriginOnPage = false;

  // What the last ParseJobText left out (see TUnreadCommands).
  const TUnreadCommands& Unread() const { return FUnread; }

  // nullptr until the first event with BuildContours set; owned by this object.
  TSimpleContourList* Contours() const { return FContours.get(); }
  // Replaces (and frees) the current list; the open contour is closed, since it may
  // belong to the list being freed.
  void SetContours(std::unique_ptr<TSimpleContourList> List);

  // Interprets the whole text once. An empty text raises nothing at all; text after
  // the last separator is not interpreted.
  void ParseJobText(std::string_view Text);
  // The same in parts, for a caller that must not stop for a whole big text: BeginParse,
  // then ParseSome until it answers false, each interpreting the tokens that begin in
  // about Bytes more of the text. The text must stay as it is until then.
  void BeginParse(std::string_view Text);
  bool ParseSome(std::size_t Bytes);
  // The share of the text interpreted, from 0 to 1.
  double ParseProgress() const;
  // The one way events leave the parser: builds contours, then asks the hook (true
  // without one).
  bool RaiseCutterEvent(std::int32_t Code, TVector2D Point, const std::string& Text);

  // Takes "a,b" off the front of ParamText (repeated commas after the second number
  // are skipped). True only when both numbers are 32-bit integers: optional blanks
  // and sign, then decimal digits, or hexadecimal after "$", "x" or "0x".
  static bool TakeCoordPair(std::string_view& ParamText, std::int32_t& A, std::int32_t& B);

  // The token rules, for readers that follow a job as it streams in: what ends a
  // token, and which complete tokens end a page.
  static bool IsSeparator(char C) {
    constexpr std::uint64_t mask = (1ull << '\n') | (1ull << '\r') | (1ull << ' ') | (1ull << ';');
    const auto b = static_cast<unsigned char>(C);
    return b < 64 && ((mask >> b) & 1u) != 0;
  }
  static bool IsPageEnd(std::string_view Token) { return Token == "@" || Token == "!PG" || Token == "PG"; }

protected:
  ~TVirtCutterObj() override = default;

private:
  // Interprets the token at Token, which a separator before Limit ends, and answers
  // that separator.
  const char* InterpretToken(const char* Token, const char* Limit, bool& RelativeMode);
  // Interprets the tokens that begin before Stop, reading no further than Limit (which
  // ends at a separator); answers where it stopped.
  const char* InterpretUpTo(const char* P, const char* Stop, const char* Limit, bool& RelativeMode);
  void InterpretCommand(std::string_view Token, bool& RelativeMode);
  // Whether a token that is not an upper-case PU, PA, PD, U or D move is one a cutter
  // would act on and the contours leave out; follows the pen as a cutter would.
  bool LeftOut(std::string_view Token);
  void NoteUnread(std::string_view Token);
  // One pair of a move token: A along Y, B along X, in plotter units.
  void Move(std::int32_t A, std::int32_t B, bool Cut, bool RelativeMode);

  std::unique_ptr<TSimpleContourList> FContours;
  TSimpleContour* FCurrentContour = nullptr;  // owned by FContours
  // Where the text being interpreted has got to; FLimit is its last separator's end.
  std::string_view FText;
  const char* FParsed = nullptr;
  const char* FLimit = nullptr;
  bool FRelativeMode = false;
  bool FParsing = false;
  // For counting what is left out, during one ParseJobText.
  TUnreadCommands FUnread;
  const char* FTextStart = nullptr;
  bool FPenDown = false;         // as the last pen command of any case left it
  bool FParamsContinue = false;  // a pen or move command came last, and no ";" since
};
