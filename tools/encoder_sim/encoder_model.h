#pragma once
// What the simulated encoder says: identification and position packets.

#include <cstdint>
#include <string>

#include "sim_options.h"

namespace tarvex::sim {

// The full identification reply of the chosen layout (17, 24 or 30 bytes).
std::string IdentificationReply(const Options& o);

// Position after `elapsedMs` of motion, wrapping modulo 2^32.
std::uint32_t PositionAt(const Options& o, std::uint64_t elapsedMs);

// 0xEA, position big-endian, status big-endian, 0xEF; `spoil` breaks the
// framing byte the options name.
std::string PositionPacket(std::uint32_t position, std::uint16_t status, Corrupt spoil);

}  // namespace tarvex::sim
