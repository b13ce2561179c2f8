#pragma once
// `korvex-cli virtual-cutter` in a process of its own, its standard output read line by
// line: for the tests and the pacing benchmark, which watch its summaries.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

class TCutterProcess {
public:
  // Program is korvex-cli; Args follow "virtual-cutter". Quiet sends its standard error
  // to /dev/null. Throws std::runtime_error when it cannot be started.
  TCutterProcess(const std::string& Program, std::vector<std::string> Args, bool Quiet = false);
  ~TCutterProcess();
  TCutterProcess(const TCutterProcess&) = delete;
  TCutterProcess& operator=(const TCutterProcess&) = delete;

  // The next line that starts with Prefix; empty when none comes within the time.
  std::string Line(const std::string& Prefix, std::chrono::milliseconds Within = std::chrono::seconds(10));
  // Sends the signal and answers the exit status (128 + the signal when it killed it).
  int Stop(int Signal);

private:
  pid_t Pid = -1;
  int Out = -1;
  std::string Pending;
};
