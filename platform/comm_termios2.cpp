// Line speeds through the kernel's termios2, which takes any rate (BOTHER) and reports
// the actual rate whatever it is. Its header redefines the C library's termios types,
// so it is kept alone in this file.

#include <asm/termbits.h>
#include <cerrno>
#include <cstdint>
#include <sys/ioctl.h>

namespace comm_detail {

int SetLineSpeed(int fd, std::uint32_t baud, unsigned code) {
  termios2 tio{};
  if (ioctl(fd, TCGETS2, &tio) != 0) return errno;
  const tcflag_t speed = code != B0 ? code : BOTHER;
  tio.c_cflag = (tio.c_cflag & ~(CBAUD | (CBAUD << IBSHIFT))) | speed | (speed << IBSHIFT);
  tio.c_ospeed = baud;
  tio.c_ispeed = baud;
  return ioctl(fd, TCSETS2, &tio) == 0 ? 0 : errno;
}

int GetLineSpeed(int fd, std::uint32_t& baud) {
  termios2 tio{};
  if (ioctl(fd, TCGETS2, &tio) != 0) return errno;
  baud = tio.c_ospeed;
  return 0;
}

}  // namespace comm_detail
