// Program entry on Linux.

#include <QApplication>

#include "forms/program.h"
#include "ui/controls.h"
#include "ui/pictures.h"
#include "ui/qt_message_boxes.h"
#include "ui/qt_toolkit.h"

int main(int argc, char* argv[]) {
  using namespace tarvex;

  qtui::PreparePlatform();
  QApplication app(argc, argv);
  // The name, not the display name: Qt would append a display name to every
  // window caption.
  QApplication::setApplicationName(QString::fromStdU16String(kApplicationTitle));
  QApplication::setWindowIcon(ApplicationIcon());
  // Groups the windows with the installed menu entry (its file name).
  QGuiApplication::setDesktopFileName(QStringLiteral("com.halvik.TarvexMonitor"));
  InstallFontSubstitutes();

  QtMessageBoxes messages;
  qtui::QtToolkit toolkit;
  return RunProgram(toolkit, messages, [] { return QApplication::exec(); });
}
