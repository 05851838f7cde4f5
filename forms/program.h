#pragma once
// The program as both entries run it: the real system services, the main
// window, the hidden settings window, then the toolkit's message loop.

#include <functional>

#include "forms/services.h"

namespace tarvex {

// Returns what `messageLoop` returns once the main window has closed.
int RunProgram(forms::Toolkit& toolkit, MessageBoxes& messages, const std::function<int()>& messageLoop);

}  // namespace tarvex
