// Throughput of the serial component's blocking writes against plain write(2), both
// into a pseudo-terminal whose master a reader thread drains as fast as it can.
//
// 16 MiB go out through WriteBuffer in blocks of 200 and of 2048 bytes, draining the
// main-thread queue after each block as the send dialog does, and the same bytes go
// out through write(2) on a blocking raw descriptor in blocks of the same size. Time
// runs until the reader has received the last byte. Each pass runs five times; the
// best time counts.

#include "platform/MainThread.h"
#include "transmission/CPort.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <stdexcept>
#include <stdlib.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kTotalBytes = 16u << 20;
constexpr int kRuns = 5;

struct Pty {
  Pty() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) throw std::runtime_error("no pty");
    slavePath = ptsname(master);
  }
  ~Pty() { close(master); }
  int master;
  std::string slavePath;
};

// Reads the master until every byte has arrived.
std::thread startReader(int master) {
  return std::thread([master] {
    std::vector<char> buffer(1 << 16);
    std::size_t received = 0;
    while (received < kTotalBytes) {
      const ssize_t n = read(master, buffer.data(), buffer.size());
      if (n <= 0) break;
      received += static_cast<std::size_t>(n);
    }
  });
}

template <class Write>
double secondsFor(Pty& pty, Write write) {
  const auto start = std::chrono::steady_clock::now();
  std::thread reader = startReader(pty.master);
  write();
  reader.join();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double componentSeconds(const std::string& job, std::size_t block) {
  Pty pty;
  TComPort port;
  port.SetPort(pty.slavePath);
  port.OpenPort();
  return secondsFor(pty, [&] {
    for (std::size_t done = 0; done < job.size();) {
      const auto count = static_cast<std::int32_t>(std::min(block, job.size() - done));
      done += static_cast<std::size_t>(port.WriteBuffer(job.data() + done, count));
      DrainMainThreadQueue();
    }
  });
}

double plainSeconds(const std::string& job, std::size_t block) {
  Pty pty;
  const int fd = open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios tio{};
  tcgetattr(fd, &tio);
  cfmakeraw(&tio);
  tcsetattr(fd, TCSANOW, &tio);
  const double seconds = secondsFor(pty, [&] {
    for (std::size_t done = 0; done < job.size();) {
      const ssize_t n = ::write(fd, job.data() + done, std::min(block, job.size() - done));
      if (n > 0) done += static_cast<std::size_t>(n);
    }
  });
  close(fd);
  return seconds;
}

double best(double (*pass)(const std::string&, std::size_t), const std::string& job, std::size_t block) {
  double fastest = 1e9;
  for (int run = 0; run < kRuns; ++run) fastest = std::min(fastest, pass(job, block));
  return fastest;
}

}  // namespace

int main() {
  std::string job(kTotalBytes, '\0');
  for (std::size_t i = 0; i < job.size(); ++i) job[i] = static_cast<char>("PD1234,5678;\r\n"[i % 14]);
  const double megabytes = static_cast<double>(kTotalBytes) / 1e6;
  for (const std::size_t block : {std::size_t{200}, std::size_t{2048}}) {
    const double component = best(componentSeconds, job, block);
    const double plain = best(plainSeconds, job, block);
    std::printf("blocks of %4zu: WriteBuffer %7.1f MB/s, write(2) %7.1f MB/s, ratio %.2f\n", block,
                megabytes / component, megabytes / plain, plain / component);
  }
  return 0;
}
