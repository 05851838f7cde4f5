#pragma once
// Pictures built into the program from ui/resources.

#include <cstddef>

namespace tarvex::resources {

extern const unsigned char kLogoJpeg[];  // 181 x 44, decoded with libjpeg
extern const std::size_t kLogoJpegSize;
extern const unsigned char kIcon32Png[];
extern const std::size_t kIcon32PngSize;
extern const unsigned char kIcon16Png[];
extern const std::size_t kIcon16PngSize;

}  // namespace tarvex::resources
