#pragma once
// The logo and the icon built into the program.

#include <QIcon>
#include <QImage>

namespace tarvex {

// The header logo, 181 x 44; a null image if it cannot be decoded.
QImage LogoImage();

// The window icon: the 32 x 32 and 16 x 16 pictures.
QIcon ApplicationIcon();

}  // namespace tarvex
