#include "connection/baud_rate.h"

namespace tarvex {

std::uint32_t BaudRateForIndex(int index) {
  switch (index) {
    case 0: return 115200;
    case 1: return 128000;
    case 2: return 230400;
    case 3: return 256000;
    case 4: return 500000;
    case 5: return 1000000;
    default: return 230400;
  }
}

}  // namespace tarvex
