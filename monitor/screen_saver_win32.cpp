// Screen saver on Windows over user32.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cwchar>

// windows.h maps SendMessage to SendMessageW, which would rename the
// interface's member in this file only.
#ifdef SendMessage
#undef SendMessage
#endif

#include "monitor/screen_saver.h"

namespace tarvex {

namespace {

struct Search {
  WindowHandle found = kNoWindow;
};

BOOL CALLBACK FindScreenSaverWindow(HWND hwnd, LPARAM param) {
  wchar_t name[256] = {};
  GetClassNameW(hwnd, name, 255);
  if (std::wcscmp(name, L"WindowsScreenSaverClass") != 0) return TRUE;
  reinterpret_cast<Search*>(param)->found = reinterpret_cast<WindowHandle>(hwnd);
  return FALSE;
}

class Win32ScreenSaver final : public ScreenSaverSystem {
 public:
  bool GetScreenSaverRunning(bool& running) override {
    BOOL value = FALSE;
    if (!SystemParametersInfoW(SPI_GETSCREENSAVERRUNNING, 0, &value, 0)) return false;
    running = value != FALSE;
    return true;
  }

  WindowHandle ScreenSaverWindowSearch() override {
    Search search;
    EnumWindows(FindScreenSaverWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
  }

  // Bounded, so a hung screen saver cannot freeze the monitor.
  void SendMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                   std::intptr_t lParam) override {
    SendMessageTimeoutW(reinterpret_cast<HWND>(window), message, static_cast<WPARAM>(wParam),
                        static_cast<LPARAM>(lParam), SMTO_BLOCK | SMTO_ABORTIFHUNG, 1000, nullptr);
  }
};

}  // namespace

std::unique_ptr<ScreenSaverSystem> MakeSystemScreenSaver() {
  return std::make_unique<Win32ScreenSaver>();
}

}  // namespace tarvex
