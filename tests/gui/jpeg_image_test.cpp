// The logo decoder over libjpeg: the real logo, and damage of every kind.

#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "ui/embedded_resources.h"
#include "ui/jpeg_image.h"
#include "ui/pictures.h"

namespace tarvex {
namespace {

std::vector<unsigned char> Logo() {
  return {resources::kLogoJpeg, resources::kLogoJpeg + resources::kLogoJpegSize};
}

TEST(JpegImageTest, DecodesTheLogo) {
  const std::vector<unsigned char> logo = Logo();
  const QImage image = DecodeJpeg(logo.data(), logo.size());
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), QSize(181, 44));
  // White background at the corner, and dark lettering somewhere.
  EXPECT_GT(image.pixelColor(0, 0).lightness(), 240);
  bool dark = false;
  for (int x = 0; x < image.width() && !dark; ++x) dark = image.pixelColor(x, 18).lightness() < 80;
  EXPECT_TRUE(dark);
}

TEST(JpegImageTest, DamagedPicturesGiveNoImage) {
  const std::vector<unsigned char> logo = Logo();
  std::mt19937 random(20240611);
  std::vector<unsigned char> noise(4000);
  for (unsigned char& b : noise) b = static_cast<unsigned char>(random());
  std::vector<unsigned char> noiseAfterStart = noise;
  noiseAfterStart[0] = 0xFF;  // a start-of-image marker, then garbage
  noiseAfterStart[1] = 0xD8;

  const struct {
    const char* name;
    std::vector<unsigned char> bytes;
  } cases[] = {
      {"truncated in the scan", {logo.begin(), logo.begin() + static_cast<long>(logo.size() * 2 / 3)}},
      {"truncated in the header", {logo.begin(), logo.begin() + 40}},
      {"random bytes", noise},
      {"random bytes after a start marker", noiseAfterStart},
      {"empty", {}},
  };
  for (const auto& c : cases) {
    // The pointer is never null, even for the empty case, so libjpeg sees it.
    const unsigned char dummy = 0;
    const unsigned char* data = c.bytes.empty() ? &dummy : c.bytes.data();
    EXPECT_TRUE(DecodeJpeg(data, c.bytes.size()).isNull()) << c.name;
  }
}

TEST(JpegImageTest, IconHoldsBothSizes) {
  const QIcon icon = ApplicationIcon();
  const QList<QSize> sizes = icon.availableSizes();
  EXPECT_TRUE(sizes.contains(QSize(32, 32)));
  EXPECT_TRUE(sizes.contains(QSize(16, 16)));
}

}  // namespace
}  // namespace tarvex
