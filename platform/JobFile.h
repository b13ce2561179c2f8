#pragma once
// Reading a job file from disk and describing a job's size.

#include <cstddef>
#include <iosfwd>
#include <string>

// Reads the whole file as bytes. On failure gives false and a reason a person can read.
bool LoadJobFile(const std::string& path, std::string& bytes, std::string& reason);

// Reads a stream to its end as bytes, within the same limit as a file, in blocks and
// never past the limit. On failure gives false and a reason a person can read.
bool LoadJobStream(std::istream& in, std::string& bytes, std::string& reason);

// "2048 (2.00 Kb)": the byte count and the size in kilobytes.
std::string JobSizeText(std::size_t bytes);
