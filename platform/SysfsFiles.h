#pragma once
// Reading sysfs without exceptions. Devices come and go while the tree is read, so a
// folder that vanishes part-way or a link that loops gives a failed result, never a
// thrown error that would end the program from inside a port refresh.

#include <filesystem>
#include <string>
#include <vector>

// The names in a folder; false when it cannot be listed to the end.
bool ListFolder(const std::filesystem::path& folder, std::vector<std::string>& names);
// The first line of an attribute file without its trailing blanks; empty when unreadable.
std::string ReadAttribute(const std::filesystem::path& file);
// The last part of a link's target, such as the name of a bound driver; empty when
// there is no link.
std::string LinkTargetName(const std::filesystem::path& link);
// The text without the blanks, tabs and carriage returns at its end.
std::string WithoutTrailingBlanks(std::string text);
// Whether anything is at the path (a dangling or looping link is nothing).
bool Exists(const std::filesystem::path& path);
