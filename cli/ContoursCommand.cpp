#include "ContoursCommand.h"

#include "cli/CommandArgs.h"
#include "geometry/VirtualCutterPort.h"

#include "platform/JobFile.h"
#include "platform/NumberText.h"

#include <charconv>
#include <istream>
#include <span>
#include <string_view>
#include <ostream>

namespace {

// "[x, y]" with its separator, at the longest: each float takes at most 15 characters.
constexpr std::size_t kLongestPoint = 36;

// The points straight into text already sized for them; a job's million points are what
// this command spends its time on, and appending them piece by piece doubles it.
char* WritePoints(char* P, std::span<const TSimplePt> Points) {
  bool first = true;
  for (const TSimplePt& point : Points) {
    if (!first) *P++ = ',', *P++ = ' ';
    first = false;
    *P++ = '[';
    P = std::to_chars(P, P + 15, point.X).ptr;
    *P++ = ',', *P++ = ' ';
    P = std::to_chars(P, P + 15, point.Y).ptr;
    *P++ = ']';
  }
  return P;
}

// A JSON string of Latin-1 bytes.
void AppendJsonString(std::string& Out, std::string_view Bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  Out += '"';
  for (const char c : Bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b == '"' || b == '\\') {
      Out += '\\';
      Out += c;
    } else if (b >= 32 && b < 127) {
      Out += c;
    } else {
      Out += "\\u00";
      Out += kHex[b >> 4];
      Out += kHex[b & 15];
    }
  }
  Out += '"';
}

void AppendUnread(std::string& Out, const TUnreadCommands& Unread) {
  if (Unread.Count == 0) {
    Out += "null";
    return;
  }
  Out += "{\"count\": " + std::to_string(Unread.Count) + ", \"first_offset\": " + std::to_string(Unread.FirstOffset) +
         ", \"first_token\": ";
  AppendJsonString(Out, Unread.FirstToken);
  Out += '}';
}

}  // namespace

const char kContoursHelp[] =
    "usage: korvex-cli contours FILE|-\n"
    "Prints the contours the preview draws for the job in FILE (\"-\" reads standard input) as one\n"
    "JSON object: {\"contours\": [{\"pen\": P, \"points\": [[x, y], ...]}, ...],\n"
    "\"bounds\": [left, top, right, bottom], \"events\": [codes...], \"unread\": U}; a job that draws\n"
    "nothing gives \"contours\": [] and \"bounds\": null, an empty file \"contours\": null and\n"
    "\"bounds\": null. U is null, or {\"count\": N, \"first_offset\": K, \"first_token\": \"...\"} for\n"
    "the N commands a cutter may act on that the preview does not draw, the first of them at byte\n"
    "offset K.\n"
    "\n"
    "Options:\n"
    "  -h, --help       print this help and exit\n"
    "  --version        print the version and exit\n"
    "\n"
    "Exit status:\n"
    "  0    the JSON was written\n"
    "  1    the output could not be written\n"
    "  2    bad arguments or an unreadable file\n";

std::string ContoursJson(const std::string& Bytes) {
  TReleasePtr<TVirtCutterObj> cutter(new TVirtCutterObj);
  cutter->BuildContours = true;
  std::string events;
  events.reserve(Bytes.size() / 4);  // about one event a command
  cutter->OnCutterEvent = [&events](std::int32_t Code, TVector2D, const std::string&) {
    if (!events.empty()) events += ", ";
    if (Code >= 0 && Code < 10) events += static_cast<char>('0' + Code);  // every code the interpreter has
    else events += std::to_string(Code);
    return true;
  };
  cutter->ParseJobText(Bytes);

  std::string out = "{\"contours\": ";
  const TSimpleContourList* list = cutter->Contours();
  if (list) {
    // Room for every point at its longest, so the text is never copied while it grows.
    std::size_t points = 0;
    for (std::ptrdiff_t i = 0; i < list->ContourCount(); ++i) points += list->ContourAt(i)->Points().size();
    out.reserve(static_cast<std::size_t>(list->ContourCount()) * 32 + points * kLongestPoint + events.size() + 256);
  }
  if (!list) {
    out += "null, \"bounds\": null";
  } else {
    out += '[';
    for (std::ptrdiff_t i = 0; i < list->ContourCount(); ++i) {
      const TSimpleContour* c = list->ContourAt(i);
      out += i ? ", {\"pen\": " : "{\"pen\": ";
      out += std::to_string(c->Pen);
      out += ", \"points\": [";
      const std::size_t at = out.size();
      out.resize(at + c->Points().size() * kLongestPoint);
      out.resize(static_cast<std::size_t>(WritePoints(out.data() + at, c->Points()) - out.data()));
      out += "]}";
    }
    out += "], \"bounds\": ";
    // An empty list's bounds are the empty rectangle, whose corners are no place at all.
    if (list->ContourCount() == 0) {
      out += "null";
    } else {
      const TRect2D b = list->GetBounds();
      out += '[';
      AppendShortest(out, b.Left);
      out += ", ";
      AppendShortest(out, b.Top);
      out += ", ";
      AppendShortest(out, b.Right);
      out += ", ";
      AppendShortest(out, b.Bottom);
      out += ']';
    }
  }
  out += ", \"events\": [" + events + "], \"unread\": ";
  AppendUnread(out, cutter->Unread());
  out += "}\n";
  return out;
}

int RunContoursCommand(const std::vector<std::string>& Args, std::istream& In, std::ostream& Out,
                       std::ostream& Err) {
  if (Args.size() != 1) {
    Err << "korvex-cli: "
        << (Args.empty() ? "no job file given (FILE, or - for standard input)" : "unexpected argument: " + Args[1])
        << "\n";
    WriteUsage(Err, kContoursHelp);
    return 2;
  }
  std::string bytes, reason;
  const bool fromInput = Args[0] == "-";
  if (fromInput ? !LoadJobStream(In, bytes, reason) : !LoadJobFile(Args[0], bytes, reason)) {
    Err << "korvex-cli: cannot read " << (fromInput ? "standard input" : Args[0]) << ": " << reason << "\n";
    return 2;
  }
  return WriteOutput(Out, ContoursJson(bytes), Err) ? 0 : 1;
}
