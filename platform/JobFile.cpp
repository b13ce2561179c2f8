#include "JobFile.h"

#include "NumberText.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <istream>
#include <limits>
#include <new>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// More than any cutting job; the memo holds a job twice over, and more would only end in
// an allocation failure.
constexpr off_t kLargestJob = off_t{512} << 20;

const char* notAFile(mode_t mode) {
  if (S_ISDIR(mode)) return "It is a folder, not a file.";
  if (S_ISFIFO(mode)) return "It is a named pipe, not a file.";
  if (S_ISSOCK(mode)) return "It is a socket, not a file.";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "It is a device, not a file.";
  return S_ISREG(mode) ? nullptr : "It is not a regular file.";
}

bool refuse(std::string& reason, std::string why) {
  reason = std::move(why);
  return false;
}

// For a job whose size shows only while it is read.
bool refuseTooLarge(std::string& reason) {
  return refuse(reason, "It is too large to load (at most " + std::to_string(kLargestJob >> 20) + " MB).");
}

constexpr std::size_t kReadBlock = 65536;

}  // namespace

bool LoadJobFile(const std::string& path, std::string& bytes, std::string& reason) {
  TJobFileReader reader;
  if (!reader.Open(path, reason)) return false;
  while (!reader.Done())
    if (!reader.ReadSome(std::numeric_limits<std::size_t>::max(), reason)) return false;
  bytes = reader.Take();
  return true;
}

TJobFileReader::~TJobFileReader() {
  if (FFd >= 0) ::close(FFd);
}

bool TJobFileReader::Open(const std::string& path, std::string& reason) {
  // The type is checked before opening: opening a named pipe would wait for a writer.
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return refuse(reason, std::strerror(errno));
  if (const char* why = notAFile(info.st_mode)) return refuse(reason, why);
  // Non-blocking, in case the name has become something else since.
  FFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (FFd < 0) return refuse(reason, std::strerror(errno));
  if (::fstat(FFd, &info) != 0) return refuse(reason, std::strerror(errno));
  if (const char* why = notAFile(info.st_mode)) return refuse(reason, why);
  if (info.st_size > kLargestJob)
    return refuse(reason, "It is too large to load (" + std::to_string(info.st_size >> 20) + " MB; at most " +
                              std::to_string(kLargestJob >> 20) + " MB).");
  FExpected = static_cast<std::size_t>(info.st_size);
  try {
    FBytes.resize(FExpected);
  } catch (const std::bad_alloc&) {
    return refuse(reason, "There is not enough memory to hold it.");
  }
  return true;
}

bool TJobFileReader::ReadSome(std::size_t count, std::string& reason) {
  try {
    while (!FDone && count > 0) {
      // Once the size the file had is read, whatever comes (it grew, or reported no
      // size) is read aside and appended: the bytes are not moved just to find the end.
      char more[kReadBlock];
      const bool filled = FRead == FBytes.size();
      const std::size_t want = std::min(count, filled ? sizeof more : FBytes.size() - FRead);
      const ssize_t n = ::read(FFd, filled ? more : FBytes.data() + FRead, want);
      if (n > 0) {
        if (filled) FBytes.append(more, static_cast<std::size_t>(n));
        FRead += static_cast<std::size_t>(n);
        count -= static_cast<std::size_t>(n);
        if (FRead > static_cast<std::size_t>(kLargestJob)) return refuseTooLarge(reason);
      } else if (n == 0) {
        FBytes.resize(FRead);
        FDone = true;
      } else if (errno != EINTR) {
        return refuse(reason, std::strerror(errno));
      }
    }
  } catch (const std::bad_alloc&) {
    return refuse(reason, "There is not enough memory to hold it.");
  }
  return true;
}

double TJobFileReader::Progress() const {
  if (FDone || FExpected == 0) return FDone ? 1.0 : 0.0;
  return std::min(1.0, static_cast<double>(FRead) / static_cast<double>(FExpected));
}

bool LoadJobStream(std::istream& in, std::string& bytes, std::string& reason) {
  std::streambuf* buffer = in.rdbuf();
  if (!buffer) return refuse(reason, "There is nothing to read from.");
  constexpr auto largest = static_cast<std::size_t>(kLargestJob);
  std::string data;
  try {
    while (data.size() < largest) {
      const std::size_t done = data.size();
      data.resize(done + std::min(kReadBlock, largest - done));
      const std::streamsize n = buffer->sgetn(data.data() + done, static_cast<std::streamsize>(data.size() - done));
      data.resize(done + static_cast<std::size_t>(std::max<std::streamsize>(n, 0)));
      if (n <= 0) break;
    }
    // One byte more is read apart, so that a job right at the limit is not copied into
    // twice the room only to learn that the stream has ended.
    char more = 0;
    if (data.size() == largest && buffer->sgetn(&more, 1) == 1) return refuseTooLarge(reason);
  } catch (const std::bad_alloc&) {
    return refuse(reason, "There is not enough memory to hold it.");
  }
  bytes = std::move(data);
  return true;
}

std::string JobSizeText(std::size_t bytes) {
  return std::to_string(bytes) + " (" + FixedPoint(static_cast<double>(bytes) / 1024.0, 2) + " Kb)";
}
