#pragma once
// Low-latency mode of USB serial adapters. Their drivers hold received bytes
// up to a latency timer (16 ms on FTDI chips) unless asked not to, which
// would stretch every short reply by that much.

#include <memory>

#include "connection/serial_port.h"

namespace tarvex {

// The driver's serial flags (struct serial_struct's `flags`) of an open port.
class SerialDriverControl {
 public:
  virtual ~SerialDriverControl() = default;
  // False when the driver has no such flags (a pty, say) or refuses.
  virtual bool GetSerialFlags(int fd, int& flags) = 0;
  // Changes only the flags; false when the driver refuses.
  virtual bool SetSerialFlags(int fd, int flags) = 0;
};

// TIOCGSERIAL / TIOCSSERIAL; on systems without them both calls fail.
std::unique_ptr<SerialDriverControl> MakeKernelSerialDriverControl();

// The driver's low-latency bit (ASYNC_LOW_LATENCY), 0 where there is none.
int SerialLowLatencyFlag();

// The system's ports with the driver reached through `control`: each open
// asks for low latency, each close puts back flags the open changed.
std::unique_ptr<SerialPorts> MakeSystemSerialPortsWith(std::unique_ptr<SerialDriverControl> control);

}  // namespace tarvex
