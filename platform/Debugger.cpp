#include "Debugger.h"

#include <fstream>

bool IsDebuggerPresent(const std::string& statusPath) {
  std::ifstream status(statusPath);
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("TracerPid:", 0) != 0) continue;
    const auto digit = line.find_first_not_of(" \t", 10);
    return digit != std::string::npos && line[digit] != '0';
  }
  return false;
}
