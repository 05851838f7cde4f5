#pragma once
// JPEG pictures decoded with libjpeg itself.

#include <cstddef>

#include <QImage>

namespace tarvex {

// Decodes a JPEG held in memory into an RGB picture. Anything libjpeg cannot
// read cleanly (empty, truncated, not a JPEG, an unsupported colour model)
// gives a null image; libjpeg's error exit never ends the program.
QImage DecodeJpeg(const unsigned char* data, std::size_t size);

}  // namespace tarvex
