// The main window's stored layout.

#include "forms/design.h"

namespace tarvex::forms {

namespace {

constexpr FontDesign kArial13{u"Arial", 13, false};
constexpr FontDesign kArial13Bold{u"Arial", 13, true};
constexpr FontDesign kArial23Bold{u"Arial", 23, true};
constexpr char16_t kHeaderHint[] = u"Click to change COM port settings";
constexpr char16_t kFirmwareHint[] = u"Firmware revision";

ControlDesign Indicator(std::string_view name, int left, int top, std::u16string_view caption, TColor color,
                        int tabOrder) {
  ControlDesign c{.name = name, .kind = Kind::Panel, .parent = "gbStatus", .left = left, .top = top,
                  .width = 104, .height = 20, .text = caption, .font = kArial13, .color = color};
  c.tabOrder = tabOrder;
  c.bevel = Bevel::Lowered;
  return c;
}

ControlDesign IdentificationLabel(std::string_view name, int top, int width, std::u16string_view text,
                                  std::u16string_view hint) {
  ControlDesign c{.name = name, .kind = Kind::Label, .parent = "gbVersion", .left = 15, .top = top,
                  .width = width, .height = 16, .text = text, .color = clBtnFace};
  c.hint = hint;
  c.hintShown = !hint.empty();
  c.autoSize = true;
  return c;
}

FormDesign Make() {
  FormDesign f;
  f.name = "MainForm";
  f.caption = u"Tarvex\u2122 & Qorin Demo (Serial / USB)";
  f.clientWidth = 654;
  f.clientHeight = 501;
  f.left = 10;
  f.top = 10;
  f.border = Border::SingleFixed;
  f.visible = true;
  f.minOuterWidth = 500;
  f.minOuterHeight = 530;
  f.screenSnapDistance = 10;
  f.color = clBtnFace;
  f.font = {u"MS Sans Serif", 11, false};
  f.onCreate = "FormCreate";
  f.onClose = "FormClose";

  auto& c = f.controls;
  c.push_back({.name = "shpNicla", .kind = Kind::Shape, .left = 307, .top = 281, .width = 91, .height = 64,
               .color = clYellow, .visible = false, .shape = ShapeKind::RoundRect});
  c.push_back({.name = "Label1", .kind = Kind::Label, .left = 19, .top = 11, .width = 200, .height = 27,
               .text = u"Absolute Position", .font = kArial23Bold, .autoSize = true});
  c.push_back({.name = "lblCableDisconnected", .kind = Kind::Label, .left = 182, .top = 231, .width = 324,
               .height = 27, .text = u"Encoder Cable Disconnected", .font = kArial23Bold, .textColor = clRed,
               .autoSize = true});
  c.push_back({.name = "pHead", .kind = Kind::Panel, .left = 0, .top = 0, .width = 660, .height = 60,
               .color = clWhite, .hint = kHeaderHint, .tabOrder = 0, .bevel = Bevel::None,
               .onClick = "pHeadClick"});
  c.push_back({.name = "Image1", .kind = Kind::Image, .parent = "pHead", .left = 461, .top = 10, .width = 181,
               .height = 44, .picture = Picture::Logo, .onClick = "Image1Click"});
  c.push_back({.name = "StaticText1", .kind = Kind::StaticText, .parent = "pHead", .left = 23, .top = 16,
               .width = 405, .height = 34, .text = u"Tarvex\u2122 absolute linear encoder",
               .font = {u"Arial", 25, true}, .hint = kHeaderHint, .tabOrder = 0, .onClick = "pHeadClick"});
  c.push_back({.name = "YPanel", .kind = Kind::Panel, .left = 0, .top = 60, .width = 660, .height = 16,
               .color = clAccentOrange, .tabOrder = 1, .bevel = Bevel::None});
  c.push_back({.name = "pnlAbsPos", .kind = Kind::Panel, .left = 8, .top = 82, .width = 641, .height = 143,
               .text = u"n/c", .font = {u"Arial", 67, true}, .color = clWhite, .tabOrder = 2,
               .bevel = Bevel::Lowered});
  c.push_back({.name = "gbStatus", .kind = Kind::GroupBox, .left = 403, .top = 281, .width = 246, .height = 208,
               .text = u"Encoder status", .font = kArial13Bold, .tabOrder = 3});
  c.push_back({.name = "shStatusLed", .kind = Kind::Shape, .parent = "gbStatus", .left = 45, .top = 87,
               .width = 44, .height = 42, .color = clGray, .hint = u"System status LED", .hintShown = true,
               .shape = ShapeKind::Circle});
  c.push_back(Indicator("Panel1", 123, 42, u"1-Invalid code", clBtnFace, 0));
  c.push_back(Indicator("Panel2", 123, 64, u"2-System error", clBtnFace, 1));
  c.push_back(Indicator("Panel3", 123, 87, u"3-Power supply", clBtnFace, 2));
  c.push_back(Indicator("Panel4", 123, 109, u"4-temperature", clBtnFace, 3));
  c.push_back(Indicator("Panel5", 123, 132, u"5-signal lost", clBtnFace, 4));
  c.push_back(Indicator("Panel6", 123, 154, u"6-signal low", clBtnFace, 5));
  c.push_back(Indicator("Panel7", 123, 177, u"7-signal high", clBtnFace, 6));
  c.push_back(Indicator("Panel8", 13, 154, u"8-warning", clStatusOrange, 7));
  c.push_back(Indicator("Panel9", 13, 177, u"9-error", clStatusRed, 8));
  c.push_back(Indicator("Panel0", 123, 20, u"0-Acceleration", clBtnFace, 9));
  c.push_back({.name = "StaticText2", .kind = Kind::StaticText, .parent = "gbStatus", .left = 26, .top = 47,
               .width = 71, .height = 20, .text = u"Status LED", .font = kArial13, .tabOrder = 10,
               .align = Align::Right});
  c.push_back({.name = "gbVersion", .kind = Kind::GroupBox, .left = 12, .top = 281, .width = 286, .height = 197,
               .text = u"Encoder data", .font = kArial13Bold, .tabOrder = 4});
  c.push_back({.name = "lblResolution", .kind = Kind::Label, .parent = "gbVersion", .left = 15, .top = 27,
               .width = 142, .height = 27, .text = u"Resolution: /", .font = kArial23Bold, .autoSize = true});
  c.push_back(IdentificationLabel("lblSerijska_st", 113, 74, u"Serial num.", u""));
  c.push_back(IdentificationLabel("lblFW_verzija", 87, 45, u"FW ver", kFirmwareHint));
  c.push_back(IdentificationLabel("lblOznaka_PN_kode", 138, 68, u"Shaft code", u""));
  c.push_back(IdentificationLabel("lblOznaka_asica", 164, 98, u"Sensor revision", u""));
  c.push_back(IdentificationLabel("lblTipEnkoderja", 62, 83, u"Encoder type", kFirmwareHint));
  c.push_back({.name = "Button1", .kind = Kind::Button, .parent = "gbVersion", .left = 197, .top = 169,
               .width = 86, .height = 25, .text = u"Comm setup", .font = kArial13, .tabOrder = 0,
               .tabStop = true, .onClick = "pHeadClick"});
  c.push_back({.name = "btnZeroing", .kind = Kind::Button, .left = 313, .top = 287, .width = 78, .height = 51,
               .text = u"INC/ABS", .font = {u"MS Sans Serif", 11, true}, .hint = u"Currently in ABSOLUTE mode.",
               .hintShown = true, .tabOrder = 5, .tabStop = true, .onClick = "btnZeroingClick"});
  c.push_back({.name = "TimerPosiljaj", .kind = Kind::Timer, .enabled = false, .interval = 100,
               .onTimer = "TimerPosiljajTimer"});
  return f;
}

}  // namespace

const FormDesign& MainFormDesign() {
  static const FormDesign design = Make();
  return design;
}

}  // namespace tarvex::forms
