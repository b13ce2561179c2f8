#pragma once
// The signals that stop a command: Ctrl-C, a closed terminal, and what timeout(1) and
// service managers send all end it the same way.

#include <csignal>
#include <iterator>

inline constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Handler takes every stop signal while this lives; the handlers before come back after.
class TStopSignalHandler {
public:
  TStopSignalHandler(void (*Handler)(int), int Flags);
  ~TStopSignalHandler();
  TStopSignalHandler(const TStopSignalHandler&) = delete;
  TStopSignalHandler& operator=(const TStopSignalHandler&) = delete;

private:
  struct sigaction FPrevious[std::size(kStopSignals)] {};
};
