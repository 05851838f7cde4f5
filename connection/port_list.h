#pragma once
// Port-list items: "3  \Device\Serial0" from the port map, or the bare "3".

#include <cstdint>
#include <optional>

#include "core/types.h"

namespace tarvex {

// The number before the first space (or the whole text), read as a decimal
// integer with an optional sign; nothing when it is not a valid integer.
std::optional<std::int64_t> PortNumberOfItem(const Text& itemText);

// Port number from the port map's data: data must begin with "COM" in
// capitals; what follows is the number, 1 when it is not a valid integer.
std::optional<std::int64_t> PortNumberOfMapData(const Text& data);

// Only these numbers are ever opened or remembered.
inline constexpr std::int64_t kHighestPortNumber = 255;

}  // namespace tarvex
