// The screen-saver wake over Wine's user32: windows of the screen saver's
// class made by the test itself stand in for a running screen saver.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/clock.h"
#include "core/encoder_state.h"
#include "monitor/screen_saver.h"

namespace tarvex {
namespace {

struct Received {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  bool operator==(const Received&) const = default;
};

std::vector<Received> gReceived;

LRESULT CALLBACK RecordKeys(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_KEYDOWN || message == WM_KEYUP) gReceived.push_back({window, message, wParam, lParam});
  return DefWindowProcW(window, message, wParam, lParam);
}

struct FixedClock : TickClock {
  std::uint32_t now = 0;
  std::uint32_t GetTickCount() override { return now; }
};

BOOL CALLBACK FirstOfClass(HWND window, LPARAM param) {
  auto* found = reinterpret_cast<std::pair<std::vector<HWND>*, HWND>*>(param);
  for (const HWND w : *found->first) {
    if (w == window) {
      found->second = window;
      return FALSE;
    }
  }
  return TRUE;
}

class ScreenSaverWine : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const HWND w : windows_) DestroyWindow(w);
    if (!className_.empty()) UnregisterClassW(className_.c_str(), GetModuleHandleW(nullptr));
    gReceived.clear();
    SetRunning(false);
  }

  // Class names are case-insensitive to the window manager, so one test
  // registers one spelling only.
  void Register(const wchar_t* className) {
    WNDCLASSW wc {};
    wc.lpfnWndProc = RecordKeys;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = className;
    ASSERT_NE(RegisterClassW(&wc), 0) << "error " << GetLastError();
    className_ = className;
  }

  HWND Create() {
    const HWND w = CreateWindowExW(WS_EX_TOPMOST, className_.c_str(), L"screen saver", WS_POPUP, 0, 0, 64, 48,
                                   nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    EXPECT_NE(w, nullptr) << "CreateWindowExW failed (is there a display?), error " << GetLastError();
    if (w != nullptr) windows_.push_back(w);
    return w;
  }

  // The first of our windows in the order EnumWindows reports them.
  HWND FirstInEnumeration() {
    std::pair<std::vector<HWND>*, HWND> found {&windows_, nullptr};
    EnumWindows(FirstOfClass, reinterpret_cast<LPARAM>(&found));
    return found.second;
  }

  static void SetRunning(bool running) {
    SystemParametersInfoW(SPI_SETSCREENSAVERRUNNING, running ? TRUE : FALSE, nullptr, 0);
  }

  static std::vector<Received> ShiftDownUp(HWND w) {
    return {{w, WM_KEYDOWN, VK_SHIFT, 0}, {w, WM_KEYUP, VK_SHIFT, 0}};
  }

  std::wstring className_;
  std::vector<HWND> windows_;
};

TEST_F(ScreenSaverWine, WindowOfTheClassIsFoundAndGetsShiftDownAndUp) {
  Register(L"WindowsScreenSaverClass");
  const HWND w = Create();
  ASSERT_NE(w, nullptr);
  auto system = MakeSystemScreenSaver();
  ASSERT_EQ(system->ScreenSaverWindowSearch(), reinterpret_cast<WindowHandle>(w));

  system->SendMessage(reinterpret_cast<WindowHandle>(w), kWM_KEYDOWN, kVK_SHIFT, 0);
  system->SendMessage(reinterpret_cast<WindowHandle>(w), kWM_KEYUP, kVK_SHIFT, 0);
  EXPECT_EQ(gReceived, ShiftDownUp(w));
}

TEST_F(ScreenSaverWine, ClassNameIsMatchedWithItsCase) {
  Register(L"windowsscreensaverclass");
  ASSERT_NE(Create(), nullptr);
  EXPECT_EQ(MakeSystemScreenSaver()->ScreenSaverWindowSearch(), kNoWindow);
}

TEST_F(ScreenSaverWine, NoWindowOfTheClass) {
  EXPECT_EQ(MakeSystemScreenSaver()->ScreenSaverWindowSearch(), kNoWindow);
}

TEST_F(ScreenSaverWine, RunningFlagComesFromTheSystem) {
  auto system = MakeSystemScreenSaver();
  for (const bool running : {true, false}) {
    SetRunning(running);
    bool reported = !running;
    ASSERT_TRUE(system->GetScreenSaverRunning(reported));
    EXPECT_EQ(reported, running);
  }
}

// The whole wake on the real system: only the first window in enumeration
// order hears of it, and only when the screen saver runs and the scale moved.
TEST_F(ScreenSaverWine, WakeReachesOnlyTheFirstWindow) {
  Register(L"WindowsScreenSaverClass");
  ASSERT_NE(Create(), nullptr);
  ASSERT_NE(Create(), nullptr);
  const HWND first = FirstInEnumeration();
  ASSERT_NE(first, nullptr);
  auto system = MakeSystemScreenSaver();
  EXPECT_EQ(system->ScreenSaverWindowSearch(), reinterpret_cast<WindowHandle>(first));

  const struct {
    bool running;
    std::int32_t position;
    std::uint32_t now;
    bool woken;
  } cases[] = {
      {true, 11, 6000, true},   {true, -11, 6000, true}, {true, 10, 6000, false},
      {true, 11, 5000, false},  {false, 11, 6000, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "running " << c.running << ", position " << c.position << ", tick "
                                      << c.now);
    SetRunning(c.running);
    gReceived.clear();
    EncoderState state;
    state.Abs_Pozicija_Glavna = c.position;
    state.Abs_Pozicija_Glavna_old = 0;
    state.Cas_zadnjega_premika = 0;
    FixedClock clock;
    clock.now = c.now;
    ScreenSaverWake(state, clock, *system);
    EXPECT_EQ(gReceived, c.woken ? ShiftDownUp(first) : std::vector<Received> {});
  }
}

}  // namespace
}  // namespace tarvex
