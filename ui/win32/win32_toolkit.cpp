// The design tables realised with native Win32 controls: one window per
// control with the design values, and the events sent to the handlers the
// table names.

#include "ui/win32/win32_toolkit.h"

#include <commctrl.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "forms/placement.h"
#include "ui/embedded_resources.h"
#include "ui/jpeg_decode.h"
#include "ui/win32/win32_parts.h"

namespace tarvex::win32ui {

namespace {

using forms::ControlDesign;
using forms::FormDesign;
using forms::Kind;

constexpr wchar_t kFormClass[] = L"TarvexForm";
constexpr wchar_t kApplicationClass[] = L"TarvexApplication";
// Below IDOK and IDCANCEL's range, which the dialog manager sends for Enter and Esc.
constexpr int kFirstControlId = 100;

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

forms::Rect RectOf(const RECT& r) { return {r.left, r.top, r.right - r.left, r.bottom - r.top}; }

RECT DesignRect(const forms::ControlDesign& d) { return {d.left, d.top, d.left + d.width, d.top + d.height}; }

class Win32Form;
class Win32Timer;

// Every realised control: its window and what the form asks of it.
class Part {
 public:
  Part(Win32Form& form, const ControlDesign& design) : form_(form), design_(design) {}
  virtual ~Part() = default;
  HWND hwnd() const { return hwnd_; }
  const ControlDesign& design() const { return design_; }
  // A notification (WM_COMMAND code) from the window `from`: this control's
  // or one of its items'.
  virtual void Command(HWND, WORD) {}
  // WM_CTLCOLOR*: nullptr leaves the system's colours.
  virtual HBRUSH Colors(HDC) { return nullptr; }
  // The brush of what children see through to.
  virtual HBRUSH Background();
  // Where Tab lands.
  virtual HWND FocusTarget() const { return hwnd_; }

 protected:
  void Fire(std::string_view handler);
  Win32Form& form_;
  const ControlDesign& design_;
  HWND hwnd_ = nullptr;
};

class Win32Form final : public forms::RealisedForm, public forms::Window {
 public:
  Win32Form(const FormDesign& design, forms::EventSink& sink, Win32Form* owner, HWND application);
  ~Win32Form() override;

  forms::Window& window() override { return *this; }
  forms::Component* component(std::string_view name) override {
    const auto it = components_.find(std::string(name));
    return it == components_.end() ? nullptr : it->second.get();
  }

