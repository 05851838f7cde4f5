// Program entry: the application, the real system services, the main window
// and the hidden settings window, then the message loop.

#include <QApplication>

#include "connection/registry.h"
#include "connection/serial_port.h"
#include "forms/main.h"
#include "forms/nastavitve.h"
#include "monitor/screen_saver.h"
#include "ui/controls.h"
#include "ui/pictures.h"
#include "ui/qt_message_boxes.h"
#include "ui/qt_toolkit.h"
#include "ui/system_info.h"

int main(int argc, char* argv[]) {
  using namespace tarvex;

  QApplication app(argc, argv);
  // The name, not the display name: Qt would append a display name to every
  // window caption.
  QApplication::setApplicationName(QString::fromStdU16String(kApplicationTitle));
  QApplication::setWindowIcon(ApplicationIcon());
  InstallFontSubstitutes();

  std::unique_ptr<SerialPorts> ports = MakeSystemSerialPorts();
  std::unique_ptr<ScreenSaverSystem> screenSaver = MakeSystemScreenSaver();
  QtMessageBoxes messages;
  qtui::QtToolkit toolkit;
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
  return QApplication::exec();
}
