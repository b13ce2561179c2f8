#pragma once
// A pseudo-terminal for the throughput benchmarks: the program under test writes to the
// slave, a reader thread drains the master as fast as it can, and the clock runs until
// the last byte has arrived.

#include <chrono>
#include <cstddef>
#include <fcntl.h>
#include <functional>
#include <stdexcept>
#include <stdlib.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

struct BenchPty {
  BenchPty() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) throw std::runtime_error("no pty");
    slavePath = ptsname(master);
  }
  ~BenchPty() { close(master); }
  BenchPty(const BenchPty&) = delete;
  BenchPty& operator=(const BenchPty&) = delete;

  // The slave opened blocking and raw, for the plain write(2) baseline.
  int OpenRawSlave() const {
    const int fd = open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    return fd;
  }

  // Seconds from the start of send until the reader has received total bytes.
  double SecondsUntilReceived(std::size_t total, const std::function<void()>& send) const {
    const auto start = std::chrono::steady_clock::now();
    std::thread reader([this, total] {
      std::vector<char> buffer(1 << 16);
      for (std::size_t received = 0; received < total;) {
        const ssize_t n = read(master, buffer.data(), buffer.size());
        if (n <= 0) break;
        received += static_cast<std::size_t>(n);
      }
    });
    send();
    reader.join();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }

  int master;
  std::string slavePath;
};
