#include "CodePage.h"

std::u16string AnsiToWide(const std::string& bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  for (unsigned char b : bytes) text.push_back(static_cast<char16_t>(b));
  return text;
}

std::string WideToAnsi(const std::u16string& text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (char16_t c : text) bytes.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
  return bytes;
}
