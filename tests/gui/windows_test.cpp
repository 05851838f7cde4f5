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
  EXPECT_EQ(Readout(), u"n/c");
  EXPECT_EQ(main->Panel8->color(), clStatusOrange);
  EXPECT_EQ(main->Panel9->color(), clStatusRed);
  for (int n = 0; n < 8; ++n) EXPECT_EQ(main->StatusPanel(n)->color(), clBtnFace) << n;
  EXPECT_EQ(main->shStatusLed->brushColor(), clGray);
  EXPECT_TRUE(W(main->lblCableDisconnected)->isVisibleTo(MainWidget()));
  EXPECT_FALSE(W(main->shpNicla)->isVisibleTo(MainWidget()));
  EXPECT_EQ(main->lblTipEnkoderja->text(), u"Encoder type");
  EXPECT_EQ(main->lblResolution->text(), u"Resolution: /");
  EXPECT_FALSE(main->TimerPosiljaj->isActive());
  EXPECT_TRUE(main->window().isVisible());  // its layout marks it visible
  EXPECT_EQ(MainWidget()->size(), QSize(654, 501));
  EXPECT_EQ(MainWidget()->minimumSize(), MainWidget()->maximumSize());  // fixed
  EXPECT_FALSE(MainWidget()->windowFlags() & Qt::WindowMaximizeButtonHint);

  EXPECT_FALSE(settings->window().isVisible());
  EXPECT_EQ(SettingsWidget()->size(), QSize(169, 239));
  EXPECT_TRUE(SettingsWidget()->windowFlags().testFlag(Qt::Tool));
  EXPECT_TRUE(SettingsWidget()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_EQ(SettingsWidget()->parentWidget(), MainWidget());
  EXPECT_EQ(settings->window().caption(), u"Port Setings");
  EXPECT_EQ(settings->comboHitrost->currentText(), u"C - 230400");
  EXPECT_EQ(settings->comboHitrost->count(), 6);
  EXPECT_EQ(settings->comboRefresh->count(), 4);
  EXPECT_FALSE(W<QComboBox>(settings->comboHitrost)->isEditable());
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
  W<RadioGroup>(settings->rgTipFW)->button(0)->click();
  EXPECT_TRUE(settings->Rs485Echo());
  EXPECT_EQ(settings->FirmwareType(), 0);
}

TEST_F(WindowsTest, OnlyShownHintsBecomeToolTips) {
  const struct {
    forms::Control* control;
    const char16_t* hint;
    bool shown;
  } hints[] = {
      {main->pHead, u"Click to change COM port settings", false},
      {main->StaticText1, u"Click to change COM port settings", false},
      {main->shStatusLed, u"System status LED", true},
      {main->lblFW_verzija, u"Firmware revision", true},
      {main->lblTipEnkoderja, u"Firmware revision", true},
      {main->lblSerijska_st, u"", false},
      {main->btnZeroing, u"Currently in ABSOLUTE mode.", true},
      {settings->btnComOpen, u"Open selected communication port", true},
      {settings->btnComClose, u"Close selected communication port", true},
      {settings->comboCOMport, u"Select port where Tarvex is connected.", true},
      {settings->comboHitrost, u"Baud rate. Don't care is direct USB connection is used.", true},
      {settings->comboRefresh, u"", false},
  };
  for (const auto& h : hints) {
    EXPECT_EQ(h.control->hint(), h.hint) << U8(h.hint);
    EXPECT_EQ(HintOf(W(h.control)), Q(h.hint)) << U8(h.hint);
    EXPECT_EQ(W(h.control)->toolTip(), h.shown ? Q(h.hint) : QString()) << U8(h.hint);
  }
  // Hints show over an inactive window too.
  EXPECT_TRUE(MainWidget()->testAttribute(Qt::WA_AlwaysShowToolTips));
  EXPECT_TRUE(SettingsWidget()->testAttribute(Qt::WA_AlwaysShowToolTips));
}

