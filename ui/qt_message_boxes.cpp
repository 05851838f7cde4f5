#include "ui/qt_message_boxes.h"

#include <QMessageBox>

#include "ui/main.h"

namespace tarvex {

void QtMessageBoxes::Warning(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"), text, QMessageBox::Ok, parent);
  box.exec();
}

void QtMessageBoxes::Message(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdU16String(kApplicationTitle), text, QMessageBox::Ok, parent);
  box.exec();
}

}  // namespace tarvex
