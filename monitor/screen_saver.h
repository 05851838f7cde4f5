#pragma once
// Waking a running screen saver when the scale moves.

#include <cstdint>
#include <memory>

#include "core/clock.h"
#include "core/clock.h"
#include "core/encoder_state.h"

namespace tarvex {

using WindowHandle = std::uintptr_t;
inline constexpr WindowHandle kNoWindow = ~WindowHandle{0};

inline constexpr std::uint32_t kWM_KEYDOWN = 0x100;
inline constexpr std::uint32_t kWM_KEYUP = 0x101;
inline constexpr std::uintptr_t kVK_SHIFT = 0x10;

// The system side of the wake. Windows: user32; Linux: the freedesktop
// screen-saver service on the session bus.
class ScreenSaverSystem {
 public:
  virtual ~ScreenSaverSystem() = default;
  // SystemParametersInfoW(SPI_GETSCREENSAVERRUNNING): false when the query fails.
  virtual bool GetScreenSaverRunning(bool& running) = 0;
  // First top-level window of class "WindowsScreenSaverClass", or kNoWindow.
  virtual WindowHandle ScreenSaverWindowSearch() = 0;
  // Sends one message and waits (bounded) for it to be handled.
  virtual void SendMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                           std::intptr_t lParam) = 0;
};

std::unique_ptr<ScreenSaverSystem> MakeSystemScreenSaver();

// Movement of more than 10 counts since the last presented packet with data,
// more than 5000 ms since Cas_zadnjega_premika, a screen saver running and its
// window found: send it Shift down and Shift up. The clock is read only once
// the movement test has passed.
void ScreenSaverWake(const EncoderState& state, TickClock& clock, ScreenSaverSystem& system);

}  // namespace tarvex
