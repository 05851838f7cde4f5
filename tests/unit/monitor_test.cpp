#include <gtest/gtest.h>

#include <vector>

#include "monitor/presentation.h"
#include "monitor/refresh_rate.h"
#include "monitor/screen_saver.h"
#include "unit/fake_screen_saver.h"

namespace tarvex {
namespace {

// A screen saver running, with its window found.
struct RunningScreenSaver : testing::FakeScreenSaver {
  RunningScreenSaver() {
    running = true;
    window = 0x1234;
  }
};

// Counts its readings, so a test sees whether the wake looked at the time.
struct CountingClock : TickClock {
  explicit CountingClock(std::uint32_t t) : now(t) {}
  std::uint32_t now;
  int readings = 0;
  std::uint32_t GetTickCount() override { ++readings; return now; }
};

EncoderState Moved(std::int32_t from, std::int32_t to) {
  EncoderState s;
  s.Abs_Pozicija_Glavna_old = from;
  s.Abs_Pozicija_Glavna = to;
  return s;
}

TEST(ScreenSaverWake, MovementThreshold) {
  struct Case {
    std::int32_t from, to;
    bool proceeds;
  };
  const Case cases[] = {{0, 10, false}, {0, -10, false}, {0, 11, true},  {0, -11, true}, {100, 105, false},
                        {0, 50, true},  {INT32_MIN, INT32_MAX, true},    {INT32_MAX, INT32_MIN, true}};
  for (const Case& c : cases) {
    RunningScreenSaver ss;
    CountingClock clock(10000);
    ScreenSaverWake(Moved(c.from, c.to), clock, ss);
    EXPECT_EQ(ss.queries, c.proceeds ? 1 : 0) << c.from << "->" << c.to;
    EXPECT_EQ(clock.readings, c.proceeds ? 1 : 0) << "the clock is read only after the movement test passed";
  }
}

TEST(ScreenSaverWake, SendsShiftDownThenUpToTheFoundWindow) {
  RunningScreenSaver ss;
  CountingClock clock(5001);
  ScreenSaverWake(Moved(0, 50), clock, ss);
  ASSERT_EQ(ss.sent.size(), 2u);
  EXPECT_EQ(ss.sent[0].window, 0x1234u);
  EXPECT_EQ(ss.sent[0].message, 0x100u);
  EXPECT_EQ(ss.sent[1].message, 0x101u);
  for (const auto& m : ss.sent) {
    EXPECT_EQ(m.wParam, 0x10u);
    EXPECT_EQ(m.lParam, 0);
  }
}

TEST(ScreenSaverWake, StopsAtTheFirstFailedTest) {
  struct Case {
    std::uint32_t now;
    bool queryOk, running;
    WindowHandle window;
    int queries, searches;
  };
  const Case cases[] = {
      {5000, true, true, 1, 0, 0},           // quiet time not passed
      {0, true, true, 1, 0, 0},
      {5001, false, true, 1, 1, 0},          // query failed
      {5001, true, false, 1, 1, 0},          // no screen saver running
      {5001, true, true, kNoWindow, 1, 1},   // no window of the class
  };
  for (const Case& c : cases) {
    RunningScreenSaver ss;
    ss.queryFails = !c.queryOk;
    ss.running = c.running;
    ss.window = c.window;
    CountingClock clock(c.now);
    ScreenSaverWake(Moved(0, 1000), clock, ss);
    EXPECT_EQ(ss.queries, c.queries) << c.now;
    EXPECT_EQ(ss.searches, c.searches) << c.now;
    EXPECT_TRUE(ss.sent.empty());
  }
}

TEST(ScreenSaverWake, QuietTimeIsModuloTicks) {
  RunningScreenSaver ss;
  EncoderState s = Moved(0, 50);
  s.Cas_zadnjega_premika = 0xFFFFF000u;  // 4096 ms before the wrap
  CountingClock clock(903);               // 4999 ms later
  ScreenSaverWake(s, clock, ss);
  EXPECT_EQ(ss.queries, 0);
  clock.now = 905;                        // 5001 ms later
  ScreenSaverWake(s, clock, ss);
  EXPECT_EQ(ss.queries, 1);
}

TEST(RefreshRate, IntervalsForItems) {
  EXPECT_EQ(RefreshIntervalForItem(u"05 FPS"), 186);
  EXPECT_EQ(RefreshIntervalForItem(u"10 FPS"), 93);
  EXPECT_EQ(RefreshIntervalForItem(u"20 FPS"), 46);  // 46.5: half to even
  EXPECT_EQ(RefreshIntervalForItem(u"50 FPS"), 19);
  EXPECT_EQ(RefreshIntervalForItem(u"xx FPS"), 93);  // not a number: 10 per second
  EXPECT_EQ(RefreshIntervalForItem(u"5"), 0);
}

TEST(PacketCount, SaturatesInsteadOfOverflowing) {
  EncoderState s;
  s.StevecPaketov = INT32_MAX - 1;
  CountGoodPacket(s, 100);
  CountGoodPacket(s, 200);
  EXPECT_EQ(s.StevecPaketov, INT32_MAX);
}

TEST(PacketCount, RateOverWrappedTicks) {
  EncoderState s;
  RestartPacketCount(s, 0xFFFFFF9Cu);  // 100 ms before the wrap
  for (int i = 0; i < 9; ++i) CountGoodPacket(s, 0xFFFFFFF0u);
  CountGoodPacket(s, 900);  // 1000 ms after the start
  EXPECT_FLOAT_EQ(s.FPS, 10.0f);
  const FormatSettings fs;
  EXPECT_EQ(PacketRateText(s, fs), u"10\r\n10.0 FPS");
}

TEST(PacketCount, ZeroElapsedOrTickZeroKeepsTheRate) {
  EncoderState s;
  s.FPS = 7.5f;
  RestartPacketCount(s, 400);
  CountGoodPacket(s, 400);
  EXPECT_FLOAT_EQ(s.FPS, 7.5f);
  CountGoodPacket(s, 0);
  EXPECT_FLOAT_EQ(s.FPS, 7.5f);
  EXPECT_EQ(s.StevecPaketov, 2);
}

}  // namespace
}  // namespace tarvex
