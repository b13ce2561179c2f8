// Throughput of the PLT interpreter with contour building on a generated 64 MiB job,
// against a pass over the same bytes that only counts semicolons.
//
// The job: pen-up moves and cut polylines of 10 to 200 points, coordinates of up to
// six digits, one command per line ending in CR LF. Each pass runs five times; the
// best time counts.

#include "geometry/VirtualCutterPort.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

constexpr std::size_t kJobBytes = 64u << 20;
constexpr int kRuns = 5;

struct TRandom {
  std::uint64_t State = 0x9E3779B97F4A7C15ull;
  std::uint32_t Below(std::uint32_t N) {
    State ^= State << 13;
    State ^= State >> 7;
    State ^= State << 17;
    return static_cast<std::uint32_t>(State % N);
  }
};

std::string GenerateJob() {
  TRandom rnd;
  std::string job = "IN;\r\nSP1;\r\n";
  job.reserve(kJobBytes + 4096);
  auto coordinate = [&] { job += std::to_string(rnd.Below(1000000)); };
  while (job.size() < kJobBytes) {
    job += "PU";
    coordinate();
    job += ',';
    coordinate();
    job += ";\r\nPD";
    const std::uint32_t points = 10 + rnd.Below(191);
    for (std::uint32_t i = 0; i < points; ++i) {
      if (i) job += ',';
      coordinate();
      job += ',';
      coordinate();
    }
    job += ";\r\n";
  }
  job += "PU0,0;\r\n";
  return job;
}

template <class F>
double Seconds(F&& Pass) {
  const auto start = std::chrono::steady_clock::now();
  Pass();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
  const std::string job = GenerateJob();
  const double mb = static_cast<double>(job.size()) / 1e6;

  // Only the ParseJobText call is timed; freeing the list is timed on its own.
  std::ptrdiff_t contours = 0;
  std::ptrdiff_t points = 0;
  double parseSeconds = 1e30;
  double freeSeconds = 1e30;
  for (int run = 0; run < kRuns; ++run) {
    TReleasePtr<TVirtCutterObj> cutter(new TVirtCutterObj);
    cutter->BuildContours = true;
    parseSeconds = std::min(parseSeconds, Seconds([&] { cutter->ParseJobText(job); }));
    const TSimpleContourList* list = cutter->Contours();
    contours = list->ContourCount();
    points = 0;
    for (std::ptrdiff_t i = 0; i < contours; ++i) points += list->ContourAt(i)->PointCount();
    freeSeconds = std::min(freeSeconds, Seconds([&] { cutter.reset(); }));
  }

  volatile std::size_t sink = 0;
  double countSeconds = 1e30;
  for (int run = 0; run < kRuns; ++run) {
    countSeconds = std::min(countSeconds, Seconds([&] {
                              std::size_t semicolons = 0;
                              for (char c : job) semicolons += c == ';';
                              sink = semicolons;
                            }));
  }

  std::printf("job: %.1f MB, %td contours, %td points, %zu semicolons\n", mb, contours, points,
              static_cast<std::size_t>(sink));
  std::printf("parse with contours: %8.1f MB/s\n", mb / parseSeconds);
  std::printf("count semicolons:    %8.1f MB/s\n", mb / countSeconds);
  std::printf("ratio:               %8.3f\n", countSeconds / parseSeconds);
  std::printf("freeing the list:    %8.1f ms\n", freeSeconds * 1e3);
  return 0;
}
