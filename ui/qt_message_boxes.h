#pragma once
// The message boxes as Qt dialogs.

#include "ui/services.h"

namespace tarvex {

class QtMessageBoxes : public MessageBoxes {
 public:
  void Warning(QWidget* parent, const QString& text) override;
  void Message(QWidget* parent, const QString& text) override;
};

}  // namespace tarvex
