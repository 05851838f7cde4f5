#pragma once
// Serial ports of the operating system: open by number, close, and the
// serial-link operations of the transactions over an open port.

#include <cstdint>
#include <memory>

#include "core/clock.h"
#include "core/transactions.h"
#include "core/types.h"

namespace tarvex {

class SerialPorts : public SerialLink, public TickClock {
 public:
  // Opens port `portNum` (COM<n>) exclusively at `baudRate`, 8N1. Returns the
  // handle, or kInvalidHandleValue when the port cannot be opened. A driver
  // that refuses the rate still gives an open port.
  virtual PortHandle Open(std::uint8_t portNum, std::uint32_t baudRate) = 0;
  virtual void Close(PortHandle h) = 0;
  // PURGE_RXABORT then PURGE_RXCLEAR, before the identification.
  virtual void PurgeReceiveAbort(PortHandle h) = 0;

  std::uint32_t Tick() override { return GetTickCount(); }
};

// The platform's ports (Win32 COM ports, or the port folder on Linux).
std::unique_ptr<SerialPorts> MakeSystemSerialPorts();

}  // namespace tarvex
