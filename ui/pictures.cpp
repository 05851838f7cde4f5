#include "ui/pictures.h"

#include <QPixmap>

#include "ui/embedded_resources.h"
#include "ui/jpeg_image.h"

namespace tarvex {

QImage LogoImage() { return DecodeJpeg(resources::kLogoJpeg, resources::kLogoJpegSize); }

QIcon ApplicationIcon() {
  QIcon icon;
  const auto add = [&icon](const unsigned char* data, std::size_t size) {
    QPixmap pixmap;
    if (pixmap.loadFromData(data, static_cast<uint>(size), "PNG")) icon.addPixmap(pixmap);
  };
  add(resources::kIcon32Png, resources::kIcon32PngSize);
  add(resources::kIcon16Png, resources::kIcon16PngSize);
  return icon;
}

}  // namespace tarvex
