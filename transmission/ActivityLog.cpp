#include "ActivityLog.h"

#include "platform/Clock.h"
#include "platform/NumberText.h"


std::string TActivityLog::LogClockText() const {
  const double seconds =
      static_cast<double>(QueryPerformanceCounter() - LogClockStart) / static_cast<double>(QueryPerformanceFrequency());
  return FixedPoint(seconds, 3);
}

void TActivityLog::RestartLogClock() { LogClockStart = QueryPerformanceCounter(); }

std::string TActivityLog::FormatLine(const std::string& text, bool stamped) const {
  return stamped ? LogClockText() + "\t" + text : text;
}

std::string SentLine(std::size_t sent, std::size_t total) {
  return "Sent\t" + WholeNumber(sent) + " of " + WholeNumber(total) + " bytes";
}
