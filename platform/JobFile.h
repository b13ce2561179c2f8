#pragma once
// Reading a job file from disk and describing a job's size.

#include <cstddef>
#include <string>

// Reads the whole file as bytes. On failure gives false and a reason a person can read.
bool LoadJobFile(const std::string& path, std::string& bytes, std::string& reason);

// The line break a job uses: CR LF when it has one, else LF.
std::string DetectLineBreak(const std::string& bytes);

// The job as edited in the memo, which holds lines without their breaks: 8-bit text
// with the job's own line break between lines.
std::string MemoTextToJob(const std::u16string& memoText, const std::string& lineBreak);

// "2048 (2.00 Kb)": the byte count and the size in kilobytes.
std::string JobSizeText(std::size_t bytes);
