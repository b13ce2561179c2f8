// Throughput of a whole send: a 5 MiB job goes through the send session and the direct
// port driver into a pseudo-terminal whose master a reader thread drains, in piece mode
// and in block mode (2048-byte blocks), against write(2) of the whole job to the same
// kind of pty in the same run. Two job shapes: one long line of commands, as most
// cutting software writes them, and one command per CR LF line, where piece mode writes
// a piece per line. Time runs until the reader has the last byte; best of five, the three ways taking turns so that a slow moment of the machine
// does not fall on one of them only.

#include "BenchPty.h"
#include "platform/MainThread.h"
#include "ports/PortExState.h"
#include "transmission/DirectPortDriver.h"
#include "transmission/DirectSend.h"
#include "transmission/SendSession.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>

namespace {

constexpr std::size_t kJobBytes = 5u << 20;
constexpr int kRuns = 5;

struct DrainingView : ISendView {
  void ShowStatus(const std::u16string&) override {}
  void ShowProgressText(const std::string&) override {}
  void ShowProgress(std::size_t, std::size_t) override {}
  void ShowWaiting(bool) override {}
  void Pump() override { DrainMainThreadQueue(); }
};

double sessionSeconds(const std::string& job, bool blocks) {
  BenchPty pty;
  TPortExState state;
  state.SetPortName(pty.slavePath);
  state.SetBaudRate(115200);
  state.SetFlowMode(fmNone);
  if (!DCE_OpenPort(state.BuildDescriptor())) throw std::runtime_error("cannot open " + pty.slavePath);
  DrainingView view;
  bool ok = false;
  const double seconds = pty.SecondsUntilReceived(job.size(), [&] {
    TSendSession session(view, DirectPortWriter(), pty.slavePath);
    session.Run(job, blocks);
    ok = session.SendOk;
  });
  DCE_ClosePort();
  if (!ok) throw std::runtime_error("send failed");
  return seconds;
}

double plainSeconds(const std::string& job) {
  BenchPty pty;
  const int fd = pty.OpenRawSlave();
  const double seconds = pty.SecondsUntilReceived(job.size(), [&] {
    for (std::size_t done = 0; done < job.size();) {
      const ssize_t n = ::write(fd, job.data() + done, job.size() - done);
      if (n > 0) done += static_cast<std::size_t>(n);
    }
  });
  close(fd);
  return seconds;
}


std::string makeJob(const char* lineEnd) {
  std::string job = "IN;";
  for (unsigned i = 0; job.size() < kJobBytes; ++i) {
    job += (i % 50 == 0 ? "PU" : "PD") + std::to_string(i * 37 % 200000) + "," + std::to_string(i * 91 % 150000) + ";";
    job += lineEnd;
  }
  job.resize(kJobBytes);
  return job;
}

}  // namespace

int main() {
  const double megabytes = static_cast<double>(kJobBytes) / 1e6;
  for (const auto& [shape, lineEnd] : {std::pair{"one long line", ""}, std::pair{"a line per command", "\r\n"}}) {
    const std::string job = makeJob(lineEnd);
    double plain = 1e30, pieces = 1e30, blocks = 1e30;
    for (int run = 0; run < kRuns; ++run) {
      plain = std::min(plain, plainSeconds(job));
      pieces = std::min(pieces, sessionSeconds(job, false));
      blocks = std::min(blocks, sessionSeconds(job, true));
    }
    std::printf("%s:\n", shape);
    std::printf("  write(2)          %8.1f MB/s\n", megabytes / plain);
    std::printf("  piece mode        %8.1f MB/s  ratio %.2f\n", megabytes / pieces, plain / pieces);
    std::printf("  block mode (2048) %8.1f MB/s  ratio %.2f\n", megabytes / blocks, plain / blocks);
  }
  return 0;
}
