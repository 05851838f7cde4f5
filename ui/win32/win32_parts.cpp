#include "ui/win32/win32_parts.h"

#include <map>
#include <tuple>
#include <vector>

namespace tarvex::win32ui {

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

Text FromWide(std::wstring_view text) { return Text(text.begin(), text.end()); }

std::wstring WindowText(HWND window) {
  const int n = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), n + 1)));
  return text;
}

COLORREF ColorRefOf(TColor color) {
  if (color == clBtnFace) return GetSysColor(COLOR_BTNFACE);
  return static_cast<COLORREF>(color) & 0x00FFFFFFu;
}

HBRUSH BrushOf(TColor color) {
  if (color == clBtnFace) return GetSysColorBrush(COLOR_BTNFACE);
  static std::map<COLORREF, HBRUSH> brushes;
  const COLORREF c = ColorRefOf(color);
  HBRUSH& brush = brushes[c];
  if (brush == nullptr) brush = CreateSolidBrush(c);
  return brush;
}

HFONT FontOf(const forms::FontDesign& font) {
  static std::map<std::tuple<std::u16string, int, bool>, HFONT> fonts;
  HFONT& f = fonts[{std::u16string(font.face), font.pixelHeight, font.bold}];
  if (f == nullptr) {
    // A negative height asks for the character height, as the pixel sizes are meant.
    f = CreateFontW(-font.pixelHeight, 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                    DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                    DEFAULT_PITCH | FF_DONTCARE, Wide(font.face).c_str());
  }
  return f;
}

bool IsChildNotification(UINT message) {
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_DRAWITEM:
      return true;
    default:
      return false;
  }
}

bool PaintedWindow::RegisterClasses(HINSTANCE instance) {
  for (const wchar_t* name : {kPanelClass, kShapeClass, kPictureClass}) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = Proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = name;
    if (RegisterClassExW(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  }
  return true;
}

PaintedWindow::~PaintedWindow() {
  // A window that outlives this object no longer reaches it.
  if (window_ != nullptr) SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
}

HWND PaintedWindow::CreateAt(const wchar_t* className, HWND parent, DWORD style, const RECT& r, int id) {
  CreateWindowExW(0, className, L"", WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | style, r.left, r.top,
                  r.right - r.left, r.bottom - r.top, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                  GetModuleHandleW(nullptr), this);
  return window_;
}

LRESULT CALLBACK PaintedWindow::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<PaintedWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->window_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<PaintedWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->window_ = nullptr;
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  return self->Handle(message, wParam, lParam);
}

LRESULT PaintedWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  // Children's notifications (the header's text and logo) belong to the form.
  if (IsChildNotification(message)) return SendMessageW(GetAncestor(window_, GA_ROOT), message, wParam, lParam);
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // the paint covers every pixel
    case WM_PAINT:
      PaintBuffered();
      return 0;
    case WM_SETFONT:
      font_ = reinterpret_cast<HFONT>(wParam);
      if (LOWORD(lParam) != 0) InvalidateRect(window_, nullptr, FALSE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(font_);
    case WM_LBUTTONDOWN:
      pressed_ = true;
      SetCapture(window_);
      return 0;
    case WM_LBUTTONUP: {
      const bool wasPressed = pressed_;
      pressed_ = false;
      if (GetCapture() == window_) ReleaseCapture();
      RECT client;
      GetClientRect(window_, &client);
      const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      if (wasPressed && PtInRect(&client, at)) Click();
      return 0;
    }
    case WM_CAPTURECHANGED:
      pressed_ = false;
      return 0;
    default:
      return DefWindowProcW(window_, message, wParam, lParam);
  }
}

// Into a memory bitmap first: the readout repaints many times a second.
void PaintedWindow::PaintBuffered() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window_, &ps);
  RECT client;
  GetClientRect(window_, &client);
  const int w = client.right, h = client.bottom;
  if (w > 0 && h > 0) {
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, w, h);
    HGDIOBJ oldBitmap = SelectObject(mem, bitmap);
    Paint(mem, client);
    BitBlt(dc, 0, 0, w, h, mem, 0, 0, SRCCOPY);
    SelectObject(mem, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(mem);
  }
  EndPaint(window_, &ps);
}

HBITMAP BitmapFromRgb(int width, int height, const unsigned char* rgb) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // rows top to bottom, like the decoder's
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr || bits == nullptr) return nullptr;
  // DIB rows are padded to 4 bytes and hold blue, green, red.
  const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
  auto* out = static_cast<unsigned char*>(bits);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const unsigned char* src = rgb + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + x) * 3;
      unsigned char* dst = out + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * 3;
      dst[0] = src[2];
      dst[1] = src[1];
      dst[2] = src[0];
    }
  }
  GdiFlush();
  return bitmap;
}

}  // namespace tarvex::win32ui