  Text caption() const override { return hwnd_ != nullptr ? FromWide(WindowText(hwnd_)) : Text(); }
  void setCaption(const Text& caption) override { SetWindowTextW(hwnd_, Wide(caption).c_str()); }
  bool isVisible() const override { return hwnd_ != nullptr && (GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0; }
  void show() override;
  void hide() override { ShowWindow(hwnd_, SW_HIDE); }
  forms::Rect frameRect() const override {
    RECT r{};
    GetWindowRect(hwnd_, &r);
    return RectOf(r);
  }
  void moveFrameTo(forms::Point p) override {
    SetWindowPos(hwnd_, nullptr, p.x, p.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  forms::Rect workArea() const override;

  HWND hwnd() const { return hwnd_; }
  HWND tooltip() const { return tooltip_; }
  const FormDesign& design() const { return design_; }
  void Fire(std::string_view handler) {
    if (!handler.empty()) sink_.Handle(handler);
  }
  int NextId() { return nextId_++; }
  HWND ParentOf(const ControlDesign& d) const {
    return d.parent.empty() ? hwnd_ : parts_.at(std::string(d.parent))->hwnd();
  }
  HBRUSH BackgroundOf(HWND window);
  void Register(HWND window, Part* part) { byHandle_[window] = part; }
  void AddTool(HWND control, const Text& text);
  void UpdateTool(HWND control, const Text& text);
  UINT_PTR AddTimer(Win32Timer* timer) {
    timers_[nextTimerId_] = timer;
    return nextTimerId_++;
  }
  // Moves the focus to the next (or previous) control of the tab chain.
  void Tab(bool backwards);

  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void Build();
  void Snap(WINDOWPOS& pos);
  void CollectTabChain(std::string_view parent);
  bool IsMain() const { return owner_ == nullptr; }

  const FormDesign& design_;
  forms::EventSink& sink_;
  Win32Form* owner_;
  HWND application_;
  HWND hwnd_ = nullptr;
  HWND tooltip_ = nullptr;
  HWND lastFocus_ = nullptr;
  bool shown_ = false;
  int nextId_ = kFirstControlId;
  UINT_PTR nextTimerId_ = 1;
  std::map<std::string, std::unique_ptr<forms::Component>> components_;
  std::map<std::string, Part*> parts_;
  std::map<HWND, Part*> byHandle_;
  std::map<UINT_PTR, Win32Timer*> timers_;
  std::vector<Part*> tabChain_;
};

void Part::Fire(std::string_view handler) { form_.Fire(handler); }

HBRUSH Part::Background() { return form_.BackgroundOf(GetParent(hwnd_)); }

std::set<HWND>& Forms() {
  static std::set<HWND> forms;
  return forms;
}

Win32Form* FormOf(HWND hwnd) {
  if (hwnd == nullptr || Forms().count(hwnd) == 0) return nullptr;
  return reinterpret_cast<Win32Form*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

DWORD ControlStyle(const ControlDesign& d) {
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
  if (d.visible) style |= WS_VISIBLE;
  if (!d.enabled) style |= WS_DISABLED;
  if (d.tabStop) style |= WS_TABSTOP;
  return style;
}

HWND CreateControl(const wchar_t* className, const ControlDesign& d, DWORD style, DWORD exStyle, HWND parent,
                   int id, std::u16string_view text) {
  return CreateWindowExW(exStyle, className, Wide(text).c_str(), ControlStyle(d) | style, d.left, d.top, d.width,
                         d.height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
}

// The control's own flags and place, whatever its parents are.
template <class Iface>
class Control : public Iface, public Part {
 public:
  Control(Win32Form& form, const ControlDesign& d) : Part(form, d), hint_(d.hint) {}

  bool isEnabled() const override { return IsWindowEnabled(hwnd_) != FALSE; }
  void setEnabled(bool enabled) override { EnableWindow(hwnd_, enabled ? TRUE : FALSE); }
  bool isVisible() const override { return (GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0; }
  void setVisible(bool visible) override { ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE); }
  void repaint() override {
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  }
  forms::Rect bounds() const override {
    RECT r{};
    GetWindowRect(hwnd_, &r);
    MapWindowPoints(nullptr, GetParent(hwnd_), reinterpret_cast<POINT*>(&r), 2);
    return RectOf(r);
  }
  Text hint() const override { return hint_; }
  void setHint(const Text& hint) override {
    if (hint == hint_) return;
    hint_ = hint;
    if (design_.hintShown) form_.UpdateTool(hwnd_, hint_);
  }

  // The parts of the window common to every control, once it exists.
  void Finish(HFONT font) {
    form_.Register(hwnd_, this);
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (design_.hintShown) form_.AddTool(hwnd_, hint_);
  }

 private:
  Text hint_;
};

class Win32Label final : public Control<forms::Label> {
 public:
  Win32Label(Win32Form& form, const ControlDesign& d, HWND parent, HFONT font) : Control(form, d), text_(d.text) {
    DWORD style = SS_NOPREFIX | (d.align == forms::Align::Right ? SS_RIGHT : SS_LEFT);
    // Notify also for the tooltip, which only sees a static that takes the mouse.
    if (!d.onClick.empty() || d.hintShown) style |= SS_NOTIFY;
    hwnd_ = CreateControl(L"STATIC", d, style, 0, parent, form.NextId(), d.text);
    Finish(font);
    Fit();
  }

  Text text() const override { return text_; }
  void setText(const Text& text) override {
    if (text == text_) return;
    text_ = text;
    // Sized first, so the text is never drawn into the old rectangle.
    Fit();
    SetWindowTextW(hwnd_, Wide(text).c_str());
    InvalidateRect(hwnd_, nullptr, TRUE);
  }

  void Command(HWND, WORD code) override {
    if (code == STN_CLICKED) Fire(design_.onClick);
  }

  HBRUSH Colors(HDC dc) override {
    SetTextColor(dc, ColorRefOf(design_.textColor));
    if (design_.color == forms::clNone) {
      SetBkMode(dc, TRANSPARENT);
      return Background();
    }
    SetBkColor(dc, ColorRefOf(design_.color));
    return BrushOf(design_.color);
  }

 private:
  // Left and top stay; the size becomes the text's, line by line.
  void Fit() {
    if (!design_.autoSize) return;
    HDC dc = GetDC(hwnd_);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(hwnd_, WM_GETFONT, 0, 0)));
    RECT r{0, 0, 0, 0};
    const std::wstring text = Wide(text_);
    if (text.empty()) {
      TEXTMETRICW tm{};
      GetTextMetricsW(dc, &tm);
      r.bottom = tm.tmHeight;
    } else {
      DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | DT_NOPREFIX | DT_LEFT);
    }
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
  }

  Text text_;
};

class Win32Panel final : public Control<forms::Panel>, private PaintedWindow {
 public:
  Win32Panel(Win32Form& form, const ControlDesign& d, HWND parent, HFONT font)
      : Control(form, d), caption_(d.text), color_(d.color == forms::clNone ? clBtnFace : d.color) {
    const RECT r = DesignRect(d);
    hwnd_ = CreateAt(kPanelClass, parent, ControlStyle(d), r, form.NextId());
    // The window text answers WM_GETTEXT; painting uses the copy here.
    SetWindowTextW(hwnd_, Wide(caption_).c_str());
    Finish(font);
  }

  Text caption() const override { return caption_; }
  bool showsCaption(const Text& caption) const override { return caption == caption_; }
  void setCaption(const Text& caption) override {
    if (caption == caption_) return;
    caption_ = caption;
    SetWindowTextW(hwnd_, Wide(caption_).c_str());
    InvalidateRect(hwnd_, nullptr, FALSE);
  }
  TColor color() const override { return color_; }
  void setColor(TColor color) override {
    if (color == color_) return;
    color_ = color;
    InvalidateRect(hwnd_, nullptr, FALSE);
  }
  HBRUSH Background() override { return BrushOf(color_); }

 private:
  void Paint(HDC dc, const RECT& client) override {
    FillRect(dc, &client, BrushOf(color_));
    RECT text = client;
    if (design_.bevel == forms::Bevel::Lowered) {
      RECT edge = client;
      DrawEdge(dc, &edge, BDR_SUNKENOUTER, BF_RECT);
      InflateRect(&text, -1, -1);
    }
    if (caption_.empty()) return;
    HGDIOBJ old = SelectObject(dc, font());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    const std::wstring w = Wide(caption_);
    DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &text,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
  }
  void Click() override { Fire(design_.onClick); }

  Text caption_;
  TColor color_;
};

class Win32Shape final : public Control<forms::Shape>, private PaintedWindow {
 public:
  Win32Shape(Win32Form& form, const ControlDesign& d, HWND parent, HFONT font) : Control(form, d), brush_(d.color) {
    const RECT r = DesignRect(d);
    hwnd_ = CreateAt(kShapeClass, parent, ControlStyle(d), r, form.NextId());
    Finish(font);
  }

  TColor brushColor() const override { return brush_; }
  void setBrushColor(TColor color) override {
    if (color == brush_) return;
    brush_ = color;
    InvalidateRect(hwnd_, nullptr, FALSE);
  }

 private:
  void Paint(HDC dc, const RECT& client) override {
    FillRect(dc, &client, Background());
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(BLACK_PEN));
    HGDIOBJ oldBrush = SelectObject(dc, BrushOf(brush_));
    const int w = client.right, h = client.bottom;
    if (design_.shape == forms::ShapeKind::Circle) {
      const int d = std::min(w, h);
      const int x = (w - d) / 2, y = (h - d) / 2;
      Ellipse(dc, x, y, x + d, y + d);
    } else {
      const int corner = std::min(w, h) / 4;
      RoundRect(dc, 0, 0, w, h, corner, corner);
    }
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
  }

  TColor brush_;
};

class Win32Image final : public Control<forms::Image>, private PaintedWindow {
 public:
  Win32Image(Win32Form& form, const ControlDesign& d, HWND parent, HFONT font) : Control(form, d) {
    RECT r = DesignRect(d);
    if (d.picture == forms::Picture::Logo) {
      if (const auto logo = DecodeJpegRgb(resources::kLogoJpeg, resources::kLogoJpegSize)) {
        bitmap_ = BitmapFromRgb(logo->width, logo->height, logo->rgb.data());
        if (bitmap_ != nullptr) {
          r.right = r.left + logo->width;  // sized to its picture
          r.bottom = r.top + logo->height;
        }
      }
    }
    hwnd_ = CreateAt(kPictureClass, parent, ControlStyle(d), r, form.NextId());
    Finish(font);
  }
  ~Win32Image() override {
    if (bitmap_ != nullptr) DeleteObject(bitmap_);
  }

