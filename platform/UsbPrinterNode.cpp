#include "UsbPrinterNode.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/lp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

TUsbPrinterNode::~TUsbPrinterNode() { Close(); }

bool TUsbPrinterNode::Open(const std::string& path, int& error) {
  Close();
  // Never LPABORT: with it the driver drops bytes a write had already reported written.
  Fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  error = Fd < 0 ? errno : 0;
  return Fd >= 0;
}

void TUsbPrinterNode::Close() {
  if (Fd >= 0) ::close(Fd);
  Fd = -1;
}

TUsbPrinterNode::TWrite TUsbPrinterNode::Write(const char* data, std::size_t count, std::size_t& written, int& error) {
  written = 0;
  error = 0;
  for (;;) {
    const ssize_t n = ::write(Fd, data, count);
    if (n >= 0) {
      written = static_cast<std::size_t>(n);
      if (written > 0) Last = written;
      return TWrite::Wrote;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN) return TWrite::Full;
    error = errno;
    return TWrite::Failed;
  }
}

TUsbPrinterNode::TWrite TUsbPrinterNode::Taken(int& error) {
  std::size_t written = 0;
  return Write("", 0, written, error);
}

void TUsbPrinterNode::WaitWritable(int timeoutMs) const {
  pollfd room{Fd, POLLOUT, 0};
  while (::poll(&room, 1, timeoutMs) < 0 && errno == EINTR) {
  }
}

bool TUsbPrinterNode::Status(std::uint8_t& status) const {
  int value = 0;
  if (::ioctl(Fd, LPGETSTATUS, &value) != 0) return false;
  status = static_cast<std::uint8_t>(value);
  return true;
}
