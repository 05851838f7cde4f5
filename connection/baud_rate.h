#pragma once

#include <cstdint>

namespace tarvex {

// Baud rate for an item index of the baud-rate list; 230400 for any other index.
std::uint32_t BaudRateForIndex(int index);

}  // namespace tarvex
