#pragma once
// Argument reading shared by the subcommands.

#include <string>

// A whole decimal number from low to high, nothing else in the text.
bool ParseWholeNumber(const std::string& Text, long Low, long High, long& Value);
