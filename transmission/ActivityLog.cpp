#include "ActivityLog.h"

#include "platform/Clock.h"

#include <cstdio>

std::string TActivityLog::LogClockText() const {
  const double seconds =
      static_cast<double>(QueryPerformanceCounter() - LogClockStart) / static_cast<double>(QueryPerformanceFrequency());
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", seconds);
  return text;
}

void TActivityLog::RestartLogClock() { LogClockStart = QueryPerformanceCounter(); }

std::string TActivityLog::FormatLine(const std::string& text, bool stamped) const {
  return stamped ? LogClockText() + "\t" + text : text;
}
