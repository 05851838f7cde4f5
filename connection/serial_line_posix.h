#pragma once
// Line settings of an open terminal device. Kept apart from the rest of the
// serial code because the kernel's termios2 header clashes with <termios.h>.

#include <cstdint>

namespace tarvex {

// Raw 8N1 at `baud` (any rate, through BOTHER where no B constant exists).
// Flow control, modem lines and CLOCAL stay as the driver has them. Returns
// false when the device refuses the settings; the caller keeps the port open.
bool SetRawLine(int fd, std::uint32_t baud);

// Output rate the device reports, 0 when it cannot be read.
std::uint32_t LineSpeed(int fd);

}  // namespace tarvex
