#pragma once
// What the two windows' handlers see of their controls. Each toolkit (Qt
// widgets, native Win32 controls) realises these from the design tables.

#include <cstdint>
#include <string_view>

#include "core/types.h"

namespace tarvex::forms {

struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

// Left, top, width, height: the layout's own terms.
struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  int right() const { return left + width; }    // one past the last column
  int bottom() const { return top + height; }   // one past the last row
  friend bool operator==(const Rect&, const Rect&) = default;
};

// Anything of a window's layout, visual or not.
class Component {
 public:
  virtual ~Component() = default;
};

class Control : public Component {
 public:
  virtual bool isEnabled() const = 0;
  virtual void setEnabled(bool enabled) = 0;
  // The control's own visibility flag, whether or not its window is shown.
  virtual bool isVisible() const = 0;
  virtual void setVisible(bool visible) = 0;
  // Paints the control now, before the handler goes on.
  virtual void repaint() = 0;
  // Left, top, width, height within the parent.
  virtual Rect bounds() const = 0;
  virtual Text hint() const = 0;
  // Whether the hint is shown stays as designed.
  virtual void setHint(const Text& hint) = 0;
  // What assistive technology announces; toolkits without it ignore it.
  virtual void setAccessibleName(const Text& /*name*/) {}
};

// Labels and static texts; they size themselves to their text where the
// design says so, keeping their left and top.
class Label : public Control {
 public:
  virtual Text text() const = 0;
  virtual void setText(const Text& text) = 0;
};

class Panel : public Control {
 public:
  virtual Text caption() const = 0;
  // Asked on every poll; a toolkit may answer without copying the caption.
  virtual bool showsCaption(const Text& caption) const { return this->caption() == caption; }
  virtual void setCaption(const Text& caption) = 0;
  virtual TColor color() const = 0;
  virtual void setColor(TColor color) = 0;
};

class Shape : public Control {
 public:
  virtual TColor brushColor() const = 0;
  virtual void setBrushColor(TColor color) = 0;
};

class GroupBox : public Control {};
class Image : public Control {};

class Button : public Control {
 public:
  virtual Text text() const = 0;
};

// A drop-down list: the user can only pick a listed item.
class DropDownList : public Control {
 public:
  virtual int count() const = 0;
  virtual Text itemText(int index) const = 0;
  virtual void addItem(const Text& item) = 0;
  // Items and text.
  virtual void clear() = 0;
  virtual int currentIndex() const = 0;
  // Selects without reporting a change; -1 selects nothing.
  virtual void setCurrentIndex(int index) = 0;
  // The selected item's text, empty when none is selected.
  virtual Text currentText() const = 0;
};

class CheckBox : public Control {
 public:
  virtual bool isChecked() const = 0;
  virtual void setChecked(bool checked) = 0;
};

class RadioGroup : public Control {
 public:
  virtual int count() const = 0;
  virtual int itemIndex() const = 0;
  // Selects without reporting a click; -1 selects nothing.
  virtual void setItemIndex(int index) = 0;
};

// Ticks on the GUI thread; ticks never queue.
class Timer : public Component {
 public:
  virtual bool isActive() const = 0;
  virtual void start() = 0;
  virtual void stop() = 0;
  virtual int interval() const = 0;
  // A new interval restarts a running timer's period; the same one changes
  // nothing.
  virtual void setInterval(int milliseconds) = 0;
};

class Window {
 public:
  virtual ~Window() = default;
  virtual Text caption() const = 0;
  virtual void setCaption(const Text& caption) = 0;
  virtual bool isVisible() const = 0;
  // Makes the window visible and brings it to the front. The first showing
  // returns once the window manager has framed it (bounded), so frameRect()
  // is then the real outer rectangle.
  virtual void show() = 0;
  virtual void hide() = 0;
  // Outer rectangle on the screen; before the first showing the toolkit's
  // best knowledge of it.
  virtual Rect frameRect() const = 0;
  // Places the outer top-left corner.
  virtual void moveFrameTo(Point topLeft) = 0;
  // Work area of the monitor the window is on.
  virtual Rect workArea() const = 0;
};

}  // namespace tarvex::forms
