// The design's fixed colours stay readable under a dark desktop theme.

#include <algorithm>
#include <cstdlib>
#include <tuple>

#include <QApplication>
#include <QHash>
#include <QImage>
#include <QPalette>

#include "tests/gui/fakes.h"

namespace tarvex::testing {
namespace {

class DarkThemeTest : public WindowsTest {
 protected:
  void Prepare() override {
    QPalette dark(QColor(0x35, 0x35, 0x35));
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
      dark.setColor(role, Qt::white);
    }
    dark.setColor(QPalette::Base, QColor(0x2A, 0x2A, 0x2A));
    QApplication::setPalette(dark);
  }
  void TearDown() override {
    WindowsTest::TearDown();
    QApplication::setPalette(saved_);
  }

 private:
  QPalette saved_ = QApplication::palette();
};

// Pixels of `area` far from its most common colour, its background.
int PixelsOffBackground(const QImage& image, const QRect& area) {
  QHash<QRgb, int> counts;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) ++counts[image.pixel(x, y)];
  }
  QRgb background = 0;
  int most = -1;
  for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
    if (it.value() > most) std::tie(background, most) = std::pair{it.key(), it.value()};
  }
  int off = 0;
  for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
    const int d = std::max({std::abs(qRed(it.key()) - qRed(background)), std::abs(qGreen(it.key()) - qGreen(background)),
                            std::abs(qBlue(it.key()) - qBlue(background))});
    if (d > 128) off += it.value();
  }
  return off;
}

TEST_F(DarkThemeTest, TextStandsOutFromFixedAndPaletteBackgrounds) {
  // The white readout and header, and an indicator on the palette's button face.
  const struct {
    const char* what;
    forms::Control* control;
  } cases[] = {{"readout", main->pnlAbsPos}, {"header title", main->StaticText1}, {"indicator", main->Panel0}};
  QWidget* window = MainWidget();
  const QImage image = window->grab().toImage();
  for (const auto& c : cases) {
    QWidget* w = W(c.control);
    // Inside the one-pixel bevel, which is the palette's.
    const QRect area = QRect(w->mapTo(window, QPoint(0, 0)), w->size()).adjusted(2, 2, -2, -2);
    EXPECT_GT(PixelsOffBackground(image, area), 50) << c.what;
  }
}

}  // namespace
}  // namespace tarvex::testing
