// What the main window shows for a presented packet, and the INC/ABS button.

#include <ostream>

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTimer>

#include "core/protocol.h"
#include "monitor/presentation.h"
#include "tests/gui/fakes.h"

namespace tarvex::testing {
namespace {

// 'g' grey, 'r' light red, 'o' orange, for Panel0 .. Panel9.
TColor PanelCode(char c) {
  switch (c) {
    case 'r': return clStatusRed;
    case 'o': return clStatusOrange;
    default: return clGray;
  }
}

struct StatusCase {
  std::uint16_t status;
  const char* panels;
  TColor led;
  bool showsPosition;
};

// Readable test names in ctest.
void PrintTo(const StatusCase& c, std::ostream* os) { *os << "status 0x" << std::hex << c.status; }

class PresentationTest : public WindowsTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(PresentationTest, StatusWordDrivesPanelsLedReadoutAndReference) {
  const StatusCase& c = GetParam();
  OpenPort();
  main->state.resolucija_prebrana = 10;
  main->state.decimalk = 3;
  Poll(PositionReply(1000, 0));  // data available: the reference becomes 1000
  Poll(PositionReply(2500, c.status));

  for (int n = 0; n < 10; ++n) {
    EXPECT_EQ(main->StatusPanel(n)->color(), PanelCode(c.panels[n])) << "Panel" << n;
  }
  EXPECT_EQ(main->shStatusLed->brushColor(), c.led);
  EXPECT_EQ(main->state.barva_LED, c.led);
  if (c.showsPosition) {
    EXPECT_EQ(Readout(), u"2.500 mm");
    EXPECT_EQ(main->state.Abs_Pozicija_Glavna_old, 2500);
  } else {
    EXPECT_EQ(Readout(), u"-  -  -  -  -");
    EXPECT_EQ(main->state.Abs_Pozicija_Glavna_old, 1000);
  }
}

INSTANTIATE_TEST_SUITE_P(
    StatusWords, PresentationTest,
    ::testing::Values(StatusCase{0x000, "gggggggggg", clLedOk, true},
                      StatusCase{0x100, "ggggggggog", clLedDegraded, true},
                      StatusCase{0x200, "gggggggggr", clRed, false},
                      StatusCase{0x300, "ggggggggor", clBlack, false},
                      StatusCase{0x3FF, "rrrrororor", clBlack, false},
                      StatusCase{0x001, "rggggggggg", clLedOk, true},
                      StatusCase{0x050, "ggggogoggg", clLedOk, true},
                      StatusCase{0x0400, "gggggggggg", clLedOk, true}, StatusCase{0x0800, "gggggggggg", clLedOk, true},
                      StatusCase{0x1000, "gggggggggg", clLedOk, true}, StatusCase{0x2000, "gggggggggg", clLedOk, true},
                      StatusCase{0x4000, "gggggggggg", clLedOk, true}, StatusCase{0x8000, "gggggggggg", clLedOk, true}));

struct ReadoutCase {
  std::int32_t position;
  std::int32_t zero;
  std::uint8_t resolution;
  std::uint8_t decimals;
  const char16_t* commaPoint;  // thousands ",", decimal "."
  const char16_t* pointComma;  // thousands ".", decimal ","
};

void PrintTo(const ReadoutCase& c, std::ostream* os) { *os << U8(c.commaPoint); }

class ReadoutTest : public WindowsTest, public ::testing::WithParamInterface<ReadoutCase> {};

TEST_P(ReadoutTest, MillimetresUnderBothSeparatorPairs) {
  const ReadoutCase& c = GetParam();
  OpenPort();
  main->state.resolucija_prebrana = c.resolution;
  main->state.decimalk = c.decimals;
  main->state.Nicla = c.zero;

  main->formatSettings = FormatSettings{u",", u"."};
  Poll(PositionReply(c.position, 0));
  EXPECT_EQ(Readout(), c.commaPoint);

  main->formatSettings = FormatSettings{u".", u","};
  Poll(PositionReply(c.position, 0));
  EXPECT_EQ(Readout(), c.pointComma);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ReadoutTest,
    ::testing::Values(ReadoutCase{123456, 0, 1, 4, u"12.3456 mm", u"12,3456 mm"},
                      ReadoutCase{-5000, 0, 10, 3, u"-5.000 mm", u"-5,000 mm"},
                      ReadoutCase{12345678, 0, 1, 4, u"1,234.5678 mm", u"1.234,5678 mm"},
                      ReadoutCase{123456789, 0, 1, 4, u"12,345.6790 mm", u"12.345,6790 mm"},
                      ReadoutCase{1, 0, 25, 3, u"0.003 mm", u"0,003 mm"},
                      ReadoutCase{-1, 0, 25, 3, u"-0.003 mm", u"-0,003 mm"},
                      ReadoutCase{-123456, 0, 0, 0, u"0 mm", u"0 mm"},
                      // relative readout: 2^31 counts between position and zero
                      ReadoutCase{2147483647, -1, 255, 3, u"54,760,833.000 mm", u"54.760.833,000 mm"},
                      ReadoutCase{5000, 5000, 1, 4, u"0.0000 mm", u"0,0000 mm"}));

TEST_F(WindowsTest, RegionalSettingsAreReadAgainWhenTheyChange) {
  main->formatSettings = FormatSettings{u"x", u"y"};
  QEvent change(QEvent::LocaleChange);
  QApplication::sendEvent(MainWidget(), &change);
  const QLocale system = QLocale::system();
  EXPECT_EQ(Q(main->formatSettings.thousandSeparator), system.groupSeparator());
  EXPECT_EQ(Q(main->formatSettings.decimalSeparator), system.decimalPoint());
}

TEST_F(WindowsTest, ZeroingSwitchesBetweenAbsoluteAndRelative) {
  OpenPort();
  main->state.resolucija_prebrana = 1;
  main->state.decimalk = 4;
  Poll(PositionReply(5000, 0));
  QWidget* zeroMark = W(main->shpNicla);
  auto* button = W<QPushButton>(main->btnZeroing);
  ASSERT_FALSE(zeroMark->isVisibleTo(MainWidget()));

  button->click();
  EXPECT_EQ(main->state.Nicla, 5000);
  EXPECT_TRUE(zeroMark->isVisibleTo(MainWidget()));
  EXPECT_EQ(main->btnZeroing->hint(), u"Currently in INCREMENTAL mode.");
  EXPECT_EQ(HintOf(button), "Currently in INCREMENTAL mode.");
  EXPECT_EQ(button->toolTip(), "Currently in INCREMENTAL mode.");
  EXPECT_EQ(Readout(), u"0.5000 mm");  // the click itself does not redraw
  Poll(PositionReply(5000, 0));
  EXPECT_EQ(Readout(), u"0.0000 mm");

  button->click();
  EXPECT_EQ(main->state.Nicla, 0);
  EXPECT_FALSE(zeroMark->isVisibleTo(MainWidget()));
  EXPECT_EQ(main->btnZeroing->hint(), u"Currently in ABSOLUTE mode.");
  EXPECT_EQ(HintOf(button), "Currently in ABSOLUTE mode.");
  Poll(PositionReply(5000, 0));
  EXPECT_EQ(Readout(), u"0.5000 mm");
}

TEST_F(WindowsTest, ZeroingAtPositionZeroStaysAbsolute) {
  OpenPort();
  Poll(PositionReply(0, 0));
  main->btnZeroingClick();
  EXPECT_EQ(main->state.Nicla, 0);
  EXPECT_FALSE(W(main->shpNicla)->isVisibleTo(MainWidget()));
  EXPECT_EQ(HintOf(W(main->btnZeroing)), "Currently in ABSOLUTE mode.");
}

TEST_F(WindowsTest, CorruptPacketNeverBecomesTheZero) {
  OpenPort();
  main->state.resolucija_prebrana = 10;
  main->state.decimalk = 3;
  Poll(PositionReply(5000, 0));
  settings->lblFPS->setText(u"before");
  const TColor panel3 = main->Panel3->color();

  for (const ByteString& bad : {PositionReply(9999, 0x3FF, 0xEA, 0x00), PositionReply(9999, 0x3FF, 0x00, 0xEF)}) {
    Poll(bad);
    EXPECT_EQ(Readout(), u"Comm. error");
    EXPECT_EQ(settings->pnlRxPaketek->color(), clAccentOrange);
    EXPECT_EQ(main->state.Abs_Pozicija_Glavna, 5000);
    EXPECT_EQ(main->state.Enkoder_Status, 0u);
    EXPECT_EQ(main->state.StevecPaketov, 1);
    EXPECT_EQ(settings->lblFPS->text(), u"before");
    EXPECT_EQ(main->Panel3->color(), panel3);
    EXPECT_EQ(main->shStatusLed->brushColor(), clLedOk);
  }

  main->btnZeroingClick();
  EXPECT_EQ(main->state.Nicla, 5000);
}

TEST_F(WindowsTest, MovementWakesTheScreenSaverWithTheWindowsClock) {
  OpenPort();
  screenSaver.running = true;
  screenSaver.window = 0x1234;
  clock.now = 5000;  // not yet past the quiet time
  Poll(PositionReply(11, 0));
  EXPECT_TRUE(screenSaver.sent.empty());
  EXPECT_EQ(main->state.Abs_Pozicija_Glavna_old, 11);

  clock.now = 5001;
  Poll(PositionReply(22, 0));
  ASSERT_EQ(screenSaver.sent.size(), 2u);
  EXPECT_EQ(screenSaver.sent[0].window, 0x1234u);
  EXPECT_EQ(screenSaver.sent[0].message, kWM_KEYDOWN);
  EXPECT_EQ(screenSaver.sent[1].message, kWM_KEYUP);
  EXPECT_EQ(screenSaver.sent[1].wParam, kVK_SHIFT);
  EXPECT_EQ(screenSaver.sent[1].lParam, 0);
}

TEST(Caption, VersionComputerAndUser) {
  ScriptedPorts ports;
  HandClock clock;
  FakeScreenSaver saver;
  RecordedMessageBoxes messages;
  qtui::QtToolkit toolkit;
  const RegistryFactory noRegistry = [](RootKey, std::uint32_t) { return std::unique_ptr<Registry>(); };
  for (const auto& [version, caption] :
       {std::pair{u"46.1.0.8", u"Tarvex\u2122 & Qorin Demo (Serial / USB) (Ver: 46.1.0.8; PC: BENCH-7; User: ana)"},
        std::pair{u"", u"Tarvex\u2122 & Qorin Demo (Serial / USB) (Ver: ; PC: BENCH-7; User: ana)"}}) {
    Services services{ports, clock, saver, messages, noRegistry, SystemIdentity{version, u"BENCH-7", u"ana"}, toolkit};
    TMainForm form(services);
    EXPECT_EQ(form.window().caption(), caption);
    EXPECT_TRUE(form.state.data_unavailable);
    EXPECT_EQ(form.state.Nicla, 0);
    EXPECT_EQ(form.state.StevecPaketov, 0);
  }
}

}  // namespace
}  // namespace tarvex::testing
