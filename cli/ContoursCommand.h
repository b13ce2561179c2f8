#pragma once
// `korvex-cli contours FILE|-`: the contour list the preview draws for a job, as JSON.

#include <iosfwd>
#include <string>
#include <vector>

// What `korvex-cli contours --help` prints; its first line is the synopsis.
extern const char kContoursHelp[];

// Interprets Bytes as the preview does and answers one JSON object and a newline:
// {"contours": [{"pen": P, "points": [[x, y], ...]}, ...], "bounds": [l, t, r, b],
// "events": [codes...], "unread": {"count": N, "first_offset": K, "first_token": "..."}},
// with null contours and bounds for an empty text and a null "unread" when the contours
// leave out nothing a cutter would act on (first_token holds at most the token's first
// 24 bytes, read as Latin-1). Floats are
// written in the shortest form that reads back as the same 32-bit float.
std::string ContoursJson(const std::string& Bytes);

// Args follow the subcommand name; "-" reads standard input (In). Answers the exit
// status: 0, 1 when the output cannot be written, 2 for bad usage or an unreadable file.
int RunContoursCommand(const std::vector<std::string>& Args, std::istream& In, std::ostream& Out,
                       std::ostream& Err);
