#include "CommandArgs.h"

#include <cerrno>
#include <cstdlib>

bool ParseWholeNumber(const std::string& Text, long Low, long High, long& Value) {
  if (Text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  Value = std::strtol(Text.c_str(), &end, 10);
  return errno == 0 && *end == '\0' && Value >= Low && Value <= High;
}
