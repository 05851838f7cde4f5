#include "ui/win32/win32_message_boxes.h"

#include "ui/win32/win32_parts.h"
#include "ui/win32/win32_toolkit.h"

namespace tarvex::win32ui {

void Win32MessageBoxes::Warning(forms::Window* parent, const Text& text) {
  MessageBoxW(HandleOf(parent), Wide(text).c_str(), L"Warning", MB_OK | MB_ICONWARNING);
}

void Win32MessageBoxes::Message(forms::Window* parent, const Text& text) {
  MessageBoxW(HandleOf(parent), Wide(text).c_str(), Wide(kApplicationTitle).c_str(), MB_OK);
}

}  // namespace tarvex::win32ui
