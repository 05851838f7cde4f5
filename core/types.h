#pragma once
// Types shared by every layer of the monitor.

#include <cstdint>
#include <string>

namespace tarvex {

// Handle of an open serial port, pointer-sized. All bits set means no port,
// the same value as the Win32 INVALID_HANDLE_VALUE.
using PortHandle = std::uintptr_t;
inline constexpr PortHandle kInvalidHandleValue = ~PortHandle{0};

// 8-bit strings that may hold any byte, 0 included; they carry their length.
using ByteString = std::string;

// Text shown on screen is UTF-16.
using Text = std::u16string;

// Colour laid out 0x00BBGGRR.
using TColor = std::int32_t;

inline constexpr TColor clStatusRed = 0x005B5BFF;
inline constexpr TColor clStatusOrange = 0x0041ADFE;
inline constexpr TColor clGray = 0x00808080;
inline constexpr TColor clLedOk = 0x0080FF00;
inline constexpr TColor clLedDegraded = 0x0000CCFF;
inline constexpr TColor clRed = 0x000000FF;
inline constexpr TColor clBlack = 0x00000000;
inline constexpr TColor clLime = 0x0000FF00;
inline constexpr TColor clAccentOrange = 0x001E93F7;
inline constexpr TColor clWhite = 0x00FFFFFF;
inline constexpr TColor clYellow = 0x0000FFFF;
// The system's button face: not a fixed colour, resolved by the view.
inline constexpr TColor clBtnFace = static_cast<TColor>(0xFF000000u | 15u);

}  // namespace tarvex
