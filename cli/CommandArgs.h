#pragma once
// Argument reading shared by the subcommands.

#include <iosfwd>
#include <string>

// A whole decimal number from low to high, nothing else in the text.
bool ParseWholeNumber(const std::string& Text, long Low, long High, long& Value);
// A speed in whole millimetres a second, from Low to 100000.
bool ParseSpeed(const std::string& Text, long Low, double& Value);

// A command's help begins with its one-line synopsis; after an argument error that line
// goes to Err with a pointer to the rest.
void WriteUsage(std::ostream& Err, const char* Help);
