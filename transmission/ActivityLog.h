#pragma once
// Line format and clock of the activity log, kept apart from the memo that shows it.

#include <cstddef>
#include <cstdint>
#include <string>

class TActivityLog {
public:
  // Seconds since the last restart (or since system start before the first), "%.3f".
  std::string LogClockText() const;
  void RestartLogClock();
  // The line as the log shows it: stamp, tab and text when stamped, else the text alone.
  std::string FormatLine(const std::string& text, bool stamped) const;

  std::int64_t LogClockStart = 0;
};

// The last line of a send that did not finish: "Sent", a tab, and how many bytes went out
// of how many.
std::string SentLine(std::size_t sent, std::size_t total);
