// Program entry on Windows: the real system services, the main window and
// the hidden settings window, then the message loop.

#include "ui/win32/win32_toolkit.h"

#include "connection/registry.h"
#include "connection/serial_port.h"
#include "forms/main.h"
#include "forms/nastavitve.h"
#include "monitor/screen_saver.h"
#include "ui/system_info.h"
#include "ui/win32/win32_message_boxes.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  using namespace tarvex;

  // Registers the common controls (tooltips among them) and the window classes.
  win32ui::Win32Toolkit toolkit;
  std::unique_ptr<SerialPorts> ports = MakeSystemSerialPorts();
  std::unique_ptr<ScreenSaverSystem> screenSaver = MakeSystemScreenSaver();
  win32ui::Win32MessageBoxes messages;
  Services services{*ports,
                    *ports,  // the ports' tick is the program's clock
                    *screenSaver,
                    messages,
                    MakeSystemRegistry,
                    SystemIdentity{ProgramVersionText(), ComputerNameText(), UserNameText()},
                    toolkit};

  TMainForm mainForm(services);
  // Created hidden and owned by the main window; its create handler may connect.
  new TFormNastavitve(&mainForm, services);
  return toolkit.Run();
}
