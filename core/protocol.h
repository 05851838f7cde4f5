#pragma once
// Bytes exchanged with the encoder and how replies decode.

#include <cstdint>

#include "core/encoder_state.h"
#include "core/types.h"

namespace tarvex {

inline constexpr std::uint8_t kRequestIdentification = 'v';
inline constexpr std::uint8_t kRequestPosition = '1';
inline constexpr std::uint8_t kPacketHeader = 0xEA;
inline constexpr std::uint8_t kPacketFooter = 0xEF;
inline constexpr std::size_t kPositionPacketLength = 8;

// Item index of the firmware-type radio group.
enum FirmwareLayout : int { kLayoutOld = 0, kLayout46 = 1, kLayout48 = 2 };

// Status word bits that drive the two condition flags.
inline constexpr std::uint32_t kStatusWarningBit = 0x0100;  // performance degraded
inline constexpr std::uint32_t kStatusErrorBit = 0x0200;    // data unavailable

// One decoded position reply. PacketCheck is 0 for a good packet, 1 for a
// wrong header, 8 for a wrong footer (the header is judged first).
struct PositionPacket {
  std::int32_t position = 0;
  std::uint32_t status = 0;
  std::uint16_t check = 0;
};

// Decodes the first eight bytes; bytes after them are ignored. A reply
// shorter than a packet fails the check at its first missing framing byte.
PositionPacket DecodePositionPacket(const ByteString& reply);

// Takes position and status word into the record only from a good packet, so
// a corrupt reply never becomes the zero point of the relative readout.
// Returns the check code.
std::uint16_t ApplyPositionPacket(const PositionPacket& packet, EncoderState& state);

// Expected identification length for a firmware layout (1 for an unknown one).
std::size_t IdentificationLength(int layout);

// Decodes an identification reply (echo byte already removed) by layout.
// Resets the four firmware fields first; unknown layouts decode nothing else.
void DecodeIdentification(const ByteString& reply, int layout, EncoderState& state);

}  // namespace tarvex
