#include "monitor/screen_saver.h"

namespace tarvex {

namespace {

constexpr std::int64_t kMovementThreshold = 10;   // counts
constexpr std::uint32_t kQuietTimeMs = 5000;

}  // namespace

void ScreenSaverWake(const EncoderState& s, TickClock& clock, ScreenSaverSystem& system) {
  // 64-bit difference: two extreme positions never overflow.
  std::int64_t d = std::int64_t{s.Abs_Pozicija_Glavna} - std::int64_t{s.Abs_Pozicija_Glavna_old};
  if (d < 0) d = -d;
  if (d <= kMovementThreshold) return;
  if (clock.GetTickCount() - s.Cas_zadnjega_premika <= kQuietTimeMs) return;  // modulo 2^32
  bool running = false;
  if (!system.GetScreenSaverRunning(running) || !running) return;
  const WindowHandle window = system.ScreenSaverWindowSearch();
  if (window == kNoWindow) return;
  system.SendMessage(window, kWM_KEYDOWN, kVK_SHIFT, 0);
  system.SendMessage(window, kWM_KEYUP, kVK_SHIFT, 0);
}

}  // namespace tarvex
