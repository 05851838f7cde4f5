// Both design tables realised as native windows, read back through the
// Win32 API; no handler runs, so every value is the design's.

#include "forms_fixture.h"

#include <commctrl.h>

#include <functional>
#include <vector>

namespace tarvex::wintest {
namespace {

using forms::ControlDesign;
using forms::FormDesign;
using forms::Kind;

struct RecordingSink final : forms::EventSink {
  std::vector<std::string> handled;
  void Handle(std::string_view handler) override { handled.emplace_back(handler); }
};

class Layout : public ::testing::Test {
 protected:
  RecordingSink sink;
  win32ui::Win32Toolkit toolkit;
  std::unique_ptr<forms::RealisedForm> main = toolkit.Realise(forms::MainFormDesign(), sink, nullptr);
  std::unique_ptr<forms::RealisedForm> settings = toolkit.Realise(forms::FormNastavitveDesign(), sink, main.get());

  HWND Of(forms::RealisedForm& form, std::string_view name) { return H(form.component(name)); }
};

// The font a control shows: its own, else the nearest parent's, else the window's.
const forms::FontDesign& ExpectedFont(const FormDesign& design, const ControlDesign& d) {
  for (const ControlDesign* c = &d; c != nullptr; c = c->parent.empty() ? nullptr : design.Find(c->parent)) {
    if (!c->font.face.empty()) return c->font;
  }
  return design.font;
}

// Items and selection of a drop-down list or a radio group.
std::vector<Text> Items(HWND h, int& selected) {
  std::vector<Text> items;
  selected = -1;
  wchar_t buf[128];
  if (SendMessageW(h, CB_GETCOUNT, 0, 0) > 0) {
    for (int i = 0; i < SendMessageW(h, CB_GETCOUNT, 0, 0); ++i) {
      SendMessageW(h, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buf));
      items.push_back(FromWide(buf));
    }
    selected = static_cast<int>(SendMessageW(h, CB_GETCURSEL, 0, 0));
    return items;
  }
  for (HWND item = GetWindow(h, GW_CHILD); item != nullptr; item = GetWindow(item, GW_HWNDNEXT)) {
    if (SendMessageW(item, BM_GETCHECK, 0, 0) == BST_CHECKED) selected = static_cast<int>(items.size());
    items.push_back(NativeText(item));
  }
  return items;
}

TEST_F(Layout, EveryControlIsRealisedAsDesigned) {
  const std::pair<const FormDesign*, forms::RealisedForm*> forms[] = {{&forms::MainFormDesign(), main.get()},
                                                                      {&forms::FormNastavitveDesign(), settings.get()}};
  for (const auto& [design, form] : forms) {
    const HWND tooltip = win32ui::TooltipOf(*form);
    for (const ControlDesign& d : design->controls) {
      SCOPED_TRACE(std::string(d.name));
      if (d.kind == Kind::Timer) {
        auto* timer = form->get<forms::Timer>(d.name);
        ASSERT_NE(timer, nullptr);
        EXPECT_EQ(timer->interval(), d.interval);
        EXPECT_EQ(timer->isActive(), d.enabled);
        continue;
      }
      const HWND h = Of(*form, d.name);
      ASSERT_NE(h, nullptr);
      const HWND parent = d.parent.empty() ? win32ui::HandleOf(*form) : Of(*form, d.parent);
      EXPECT_EQ(GetParent(h), parent);
      RECT r;
      GetWindowRect(h, &r);
      MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
      EXPECT_EQ(r.left, d.left);
      EXPECT_EQ(r.top, d.top);
      if (!d.autoSize) {  // autoSize labels take their text's size
        EXPECT_EQ(r.right - r.left, d.width);
        EXPECT_EQ(r.bottom - r.top, d.height);
      }
      if (d.kind == Kind::DropDownList || d.kind == Kind::RadioGroup) {
        int selected = -2;
        EXPECT_EQ(Items(h, selected), std::vector<Text>(d.items.begin(), d.items.end()));
        EXPECT_EQ(selected, d.itemIndex);
      }
      if (d.kind != Kind::DropDownList) { EXPECT_EQ(NativeText(h), d.text); }
      if (d.kind == Kind::CheckBox) { EXPECT_EQ(SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED, d.checked); }

      LOGFONTW lf{};
      ASSERT_NE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)), sizeof lf, &lf), 0);
      const forms::FontDesign& font = ExpectedFont(*design, d);
      EXPECT_EQ(FromWide(lf.lfFaceName), font.face);
      EXPECT_EQ(-lf.lfHeight, font.pixelHeight);
      EXPECT_EQ(lf.lfWeight >= FW_BOLD, font.bold);

      EXPECT_EQ(IsWindowEnabled(h) != FALSE, d.enabled);
      EXPECT_EQ(StyleHas(h, WS_VISIBLE), d.visible);
      if (d.kind != Kind::RadioGroup) { EXPECT_EQ(StyleHas(h, WS_TABSTOP), d.tabStop); }

      wchar_t tip[256] = {};
      TTTOOLINFOW ti{};
      ti.cbSize = sizeof ti;
      ti.hwnd = win32ui::HandleOf(*form);
      ti.uId = reinterpret_cast<UINT_PTR>(h);
      ti.lpszText = tip;
      EXPECT_EQ(SendMessageW(tooltip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&ti)) != 0, d.hintShown);
      if (d.hintShown) {
        SendMessageW(tooltip, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&ti));
        EXPECT_EQ(FromWide(tip), d.hint);
      }
    }
  }
}

