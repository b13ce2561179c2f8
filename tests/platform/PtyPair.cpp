#include "PtyPair.h"

// termios2 gives the actual line speed of any rate; its header cannot share a file with
// the C library's <termios.h>, so this file uses it alone.
#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

PtyPair::PtyPair() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) throw std::runtime_error("no pty");
  const std::string path = ptsname(master_);
  slaveName_ = path.substr(5);  // after "/dev/"
}

PtyPair::~PtyPair() { CloseMaster(); }

std::string PtyPair::Read(std::size_t count, int timeoutMs) {
  std::string bytes;
  char buffer[4096];
  while (bytes.size() < count) {
    pollfd master{master_, POLLIN, 0};
    if (poll(&master, 1, timeoutMs) <= 0) break;
    const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - bytes.size()));
    if (n <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return bytes;
}

void PtyPair::Write(const std::string& bytes) {
  if (::write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
    throw std::runtime_error("pty master write");
}

void PtyPair::StopOutput(HANDLE port) {
  // The line discipline takes bytes in order: once the one after the XOFF can be read,
  // the XOFF has stopped the output. That byte is then thrown away.
  Write("\x13M");
  COMSTAT stat;
  for (int waited = 0; waited < 10000 && !(ClearCommError(port, nullptr, &stat) && stat.cbInQue > 0); waited += 2)
    usleep(2000);
  PurgeComm(port, PURGE_RXCLEAR);
}

void PtyPair::CloseMaster() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

PtyPair::LineSettings PtyPair::Settings() const {
  termios2 tio{};
  if (ioctl(master_, TCGETS2, &tio) != 0) throw std::runtime_error("TCGETS2");
  return {tio.c_iflag, tio.c_oflag, tio.c_cflag, tio.c_lflag, tio.c_ospeed, tio.c_ispeed, tio.c_cc[VSTART], tio.c_cc[VSTOP]};
}
