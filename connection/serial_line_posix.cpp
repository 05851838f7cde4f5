// Only kernel headers here: <asm/termbits.h> defines its own struct termios.
#include "connection/serial_line_posix.h"

#if defined(__linux__)
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace tarvex {

namespace {

// Rates that have a B constant go through it, so drivers without BOTHER
// support still get them; the others need the arbitrary-rate path.
tcflag_t BaudConstant(std::uint32_t baud) {
  switch (baud) {
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    default: return BOTHER;
  }
}

}  // namespace

bool SetRawLine(int fd, std::uint32_t baud) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return false;

  // Bytes must pass unchanged both ways: no parity marking, no stripping,
  // no CR/LF translation, no XON/XOFF, no line editing, no signals, no echo.
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                                      IXOFF | IXANY | INPCK | IUCLC | IMAXBEL);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
  t.c_cflag |= CS8 | CREAD;
  // Reads only ever ask for bytes already queued; never wait for more.
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;

  struct termios2 withRate = t;
  withRate.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  withRate.c_cflag |= BaudConstant(baud);  // input rate follows output (CIBAUD 0)
  withRate.c_ispeed = baud;
  withRate.c_ospeed = baud;
  if (ioctl(fd, TCSETS2, &withRate) == 0) return true;
  // A driver that refuses the rate should still get the raw byte format.
  ioctl(fd, TCSETS2, &t);
  return false;
}

std::uint32_t LineSpeed(int fd) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return 0;
  return t.c_ospeed;
}

}  // namespace tarvex

#else  // other POSIX systems: plain termios, rates as the system knows them
#include <termios.h>

namespace tarvex {

bool SetRawLine(int fd, std::uint32_t baud) {
  struct termios t {};
  if (tcgetattr(fd, &t) != 0) return false;
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                                      IXOFF | IXANY | INPCK);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
  t.c_cflag |= CS8 | CREAD;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  cfsetispeed(&t, static_cast<speed_t>(baud));
  cfsetospeed(&t, static_cast<speed_t>(baud));
  return tcsetattr(fd, TCSANOW, &t) == 0;
}

std::uint32_t LineSpeed(int fd) {
  struct termios t {};
  if (tcgetattr(fd, &t) != 0) return 0;
  return static_cast<std::uint32_t>(cfgetospeed(&t));
}

}  // namespace tarvex
#endif