TEST_F(Layout, WindowsAreFramedAsDesigned) {
  const struct {
    forms::RealisedForm* form;
    const FormDesign& design;
    HWND owner;
    LONG exStyle;  // of tool window, topmost, app window
    bool minimisable;
  } cases[] = {
      {main.get(), forms::MainFormDesign(), toolkit.applicationWindow(), 0, true},
      {settings.get(), forms::FormNastavitveDesign(), win32ui::HandleOf(*main), WS_EX_TOOLWINDOW | WS_EX_TOPMOST,
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.design.name));
    const HWND h = win32ui::HandleOf(*c.form);
    RECT client;
    GetClientRect(h, &client);
    EXPECT_EQ(client.right, c.design.clientWidth);
    EXPECT_EQ(client.bottom, c.design.clientHeight);
    EXPECT_EQ(NativeText(h), c.design.caption);
    EXPECT_EQ(GetWindow(h, GW_OWNER), c.owner);
    EXPECT_EQ(GetWindowLongW(h, GWL_EXSTYLE) & (WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_APPWINDOW), c.exStyle);
    EXPECT_FALSE(StyleHas(h, WS_MAXIMIZEBOX) || StyleHas(h, WS_THICKFRAME));
    EXPECT_EQ(StyleHas(h, WS_MINIMIZEBOX), c.minimisable);
    EXPECT_FALSE(StyleHas(h, WS_VISIBLE));
  }
  RECT frame;
  GetWindowRect(win32ui::HandleOf(*main), &frame);
  EXPECT_EQ(frame.left, 10);
  EXPECT_EQ(frame.top, 10);
  // The task-bar button is the application's.
  EXPECT_EQ(NativeText(toolkit.applicationWindow()), kApplicationTitle);
  EXPECT_EQ(GetWindow(toolkit.applicationWindow(), GW_OWNER), nullptr);

  // Closing the settings window only hides it.
  settings->window().show();
  SendMessageW(win32ui::HandleOf(*settings), WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(win32ui::HandleOf(*settings)));
  EXPECT_FALSE(settings->window().isVisible());
}

TEST_F(Layout, MainWindowSnapsOntoTheWorkAreaEdges) {
  forms::Window& w = main->window();
  const forms::Rect work = w.workArea();
  const int width = w.frameRect().width;
  const struct {
    forms::Point to, expected;
  } cases[] = {
      {{work.left + 9, work.top + 9}, {work.left, work.top}},
      {{work.left + 10, work.top + 10}, {work.left + 10, work.top + 10}},
      {{work.right() - width - 5, work.top + 50}, {work.right() - width, work.top + 50}},
  };
  for (const auto& c : cases) {
    w.moveFrameTo(c.to);
    EXPECT_EQ((forms::Point{w.frameRect().left, w.frameRect().top}), c.expected) << c.to.x << "," << c.to.y;
  }
}

TEST_F(Layout, TabWalksTheDesignedOrderPastDisabledControls) {
  const struct {
    forms::RealisedForm* form;
    bool enableAll;
    std::vector<std::string_view> chain;  // the last is the first again
  } cases[] = {
      {main.get(), false, {"Button1", "btnZeroing", "Button1"}},
      {settings.get(), false, {"comboCOMport", "btnComScan", "comboHitrost", "comboRefresh", "cbRS485echo",
                               "rgTipFW", "comboCOMport"}},
      {settings.get(), true, {"btnComOpen", "btnComClose", "comboCOMport", "btnComScan", "comboHitrost",
                              "comboRefresh", "cbRS485echo", "rgTipFW", "btnComOpen"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.chain[0]));
    if (c.enableAll) {
      for (const char* name : {"btnComOpen", "btnComClose"}) c.form->get<forms::Control>(name)->setEnabled(true);
    }
    c.form->window().show();
    Pump();
    SetFocus(nullptr);
    for (std::string_view name : c.chain) {
      PostMessageW(GetFocus() != nullptr ? GetFocus() : win32ui::HandleOf(*c.form), WM_KEYDOWN, VK_TAB, 0);
      Pump();
      HWND expected = Of(*c.form, name);
      if (name == "rgTipFW") {  // reached at its selected item, the third
        expected = GetWindow(GetWindow(GetWindow(expected, GW_CHILD), GW_HWNDNEXT), GW_HWNDNEXT);
      }
      EXPECT_EQ(GetFocus(), expected) << name;
    }
  }
}

