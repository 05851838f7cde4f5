// The GUI tests need one QApplication for the whole run.

#include <QApplication>
#include <gmock/gmock.h>

#include "forms/services.h"
#include "ui/controls.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromStdU16String(tarvex::kApplicationTitle));
  tarvex::InstallFontSubstitutes();
  ::testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
