#pragma once
// Windows-only helpers of the serial ports, open to tests.

#include <windows.h>

namespace tarvex {

// The line settings written back with SetCommState: baud rate and 8N1, plus
// binary mode with XON/XOFF, NUL stripping and error replacement off (the
// replies are binary). Every other member stays as the driver reported it.
void ApplyLineSettings(DCB& dcb, DWORD baudRate);

}  // namespace tarvex
