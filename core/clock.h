#pragma once

#include <cstdint>

namespace tarvex {

// Millisecond tick, wrapping modulo 2^32 (GetTickCount on Windows,
// CLOCK_MONOTONIC truncated to 32 bits elsewhere).
class TickClock {
 public:
  virtual ~TickClock() = default;
  virtual std::uint32_t GetTickCount() = 0;
};

}  // namespace tarvex