TEST_F(Layout, UserActionsReachTheirHandlersAndCodeChangesDoNot) {
  const HWND firmware = Of(*settings, "rgTipFW");
  auto SettingChange = [&](const wchar_t* area) {
    SendMessageW(win32ui::HandleOf(*main), WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(area));
  };
  auto click = [](HWND h) {
    SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  };
  const struct {
    const char* what;
    std::function<void()> act;
    std::vector<std::string> handled;
  } cases[] = {
      {"click the header", [&] { click(Of(*main, "pHead")); }, {"pHeadClick"}},
      {"click the header text", [&] { click(Of(*main, "StaticText1")); }, {"pHeadClick"}},
      {"click the logo", [&] { click(Of(*main, "Image1")); }, {"Image1Click"}},
      {"press INC/ABS", [&] { SendMessageW(Of(*main, "btnZeroing"), BM_CLICK, 0, 0); }, {"btnZeroingClick"}},
      {"pick another firmware type", [&] { SendMessageW(GetWindow(firmware, GW_CHILD), BM_CLICK, 0, 0); },
       {"rgTipFWClick"}},
      {"pick the same one again", [&] { SendMessageW(GetWindow(firmware, GW_CHILD), BM_CLICK, 0, 0); }, {}},
      {"select in code",
       [&] {
         settings->get<forms::RadioGroup>("rgTipFW")->setItemIndex(1);
         settings->get<forms::DropDownList>("comboRefresh")->setCurrentIndex(3);
       },
       {}},
      {"pick a refresh rate with the keyboard", [&] { SendMessageW(Of(*settings, "comboRefresh"), WM_KEYDOWN, VK_UP, 0); },
       {"comboRefreshChange"}},
      {"let the poll timer run", [&] { main->get<forms::Timer>("TimerPosiljaj")->start(); }, {"TimerPosiljajTimer"}},
      {"change the regional settings", [&] { SettingChange(L"intl"); }, {"RegionalSettingsChange"}},
      {"change another setting", [&] { SettingChange(L"Environment"); }, {}},
  };
  main->window().show();
  settings->window().show();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sink.handled.clear();
    c.act();
    if (c.handled.empty()) {
      Pump();
    } else {
      WaitFor([&] { return !sink.handled.empty(); }, 5000);
    }
    EXPECT_EQ(sink.handled, c.handled);
  }
  main->get<forms::Timer>("TimerPosiljaj")->stop();
  EXPECT_EQ(settings->get<forms::RadioGroup>("rgTipFW")->itemIndex(), 1);
  EXPECT_EQ(settings->get<forms::DropDownList>("comboRefresh")->currentText(), u"20 FPS");
}

TEST_F(Layout, LabelsTakeTheSizeOfTheirTextKeepingTheirPlace) {
  const struct {
    forms::RealisedForm* form;
    const char* name;
    Text text;
    int minLines;
  } cases[] = {
      {main.get(), "lblResolution", u"Resolution: 25.5 \u00B5m and more", 1},
      {settings.get(), "lblFPS", u"12345\r\n50.0 FPS", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto* label = c.form->get<forms::Label>(c.name);
    const forms::Rect before = label->bounds();
    label->setText(c.text);
    const forms::Rect after = label->bounds();
    EXPECT_EQ(NativeText(H(label)), c.text);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
    EXPECT_GT(after.width, before.width);
    EXPECT_GE(after.height, c.minLines * before.height);
  }
}

// The readout repaints on every poll; only a change may cost a paint.
TEST_F(Layout, PanelsAskForAPaintOnlyWhenTheyChange) {
  auto* readout = main->get<forms::Panel>("pnlAbsPos");
  const HWND h = H(readout);
  const struct {
    const char* what;
    std::function<void()> act;
    bool paints;
  } cases[] = {
      {"same caption", [&] { readout->setCaption(u"n/c"); }, false},
      {"new caption", [&] { readout->setCaption(u"1.000 mm"); }, true},
      {"same colour", [&] { readout->setColor(clWhite); }, false},
      {"new colour", [&] { readout->setColor(clRed); }, true},
  };
  main->window().show();
  for (const auto& c : cases) {
    Pump();
    ValidateRect(h, nullptr);
    c.act();
    EXPECT_EQ(GetUpdateRect(h, nullptr, FALSE) != FALSE, c.paints) << c.what;
  }
  EXPECT_EQ(NativeText(h), u"1.000 mm");
}

}  // namespace
}  // namespace tarvex::wintest
