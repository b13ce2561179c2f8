#include "JobFile.h"

#include "NumberText.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool LoadJobFile(const std::string& path, std::string& bytes, std::string& reason) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  struct stat info {};
  if (::fstat(fd, &info) == 0 && !S_ISREG(info.st_mode)) {
    ::close(fd);
    reason = S_ISDIR(info.st_mode) ? "It is a folder, not a file." : "It is not a regular file.";
    return false;
  }
  std::string data;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      data.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      reason = std::strerror(errno);
      ::close(fd);
      return false;
    }
  }
  ::close(fd);
  bytes = std::move(data);
  return true;
}

std::string JobSizeText(std::size_t bytes) {
  return std::to_string(bytes) + " (" + FixedPoint(static_cast<double>(bytes) / 1024.0, 2) + " Kb)";
}
