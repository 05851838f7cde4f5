#include "core/transactions.h"

#include <vector>

#include "core/protocol.h"

namespace tarvex {

namespace {

enum class Kind { Identification, Position };

// Discards what arrives until nothing has for kQuietLineMs; false when the
// line is still busy after the reply deadline.
bool WaitForQuietLine(SerialLink& link, PortHandle handle) {
  const std::uint32_t start = link.Tick();
  std::uint32_t lastByte = start;
  std::vector<std::uint8_t> discard;
  for (;;) {
    const std::uint32_t now = link.Tick();
    if (const std::uint32_t queued = link.QueuedCount(handle); queued != 0) {
      discard.resize(queued);
      link.Read(handle, discard.data(), queued);
      lastByte = now;
    } else if (now - lastByte >= kQuietLineMs) {  // modulo 2^32
      return true;
    }
    if (now - start > kReplyDeadlineMs) return false;
  }
}

std::int32_t Transact(Kind kind, SerialLink& link, const TransactionSettings& settings,
                      PortHandle handle, ByteString& reply) {
  std::int32_t result = kResultNoPort;
  if (handle == kInvalidHandleValue) return result;

  link.PurgeTransmit(handle);
  link.PurgeReceive(handle);
  // Answers to earlier requests (an encoder working off a backlog) must not
  // be taken for the identification: wait for the line to fall quiet.
  if (kind == Kind::Identification && !WaitForQuietLine(link, handle)) return kResultTimeout;

  const std::uint8_t request = kind == Kind::Identification ? kRequestIdentification : kRequestPosition;
  const std::uint32_t error = link.WriteByte(handle, request);
  if (error != 0) {
    // An error code whose negation does not fit leaves the result at -3.
    if (error <= 0x80000000u) result = static_cast<std::int32_t>(-static_cast<std::int64_t>(error));
    return result;
  }

  reply.clear();
  const std::uint32_t start = link.Tick();
  std::size_t expected = 0;
  if (kind == Kind::Identification) expected = IdentificationLength(settings.FirmwareType());

  // Read straight into the reply: a position reply fits the string's own
  // storage, so polling allocates nothing.
  bool complete = false;
  for (;;) {
    const std::uint32_t queued = link.QueuedCount(handle);
    if (queued != 0) {
      const std::size_t had = reply.size();
      reply.resize(had + queued);
      std::uint32_t got = link.Read(handle, reinterpret_cast<std::uint8_t*>(reply.data() + had), queued);
      if (got > queued) got = queued;  // never trust a count beyond the buffer
      reply.resize(had + got);
    }
    if (kind == Kind::Position) expected = settings.Rs485Echo() ? kPositionPacketLength + 1 : kPositionPacketLength;
    if (reply.size() >= expected) {
      complete = true;
      break;
    }
    const std::uint32_t elapsed = link.Tick() - start;  // modulo 2^32
    if (elapsed > kReplyDeadlineMs) break;
  }
  if (!complete) return kResultTimeout;

  if (kind == Kind::Position && settings.Rs485Echo() && !reply.empty() &&
      static_cast<std::uint8_t>(reply.front()) == kRequestPosition) {
    reply.erase(0, 1);
  }
  return kResultOk;
}

}  // namespace

std::int32_t ReadIdentification(SerialLink& link, const TransactionSettings& settings, PortHandle handle,
                                ByteString& reply) {
  return Transact(Kind::Identification, link, settings, handle, reply);
}

std::int32_t ReadPosition(SerialLink& link, const TransactionSettings& settings, PortHandle handle,
                          ByteString& reply) {
  return Transact(Kind::Position, link, settings, handle, reply);
}

}  // namespace tarvex
