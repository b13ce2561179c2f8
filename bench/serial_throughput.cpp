// Throughput of the serial component's blocking writes against plain write(2), both
// into a pseudo-terminal whose master a reader thread drains as fast as it can.
//
// 16 MiB go out through WriteBuffer in blocks of 200 and of 2048 bytes, draining the
// main-thread queue after each block as the send dialog does, and the same bytes go
// out through write(2) on a blocking raw descriptor in blocks of the same size. Time
// runs until the reader has received the last byte. Each pass runs five times; the
// best time counts.

#include "BenchPty.h"
#include "platform/MainThread.h"
#include "transmission/CPort.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

constexpr std::size_t kTotalBytes = 16u << 20;
constexpr int kRuns = 5;

double componentSeconds(const std::string& job, std::size_t block) {
  BenchPty pty;
  TComPort port;
  port.SetPort(pty.slavePath);
  port.OpenPort();
  return pty.SecondsUntilReceived(job.size(), [&] {
    for (std::size_t done = 0; done < job.size();) {
      const auto count = static_cast<std::int32_t>(std::min(block, job.size() - done));
      done += static_cast<std::size_t>(port.WriteBuffer(job.data() + done, count));
      DrainMainThreadQueue();
    }
  });
}

double plainSeconds(const std::string& job, std::size_t block) {
  BenchPty pty;
  const int fd = pty.OpenRawSlave();
  const double seconds = pty.SecondsUntilReceived(job.size(), [&] {
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
