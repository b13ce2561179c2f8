#pragma once
// The 8-bit code page of job text: Latin-1, so every byte maps to one character and
// back and a loaded job's bytes reach the cutter unchanged.

#include <string>

std::u16string AnsiToWide(const std::string& bytes);
// Characters above U+00FF have no 8-bit form and become '?'.
std::string WideToAnsi(const std::u16string& text);
