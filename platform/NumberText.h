#pragma once
// Numbers in the program's own texts. The GUI toolkit applies the user's locale to the
// C library, which would turn "2.00 Kb" into "2,00 Kb"; these always write a decimal point.

#include <cstdint>
#include <string>

// value with exactly `decimals` digits after the point, rounded as "%.*f" rounds.
std::string FixedPoint(double value, int decimals);
// value in decimal digits.
std::string WholeNumber(std::uint64_t value);

// The shortest text that reads back as exactly the same float.
void AppendShortest(std::string& out, float value);
