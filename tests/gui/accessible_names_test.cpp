// What the readout, the status indicators and the LED tell assistive
// technology, poll by poll.

#include <QAccessible>
#include <QLabel>

#include "tests/gui/fakes.h"

namespace tarvex::testing {
namespace {

// Names are handed to the widgets when assistive technology comes, as
// here, on each question.
QString Said(forms::Component* control, QAccessible::Text which = QAccessible::Name) {
  QAccessible::setActive(true);
  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(W(control));
  return iface != nullptr ? iface->text(which) : QStringLiteral("<none>");
}

TEST_F(WindowsTest, ReadoutIndicatorsAndLedNameWhatTheyShow) {
  EXPECT_EQ(Said(main->Panel4), QStringLiteral("4-temperature"));  // no data yet
  EXPECT_EQ(Said(main->shStatusLed), QStringLiteral("Status LED: no data"));
  const struct {
    int status;  // -1: no reply, the link is lost
    const char16_t *readout, *error, *temperature, *led;
  } steps[] = {
      {0x000, u"123.4560 mm", u": clear", u": clear", u"data valid, performance normal"},
      {0x110, u"123.4560 mm", u": clear", u": set", u"data valid, performance degraded"},
      {0x310, u"-  -  -  -  -", u": set", u": set", u"data unavailable, performance degraded"},
      {0x200, u"-  -  -  -  -", u": set", u": clear", u"data unavailable, performance normal"},
      {-1, u"- - - - -", u": set", u": clear", u"no data"},
  };
  OpenPort();
  main->state.resolucija_prebrana = 5;
  main->state.decimalk = 4;
  for (const auto& s : steps) {
    SCOPED_TRACE(s.status);
    if (s.status >= 0) Poll(PositionReply(246912, static_cast<std::uint16_t>(s.status)));
    else main->TimerPosiljajTimer();
    ASSERT_EQ(Readout(), s.readout);
    EXPECT_EQ(Said(main->pnlAbsPos), Q(Text(u"Position: ") + s.readout));
    EXPECT_EQ(Said(main->pnlAbsPos, QAccessible::Value), Q(s.readout));
    EXPECT_EQ(Said(main->Panel9), Q(Text(u"9-error") + s.error));
    EXPECT_EQ(Said(main->Panel4), Q(Text(u"4-temperature") + s.temperature));
    EXPECT_EQ(Said(main->shStatusLed), Q(Text(u"Status LED: ") + s.led));
  }
  settings->btnComCloseClick();
  EXPECT_EQ(Said(main->pnlAbsPos), Q(Text(u"Position: ") + Readout()));
}

// Windows made while no assistive technology listens: a label's name is
// its latest text once one comes, and follows it from then on.
class QuietAccessibilityTest : public WindowsTest {
  void Prepare() override { QAccessible::setActive(false); }
};

TEST_F(QuietAccessibilityTest, LabelsNameTheirLatestText) {
  settings->ShowAndRaise();
  OpenPort();
  for (int poll = 0; poll < 3; ++poll) {
    clock.now += 20;
    Poll(PositionReply(246912 + poll, 0));
    const QString shown = static_cast<QLabel*>(W(settings->lblFPS))->text();
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_EQ(Said(settings->lblFPS), shown) << poll;
  }
  EXPECT_EQ(Said(main->Label1), QStringLiteral("Absolute Position"));
}

}  // namespace
}  // namespace tarvex::testing
