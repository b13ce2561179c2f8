#pragma once
// Generated jobs for the benchmarks, the same bytes on every run.

#include <cstdint>
#include <fstream>
#include <string>

// One line, no line break: "IN;PU0,0;PD" with 1,000,000 cut segments as one pen-down
// polyline, then ";PU0,0;". The path zigzags through a 1000 x 750 mm field in two
// triangle waves of unrelated periods, about half a millimetre a segment, so it crosses
// itself everywhere as a dense real outline would.
inline std::string MillionSegmentJob() {
  constexpr std::int64_t kSegments = 1000000, kWidth = 40000, kHeight = 30000;
  auto triangle = [](std::int64_t T, std::int64_t Size) {
    const std::int64_t m = T % (2 * Size);
    return m < Size ? m : 2 * Size - m;
  };
  std::string job = "IN;PU0,0;PD";
  job.reserve(13000000);
  for (std::int64_t i = 0; i <= kSegments; ++i) {
    if (i) job += ',';
    job += std::to_string(triangle(i * 13, kHeight));
    job += ',';
    job += std::to_string(triangle(i * 17, kWidth));
  }
  job += ";PU0,0;";
  return job;
}

// 550,000 cuts of two points each, "PUa,b;PDc,d;" with four-digit coordinates, one cut
// after another, each followed by `after` (nothing: all on a single line): about 13 MB.
inline std::string TwoPointCutsJob(const std::string& after = "") {
  constexpr int kCuts = 550000;
  std::uint32_t state = 2463534242u;
  auto coordinate = [&state] {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return std::to_string(1000 + state % 9000);
  };
  std::string job = "IN;";
  job.reserve(static_cast<std::size_t>(kCuts) * (24 + after.size()) + 16);
  for (int i = 0; i < kCuts; ++i) {
    job += "PU";
    job += coordinate();
    job += ',';
    job += coordinate();
    job += ";PD";
    job += coordinate();
    job += ',';
    job += coordinate();
    job += ';';
    job += after;
  }
  job += "PU0,0;";
  return job;
}

inline void WriteJobFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
