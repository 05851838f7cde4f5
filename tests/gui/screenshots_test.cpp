// Pictures of both windows for the documentation, written only when
// TARVEX_SCREENSHOT_DIR names a folder (run under a real display, e.g. Xvfb).

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPixmap>

#include "tests/gui/fakes.h"

namespace tarvex::testing {
namespace {

class Screenshots : public WindowsTest {
 protected:
  void SetUp() override {
    folder_ = qEnvironmentVariable("TARVEX_SCREENSHOT_DIR");
    if (folder_.isEmpty()) GTEST_SKIP() << "TARVEX_SCREENSHOT_DIR not set";
    WindowsTest::SetUp();
  }

  void Save(QWidget* window, const QString& name) {
    for (int i = 0; i < 20; ++i) QApplication::processEvents();
    ASSERT_TRUE(window->grab().save(QDir(folder_).filePath(name)));
  }

  // Connects on port 3 with an identification reply of the newest layout.
  void ConnectWithIdentification() {
    ports.present.insert(3);
    settings->comboCOMport->addItem(u"3  /dev/ttyUSB0");
    settings->comboCOMport->setCurrentIndex(0);
    ByteString id("TX-A200A17342", 13);  // type, serial number
    id += ByteString(2, '\0');
    id += ByteString("\x02\x05\x01\x00\x00\x03\x2C\x03\x05", 9);  // fw 2.5.1.812, asic 3, 0.5 um
    id += "SC-0A1";
    ASSERT_EQ(id.size(), 30u);
    ports.QueueReply('v', id);
    settings->btnComOpenClick();
  }

 private:
  QString folder_;
};

TEST_F(Screenshots, DesignLook) {
  Save(MainWidget(), "main-window.png");
}

TEST_F(Screenshots, LiveReading) {
  ConnectWithIdentification();
  clock.now = 10000;
  Pick(settings->comboRefresh, 1);
  // Zeroed at the first reading, then moving: a relative readout.
  for (int i = 0; i <= 25; ++i) {
    clock.now += 93;
    Poll(PositionReply(100000 + 987 * i, i == 25 ? 0x0110 : 0));
    if (i == 0) main->btnZeroingClick();
  }
  // Only the scripted polls get replies: a real tick while the windows are
  // shown and painted would find none and show the lost link instead.
  main->TimerPosiljaj->stop();
  settings->ShowAndRaise();
  Save(MainWidget(), "main-window-live.png");
  Save(SettingsWidget(), "settings-window.png");
}

// The widest texts there can be, to see that they fit their controls.
TEST_F(Screenshots, WidestReadouts) {
  OpenPort();
  main->state.Nicla = 1;
  main->state.resolucija_prebrana = 255;
  main->state.decimalk = 3;
  Poll(PositionReply(-2147483647 - 1, 0));
  Save(W(main->pnlAbsPos), "widest-readout-1.png");
  main->state.resolucija_prebrana = 9;
  main->state.decimalk = 4;
  Poll(PositionReply(-2147483647 - 1, 0));
  Save(W(main->pnlAbsPos), "widest-readout-2.png");
  settings->comboHitrost->setCurrentIndex(5);
  Save(W(settings->comboHitrost), "widest-baud-rate.png");
}

}  // namespace
}  // namespace tarvex::testing