 private:
  void Paint(HDC dc, const RECT& client) override {
    FillRect(dc, &client, Background());
    if (bitmap_ == nullptr) return;
    HDC src = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(src, bitmap_);
    BitBlt(dc, 0, 0, client.right, client.bottom, src, 0, 0, SRCCOPY);
    SelectObject(src, old);
    DeleteDC(src);
  }
  void Click() override { Fire(design_.onClick); }

  HBITMAP bitmap_ = nullptr;
};

// Group boxes are BUTTON windows, which keep their children's notifications;
// those go on to the form.
LRESULT CALLBACK ContainerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  if (IsChildNotification(message)) return SendMessageW(GetAncestor(hwnd, GA_ROOT), message, wParam, lParam);
  if (message == WM_ERASEBKGND) {
    RECT r;
    GetClientRect(hwnd, &r);
    FillRect(reinterpret_cast<HDC>(wParam), &r, reinterpret_cast<Part*>(data)->Background());
    return 1;
  }
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

template <class Iface>
class GroupControl : public Control<Iface> {
 public:
  using Control<Iface>::Control;

  HBRUSH Colors(HDC dc) override {
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ColorRefOf(this->design_.textColor));
    return this->Background();
  }

 protected:
  void CreateGroup(HWND parent) {
    this->hwnd_ = CreateControl(L"BUTTON", this->design_, BS_GROUPBOX | WS_CLIPCHILDREN,
                                WS_EX_CONTROLPARENT, parent, this->form_.NextId(), this->design_.text);
    // A group box is no stop of its own: its items are.
    SetWindowLongW(this->hwnd_, GWL_STYLE, GetWindowLongW(this->hwnd_, GWL_STYLE) & ~WS_TABSTOP);
    SetWindowSubclass(this->hwnd_, ContainerProc, 1, reinterpret_cast<DWORD_PTR>(static_cast<Part*>(this)));
  }
};

class Win32GroupBox final : public GroupControl<forms::GroupBox> {
 public:
  Win32GroupBox(Win32Form& form, const ControlDesign& d, HWND parent, HFONT font) : GroupControl(form, d) {
    CreateGroup(parent);
    Finish(font);
  }
};

class Win32RadioGroup final : public GroupControl<forms::RadioGroup> {
 public:
  Win32RadioGroup(Win32Form& form, const ControlDesign& d, HWND parent, HFONT font) : GroupControl(form, d) {
    CreateGroup(parent);
    Finish(font);
    // The items share the space under the caption in equal rows.
    HDC dc = GetDC(hwnd_);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    const int count = static_cast<int>(d.items.size());
    const int top = tm.tmHeight;
    const int row = count > 0 ? std::max(1, (d.height - top - 2) / count) : 1;
    for (int i = 0; i < count; ++i) {
      const DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP : 0);
      HWND item = CreateWindowExW(0, L"BUTTON", Wide(d.items[static_cast<std::size_t>(i)]).c_str(), style, 8,
                                  top + i * row, d.width - 12, row, hwnd_,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(form.NextId())), Instance(), nullptr);
      // Item order is the order the arrow keys walk.
      SetWindowPos(item, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      SendMessageW(item, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
      form.Register(item, this);
      items_.push_back(item);
    }
    setItemIndex(d.itemIndex);
  }

