#include "Clock.h"

#include <chrono>
#include <thread>
#include <time.h>

std::int64_t QueryPerformanceCounter() {
  timespec ts{};
  clock_gettime(CLOCK_BOOTTIME, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

std::int64_t QueryPerformanceFrequency() { return 1'000'000'000; }

void SleepMs(unsigned milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }
