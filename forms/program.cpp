#include "forms/program.h"

#include "connection/registry.h"
#include "connection/serial_port.h"
#include "forms/main.h"
#include "forms/nastavitve.h"
#include "monitor/screen_saver.h"
#include "ui/system_info.h"

namespace tarvex {

int RunProgram(forms::Toolkit& toolkit, MessageBoxes& messages, const std::function<int()>& messageLoop) {
  std::unique_ptr<SerialPorts> ports = MakeSystemSerialPorts();
  std::unique_ptr<ScreenSaverSystem> screenSaver = MakeSystemScreenSaver();
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
  return messageLoop();
}

}  // namespace tarvex
