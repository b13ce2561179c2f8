#pragma once
// The generated jobs the load and preview benchmarks share: what cutting software writes
// for text and hatching, one job on a single line and one of very many short cuts.

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

namespace bench {

// "IN;PU0,0;" then `segments` connected cuts on one line, about 12 bytes each.
inline std::string OneLineJob(std::size_t segments) {
  std::string job = "IN;PU0,0;";
  job.reserve(segments * 12 + 16);
  std::uint32_t x = 0, y = 0;
  for (std::size_t i = 0; i < segments; ++i) {
    x = (x + 37) % 10000;
    y = (y + 7919) % 9000;
    job += "PD" + std::to_string(y) + ',' + std::to_string(x) + ';';
  }
  return job + "PU0,0;@";
}

// `cuts` separate two-point cuts, one per CR LF line, about 25 bytes each.
inline std::string ManyCutsJob(std::size_t cuts) {
  std::string job = "IN;\r\n";
  job.reserve(cuts * 25 + 16);
  std::uint32_t x = 0, y = 0;
  for (std::size_t i = 0; i < cuts; ++i) {
    x = (x + 211) % 9900;
    y = (y + 7907) % 9900;
    job += "PU" + std::to_string(y) + ',' + std::to_string(x) + ";PD" + std::to_string(y + 40) + ',' +
           std::to_string(x + 40) + ";\r\n";
  }
  return job + "PU0,0;@";
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace bench
