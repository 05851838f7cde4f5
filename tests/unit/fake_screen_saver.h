#pragma once
// A screen saver that records what the wake asks of the system.

#include <cstdint>
#include <vector>

#include "monitor/screen_saver.h"

namespace tarvex::testing {

class FakeScreenSaver : public ScreenSaverSystem {
 public:
  struct Sent {
    WindowHandle window;
    std::uint32_t message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
  };

  bool queryFails = false;
  bool running = false;
  WindowHandle window = kNoWindow;
  int queries = 0;
  int searches = 0;
  std::vector<Sent> sent;

  bool GetScreenSaverRunning(bool& isRunning) override {
    ++queries;
    if (queryFails) return false;
    isRunning = running;
    return true;
  }
  WindowHandle ScreenSaverWindowSearch() override {
    ++searches;
    return window;
  }
  void SendMessage(WindowHandle w, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
    sent.push_back({w, message, wParam, lParam});
  }
};

}  // namespace tarvex::testing
