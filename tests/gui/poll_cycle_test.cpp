// One poll cycle's three outcomes, the packet rate and the refresh rate.

#include <chrono>
#include <ostream>
#include <thread>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "tests/gui/fakes.h"

namespace tarvex::testing {
namespace {

enum class Loss { Timeout, WriteError, NoPort };

void PrintTo(Loss loss, std::ostream* os) {
  *os << (loss == Loss::Timeout ? "time-out" : loss == Loss::WriteError ? "write error" : "no port");
}

class LinkLostTest : public WindowsTest, public ::testing::WithParamInterface<Loss> {};

TEST_P(LinkLostTest, ClosesShowsTheLostLinkAndStartsReconnecting) {
  OpenPort(3);
  const PortHandle handle = main->state.ComID;
  Poll(PositionReply(1234, 0x0FF));  // every indicator but 8 and 9 coloured
  std::vector<TColor> before;
  for (int n = 0; n < 10; ++n) before.push_back(main->StatusPanel(n)->color());
  main->lblCableDisconnected->setVisible(false);
  main->TimerPosiljaj->start();
  settings->btnComOpen->setEnabled(false);
  settings->btnComClose->setEnabled(true);
  settings->btnComScan->setEnabled(false);
  settings->comboCOMport->setEnabled(false);
  settings->comboHitrost->setEnabled(false);
  main->lblResolution->setText(u"Resolution: 1.0 \u00B5m");

  switch (GetParam()) {
    case Loss::Timeout: break;  // nothing scripted: the deadline passes
    case Loss::WriteError: ports.FailNextWrite(5); break;
    case Loss::NoPort: main->state.ComID = kInvalidHandleValue; break;
  }
  main->TimerPosiljajTimer();

  if (GetParam() == Loss::NoPort) {
    EXPECT_TRUE(ports.closes.empty());
  } else {
    EXPECT_EQ(ports.closes, std::vector<PortHandle>{handle});
  }
  ExpectPortClosed();
  EXPECT_TRUE(settings->RetryPortOpenTimer->isActive());
  EXPECT_EQ(Readout(), u"- - - - -");
  EXPECT_EQ(main->shStatusLed->brushColor(), clGray);
  EXPECT_EQ(main->state.barva_LED, clLedOk);  // the LED is painted, its field kept
  EXPECT_EQ(main->Panel9->color(), clRed);
  for (int n = 0; n < 9; ++n) EXPECT_EQ(main->StatusPanel(n)->color(), before[static_cast<std::size_t>(n)]) << n;
  EXPECT_TRUE(W(main->lblCableDisconnected)->isVisibleTo(MainWidget()));
  EXPECT_TRUE(main->state.data_unavailable);
  EXPECT_EQ(settings->pnlRxPaketek->color(), clRed);
  EXPECT_EQ(main->lblResolution->text(), u"Resolution: ");
}

INSTANTIATE_TEST_SUITE_P(Causes, LinkLostTest, ::testing::Values(Loss::Timeout, Loss::WriteError, Loss::NoPort));

TEST_F(WindowsTest, LostLinkLeavesARunningReconnectTimerAlone) {
  OpenPort();
  settings->RetryPortOpenTimer->start();
  QTimer* retry = qtui::TimerOf(settings->RetryPortOpenTimer);
  const int timerId = retry->timerId();
  // Qt hands a restarted timer its freed id again, so the period tells too.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  main->TimerPosiljajTimer();
  EXPECT_EQ(retry->timerId(), timerId);  // not restarted
  EXPECT_LE(retry->remainingTime(), 2000 - 20);
}

TEST_F(WindowsTest, GoodPacketTurnsRxLimeAndCounts) {
  OpenPort();
  main->state.TimestampPrvegaPaketka = 1000;
  clock.now = 1500;
  Poll(PositionReply(7, 0));
  EXPECT_EQ(settings->pnlRxPaketek->color(), clLime);
  EXPECT_EQ(main->state.StevecPaketov, 1);
  EXPECT_EQ(settings->lblFPS->text(), u"1\r\n2.0 FPS");
  EXPECT_NE(main->state.ComID, kInvalidHandleValue);
  EXPECT_EQ(ports.written, std::vector<std::uint8_t>{'1'});
}

TEST_F(WindowsTest, PacketWithDataUnavailableIsStillCounted) {
  OpenPort();
  Poll(PositionReply(7, 0x200));
  EXPECT_EQ(settings->pnlRxPaketek->color(), clLime);
  EXPECT_EQ(main->state.StevecPaketov, 1);
  EXPECT_EQ(Readout(), u"-  -  -  -  -");
}

TEST_F(WindowsTest, RateAfterARefreshChange) {
  OpenPort();
  clock.now = 20000;
  Pick(settings->comboRefresh, 1);
  EXPECT_EQ(main->state.StevecPaketov, 0);
  EXPECT_EQ(main->state.TimestampPrvegaPaketka, 20000u);

  clock.now = 20093;
  Poll(PositionReply(0, 0));
  EXPECT_FLOAT_EQ(main->state.FPS, 10.752688f);
  EXPECT_EQ(settings->lblFPS->text(), u"1\r\n10.8 FPS");
}

TEST_F(WindowsTest, RateOfTenPacketsInOneSecond) {
  OpenPort();
  main->state.TimestampPrvegaPaketka = 3000;
  for (int i = 1; i <= 10; ++i) {
    clock.now = 3000 + 100 * static_cast<std::uint32_t>(i);
    Poll(PositionReply(i, 0));
  }
  EXPECT_EQ(settings->lblFPS->text(), u"10\r\n10.0 FPS");
}

TEST_F(WindowsTest, NoElapsedTimeOrTickZeroKeepsTheOldRate) {
  OpenPort();
  main->state.FPS = 12.5f;
  // A packet at the very tick counting started, and one at tick 0.
  for (const auto& [start, now] : {std::pair{4000u, 4000u}, std::pair{4000u, 0u}}) {
    main->state.StevecPaketov = 0;
    main->state.TimestampPrvegaPaketka = start;
    clock.now = now;
    Poll(PositionReply(1, 0));
    EXPECT_FLOAT_EQ(main->state.FPS, 12.5f);
    EXPECT_EQ(settings->lblFPS->text(), u"1\r\n12.5 FPS");
  }
}

TEST_F(WindowsTest, RateAcrossATickWrap) {
  OpenPort();
  main->state.TimestampPrvegaPaketka = 0xFFFFFFF0u;
  clock.now = 0x50;  // 96 ms later
  Poll(PositionReply(1, 0));
  EXPECT_EQ(settings->lblFPS->text(), u"1\r\n10.4 FPS");
}

TEST_F(WindowsTest, RefreshRateSetsThePollInterval) {
  EXPECT_EQ(main->TimerPosiljaj->interval(), 100);  // before any choice, although "10 FPS" shows
  EXPECT_EQ(settings->comboRefresh->currentText(), u"10 FPS");
  main->TimerPosiljaj->start();
  const struct {
    int index;
    int interval;
  } choices[] = {{0, 186}, {1, 93}, {2, 46}, {3, 19}};
  for (const auto& c : choices) {
    Pick(settings->comboRefresh, c.index);
    EXPECT_EQ(main->TimerPosiljaj->interval(), c.interval);
    EXPECT_TRUE(main->TimerPosiljaj->isActive());
  }
  main->TimerPosiljaj->stop();
  Pick(settings->comboRefresh, 0);
  EXPECT_FALSE(main->TimerPosiljaj->isActive());  // a stopped poll stays stopped
  EXPECT_EQ(main->TimerPosiljaj->interval(), 186);
}

TEST_F(WindowsTest, PollTimersArePreciseAndTheSameRateKeepsThePeriod) {
  QTimer* poll = qtui::TimerOf(main->TimerPosiljaj);
  ASSERT_NE(poll, nullptr);
  EXPECT_EQ(poll->timerType(), Qt::PreciseTimer);
  EXPECT_EQ(qtui::TimerOf(settings->RetryPortOpenTimer)->timerType(), Qt::PreciseTimer);

  main->TimerPosiljaj->start();
  Pick(settings->comboRefresh, 3);
  ASSERT_EQ(settings->comboRefresh->currentText(), u"50 FPS");
  const int timerId = poll->timerId();
  // A restart would give back the whole period; the same rate leaves what is left of it.
  std::this_thread::sleep_for(std::chrono::milliseconds(12));
  Pick(settings->comboRefresh, 3);
  EXPECT_EQ(poll->timerId(), timerId);
  EXPECT_EQ(main->TimerPosiljaj->interval(), 19);
  EXPECT_LE(poll->remainingTime(), 19 - 10);

  Pick(settings->comboRefresh, 2);
  ASSERT_EQ(settings->comboRefresh->currentText(), u"20 FPS");
  EXPECT_EQ(main->TimerPosiljaj->interval(), 46);
  // Restarted at the new period. Qt may give the restarted timer its freed
  // id again, so the id cannot tell.
  EXPECT_GE(poll->remainingTime(), 46 - 10);
  EXPECT_TRUE(main->TimerPosiljaj->isActive());
}

TEST_F(WindowsTest, SelectingARefreshRateInCodeChangesNothing) {
  settings->comboRefresh->setCurrentIndex(3);
  EXPECT_EQ(main->TimerPosiljaj->interval(), 100);
}

}  // namespace
}  // namespace tarvex::testing
