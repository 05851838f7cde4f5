#pragma once
// The two request/reply transactions with the encoder.

#include <cstddef>
#include <cstdint>

#include "core/types.h"

namespace tarvex {

// Serial operations the transactions need, over an open port's handle.
class SerialLink {
 public:
  virtual ~SerialLink() = default;
  // Discard bytes still waiting to be sent (PURGE_TXCLEAR).
  virtual void PurgeTransmit(PortHandle h) = 0;
  // Discard bytes received and not yet read (PURGE_RXCLEAR).
  virtual void PurgeReceive(PortHandle h) = 0;
  // Writes one byte; returns 0 when written, else the system's error code.
  virtual std::uint32_t WriteByte(PortHandle h, std::uint8_t byte) = 0;
  // Received bytes not yet read; 0 when the query itself fails.
  virtual std::uint32_t QueuedCount(PortHandle h) = 0;
  // Reads up to n queued bytes into buf; returns how many were placed there.
  virtual std::uint32_t Read(PortHandle h, std::uint8_t* buf, std::uint32_t n) = 0;
  // Milliseconds, wrapping modulo 2^32.
  virtual std::uint32_t Tick() = 0;
};

// The two settings of the port settings window the transactions consult.
class TransactionSettings {
 public:
  virtual ~TransactionSettings() = default;
  virtual int FirmwareType() const = 0;  // item index of the firmware-type group
  virtual bool Rs485Echo() const = 0;    // "RS485 echo" ticked
};

inline constexpr std::int32_t kResultOk = 0;
inline constexpr std::int32_t kResultTimeout = -1;
inline constexpr std::int32_t kResultNoPort = -3;
inline constexpr std::uint32_t kReplyDeadlineMs = 500;
// Silence that tells the line is clear before the identification request;
// longer than a USB adapter's default 16 ms latency timer, which holds bytes back.
inline constexpr std::uint32_t kQuietLineMs = 20;

// Lets the line fall quiet (discarding late answers to earlier requests),
// then sends "v" and collects the identification reply (echo byte not
// counted); -1 when the line does not fall quiet within the deadline.
std::int32_t ReadIdentification(SerialLink& link, const TransactionSettings& settings,
                                PortHandle handle, ByteString& reply);

// Sends "1" and collects the position packet; on success a leading echo "1"
// is removed when the echo option is on.
std::int32_t ReadPosition(SerialLink& link, const TransactionSettings& settings,
                          PortHandle handle, ByteString& reply);

}  // namespace tarvex
