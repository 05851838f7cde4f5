#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <map>
#include <string>
#include <utility>

#include "connection/port_folder_posix.h"
#include "connection/serial_line_posix.h"
#include "connection/serial_low_latency_posix.h"
#include "connection/serial_port.h"

namespace tarvex {

namespace {

int Fd(PortHandle h) { return h <= static_cast<PortHandle>(INT_MAX) ? static_cast<int>(h) : -1; }

class PosixSerialPorts final : public SerialPorts {
 public:
  explicit PosixSerialPorts(std::unique_ptr<SerialDriverControl> control) : control_(std::move(control)) {}

  PortHandle Open(std::uint8_t portNum, std::uint32_t baudRate) override {
    if (portNum == 0) return kInvalidHandleValue;  // no such link is ever made
    // O_NONBLOCK only for the open itself: a modem line must not hold it up.
    const int fd = open(PortLinkPath(portNum).c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return Failed(portNum, errno);
    struct stat st {};
    // Only devices: a link to a regular file or a FIFO is not a port.
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
      close(fd);
      return Failed(portNum, ENOTTY);
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      close(fd);
      return Failed(portNum, error);
    }
    reported_.erase(portNum);
    // flock keeps out our own kind; TIOCEXCL keeps out any other program.
    ioctl(fd, TIOCEXCL);
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    SetRawLine(fd, baudRate);  // a refused rate still leaves the port open
    AskLowLatency(fd);
    return static_cast<PortHandle>(fd);
  }

  void Close(PortHandle h) override {
    const int fd = Fd(h);
    if (fd < 0) return;
    RestoreDriverFlags(fd);
    // The exclusive flag outlives our descriptor while anyone else holds the
    // device (a pty's other end, say); clear it so the next opener gets in.
    ioctl(fd, TIOCNXCL);
    close(fd);
  }

  void PurgeTransmit(PortHandle h) override { tcflush(Fd(h), TCOFLUSH); }
  void PurgeReceive(PortHandle h) override { tcflush(Fd(h), TCIFLUSH); }
  void PurgeReceiveAbort(PortHandle h) override { tcflush(Fd(h), TCIFLUSH); }

  std::uint32_t WriteByte(PortHandle h, std::uint8_t byte) override {
    for (;;) {
      const ssize_t n = write(Fd(h), &byte, 1);
      if (n == 1) return 0;
      if (n < 0 && errno == EINTR) continue;
      // EAGAIN and friends are reported, not waited out.
      return n < 0 ? static_cast<std::uint32_t>(errno) : static_cast<std::uint32_t>(EIO);
    }
  }

  std::uint32_t QueuedCount(PortHandle h) override {
    int queued = 0;
    if (ioctl(Fd(h), FIONREAD, &queued) != 0 || queued < 0) queued = 0;
    if (queued == 0) {
      // The transactions ask again at once while nothing has come. Waiting
      // here for the first byte (a millisecond at most, so the deadline
      // still counts) leaves the CPU to the kernel's tty worker that
      // delivers the bytes, instead of spinning until our time slice ends.
      pollfd p{Fd(h), POLLIN, 0};
      if (poll(&p, 1, 1) > 0 && ioctl(Fd(h), FIONREAD, &queued) != 0) queued = 0;
      if (queued < 0) queued = 0;
    }
    return static_cast<std::uint32_t>(queued);
  }

  std::uint32_t Read(PortHandle h, std::uint8_t* buf, std::uint32_t n) override {
    if (n == 0) return 0;
    ssize_t got;
    do {
      got = read(Fd(h), buf, n);
    } while (got < 0 && errno == EINTR);
    return got > 0 ? static_cast<std::uint32_t>(got) : 0;
  }

  std::uint32_t GetTickCount() override {
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const auto ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);  // modulo 2^32, like GetTickCount
  }

 private:
  // The message box only names the port; the console says why, once per
  // port and reason, so a retry timer does not repeat it.
  PortHandle Failed(std::uint8_t portNum, int error) {
    const auto [it, fresh] = reported_.try_emplace(portNum, error);
    if (fresh || it->second != error) {
      it->second = error;
      const std::string link = PortLinkPath(portNum);
      const std::string line = OpenFailureLine(portNum, LinkText(link).value_or(link), error) + "\n";
      (void)!write(STDERR_FILENO, line.data(), line.size());
    }
    return kInvalidHandleValue;
  }

  // A driver that refuses keeps its own latency; the port works either way.
  void AskLowLatency(int fd) {
    const int lowLatency = SerialLowLatencyFlag();
    int flags = 0;
    if (lowLatency == 0 || !control_ || !control_->GetSerialFlags(fd, flags) || (flags & lowLatency) != 0) return;
    if (control_->SetSerialFlags(fd, flags | lowLatency)) savedFlags_[fd] = flags;
  }

  // The setting stays with the device after we let go; leave it as found.
  void RestoreDriverFlags(int fd) {
    const auto it = savedFlags_.find(fd);
    if (it == savedFlags_.end()) return;
    control_->SetSerialFlags(fd, it->second);
    savedFlags_.erase(it);
  }

  std::unique_ptr<SerialDriverControl> control_;
  std::map<int, int> savedFlags_;  // descriptor -> flags before our change
  std::map<std::uint8_t, int> reported_;  // port -> reason last written
};

}  // namespace

std::string OpenFailureLine(unsigned portNum, const std::string& device, int error) {
  std::string line = "tarvex-monitor: cannot open COM" + std::to_string(portNum) + " (" + device + "): ";
  switch (error) {
    case EWOULDBLOCK:
      line += "in use by another program";
      break;
    case ENOTTY:
      line += "not a serial device";
      break;
    case ENOENT:
      line += "no such device (unplugged?)";
      break;
    default:
      line += std::strerror(error);
  }
  if (error == EACCES || error == EPERM) {
    line += "; add yourself to the dialout group (sudo usermod -aG dialout \"$USER\", then log in again)"
            " or install the udev rule 60-tarvex-serial.rules (see the README)";
  }
  return line;
}

std::unique_ptr<SerialPorts> MakeSystemSerialPorts() {
  return MakeSystemSerialPortsWith(MakeKernelSerialDriverControl());
}

std::unique_ptr<SerialPorts> MakeSystemSerialPortsWith(std::unique_ptr<SerialDriverControl> control) {
  return std::make_unique<PosixSerialPorts>(std::move(control));
}

}  // namespace tarvex