  int count() const override { return static_cast<int>(items_.size()); }
  int itemIndex() const override { return index_; }
  void setItemIndex(int index) override {
    if (index < -1 || index >= count()) index = -1;
    index_ = index;
    for (int i = 0; i < count(); ++i) {
      SendMessageW(items_[static_cast<std::size_t>(i)], BM_SETCHECK, i == index ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    UpdateTabStops();
  }

  void Command(HWND from, WORD code) override {
    if (code != BN_CLICKED) return;
    const auto it = std::find(items_.begin(), items_.end(), from);
    if (it == items_.end()) return;
    const int picked = static_cast<int>(it - items_.begin());
    // Picking the selected item again is no click of the group.
    if (picked == index_) return;
    index_ = picked;
    UpdateTabStops();
    Fire(design_.onClick);
  }

  HWND FocusTarget() const override {
    if (items_.empty()) return hwnd_;
    return items_[static_cast<std::size_t>(std::max(index_, 0))];
  }

 private:
  // Tab reaches the group at its selected item only.
  void UpdateTabStops() {
    for (int i = 0; i < count(); ++i) {
      HWND item = items_[static_cast<std::size_t>(i)];
      LONG style = GetWindowLongW(item, GWL_STYLE) & ~WS_TABSTOP;
      if (design_.tabStop && (i == index_ || (index_ < 0 && i == 0))) style |= WS_TABSTOP;
      SetWindowLongW(item, GWL_STYLE, style);
    }
  }

  std::vector<HWND> items_;
  int index_ = -1;
};

class Win32Button final : public Control<forms::Button> {
 public:
  Win32Button(Win32Form& form, const ControlDesign& d, HWND parent, HFONT font) : Control(form, d) {
    hwnd_ = CreateControl(L"BUTTON", d, BS_PUSHBUTTON | WS_GROUP, 0, parent, form.NextId(), d.text);
    Finish(font);
  }
  Text text() const override { return FromWide(WindowText(hwnd_)); }
  void Command(HWND, WORD code) override {
    if (code == BN_CLICKED) Fire(design_.onClick);
  }
};

class Win32CheckBox final : public Control<forms::CheckBox> {
 public:
  Win32CheckBox(Win32Form& form, const ControlDesign& d, HWND parent, HFONT font) : Control(form, d) {
    hwnd_ = CreateControl(L"BUTTON", d, BS_AUTOCHECKBOX | WS_GROUP, 0, parent, form.NextId(), d.text);
    Finish(font);
    setChecked(d.checked);
  }
  bool isChecked() const override { return SendMessageW(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED; }
  void setChecked(bool checked) override {
    SendMessageW(hwnd_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  HBRUSH Colors(HDC dc) override {
    SetBkMode(dc, TRANSPARENT);
    return Background();
  }
};

class Win32DropDownList final : public Control<forms::DropDownList> {
 public:
  static constexpr int kVisibleItems = 10;

  Win32DropDownList(Win32Form& form, const ControlDesign& d, HWND parent, HFONT font) : Control(form, d) {
    hwnd_ = CreateControl(L"COMBOBOX", d, CBS_DROPDOWNLIST | CBS_HASSTRINGS | WS_VSCROLL | WS_GROUP, 0, parent,
                          form.NextId(), u"");
    Finish(font);
    const LRESULT item = SendMessageW(hwnd_, CB_GETITEMHEIGHT, 0, 0);
    SetWindowPos(hwnd_, nullptr, 0, 0, d.width, d.height + kVisibleItems * static_cast<int>(item) + 2,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(hwnd_, CB_SETMINVISIBLE, kVisibleItems, 0);
    // The closed list keeps the design height whatever the font makes of it;
    // the field height asked for and the one reported differ by a border, so
    // it is set by what it gives.
    LRESULT field = SendMessageW(hwnd_, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
    for (int tries = 0; tries < 3 && field > 0; ++tries) {
      RECT r{};
      GetWindowRect(hwnd_, &r);
      const int diff = d.height - (r.bottom - r.top);
      if (diff == 0) break;
      field += diff;
      SendMessageW(hwnd_, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
    }
    for (std::u16string_view i : d.items) addItem(Text(i));
    setCurrentIndex(d.itemIndex);
  }

  int count() const override { return static_cast<int>(SendMessageW(hwnd_, CB_GETCOUNT, 0, 0)); }
  Text itemText(int index) const override {
    const LRESULT n = SendMessageW(hwnd_, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (n == CB_ERR) return {};
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    const LRESULT got =
        SendMessageW(hwnd_, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(got == CB_ERR ? 0 : static_cast<std::size_t>(got));
    return FromWide(text);
  }
  void addItem(const Text& item) override {
    SendMessageW(hwnd_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
  }
  void clear() override { SendMessageW(hwnd_, CB_RESETCONTENT, 0, 0); }
  int currentIndex() const override { return static_cast<int>(SendMessageW(hwnd_, CB_GETCURSEL, 0, 0)); }
  // CB_SETCURSEL sends no CBN_SELCHANGE: no event, as designed.
  void setCurrentIndex(int index) override { SendMessageW(hwnd_, CB_SETCURSEL, static_cast<WPARAM>(index), 0); }
  Text currentText() const override {
    const int i = currentIndex();
    return i < 0 ? Text() : itemText(i);
  }
  void Command(HWND, WORD code) override {
    if (code == CBN_SELCHANGE) Fire(design_.onChange);
  }
};

class Win32Timer final : public forms::Timer {
 public:
  Win32Timer(Win32Form& form, const ControlDesign& d) : form_(form), handler_(d.onTimer), interval_(d.interval) {
    id_ = form.AddTimer(this);
    if (d.enabled) start();
  }
  ~Win32Timer() override { stop(); }

  bool isActive() const override { return active_; }
  void start() override {
    if (active_) return;
    active_ = SetTimer(form_.hwnd(), id_, static_cast<UINT>(interval_), nullptr) != 0;
  }
  void stop() override {
    if (!active_) return;
    active_ = false;
    if (form_.hwnd() != nullptr) KillTimer(form_.hwnd(), id_);
  }
  int interval() const override { return interval_; }
  void setInterval(int milliseconds) override {
    if (milliseconds == interval_) return;
    interval_ = milliseconds;
    // Setting an existing timer again starts its period anew.
    if (active_) SetTimer(form_.hwnd(), id_, static_cast<UINT>(interval_), nullptr);
  }
  void Tick() {
    if (active_) form_.Fire(handler_);
  }

 private:
  Win32Form& form_;
  std::string_view handler_;
  int interval_;
  UINT_PTR id_ = 0;
  bool active_ = false;
};

HICON LoadMainIcon(bool small) {
  const int cx = GetSystemMetrics(small ? SM_CXSMICON : SM_CXICON);
  const int cy = GetSystemMetrics(small ? SM_CYSMICON : SM_CYICON);
  return static_cast<HICON>(LoadImageW(Instance(), L"MAINICON", IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR | LR_SHARED));
}

Win32Form::Win32Form(const FormDesign& design, forms::EventSink& sink, Win32Form* owner, HWND application)
    : design_(design), sink_(sink), owner_(owner), application_(application) {
  DWORD style = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  DWORD exStyle = WS_EX_CONTROLPARENT;
  if (design.border == forms::Border::ToolWindow) {
    exStyle |= WS_EX_TOOLWINDOW;  // close button only, no icon, no task-bar button
  } else {
    style |= WS_OVERLAPPED | WS_MINIMIZEBOX;
  }
  if (design.stayOnTop) exStyle |= WS_EX_TOPMOST;
  RECT frame{0, 0, design.clientWidth, design.clientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  const int x = design.centredOverMainAtFirstShowing ? 0 : design.left;
  const int y = design.centredOverMainAtFirstShowing ? 0 : design.top;
  HWND ownerWindow = owner != nullptr ? owner->hwnd() : application;
  CreateWindowExW(exStyle, kFormClass, Wide(design.caption).c_str(), style, x, y, frame.right - frame.left,
                  frame.bottom - frame.top, ownerWindow, nullptr, Instance(), this);
  if (hwnd_ == nullptr) return;
  Forms().insert(hwnd_);
  if (design.border != forms::Border::ToolWindow) {
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(LoadMainIcon(false)));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(LoadMainIcon(true)));
  }
  // Hints show over an inactive window too.
  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, Instance(),
                             nullptr);
  Build();
}

Win32Form::~Win32Form() {
  // The windows go first: their last messages still reach live controls.
  // The tooltip is owned and goes with the window.
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  components_.clear();
}

void Win32Form::Build() {
  const HFONT formFont = FontOf(design_.font);
  SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(formFont), FALSE);
  std::map<std::string, HFONT> fonts;
  for (const ControlDesign& d : design_.controls) {
    if (d.kind == Kind::Timer) {
      components_[std::string(d.name)] = std::make_unique<Win32Timer>(*this, d);
      continue;
    }
    const HWND parent = ParentOf(d);
    // Without a face of its own a control takes its parent's font.
    const HFONT inherited = d.parent.empty() ? formFont : fonts.at(std::string(d.parent));
    const HFONT font = d.font.face.empty() ? inherited : FontOf(d.font);
    fonts[std::string(d.name)] = font;
    std::unique_ptr<forms::Component> c;
    Part* part = nullptr;
    auto make = [&](auto made) {
      part = made.get();
      c = std::move(made);
    };
    switch (d.kind) {
      case Kind::Label:
      case Kind::StaticText: make(std::make_unique<Win32Label>(*this, d, parent, font)); break;
      case Kind::Panel: make(std::make_unique<Win32Panel>(*this, d, parent, font)); break;
      case Kind::GroupBox: make(std::make_unique<Win32GroupBox>(*this, d, parent, font)); break;
      case Kind::Image: make(std::make_unique<Win32Image>(*this, d, parent, font)); break;
      case Kind::Shape: make(std::make_unique<Win32Shape>(*this, d, parent, font)); break;
      case Kind::Button: make(std::make_unique<Win32Button>(*this, d, parent, font)); break;
      case Kind::DropDownList: make(std::make_unique<Win32DropDownList>(*this, d, parent, font)); break;
      case Kind::CheckBox: make(std::make_unique<Win32CheckBox>(*this, d, parent, font)); break;
      case Kind::RadioGroup: make(std::make_unique<Win32RadioGroup>(*this, d, parent, font)); break;
      case Kind::Timer: break;
    }
    // Later controls lie over earlier ones, as the layout stacks them.
    SetWindowPos(part->hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    parts_[std::string(d.name)] = part;
    components_[std::string(d.name)] = std::move(c);
  }
  CollectTabChain({});
}

// Depth first, each parent's children by their tab order.
void Win32Form::CollectTabChain(std::string_view parent) {
  std::vector<const ControlDesign*> children;
  for (const ControlDesign& c : design_.controls) {
    if (c.parent == parent && c.kind != Kind::Timer) children.push_back(&c);
  }
  std::stable_sort(children.begin(), children.end(),
                   [](const ControlDesign* a, const ControlDesign* b) { return a->tabOrder < b->tabOrder; });
  for (const ControlDesign* c : children) {
    if (c->tabStop) tabChain_.push_back(parts_.at(std::string(c->name)));
    CollectTabChain(c->name);
  }
}

void Win32Form::Tab(bool backwards) {
  auto reachable = [](HWND w) { return IsWindowVisible(w) && IsWindowEnabled(w) && IsWindowEnabled(GetParent(w)); };
  std::vector<HWND> stops;
  int current = -1;
  const HWND focus = GetFocus();
  for (Part* p : tabChain_) {
    const HWND target = p->FocusTarget();
    const bool here = focus != nullptr && (focus == p->hwnd() || IsChild(p->hwnd(), focus));
    if (!reachable(target) && !here) continue;
    if (here) current = static_cast<int>(stops.size());
    stops.push_back(target);
  }
  if (stops.empty()) return;
  const int n = static_cast<int>(stops.size());
  int next = current < 0 ? (backwards ? n - 1 : 0) : (current + (backwards ? n - 1 : 1)) % n;
  for (int i = 0; i < n && !reachable(stops[static_cast<std::size_t>(next)]); ++i) {
    next = (next + (backwards ? n - 1 : 1)) % n;
  }
  // Keyboard use shows the focus rectangle.
  SendMessageW(hwnd_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
  SetFocus(stops[static_cast<std::size_t>(next)]);
}

HBRUSH Win32Form::BackgroundOf(HWND window) {
  if (window == hwnd_ || window == nullptr) return BrushOf(design_.color);
  const auto it = byHandle_.find(window);
  return it != byHandle_.end() ? it->second->Background() : BrushOf(design_.color);
}

void Win32Form::AddTool(HWND control, const Text& text) {
  std::wstring w = Wide(text);
  TTTOOLINFOW ti{};
  ti.cbSize = sizeof ti;
  ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  ti.hwnd = hwnd_;
  ti.uId = reinterpret_cast<UINT_PTR>(control);
  ti.lpszText = w.data();
  SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

void Win32Form::UpdateTool(HWND control, const Text& text) {
  std::wstring w = Wide(text);
  TTTOOLINFOW ti{};
  ti.cbSize = sizeof ti;
  ti.hwnd = hwnd_;
  ti.uId = reinterpret_cast<UINT_PTR>(control);
  ti.lpszText = w.data();
  SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
}

void Win32Form::show() {
  if (IsMain() && application_ != nullptr && !IsWindowVisible(application_)) {
    ShowWindow(application_, SW_SHOWNOACTIVATE);  // its task-bar button
  }
  shown_ = true;
  ShowWindow(hwnd_, SW_SHOW);
  SetForegroundWindow(hwnd_);
  BringWindowToTop(hwnd_);
}

forms::Rect Win32Form::workArea() const {
  // The other windows go by the main window's monitor.
  HWND reference = owner_ != nullptr ? owner_->hwnd() : hwnd_;
  MONITORINFO mi{};
  mi.cbSize = sizeof mi;
  if (!GetMonitorInfoW(MonitorFromWindow(reference, MONITOR_DEFAULTTONEAREST), &mi)) return frameRect();
  return RectOf(mi.rcWork);
}

void Win32Form::Snap(WINDOWPOS& pos) {
  if ((pos.flags & SWP_NOMOVE) != 0 || IsIconic(hwnd_)) return;
  RECT current{};
  GetWindowRect(hwnd_, &current);
  const int w = (pos.flags & SWP_NOSIZE) != 0 ? current.right - current.left : pos.cx;
  const int h = (pos.flags & SWP_NOSIZE) != 0 ? current.bottom - current.top : pos.cy;
  const RECT wanted{pos.x, pos.y, pos.x + w, pos.y + h};
  MONITORINFO mi{};
  mi.cbSize = sizeof mi;
  if (!GetMonitorInfoW(MonitorFromRect(&wanted, MONITOR_DEFAULTTONEAREST), &mi)) return;
  const forms::Point p = forms::SnappedPosition(RectOf(wanted), RectOf(mi.rcWork), design_.screenSnapDistance);
  pos.x = p.x;
  pos.y = p.y;
}

LRESULT CALLBACK Win32Form::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<Win32Form*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Win32Form*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    Forms().erase(hwnd);
    self->hwnd_ = nullptr;
    self->tooltip_ = nullptr;  // owned: gone with the window
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  return self->Handle(message, wParam, lParam);
}

LRESULT Win32Form::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: {
      const auto it = byHandle_.find(reinterpret_cast<HWND>(lParam));
      if (lParam != 0 && it != byHandle_.end()) it->second->Command(reinterpret_cast<HWND>(lParam), HIWORD(wParam));
      return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      const auto it = byHandle_.find(reinterpret_cast<HWND>(lParam));
      if (it != byHandle_.end()) {
        if (HBRUSH brush = it->second->Colors(reinterpret_cast<HDC>(wParam))) return reinterpret_cast<LRESULT>(brush);
      }
      break;
    }
    case WM_ERASEBKGND: {
      RECT r;
      GetClientRect(hwnd_, &r);
      FillRect(reinterpret_cast<HDC>(wParam), &r, BrushOf(design_.color));
      return 1;
    }
    case WM_TIMER: {
      const auto it = timers_.find(wParam);
      if (it != timers_.end()) it->second->Tick();
      return 0;
    }
    case WM_NEXTDLGCTL:  // the dialog manager's arrow keys
      if (LOWORD(lParam) != 0) SetFocus(reinterpret_cast<HWND>(wParam));
      return 0;
    case WM_ACTIVATE:
      // A plain window keeps no focus of its own: give it back to the control.
      if (LOWORD(wParam) == WA_INACTIVE) {
        const HWND focus = GetFocus();
        if (focus != nullptr && IsChild(hwnd_, focus)) lastFocus_ = focus;
      } else if (HIWORD(wParam) == 0) {
        if (lastFocus_ != nullptr && IsChild(hwnd_, lastFocus_) && IsWindowEnabled(lastFocus_)) {
          SetFocus(lastFocus_);
        } else {
          SetFocus(hwnd_);
        }
      }
      return 0;
    case WM_WINDOWPOSCHANGING:
      if (design_.screenSnapDistance > 0) Snap(*reinterpret_cast<WINDOWPOS*>(lParam));
      break;
    case WM_SYSCOMMAND:
      // Minimising the main window minimises the application: both windows go.
      if (IsMain() && application_ != nullptr && (wParam & 0xFFF0) == SC_MINIMIZE) {
        ShowWindow(application_, SW_MINIMIZE);
        return 0;
      }
      break;
    case WM_SETTINGCHANGE:
      if (IsMain() && lParam != 0 && lstrcmpiW(reinterpret_cast<const wchar_t*>(lParam), L"intl") == 0) {
        sink_.Handle("RegionalSettingsChange");
      }
      break;
    case WM_CLOSE:
      if (!IsMain()) {
        ShowWindow(hwnd_, SW_HIDE);  // only hidden; shown again where it was
        return 0;
      }
      Fire(design_.onClose);
      DestroyWindow(hwnd_);
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

// The task-bar button: shows the application's title and icon, and hands
// activation on to the main window it owns.
LRESULT CALLBACK ApplicationProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETFOCUS || (message == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE && HIWORD(wParam) == 0)) {
    for (HWND form : Forms()) {
      if (GetWindow(form, GW_OWNER) == hwnd && IsWindowVisible(form)) {
        SetActiveWindow(form);
        return 0;
      }
    }
  }
  if (message == WM_CLOSE) {
    for (HWND form : Forms()) {
      if (GetWindow(form, GW_OWNER) == hwnd) {
        PostMessageW(form, WM_CLOSE, 0, 0);
        return 0;
      }
    }
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

bool RegisterClasses() {
  WNDCLASSEXW form{};
  form.cbSize = sizeof form;
  form.lpfnWndProc = Win32Form::Proc;
  form.hInstance = Instance();
  form.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  form.lpszClassName = kFormClass;
  if (RegisterClassExW(&form) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  WNDCLASSEXW app = form;
  app.lpfnWndProc = ApplicationProc;
  app.lpszClassName = kApplicationClass;
  app.hIcon = LoadMainIcon(false);
  app.hIconSm = LoadMainIcon(true);
  if (RegisterClassExW(&app) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  return PaintedWindow::RegisterClasses(Instance());
}

}  // namespace

Win32Toolkit::Win32Toolkit() {
  INITCOMMONCONTROLSEX icc{static_cast<DWORD>(sizeof(INITCOMMONCONTROLSEX)), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  RegisterClasses();
  // Zero-sized, so only its task-bar button shows.
  app_ = CreateWindowExW(0, kApplicationClass, Wide(kApplicationTitle).c_str(),
                         WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPSIBLINGS,
                         GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr,
                         nullptr, Instance(), nullptr);
}

Win32Toolkit::~Win32Toolkit() {
  if (app_ != nullptr && IsWindow(app_)) DestroyWindow(app_);
}

std::unique_ptr<forms::RealisedForm> Win32Toolkit::Realise(const FormDesign& design, forms::EventSink& sink,
                                                           forms::RealisedForm* owner) {
  return std::make_unique<Win32Form>(design, sink, dynamic_cast<Win32Form*>(owner), app_);
}

void DispatchWithNavigation(MSG& msg) {
  Win32Form* form = msg.hwnd != nullptr ? FormOf(GetAncestor(msg.hwnd, GA_ROOT)) : nullptr;
  if (form != nullptr) {
    // Tab walks the layout's own order, not the windows' stacking.
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && (GetKeyState(VK_CONTROL) & 0x8000) == 0 &&
        (GetKeyState(VK_MENU) & 0x8000) == 0) {
      form->Tab((GetKeyState(VK_SHIFT) & 0x8000) != 0);
      return;
    }
    if (msg.message == WM_CHAR && msg.wParam == L'\t') return;
    if (IsDialogMessageW(form->hwnd(), &msg)) return;
  }
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

void Win32Toolkit::ProcessMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // for the loop that ends on it
      return;
    }
    DispatchWithNavigation(msg);
  }
}

int Win32Toolkit::Run() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchWithNavigation(msg);
  return static_cast<int>(msg.wParam);
}

FormatSettings Win32Toolkit::RegionalFormat() {
  FormatSettings fs;
  auto read = [](LCTYPE type, Text& out) {
    wchar_t buf[16] = {};
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buf, 16) > 0) out = FromWide(buf);
  };
  read(LOCALE_STHOUSAND, fs.thousandSeparator);
  read(LOCALE_SDECIMAL, fs.decimalSeparator);
  return fs;
}

HWND HandleOf(forms::Component* component) {
  auto* part = dynamic_cast<Part*>(component);
  return part != nullptr ? part->hwnd() : nullptr;
}

HWND HandleOf(forms::Window* window) {
  auto* form = dynamic_cast<Win32Form*>(window);
  return form != nullptr ? form->hwnd() : nullptr;
}

HWND HandleOf(forms::RealisedForm& form) { return HandleOf(&form.window()); }

HWND TooltipOf(forms::RealisedForm& form) {
  auto* f = dynamic_cast<Win32Form*>(&form);
  return f != nullptr ? f->tooltip() : nullptr;
}

}  // namespace tarvex::win32ui
