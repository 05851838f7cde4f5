#pragma once
// JPEG pictures decoded with libjpeg itself, without any toolkit.

#include <cstddef>
#include <optional>
#include <vector>

namespace tarvex {

struct RgbPicture {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;  // 3 bytes a pixel, rows top to bottom, no padding
};

// Decodes a JPEG held in memory. Anything libjpeg cannot read cleanly (empty,
// truncated, not a JPEG, an unsupported colour model) gives nothing;
// libjpeg's error exit never ends the program.
std::optional<RgbPicture> DecodeJpegRgb(const unsigned char* data, std::size_t size);

}  // namespace tarvex
