#pragma once
// The high-resolution counter that log stamps and send timings read. It counts from
// the start of the system, so a stamp taken before any restart shows the uptime.

#include <cstdint>

std::int64_t QueryPerformanceCounter();
std::int64_t QueryPerformanceFrequency();  // ticks per second
void SleepMs(unsigned milliseconds);
