#pragma once
// The message boxes as the system's own modal boxes.

#include "forms/services.h"

namespace tarvex::win32ui {

class Win32MessageBoxes final : public MessageBoxes {
 public:
  void Warning(forms::Window* parent, const Text& text) override;
  void Message(forms::Window* parent, const Text& text) override;
};

}  // namespace tarvex::win32ui