TEST_F(WindowsTest, OnlyTheTwoButtonsTakeFocusOnTheMainWindow) {
  std::vector<QWidget*> focusable;
  for (QWidget* w : MainWidget()->findChildren<QWidget*>()) {
    if (w->window() == MainWidget() && w->focusPolicy() != Qt::NoFocus) focusable.push_back(w);
  }
  EXPECT_THAT(focusable, ::testing::UnorderedElementsAre(W(main->Button1), W(main->btnZeroing)));
  EXPECT_EQ(W(main->Button1)->nextInFocusChain(), W(main->btnZeroing));
}

// The widget Tab moves to from `w`: the next one in the chain that takes
// the focus by Tab.
QWidget* NextTabStop(QWidget* w) {
  QWidget* next = w->nextInFocusChain();
  while (next != w && (next->focusPolicy() & Qt::TabFocus) == 0) next = next->nextInFocusChain();
  return next;
}

TEST_F(WindowsTest, SettingsTabOrder) {
  auto* firmware = W<RadioGroup>(settings->rgTipFW);
  const std::vector<QWidget*> order = {W(settings->btnComOpen),   W(settings->btnComClose),
                                       W(settings->comboCOMport), W(settings->btnComScan),
                                       W(settings->comboHitrost), W(settings->comboRefresh),
                                       W(settings->cbRS485echo),  firmware->button(2)};
  for (std::size_t i = 0; i + 1 < order.size(); ++i) EXPECT_EQ(NextTabStop(order[i]), order[i + 1]) << i;

  // Tab reaches the group at its selected item, whichever that is.
  settings->rgTipFW->setItemIndex(0);
  EXPECT_EQ(NextTabStop(W(settings->cbRS485echo)), firmware->button(0));
  EXPECT_EQ(NextTabStop(firmware->button(0)), W(settings->btnComOpen));  // the group's frame takes no stop
}

TEST_F(WindowsTest, HeaderLogoAndButtonShowTheSettingsWindow) {
  for (forms::Control* target : std::initializer_list<forms::Control*>{main->pHead, main->StaticText1, main->Image1,
                                                                        main->Button1}) {
    settings->window().hide();
    Click(W(target));
    EXPECT_TRUE(settings->window().isVisible()) << W(target)->metaObject()->className();
  }
}

TEST_F(WindowsTest, LogoIsShownAtItsOwnSize) {
  auto* logo = W<QLabel>(main->Image1);
  ASSERT_NE(logo, nullptr);
  ASSERT_FALSE(logo->pixmap().isNull());
  EXPECT_EQ(logo->pixmap().size(), QSize(181, 44));
  EXPECT_EQ(logo->geometry(), QRect(461, 10, 181, 44));
}

TEST_F(WindowsTest, LabelsGrowWithTheirText) {
  QWidget* resolution = W(main->lblResolution);
  const QPoint topLeft = resolution->pos();
  const int before = resolution->width();
  main->lblResolution->setText(u"Resolution: 25.5 \u00B5m");
  EXPECT_GT(resolution->width(), before);
  EXPECT_GE(resolution->width(), resolution->sizeHint().width());
  EXPECT_EQ(resolution->pos(), topLeft);

  // Set while its window is hidden, laid out when it is shown.
  auto* fps = W<QLabel>(settings->lblFPS);
  settings->lblFPS->setText(u"123\r\n5.0 FPS");
  EXPECT_EQ(settings->lblFPS->text(), u"123\r\n5.0 FPS");
  settings->ShowAndRaise();
  EXPECT_EQ(fps->text(), QStringLiteral("123\r\n5.0 FPS"));
  EXPECT_EQ(fps->size(), fps->sizeHint());
  settings->lblFPS->setText(u"12345\r\n50.0 FPS");
  EXPECT_GE(fps->width(), fps->sizeHint().width());
  EXPECT_GE(fps->height(), fps->sizeHint().height());
}

