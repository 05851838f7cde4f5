#pragma once
// The real Win32 windows in the test process: the message pump, reads of
// the native controls, and the simulators scripts/test_windows.sh runs.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "connection/registry.h"
#include "connection/serial_port.h"
#include "forms/main.h"
#include "forms/nastavitve.h"
#include "monitor/screen_saver.h"
#include "ui/system_info.h"
#include "ui/win32/win32_message_boxes.h"
#include "ui/win32/win32_toolkit.h"
#include "wine_environment.h"

namespace tarvex::wintest {

// WM_TIMER messages the pump saw for this window.
inline HWND gCountTimersOf = nullptr;
inline int gTimerCount = 0;

inline void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) continue;  // a closed main window's; the test goes on
    if (msg.message == WM_TIMER && msg.hwnd == gCountTimersOf) ++gTimerCount;
    win32ui::DispatchWithNavigation(msg);
  }
}

template <class Done>
bool WaitFor(Done done, DWORD ms = 10000) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > ms) return false;
    Pump();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

inline Text NativeText(HWND window) {
  wchar_t buf[512] = {};
  GetWindowTextW(window, buf, 512);
  return FromWide(buf);
}

inline bool StyleHas(HWND window, LONG bits) { return (GetWindowLongW(window, GWL_STYLE) & bits) == bits; }

inline HWND H(forms::Component* c) { return win32ui::HandleOf(c); }

inline const wchar_t kKeyPath[] = L"Software\\Halvik\\Tarvex";
inline const wchar_t kValueName[] = L"zadnji_izbran_COM_port";

inline void Remember(DWORD port) {
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kKeyPath, kValueName, REG_DWORD, &port, sizeof port), ERROR_SUCCESS);
}

inline DWORD Remembered() {
  DWORD data = 0, size = sizeof data;
  if (RegGetValueW(HKEY_CURRENT_USER, kKeyPath, kValueName, RRF_RT_REG_DWORD, nullptr, &data, &size) != ERROR_SUCCESS)
    return 0;
  return data;
}

// Both windows over the real system, as the program builds them.
class FormsTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kKeyPath); }
  void TearDown() override {
    if (settings != nullptr) settings->CloseComPort();
    main.reset();  // the settings window goes with it
    settings = nullptr;
    RegDeleteTreeW(HKEY_CURRENT_USER, kKeyPath);
    gCountTimersOf = nullptr;
  }

  void StartWindows() {
    main = std::make_unique<TMainForm>(services);
    settings = new TFormNastavitve(main.get(), services);
    Pump();
  }

  Text Readout() { return NativeText(H(main->pnlAbsPos)); }
  bool Reading() {
    const Text r = Readout();
    return r.size() > 3 && r.compare(r.size() - 3, 3, u" mm") == 0;
  }

  win32ui::Win32Toolkit toolkit;
  std::unique_ptr<SerialPorts> ports = MakeSystemSerialPorts();
  std::unique_ptr<ScreenSaverSystem> screenSaver = MakeSystemScreenSaver();
  win32ui::Win32MessageBoxes messages;
  Services services{*ports, *ports, *screenSaver, messages, MakeSystemRegistry,
                    SystemIdentity{ProgramVersionText(), ComputerNameText(), UserNameText()}, toolkit};
  std::unique_ptr<TMainForm> main;
  TFormNastavitve* settings = nullptr;
};

// Asks the script's watcher to stop ("stop") or continue ("cont") the
// simulator it watches, and waits until it has.
inline bool SimulatorControl(const char* request) {
  const char* folder = std::getenv("TARVEX_SIM_CONTROL");
  if (folder == nullptr) {
    ADD_FAILURE() << "TARVEX_SIM_CONTROL is not set: run the tests through scripts/test_windows.sh";
    return false;
  }
  const std::string file = std::string(folder) + "\\" + request;
  std::ofstream(file) << request;
  return WaitFor([&] { return GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES; }, 5000);
}

}  // namespace tarvex::wintest
