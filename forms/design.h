#pragma once
// A window's stored layout: the window's own properties and every control
// with its design values, written once and realised by each toolkit.

#include <string_view>
#include <vector>

#include "core/types.h"

namespace tarvex::forms {

enum class Kind {
  Label,         // sizes itself to its text where autoSize is set
  StaticText,    // a label that is a window of its own
  Panel,         // paints its own colour, caption centred
  GroupBox,
  Image,         // shows `picture` at its own size
  Shape,
  Button,
  DropDownList,
  CheckBox,
  RadioGroup,    // radio buttons in one column under a caption
  Timer,
};

enum class ShapeKind { Circle, RoundRect };
enum class Bevel { None, Lowered };
enum class Align { Left, Right };
enum class Picture { None, Logo };

struct FontDesign {
  std::u16string_view face{};  // empty: the parent's font
  int pixelHeight = 0;
  bool bold = false;
};

inline constexpr TColor clWindowText = clBlack;
// No colour of its own: the parent's background shows through.
inline constexpr TColor clNone = static_cast<TColor>(0x1FFFFFFF);

struct ControlDesign {
  std::string_view name{};
  Kind kind = Kind::Label;
  std::string_view parent{};  // empty: the window's client area
  int left = 0, top = 0, width = 0, height = 0;
  std::u16string_view text{};  // caption or text
  FontDesign font{};         // face empty: the parent's font
  TColor textColor = clWindowText;
  TColor color = clNone;     // panel and opaque-label background, shape brush
  bool enabled = true;
  bool visible = true;
  std::u16string_view hint{};
  bool hintShown = false;
  int tabOrder = -1;         // among the parent's children
  bool tabStop = false;      // takes the focus
  bool autoSize = false;
  Align align = Align::Left;
  Bevel bevel = Bevel::None;
  ShapeKind shape = ShapeKind::Circle;
  Picture picture = Picture::None;
  std::vector<std::u16string_view> items{};
  int itemIndex = -1;        // selected item, radio item or drop-down item
  bool checked = false;
  int interval = 0;          // timers, milliseconds
  std::string_view onClick{};  // handler names
  std::string_view onChange{};
  std::string_view onTimer{};
};

enum class Border { SingleFixed, ToolWindow };

struct FormDesign {
  std::string_view name;
  std::u16string_view caption;
  int clientWidth = 0, clientHeight = 0;
  // Outer top-left corner where the design places it; ignored when `centred`.
  int left = 0, top = 0;
  bool centredOverMainAtFirstShowing = false;
  Border border = Border::SingleFixed;
  bool stayOnTop = false;
  bool visible = false;
  int minOuterWidth = 0, minOuterHeight = 0;
  int screenSnapDistance = 0;  // 0: no snapping
  TColor color = clBtnFace;
  FontDesign font;
  std::string_view onCreate;
  std::string_view onClose;
  std::vector<ControlDesign> controls;  // creation order; children after their parent

  const ControlDesign* Find(std::string_view controlName) const {
    for (const ControlDesign& c : controls) {
      if (c.name == controlName) return &c;
    }
    return nullptr;
  }
};

const FormDesign& MainFormDesign();
const FormDesign& FormNastavitveDesign();

}  // namespace tarvex::forms
