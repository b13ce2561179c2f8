#pragma once
// A cutter stand-in: a thread that reads everything the program writes to a pty pair,
// and that can stop reading for a while, as a cutter whose buffer is full does.

#include "PtyPair.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

class PtyDrainer {
public:
  explicit PtyDrainer(PtyPair& pty);
  ~PtyDrainer();

  void Pause() { paused_ = true; }
  void Resume() { paused_ = false; }
  std::string Received() const;
  std::size_t Count() const;
  // Waits until count bytes arrived or timeoutMs passed; gives what arrived.
  std::string WaitFor(std::size_t count, int timeoutMs = 10000) const;

private:
  PtyPair& pty_;
  std::atomic<bool> paused_ = false, stop_ = false;
  mutable std::mutex mutex_;
  std::string received_;
  std::thread thread_;
};
