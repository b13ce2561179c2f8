#pragma once
// Argument reading shared by the subcommands.

#include <iosfwd>
#include <string>
#include <string_view>

// A whole decimal number from low to high, nothing else in the text.
bool ParseWholeNumber(const std::string& Text, long Low, long High, long& Value);
// A speed in whole millimetres a second, from Low to 100000.
bool ParseSpeed(const std::string& Text, long Low, double& Value);

// A command's help begins with its one-line synopsis; after an argument error that line
// goes to Err with a pointer to the rest.
void WriteUsage(std::ostream& Err, const char* Help);

// Text to Out, flushed; false, with a line on Err, when it could not all be written (a
// full disk, a reader that went away).
bool WriteOutput(std::ostream& Out, std::string_view Text, std::ostream& Err);
