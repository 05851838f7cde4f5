#pragma once
// The few controls Qt lacks in the shape the windows need: a panel that paints
// its own colour, a painted shape, a radio group, a clickable label, and the
// helpers that set fonts, hints and colours the same way everywhere.

#include <QGroupBox>
#include <QLabel>
#include <QWidget>

#include <memory>

#include "core/types.h"
#include "ui/glyph_text.h"

class QComboBox;
class QRadioButton;

namespace tarvex {

// 0x00BBGGRR to a QColor; clBtnFace is the palette's button colour.
QColor ColorFromTColor(TColor color);

// A font asked for by name at a pixel size.
QFont MakeFont(const QString& family, int pixelSize, bool bold = false);

// Where the Windows fonts are missing, prefer the metric-compatible
// Liberation Sans over whatever fontconfig would pick.
void InstallFontSubstitutes();

// Text colour of a widget (labels, static texts, panel captions).
void SetTextColor(QWidget* widget, TColor color);

// Background colour of a widget that fills its background (opaque labels).
void SetBackgroundColor(QWidget* widget, TColor color);

// The hint is kept in the dynamic property "hint"; only a shown hint becomes
// the tool tip.
void SetHint(QWidget* widget, const QString& hint, bool shown);
QString HintOf(const QWidget* widget);
bool HintShown(const QWidget* widget);

enum class Bevel { None, Lowered };

class Panel : public QWidget {
  Q_OBJECT

 public:
  explicit Panel(QWidget* parent = nullptr);
  ~Panel() override;

  void setColor(TColor color);
  TColor color() const { return color_; }
  void setCaption(const QString& caption);
  QString caption() const { return caption_; }
  void setBevel(Bevel bevel);
  Bevel bevel() const { return bevel_; }

 signals:
  void clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QRect textRect() const;
  QColor captionColor() const;
  // Lays the caption out again; returns what has to be painted anew.
  QRect layoutCaption();

  TColor color_ = clBtnFace;
  QString caption_;
  Bevel bevel_ = Bevel::Lowered;
  bool pressed_ = false;
  QColor textColor_;  // kept so a caption change does not look it up
  bool restyled_ = true;  // font or caption colour changed since the last layout
  // Captions above Qt's glyph-cache size (the readout) are composed from
  // cached glyph pictures.
  std::unique_ptr<GlyphText> glyphs_;
};

enum class ShapeKind { Circle, RoundRect };

class Shape : public QWidget {
  Q_OBJECT

 public:
  explicit Shape(ShapeKind kind, QWidget* parent = nullptr);

  void setBrushColor(TColor color);
  TColor brushColor() const { return brush_; }
  ShapeKind kind() const { return kind_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  ShapeKind kind_;
  TColor brush_ = clWhite;
};

// A group box drawn the classic way: the caption sits on the frame's top
// line instead of above it, so children placed at design positions keep their
// distance from the frame.
class GroupBox : public QGroupBox {
  Q_OBJECT

 public:
  explicit GroupBox(const QString& caption, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// A drop-down list of fixed items. Where the style's arrow is wide (Fusion),
// it is narrowed so that design-width lists show their whole text.
QComboBox* MakeDropDownList(QWidget* parent, int left, int top, int width, int height, const QStringList& items,
                            int selected);

// A label whose text QLabel lays out and paints from flags alone: plain
// text, no picture, frame, margin, indent, wrapping, buddy or selection.
bool ShowsSimplePlainText(const QLabel& label);

// A label that paints a plain text the way QLabel does, without QFrame's
// pass over a frame it does not have: a style call and a style option per
// paint, and the packet counter repaints on every poll. Anything else
// (pictures, frames, margins, wrapping, mnemonics) is QLabel's own paint.
class TextLabel : public QLabel {
 public:
  using QLabel::QLabel;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// A label that reports clicks, for the header text and the logo.
class ClickableLabel : public TextLabel {
  Q_OBJECT

 public:
  using TextLabel::TextLabel;

 signals:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool pressed_ = false;
};

// Radio buttons stacked in one column inside a captioned frame.
class RadioGroup : public GroupBox {
  Q_OBJECT

 public:
  RadioGroup(const QString& caption, const QStringList& items, QWidget* parent = nullptr);

  int itemIndex() const;
  // Selects an item without reporting a click; -1 clears the selection.
  void setItemIndex(int index);
  int count() const { return static_cast<int>(buttons_.size()); }
  QRadioButton* button(int index) const { return buttons_.at(static_cast<std::size_t>(index)); }

 signals:
  // The user picked another item.
  void clicked();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void placeButtons();
  // Tab reaches the group at its selected item only; the arrow keys move
  // between the items.
  void updateFocusPolicies();

  std::vector<QRadioButton*> buttons_;
  int index_ = -1;
};

}  // namespace tarvex
