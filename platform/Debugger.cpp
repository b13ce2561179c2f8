#include "Debugger.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string_view>

namespace {

constexpr std::string_view kDebuggers[] = {"gdb", "gdbserver", "lldb", "lldb-server"};

}  // namespace

bool IsDebuggerPresent(const std::string& procRoot) {
  std::ifstream status(procRoot + "/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("TracerPid:", 0) != 0) continue;
    const auto digits = line.find_first_not_of(" \t", 10);
    if (digits == std::string::npos || line[digits] == '0') return false;
    std::ifstream comm(procRoot + "/" + line.substr(digits) + "/comm");
    std::string tracer;
    std::getline(comm, tracer);
    return std::find(std::begin(kDebuggers), std::end(kDebuggers), tracer) != std::end(kDebuggers);
  }
  return false;
}
