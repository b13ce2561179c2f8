#include "NumberText.h"

#include <algorithm>
#include <charconv>

std::string FixedPoint(double value, int decimals) {
  // The largest double has 309 integer digits.
  char text[400];
  const auto result =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, std::clamp(decimals, 0, 60));
  return std::string(text, result.ec == std::errc() ? result.ptr : text);
}

std::string WholeNumber(std::uint64_t value) {
  char digits[24];
  return {digits, std::to_chars(digits, digits + sizeof digits, value).ptr};
}

void AppendShortest(std::string& out, float value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  out.append(text, result.ptr);
}
