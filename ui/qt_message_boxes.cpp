#include "ui/qt_message_boxes.h"

#include <QMessageBox>

#include "ui/qt_toolkit.h"

namespace tarvex {

void QtMessageBoxes::Warning(forms::Window* parent, const Text& text) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"), QString::fromStdU16String(text), QMessageBox::Ok,
                  qtui::WidgetOf(parent));
  box.exec();
}

void QtMessageBoxes::Message(forms::Window* parent, const Text& text) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdU16String(kApplicationTitle), QString::fromStdU16String(text),
                  QMessageBox::Ok, qtui::WidgetOf(parent));
  box.exec();
}

}  // namespace tarvex
