// Program entry on Windows.

#include "forms/program.h"
#include "ui/win32/win32_message_boxes.h"
#include "ui/win32/win32_toolkit.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  using namespace tarvex;
  // Registers the common controls (tooltips among them) and the window classes.
  win32ui::Win32Toolkit toolkit;
  win32ui::Win32MessageBoxes messages;
  return RunProgram(toolkit, messages, [&toolkit] { return toolkit.Run(); });
}
