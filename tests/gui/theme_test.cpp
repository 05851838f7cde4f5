// The design's fixed colours stay readable under a dark desktop theme.

#include <cstdlib>
#include <initializer_list>

#include <QApplication>
#include <QImage>
#include <QPalette>

#include "tests/gui/fakes.h"

namespace tarvex::testing {
namespace {

class DarkThemeTest : public WindowsTest {
 protected:
  void Prepare() override {
    QPalette dark(QColor(0x35, 0x35, 0x35));
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) dark.setColor(role, Qt::white);
    QApplication::setPalette(dark);
  }
  void TearDown() override {
    WindowsTest::TearDown();
    QApplication::setPalette(saved_);
  }

 private:
  QPalette saved_ = QApplication::palette();
};

// The white readout and header, and an indicator on the palette's button face.
TEST_F(DarkThemeTest, TextStandsOutFromFixedAndPaletteBackgrounds) {
  QWidget* window = MainWidget();
  const QImage image = window->grab().toImage();
  for (forms::Control* c : std::initializer_list<forms::Control*>{main->pnlAbsPos, main->StaticText1, main->Panel0}) {
    QWidget* w = W(c);
    // Inside the one-pixel bevel, which is the palette's; the corner is background.
    const QRect area = QRect(w->mapTo(window, QPoint(0, 0)), w->size()).adjusted(2, 2, -2, -2);
    const int background = qGray(image.pixel(area.topLeft()));
    int text = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
      for (int x = area.left(); x <= area.right(); ++x) text += std::abs(qGray(image.pixel(x, y)) - background) > 128;
    }
    EXPECT_GT(text, 50) << w->objectName().toStdString();
  }
}

}  // namespace
}  // namespace tarvex::testing
