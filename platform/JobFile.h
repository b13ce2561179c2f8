#pragma once
// Reading a job file from disk and describing a job's size.

#include <cstddef>
#include <iosfwd>
#include <string>

// Reads the whole file as bytes. On failure gives false and a reason a person can read.
bool LoadJobFile(const std::string& path, std::string& bytes, std::string& reason);

// The same in pieces, for a caller that has other things to do between them. The bytes
// are read straight into the string that Take hands over, once.
class TJobFileReader {
 public:
  TJobFileReader() = default;
  TJobFileReader(const TJobFileReader&) = delete;
  TJobFileReader& operator=(const TJobFileReader&) = delete;
  ~TJobFileReader();

  // Opens a regular file no larger than a job can be; false with a reason otherwise.
  bool Open(const std::string& path, std::string& reason);
  // Reads at most about count bytes more; false with a reason on a failure.
  bool ReadSome(std::size_t count, std::string& reason);
  bool Done() const { return FDone; }
  // The share read, from 0 to 1, by the size the file had when it was opened.
  double Progress() const;
  // The bytes, once Done.
  std::string Take() { return std::move(FBytes); }

 private:
  int FFd = -1;
  std::string FBytes;
  std::size_t FRead = 0, FExpected = 0;
  bool FDone = false;
};

// Reads a stream to its end as bytes, within the same limit as a file, in blocks and
// never past the limit. On failure gives false and a reason a person can read.
bool LoadJobStream(std::istream& in, std::string& bytes, std::string& reason);

// "2048 (2.00 Kb)": the byte count and the size in kilobytes.
std::string JobSizeText(std::size_t bytes);
