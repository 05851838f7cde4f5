// The two windows as built: design look, focus, hints, the settings window's
// place and the disconnected state.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

#include <gmock/gmock.h>

#include "tests/gui/fakes.h"

namespace tarvex::testing {
namespace {

void Click(QWidget* w) {
  const QPointF at(w->width() / 2.0, w->height() / 2.0);
  const QPointF global = w->mapToGlobal(at);
  QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(w, &press);
  QApplication::sendEvent(w, &release);
}

TEST_F(WindowsTest, DesignLookBeforeAnyConnection) {
  EXPECT_EQ(Readout(), "n/c");
  EXPECT_EQ(main->Panel8->color(), clStatusOrange);
  EXPECT_EQ(main->Panel9->color(), clStatusRed);
  for (int n = 0; n < 8; ++n) EXPECT_EQ(main->StatusPanel(n)->color(), clBtnFace) << n;
  EXPECT_EQ(main->shStatusLed->brushColor(), clGray);
  EXPECT_TRUE(main->lblCableDisconnected->isVisibleTo(main.get()));
  EXPECT_FALSE(main->shpNicla->isVisibleTo(main.get()));
  EXPECT_EQ(main->lblTipEnkoderja->text(), "Encoder type");
  EXPECT_EQ(main->lblResolution->text(), "Resolution: /");
  EXPECT_FALSE(main->TimerPosiljaj->isActive());
  EXPECT_EQ(main->size(), QSize(654, 501));
  EXPECT_EQ(main->minimumSize(), main->maximumSize());  // fixed
  EXPECT_FALSE(main->windowFlags() & Qt::WindowMaximizeButtonHint);

  EXPECT_FALSE(settings->isVisible());
  EXPECT_EQ(settings->size(), QSize(169, 239));
  EXPECT_TRUE(settings->windowFlags().testFlag(Qt::Tool));
  EXPECT_TRUE(settings->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_EQ(settings->parentWidget(), main.get());
  EXPECT_EQ(settings->windowTitle(), "Port Setings");
  EXPECT_EQ(settings->comboHitrost->currentText(), "C - 230400");
  EXPECT_EQ(settings->comboHitrost->count(), 6);
  EXPECT_EQ(settings->comboRefresh->count(), 4);
  EXPECT_FALSE(settings->comboHitrost->isEditable());
  EXPECT_FALSE(settings->cbRS485echo->isChecked());
  EXPECT_EQ(settings->rgTipFW->itemIndex(), 2);
  EXPECT_EQ(settings->FirmwareType(), 2);
  EXPECT_FALSE(settings->Rs485Echo());
  EXPECT_FALSE(settings->btnComClose->isEnabled());
  EXPECT_FALSE(settings->RetryPortOpenTimer->isActive());
  EXPECT_EQ(settings->RetryPortOpenTimer->interval(), 2000);
}

TEST_F(WindowsTest, TransactionsReadTheSettingsLive) {
  settings->cbRS485echo->setChecked(true);
  settings->rgTipFW->button(0)->click();
  EXPECT_TRUE(settings->Rs485Echo());
  EXPECT_EQ(settings->FirmwareType(), 0);
}

TEST_F(WindowsTest, OnlyShownHintsBecomeToolTips) {
  const struct {
    QWidget* widget;
    const char* hint;
    bool shown;
  } hints[] = {
      {main->pHead, "Click to change COM port settings", false},
      {main->StaticText1, "Click to change COM port settings", false},
      {main->shStatusLed, "System status LED", true},
      {main->lblFW_verzija, "Firmware revision", true},
      {main->lblTipEnkoderja, "Firmware revision", true},
      {main->lblSerijska_st, "", false},
      {main->btnZeroing, "Currently in ABSOLUTE mode.", true},
      {settings->btnComOpen, "Open selected communication port", true},
      {settings->btnComClose, "Close selected communication port", true},
      {settings->comboCOMport, "Select port where Tarvex is connected.", true},
      {settings->comboHitrost, "Baud rate. Don't care is direct USB connection is used.", true},
      {settings->comboRefresh, "", false},
  };
  for (const auto& h : hints) {
    EXPECT_EQ(HintOf(h.widget), QString::fromLatin1(h.hint)) << h.hint;
    EXPECT_EQ(h.widget->toolTip(), h.shown ? QString::fromLatin1(h.hint) : QString()) << h.hint;
  }
}

TEST_F(WindowsTest, OnlyTheTwoButtonsTakeFocusOnTheMainWindow) {
  std::vector<QWidget*> focusable;
  for (QWidget* w : main->findChildren<QWidget*>()) {
    if (w->window() == main.get() && w->focusPolicy() != Qt::NoFocus) focusable.push_back(w);
  }
  EXPECT_THAT(focusable, ::testing::UnorderedElementsAre(main->Button1, main->btnZeroing));
  EXPECT_EQ(main->Button1->nextInFocusChain(), main->btnZeroing);
}

TEST_F(WindowsTest, SettingsTabOrder) {
  const std::vector<QWidget*> order = {settings->btnComOpen,   settings->btnComClose,  settings->comboCOMport,
                                       settings->btnComScan,   settings->comboHitrost, settings->comboRefresh,
                                       settings->cbRS485echo};
  for (std::size_t i = 0; i + 1 < order.size(); ++i) {
    QWidget* next = order[i]->nextInFocusChain();
    while (next->focusPolicy() == Qt::NoFocus) next = next->nextInFocusChain();
    EXPECT_EQ(next, order[i + 1]) << i;
  }
}

TEST_F(WindowsTest, HeaderLogoAndButtonShowTheSettingsWindow) {
  for (QWidget* target : {static_cast<QWidget*>(main->pHead), static_cast<QWidget*>(main->StaticText1),
                          static_cast<QWidget*>(main->Image1), static_cast<QWidget*>(main->Button1)}) {
    settings->hide();
    Click(target);
    EXPECT_TRUE(settings->isVisible()) << target->metaObject()->className();
  }
}

TEST_F(WindowsTest, LogoIsShownAtItsOwnSize) {
  ASSERT_FALSE(main->Image1->pixmap().isNull());
  EXPECT_EQ(main->Image1->pixmap().size(), QSize(181, 44));
  EXPECT_EQ(main->Image1->geometry(), QRect(461, 10, 181, 44));
}

TEST_F(WindowsTest, LabelsGrowWithTheirText) {
  const QPoint topLeft = main->lblResolution->pos();
  const int before = main->lblResolution->width();
  main->lblResolution->setText("Resolution: 25.5 \u00B5m");
  EXPECT_GT(main->lblResolution->width(), before);
  EXPECT_GE(main->lblResolution->width(), main->lblResolution->sizeHint().width());
  EXPECT_EQ(main->lblResolution->pos(), topLeft);

  settings->ShowAndRaise();
  settings->lblFPS->setText("12345\r\n50.0 FPS");
  EXPECT_GE(settings->lblFPS->width(), settings->lblFPS->sizeHint().width());
  EXPECT_GE(settings->lblFPS->height(), settings->lblFPS->sizeHint().height());
}

TEST_F(WindowsTest, SettingsWindowFirstShowsCentredThenWhereItWasLeft) {
  settings->ShowAndRaise();
  const QRect mainFrame = main->frameGeometry();
  const QRect frame = settings->frameGeometry();
  EXPECT_NEAR(frame.center().x(), mainFrame.center().x(), 1);
  EXPECT_NEAR(frame.center().y(), mainFrame.center().y(), 1);

  settings->move(300, 200);
  EXPECT_FALSE(settings->close());  // closing only hides it
  EXPECT_FALSE(settings->isVisible());
  settings->ShowAndRaise();
  EXPECT_TRUE(settings->isVisible());
  EXPECT_EQ(settings->pos(), QPoint(300, 200));
}

TEST_F(WindowsTest, FirstShowingStaysInsideTheWorkAreasTopLeft) {
  const QRect work = main->screen()->availableGeometry();
  main->move(work.left() - 600, work.top() - 500);
  settings->ShowAndRaise();
  EXPECT_EQ(settings->frameGeometry().topLeft(), work.topLeft());
}

TEST_F(WindowsTest, CloseComPortPutsBothWindowsIntoTheDisconnectedState) {
  OpenPort(4);
  const PortHandle handle = main->state.ComID;
  main->TimerPosiljaj->start();
  settings->RetryPortOpenTimer->start();
  settings->btnComOpen->setEnabled(false);
  settings->btnComClose->setEnabled(true);
  settings->btnComScan->setEnabled(false);
  settings->comboCOMport->setEnabled(false);
  settings->comboHitrost->setEnabled(false);
  for (QLabel* l : {main->lblTipEnkoderja, main->lblSerijska_st, main->lblFW_verzija, main->lblOznaka_asica,
                    main->lblOznaka_PN_kode, main->lblResolution}) {
    l->setText("filled");
  }
  main->state.data_unavailable = false;
  main->state.Nicla = 77;

  settings->CloseComPort();
  settings->CloseComPort();  // again with no port: closes nothing more

  EXPECT_EQ(ports.closes, std::vector<PortHandle>{handle});
  ExpectPortClosed();
  EXPECT_TRUE(settings->RetryPortOpenTimer->isActive());
  EXPECT_EQ(settings->pnlRxPaketek->color(), clWhite);
  EXPECT_EQ(Readout(), "not connected");
  EXPECT_EQ(main->lblTipEnkoderja->text(), "Encoder type: ");
  EXPECT_EQ(main->lblSerijska_st->text(), "Serial number: ");
  EXPECT_EQ(main->lblFW_verzija->text(), "Firmware ver.: ");
  EXPECT_EQ(main->lblOznaka_asica->text(), "Sensor ver.: ");
  EXPECT_EQ(main->lblOznaka_PN_kode->text(), "Shaft code: ");
  EXPECT_EQ(main->lblResolution->text(), "Resolution: ");
  EXPECT_TRUE(main->state.data_unavailable);
  EXPECT_EQ(main->state.Nicla, 77);
}

TEST_F(WindowsTest, ClosingTheMainWindowClosesThePort) {
  OpenPort(5);
  const PortHandle handle = main->state.ComID;
  main->TimerPosiljaj->start();
  EXPECT_TRUE(main->close());
  EXPECT_EQ(ports.closes, std::vector<PortHandle>{handle});
  EXPECT_FALSE(main->TimerPosiljaj->isActive());
  EXPECT_EQ(Readout(), "not connected");
}

TEST(RadioGroupTest, ReportsOnlyTheUsersChangeOfItem) {
  RadioGroup group("Firmware type", {"Old", "46 or lower", "48 and newer"});
  int clicks = 0;
  QObject::connect(&group, &RadioGroup::clicked, [&clicks] { ++clicks; });
  group.setItemIndex(2);
  EXPECT_EQ(group.itemIndex(), 2);
  EXPECT_EQ(clicks, 0);

  group.button(2)->click();  // the selected item again
  EXPECT_EQ(clicks, 0);
  group.button(0)->click();
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(group.itemIndex(), 0);
  EXPECT_TRUE(group.button(0)->isChecked());
  EXPECT_FALSE(group.button(2)->isChecked());

  group.setItemIndex(-1);
  EXPECT_EQ(group.itemIndex(), -1);
  for (int i = 0; i < group.count(); ++i) EXPECT_FALSE(group.button(i)->isChecked());
}

TEST(ColorTest, TColorIsBlueGreenRed) {
  EXPECT_EQ(ColorFromTColor(clAccentOrange), QColor(0xF7, 0x93, 0x1E));
  EXPECT_EQ(ColorFromTColor(clLedOk), QColor(0x00, 0xFF, 0x80));
  EXPECT_EQ(ColorFromTColor(clBtnFace), QApplication::palette().color(QPalette::Button));
}

TEST(PanelTest, PaintsItsOwnColourWhateverTheStyle) {
  Panel panel;
  panel.resize(40, 20);
  panel.setColor(clLime);
  panel.setBevel(Bevel::Lowered);
  const QImage image = panel.grab().toImage();
  EXPECT_EQ(image.pixelColor(20, 10), QColor(0, 255, 0));
  EXPECT_NE(image.pixelColor(0, 0), QColor(0, 255, 0));  // the bevel
  panel.setBevel(Bevel::None);
  EXPECT_EQ(panel.grab().toImage().pixelColor(0, 0), QColor(0, 255, 0));
}

}  // namespace
}  // namespace tarvex::testing

namespace tarvex::testing {
namespace {

TEST(ScreenSnap, EdgesCloserThanTenPixelsSnapOntoTheWorkArea) {
  const QRect work(0, 0, 1280, 1000);  // right 1279, bottom 999
  struct Case {
    QPoint at;
    QPoint expected;
  };
  const Case cases[] = {
      {{10, 10}, {10, 10}},        // ten pixels away: stays
      {{9, 300}, {0, 300}},        // left edge
      {{-9, 300}, {0, 300}},       // just past the left edge
      {{300, 5}, {300, 0}},        // top edge
      {{1280 - 660 - 5, 300}, {1280 - 660, 300}},  // right edge
      {{300, 1000 - 530 + 9}, {300, 1000 - 530}},  // bottom edge
      {{3, 4}, {0, 0}},            // a corner
      {{500, 300}, {500, 300}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SnappedPosition(QRect(c.at, QSize(660, 530)), work, 10), c.expected) << c.at.x() << "," << c.at.y();
  }
}

}  // namespace
}  // namespace tarvex::testing
