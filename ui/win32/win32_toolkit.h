#pragma once
// The windows' design tables realised with native Win32 controls.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <memory>

#include "forms/services.h"

namespace tarvex::win32ui {

class Win32Toolkit final : public forms::Toolkit {
 public:
  Win32Toolkit();
  ~Win32Toolkit() override;
  Win32Toolkit(const Win32Toolkit&) = delete;
  Win32Toolkit& operator=(const Win32Toolkit&) = delete;

  std::unique_ptr<forms::RealisedForm> Realise(const forms::FormDesign& design, forms::EventSink& sink,
                                               forms::RealisedForm* owner) override;
  void ProcessMessages() override;
  FormatSettings RegionalFormat() override;

  // The message loop, until WM_QUIT; returns its exit code.
  int Run();

  // The hidden owner of the main window: its task-bar button.
  HWND applicationWindow() const { return app_; }

 private:
  HWND app_ = nullptr;
};

// Translates and dispatches one message, with the keyboard navigation of the
// form it is for.
void DispatchWithNavigation(MSG& msg);

// The window behind a realised control, window or form; nullptr for anything
// else (timers included).
HWND HandleOf(forms::Component* component);
HWND HandleOf(forms::Window* window);
HWND HandleOf(forms::RealisedForm& form);
// The tooltip that shows a form's hints.
HWND TooltipOf(forms::RealisedForm& form);

}  // namespace tarvex::win32ui
