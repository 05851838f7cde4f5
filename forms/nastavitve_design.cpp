// The port settings window's stored layout.

#include "forms/design.h"

namespace tarvex::forms {

namespace {

FormDesign Make() {
  FormDesign f;
  f.name = "FormNastavitve";
  f.caption = u"Port Setings";
  f.clientWidth = 169;
  f.clientHeight = 239;
  f.centredOverMainAtFirstShowing = true;
  f.border = Border::ToolWindow;
  f.stayOnTop = true;
  f.visible = false;
  f.color = clBtnFace;
  f.font = {u"Tahoma", 11, false};
  f.onCreate = "FormCreate";

  auto& c = f.controls;
  c.push_back({.name = "lblFPS", .kind = Kind::Label, .left = 15, .top = 133, .width = 18, .height = 13,
               .text = u"FPS", .autoSize = true});
  c.push_back({.name = "btnComOpen", .kind = Kind::Button, .left = 90, .top = 57, .width = 71, .height = 21,
               .text = u"COM Open", .enabled = false, .hint = u"Open selected communication port",
               .hintShown = true, .tabOrder = 0, .tabStop = true, .onClick = "btnComOpenClick"});
  c.push_back({.name = "btnComClose", .kind = Kind::Button, .left = 90, .top = 82, .width = 71, .height = 21,
               .text = u"COM Close", .enabled = false, .hint = u"Close selected communication port",
               .hintShown = true, .tabOrder = 1, .tabStop = true, .onClick = "btnComCloseClick"});
  c.push_back({.name = "comboCOMport", .kind = Kind::DropDownList, .left = 7, .top = 32, .width = 154,
               .height = 21, .hint = u"Select port where Tarvex is connected.", .hintShown = true,
               .tabOrder = 2, .tabStop = true});
  c.push_back({.name = "pnlRxPaketek", .kind = Kind::Panel, .left = 90, .top = 107, .width = 71, .height = 21,
               .text = u"RX packet", .color = clBtnFace, .tabOrder = 3, .bevel = Bevel::Lowered});
  c.push_back({.name = "btnComScan", .kind = Kind::Button, .left = 7, .top = 7, .width = 80, .height = 21,
               .text = u"List ports", .tabOrder = 4, .tabStop = true, .onClick = "btnComScanClick"});
  c.push_back({.name = "comboHitrost", .kind = Kind::DropDownList, .left = 7, .top = 57, .width = 80,
               .height = 21, .hint = u"Baud rate. Don't care is direct USB connection is used.",
               .hintShown = true, .tabOrder = 5, .tabStop = true,
               .items = {u"A - 115200", u"B - 128000", u"C - 230400", u"D - 256000", u"E - 500000",
                         u"F - 1000000"},
               .itemIndex = 2});
  c.push_back({.name = "comboRefresh", .kind = Kind::DropDownList, .left = 7, .top = 108, .width = 80,
               .height = 21, .tabOrder = 6, .tabStop = true,
               .items = {u"05 FPS", u"10 FPS", u"20 FPS", u"50 FPS"}, .itemIndex = 1,
               .onChange = "comboRefreshChange"});
  c.push_back({.name = "cbRS485echo", .kind = Kind::CheckBox, .left = 87, .top = 133, .width = 81, .height = 17,
               .text = u"RS485 echo", .tabOrder = 7, .tabStop = true, .checked = false});
  c.push_back({.name = "rgTipFW", .kind = Kind::RadioGroup, .left = 8, .top = 158, .width = 153, .height = 75,
               .text = u"Firmware type", .tabOrder = 8, .tabStop = true,
               .items = {u"Old", u"46 or lower", u"48 and newer"}, .itemIndex = 2, .onClick = "rgTipFWClick"});
  c.push_back({.name = "RetryPortOpenTimer", .kind = Kind::Timer, .enabled = false, .interval = 2000,
               .onTimer = "RetryPortOpenTimerTimer"});
  return f;
}

}  // namespace

const FormDesign& FormNastavitveDesign() {
  static const FormDesign design = Make();
  return design;
}

}  // namespace tarvex::forms
