#pragma once
// A pseudo-terminal pair for the serial tests: the code under test opens the slave by
// name, the test reads and writes the master and looks at the slave's line settings.

#include "platform/comm.h"

#include <cstdint>
#include <string>

class PtyPair {
public:
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& SlaveName() const { return slaveName_; }  // below /dev, e.g. "pts/3"
  std::string SlavePath() const { return "/dev/" + slaveName_; }
  int Master() const { return master_; }

  // Reads until count bytes came or timeoutMs passed without any.
  std::string Read(std::size_t count, int timeoutMs = 2000);
  void Write(const std::string& bytes);
  void CloseMaster();  // the slave side hangs up, as an unplugged adapter does
  // XOFF to the slave's port, which honours it: back once the slave has taken it in,
  // whatever the machine's speed.
  void StopOutput(HANDLE port);

  struct LineSettings {
    std::uint32_t iflag, oflag, cflag, lflag, speed, inputSpeed;
    unsigned char vstart, vstop;
  };
  LineSettings Settings() const;  // the slave's termios, read through the master

private:
  int master_ = -1;
  std::string slaveName_;
};
