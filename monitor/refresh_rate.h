#pragma once

#include <cstdint>

#include "core/types.h"

namespace tarvex {

// Poll interval for a refresh-rate item such as "05 FPS": 930 / rate rounded
// half to even. Returns 0 when the text is too short to name a rate.
int RefreshIntervalForItem(const Text& item);

}  // namespace tarvex
