// What the readout, the status indicators and the LED tell assistive
// technology, poll by poll.

#include <optional>

#include <QAccessible>

#include "tests/gui/fakes.h"

namespace tarvex::testing {
namespace {

QString AccessibleText(forms::Component* control, QAccessible::Text which) {
  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(W(control));
  return iface != nullptr ? iface->text(which) : QStringLiteral("<no interface>");
}

TEST_F(WindowsTest, ReadoutIndicatorsAndLedNameWhatTheyShow) {
  struct Step {
    const char* what;
    std::optional<std::uint16_t> status;  // none: no reply, the link is lost
    const char16_t* readout;
    const char16_t* error;
    const char16_t* temperature;
    const char16_t* led;
  };
  const Step steps[] = {
      {"valid", 0x000, u"123.4560 mm", u"9-error: clear", u"4-temperature: clear",
       u"Status LED: data valid, performance normal"},
      {"degraded", 0x110, u"123.4560 mm", u"9-error: clear", u"4-temperature: set",
       u"Status LED: data valid, performance degraded"},
      {"unavailable and degraded", 0x310, u"-  -  -  -  -", u"9-error: set", u"4-temperature: set",
       u"Status LED: data unavailable, performance degraded"},
      {"unavailable", 0x200, u"-  -  -  -  -", u"9-error: set", u"4-temperature: clear",
       u"Status LED: data unavailable, performance normal"},
      {"link lost", std::nullopt, u"- - - - -", u"9-error: set", u"4-temperature: clear",
       u"Status LED: no data"},
  };

  EXPECT_EQ(AccessibleText(main->pnlAbsPos, QAccessible::Name), QStringLiteral("Position: n/c"));
  EXPECT_EQ(AccessibleText(main->Panel4, QAccessible::Name), QStringLiteral("4-temperature"));  // no data yet
  EXPECT_EQ(AccessibleText(main->shStatusLed, QAccessible::Name), QStringLiteral("Status LED: no data"));

  OpenPort();
  main->state.resolucija_prebrana = 5;
  main->state.decimalk = 4;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    if (step.status) {
      Poll(PositionReply(246912, *step.status));
    } else {
      main->TimerPosiljajTimer();
    }
    ASSERT_EQ(Readout(), step.readout);
    EXPECT_EQ(AccessibleText(main->pnlAbsPos, QAccessible::Name), Q(Text(u"Position: ") + step.readout));
    EXPECT_EQ(AccessibleText(main->pnlAbsPos, QAccessible::Value), Q(step.readout));
    EXPECT_EQ(AccessibleText(main->pnlAbsPos, QAccessible::Description), Q(step.readout));
    EXPECT_EQ(AccessibleText(main->Panel9, QAccessible::Name), Q(step.error));
    EXPECT_EQ(AccessibleText(main->Panel4, QAccessible::Name), Q(step.temperature));
    EXPECT_EQ(AccessibleText(main->shStatusLed, QAccessible::Name), Q(step.led));
  }
}

}  // namespace
}  // namespace tarvex::testing