// Labels size themselves with less work than sizeHint(), to the same size.
TEST_F(WindowsTest, LabelSizeIsTheSizeHintOfEveryLabel) {
  settings->ShowAndRaise();
  QList<QLabel*> labels = MainWidget()->findChildren<QLabel*>() + SettingsWidget()->findChildren<QLabel*>();
  ASSERT_GT(labels.size(), 10);
  for (QLabel* label : labels) {
    const QString kept = label->text();
    for (const char16_t* text : {u"", u"12345\r\n50.0 FPS", u"1\r\n0.0 FPS", u"Resolution: 25.5 \u00B5m",
                                 u"Ver: 46.1.0.8; PC: bench", u"a && b", u"<b>bold</b>", u"\u05D0\u05D1 12"}) {
      label->setText(Q(text));
      EXPECT_EQ(qtui::LabelSize(*label), label->sizeHint()) << label->objectName().toStdString() << " " << U8(text);
    }
    label->setText(kept);
  }
}

// A label that keeps its size while only digits change still takes the
// size of each text, in every label's font.
TEST_F(WindowsTest, LabelSizerFollowsChangingDigits) {
  settings->ShowAndRaise();
  QList<QLabel*> labels = MainWidget()->findChildren<QLabel*>() + SettingsWidget()->findChildren<QLabel*>();
  QFont kerned = labels.front()->font();
  kerned.setFamily(QStringLiteral("Liberation Sans"));  // kerns "11"
  for (QLabel* label : labels) {
    const QString kept = label->text();
    const QFont keptFont = label->font();
    for (const QFont& font : {keptFont, kerned}) {
      label->setFont(font);
      qtui::LabelSizer sizer;
      for (const char16_t* text : {u"11111\r\n11.1 FPS", u"10000\r\n50.0 FPS", u"10000\r\n50.0 FPS", u"11111\r\n11.1 FPS", u"99999\r\n88.8 FPS",
                                   u"1.1 x", u"1.1 x", u"0.0 x", u"7.4 x", u"7.4 x", u"Ver: 1; PC: 1", u"Ver: 8; PC: 4", u"a && 1", u"a && 2"}) {
        label->setText(Q(text));
        EXPECT_EQ(sizer.size(*label), label->sizeHint()) << label->objectName().toStdString() << " " << U8(text);
      }
    }
    label->setFont(keptFont);
    label->setText(kept);
  }
}

// The windows' labels paint what a QLabel set up alike paints, for texts a
// label may be given: tabs, right-to-left, markup shown as text, mnemonics.
TEST_F(WindowsTest, LabelsPaintAsQLabelDoes) {
  settings->ShowAndRaise();
  int painted = 0;
  for (QLabel* label : MainWidget()->findChildren<QLabel*>() + SettingsWidget()->findChildren<QLabel*>()) {
    if (!label->pixmap().isNull()) continue;  // the logo
    ++painted;
    ASSERT_NE(dynamic_cast<TextLabel*>(label), nullptr) << label->objectName().toStdString();
    EXPECT_EQ(label->textFormat(), Qt::PlainText);  // texts from the serial line are not markup
    for (const char16_t* text : {u"", u"1234\r\n50.0 FPS", u"a\tb", u"\u05e9\u05dc\u05d5\u05dd 12", u"<b>b</b>", u"a && b"}) {
      for (const bool enabled : {true, false}) {
        label->setText(Q(text));
        label->setEnabled(enabled);
        QLabel reference(label->text(), label->parentWidget());
        reference.setTextFormat(label->textFormat());
        reference.setFont(label->font());
        reference.setPalette(label->palette());
        reference.setAutoFillBackground(label->autoFillBackground());
        reference.setAlignment(label->alignment());
        reference.setEnabled(enabled);
        reference.resize(label->size());
        EXPECT_EQ(label->grab().toImage(), reference.grab().toImage()) << U8(text) << enabled;
      }
    }
  }
  EXPECT_GE(painted, 5);
}

// Showing the settings window leaves every control a plain child: a native
// one is a window of its own to the display server, repainted apart.
TEST_F(WindowsTest, ShowingTheSettingsWindowMakesNoNativeChildren) {
  settings->ShowAndRaise();
  for (QWidget* child : MainWidget()->findChildren<QWidget*>() + SettingsWidget()->findChildren<QWidget*>()) {
    if (!child->isWindow()) {
      EXPECT_FALSE(child->testAttribute(Qt::WA_NativeWindow)) << child->objectName().toStdString();
    }
  }
}

