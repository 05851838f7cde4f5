#pragma once
// Building blocks of the Win32 realisation: colours, fonts, and the painted
// windows (panel, shape, picture) that Win32 has no control for.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>
#include <string_view>

#include "core/types.h"
#include "forms/design.h"

namespace tarvex::win32ui {

std::wstring Wide(std::u16string_view text);
Text FromWide(std::wstring_view text);
std::wstring WindowText(HWND window);

// 0x00BBGGRR is a COLORREF already; clBtnFace is the system's button face.
COLORREF ColorRefOf(TColor color);
// Shared for the program's lifetime.
HBRUSH BrushOf(TColor color);
HFONT FontOf(const forms::FontDesign& font);

// Messages a container gets from its children and passes on to its form.
bool IsChildNotification(UINT message);

// A window that paints itself through Paint(), double-buffered, and reports
// left clicks (press and release inside) through Click().
class PaintedWindow {
 public:
  virtual ~PaintedWindow();
  static bool RegisterClasses(HINSTANCE instance);
  // `className` is one of kPanelClass, kShapeClass, kPictureClass.
  HWND CreateAt(const wchar_t* className, HWND parent, DWORD style, const RECT& r, int id);
  HWND handle() const { return window_; }
  HFONT font() const { return font_; }

 protected:
  virtual void Paint(HDC dc, const RECT& client) = 0;
  virtual void Click() {}

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void PaintBuffered();

  HWND window_ = nullptr;
  HFONT font_ = nullptr;
  bool pressed_ = false;
};

inline constexpr wchar_t kPanelClass[] = L"TarvexPanel";
inline constexpr wchar_t kShapeClass[] = L"TarvexShape";
inline constexpr wchar_t kPictureClass[] = L"TarvexPicture";

// A top-down 24-bit DIB section from packed RGB rows; nullptr when it fails.
HBITMAP BitmapFromRgb(int width, int height, const unsigned char* rgb);

}  // namespace tarvex::win32ui
