#include "PtyDrainer.h"

#include <chrono>
#include <poll.h>
#include <unistd.h>

PtyDrainer::PtyDrainer(PtyPair& pty) : pty_(pty) {
  thread_ = std::thread([this] {
    char buffer[8192];
    while (!stop_) {
      if (paused_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        continue;
      }
      pollfd master{pty_.Master(), POLLIN, 0};
      if (poll(&master, 1, 20) <= 0) continue;
      const ssize_t n = ::read(pty_.Master(), buffer, sizeof buffer);
      if (n <= 0) continue;
      std::lock_guard lock(mutex_);
      received_.append(buffer, static_cast<std::size_t>(n));
    }
  });
}

PtyDrainer::~PtyDrainer() {
  stop_ = true;
  thread_.join();
}

std::string PtyDrainer::Received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

std::size_t PtyDrainer::Count() const {
  std::lock_guard lock(mutex_);
  return received_.size();
}

std::string PtyDrainer::WaitFor(std::size_t count, int timeoutMs) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Count() < count && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return Received();
}
