#include "StopSignals.h"

TStopSignalHandler::TStopSignalHandler(void (*Handler)(int), int Flags) {
  struct sigaction action {};
  action.sa_handler = Handler;
  action.sa_flags = Flags;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < std::size(kStopSignals); ++i) sigaction(kStopSignals[i], &action, &FPrevious[i]);
}

TStopSignalHandler::~TStopSignalHandler() {
  for (std::size_t i = 0; i < std::size(kStopSignals); ++i) sigaction(kStopSignals[i], &FPrevious[i], nullptr);
}
