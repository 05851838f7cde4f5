// The logo decoded by the cross-built libjpeg, as the Windows program does.

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "ui/embedded_resources.h"
#include "ui/jpeg_decode.h"

namespace tarvex {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes Logo() { return {resources::kLogoJpeg, resources::kLogoJpeg + resources::kLogoJpegSize}; }

TEST(JpegDecode, LogoIsPackedRgbWithItsColours) {
  const std::optional<RgbPicture> logo = DecodeJpegRgb(resources::kLogoJpeg, resources::kLogoJpegSize);
  ASSERT_TRUE(logo.has_value());
  ASSERT_EQ(logo->width, 181);
  ASSERT_EQ(logo->height, 44);
  ASSERT_EQ(logo->rgb.size(), 3u * 181 * 44);

  // Values from the Linux decode of the same file; a swapped channel order or
  // a grey output is far off all three.
  const struct {
    int x, y, r, g, b;
  } pixels[] = {
      {0, 0, 255, 255, 255},   // white background
      {89, 18, 22, 43, 72},    // navy lettering
      {152, 33, 255, 150, 14}, // orange mark
  };
  for (const auto& p : pixels) {
    const unsigned char* px = &logo->rgb[(static_cast<std::size_t>(p.y) * 181 + p.x) * 3];
    EXPECT_LE(std::abs(px[0] - p.r), 12) << p.x << "," << p.y;
    EXPECT_LE(std::abs(px[1] - p.g), 12) << p.x << "," << p.y;
    EXPECT_LE(std::abs(px[2] - p.b), 12) << p.x << "," << p.y;
  }
}

TEST(JpegDecode, DamagedInputGivesNothing) {
  const Bytes logo = Logo();
  const struct {
    const char* name;
    Bytes bytes;
  } cases[] = {
      {"empty", {}},
      {"first 100 bytes", {logo.begin(), logo.begin() + 100}},
      {"cut in the scan", {logo.begin(), logo.begin() + static_cast<long>(logo.size() / 2)}},
      {"without the end marker", {logo.begin(), logo.end() - 2}},
      {"a PNG", {resources::kIcon32Png, resources::kIcon32Png + resources::kIcon32PngSize}},
  };
  for (const auto& c : cases) {
    const unsigned char none = 0;  // never a null pointer, so libjpeg sees the empty case
    EXPECT_FALSE(DecodeJpegRgb(c.bytes.empty() ? &none : c.bytes.data(), c.bytes.size())) << c.name;
  }
}

}  // namespace
}  // namespace tarvex
