#pragma once
// The message boxes as Qt dialogs.

#include "forms/services.h"

namespace tarvex {

class QtMessageBoxes : public MessageBoxes {
 public:
  void Warning(forms::Window* parent, const Text& text) override;
  void Message(forms::Window* parent, const Text& text) override;
};

}  // namespace tarvex
