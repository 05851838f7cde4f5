#pragma once
// Byte strings to screen text through the ANSI code page (Windows-1252).

#include <cstdint>

#include "core/types.h"

namespace tarvex {

// Every byte maps to one UTF-16 unit; 0x20..0x7E stay ASCII.
Text AnsiToText(const ByteString& bytes);
// Plain decimal, unsigned values without sign.
Text IntToText(std::int64_t value);
Text UIntToText(std::uint64_t value);

}  // namespace tarvex