TEST_F(WindowsTest, SettingsWindowFirstShowsCentredThenWhereItWasLeft) {
  settings->ShowAndRaise();
  const QRect mainFrame = MainWidget()->frameGeometry();
  const QRect frame = SettingsWidget()->frameGeometry();
  EXPECT_NEAR(frame.center().x(), mainFrame.center().x(), 1);
  EXPECT_NEAR(frame.center().y(), mainFrame.center().y(), 1);

  SettingsWidget()->move(300, 200);
  EXPECT_FALSE(SettingsWidget()->close());  // closing only hides it
  EXPECT_FALSE(settings->window().isVisible());
  settings->ShowAndRaise();
  EXPECT_TRUE(settings->window().isVisible());
  EXPECT_EQ(SettingsWidget()->pos(), QPoint(300, 200));
}

TEST_F(WindowsTest, FirstShowingStaysInsideTheWorkAreasTopLeft) {
  const QRect work = MainWidget()->screen()->availableGeometry();
  MainWidget()->move(work.left() - 600, work.top() - 500);
  settings->ShowAndRaise();
  EXPECT_EQ(SettingsWidget()->frameGeometry().topLeft(), work.topLeft());
}

TEST_F(WindowsTest, MainWindowSnapsOntoTheWorkAreasEdges) {
  QWidget* w = MainWidget();
  const QRect work = w->screen()->availableGeometry();
  const int width = w->frameGeometry().width();
  const struct {
    QPoint moveTo;
    QPoint expected;
  } cases[] = {
      {{work.left() + 7, work.top() + 30}, {work.left(), work.top() + 30}},
      {{work.left() + 50, work.top() + 30}, {work.left() + 50, work.top() + 30}},
      {{work.left() + work.width() - width - 6, work.top() + 30}, {work.left() + work.width() - width, work.top() + 30}},
  };
  for (const auto& c : cases) {
    w->move(c.moveTo);
    EXPECT_EQ(w->frameGeometry().topLeft(), c.expected) << c.moveTo.x() << "," << c.moveTo.y();
  }
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
  for (forms::Label* l : {main->lblTipEnkoderja, main->lblSerijska_st, main->lblFW_verzija, main->lblOznaka_asica,
                          main->lblOznaka_PN_kode, main->lblResolution}) {
    l->setText(u"filled");
  }
  main->state.data_unavailable = false;
  main->state.Nicla = 77;

  settings->CloseComPort();
  settings->CloseComPort();  // again with no port: closes nothing more

  EXPECT_EQ(ports.closes, std::vector<PortHandle>{handle});
  ExpectPortClosed();
  EXPECT_TRUE(settings->RetryPortOpenTimer->isActive());
  EXPECT_EQ(settings->pnlRxPaketek->color(), clWhite);
  EXPECT_EQ(Readout(), u"not connected");
  EXPECT_EQ(main->lblTipEnkoderja->text(), u"Encoder type: ");
  EXPECT_EQ(main->lblSerijska_st->text(), u"Serial number: ");
  EXPECT_EQ(main->lblFW_verzija->text(), u"Firmware ver.: ");
  EXPECT_EQ(main->lblOznaka_asica->text(), u"Sensor ver.: ");
  EXPECT_EQ(main->lblOznaka_PN_kode->text(), u"Shaft code: ");
  EXPECT_EQ(main->lblResolution->text(), u"Resolution: ");
  EXPECT_TRUE(main->state.data_unavailable);
  EXPECT_EQ(main->state.Nicla, 77);
}

TEST_F(WindowsTest, ClosingTheMainWindowClosesThePort) {
  OpenPort(5);
  const PortHandle handle = main->state.ComID;
  main->TimerPosiljaj->start();
  EXPECT_TRUE(MainWidget()->close());
  EXPECT_EQ(ports.closes, std::vector<PortHandle>{handle});
  EXPECT_FALSE(main->TimerPosiljaj->isActive());
  EXPECT_EQ(Readout(), u"not connected");
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
