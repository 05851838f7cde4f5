#include "ui/jpeg_image.h"

#include <cstring>

#include "ui/jpeg_decode.h"

namespace tarvex {

QImage DecodeJpeg(const unsigned char* data, std::size_t size) {
  const std::optional<RgbPicture> picture = DecodeJpegRgb(data, size);
  if (!picture) return {};
  QImage image(picture->width, picture->height, QImage::Format_RGB888);
  // QImage pads its rows to 4 bytes; the picture's rows are packed.
  const std::size_t stride = static_cast<std::size_t>(picture->width) * 3;
  for (int y = 0; y < picture->height; ++y) {
    std::memcpy(image.scanLine(y), picture->rgb.data() + stride * static_cast<std::size_t>(y), stride);
  }
  return image;
}

}  // namespace tarvex
