// Apart from serial_port_posix.cpp: <linux/serial.h> is a kernel header and
// is kept out of the files that use <termios.h>.
#include "connection/serial_low_latency_posix.h"

#if defined(__linux__)
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace tarvex {

namespace {

class KernelSerialDriverControl final : public SerialDriverControl {
 public:
  bool GetSerialFlags(int fd, int& flags) override {
#if defined(__linux__)
    struct serial_struct ss {};
    if (ioctl(fd, TIOCGSERIAL, &ss) != 0) return false;
    flags = ss.flags;
    return true;
#else
    (void)fd;
    (void)flags;
    return false;
#endif
  }

  bool SetSerialFlags(int fd, int flags) override {
#if defined(__linux__)
    // Read afresh: the driver takes the whole struct, and any field left at
    // zero (baud_base, say) would be a change it may refuse or act on.
    struct serial_struct ss {};
    if (ioctl(fd, TIOCGSERIAL, &ss) != 0) return false;
    ss.flags = flags;
    return ioctl(fd, TIOCSSERIAL, &ss) == 0;
#else
    (void)fd;
    (void)flags;
    return false;
#endif
  }
};

}  // namespace

std::unique_ptr<SerialDriverControl> MakeKernelSerialDriverControl() {
  return std::make_unique<KernelSerialDriverControl>();
}

int SerialLowLatencyFlag() {
#if defined(__linux__)
  return ASYNC_LOW_LATENCY;
#else
  return 0;
#endif
}

}  // namespace tarvex
