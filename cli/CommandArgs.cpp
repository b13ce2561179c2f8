#include "CommandArgs.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ostream>

bool ParseWholeNumber(const std::string& Text, long Low, long High, long& Value) {
  if (Text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  Value = std::strtol(Text.c_str(), &end, 10);
  return errno == 0 && *end == '\0' && Value >= Low && Value <= High;
}

void WriteUsage(std::ostream& Err, const char* Help) {
  Err.write(Help, static_cast<std::streamsize>(std::strcspn(Help, "\n")));
  Err << "\n(--help lists the options and exit codes)\n";
}

bool ParseSpeed(const std::string& Text, long Low, double& Value) {
  long number = 0;
  if (!ParseWholeNumber(Text, Low, 100'000, number)) return false;
  Value = static_cast<double>(number);
  return true;
}

bool WriteOutput(std::ostream& Out, std::string_view Text, std::ostream& Err) {
  Out.write(Text.data(), static_cast<std::streamsize>(Text.size()));
  Out.flush();
  if (Out) return true;
  Err << "korvex-cli: cannot write the output\n";
  return false;
}
