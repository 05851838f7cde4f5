#include "ui/controls.h"


#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QComboBox>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QProxyStyle>
#include <QRadioButton>
#include <QStyleOption>
#include <QStyleOptionComboBox>

namespace tarvex {

QColor ColorFromTColor(TColor color) {
  if (color == clBtnFace) return QApplication::palette().color(QPalette::Button);
  const auto c = static_cast<std::uint32_t>(color);
  return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF));
}

QFont MakeFont(const QString& family, int pixelSize, bool bold) {
  QFont font(family);
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  return font;
}

void InstallFontSubstitutes() {
  const QString liberation = QStringLiteral("Liberation Sans");
  for (const char* family : {"Arial", "Tahoma", "MS Sans Serif"}) {
    QFont::insertSubstitution(QString::fromLatin1(family), liberation);
  }
}

void SetTextColor(QWidget* widget, TColor color) {
  QPalette p = widget->palette();
  p.setColor(QPalette::WindowText, ColorFromTColor(color));
  p.setColor(QPalette::Text, ColorFromTColor(color));
  widget->setPalette(p);
}

void SetBackgroundColor(QWidget* widget, TColor color) {
  QPalette p = widget->palette();
  p.setColor(QPalette::Window, ColorFromTColor(color));
  widget->setPalette(p);
  widget->setAutoFillBackground(true);
}

void SetHint(QWidget* widget, const QString& hint, bool shown) {
  widget->setProperty("hint", hint);
  widget->setProperty("hintShown", shown);
  widget->setToolTip(shown ? hint : QString());
}

QString HintOf(const QWidget* widget) { return widget->property("hint").toString(); }

bool HintShown(const QWidget* widget) { return widget->property("hintShown").toBool(); }

// ---------------------------------------------------------------------------

namespace {

// The caption is what a panel shows: its value, and its name until it is
// given one.
class PanelAccessible final : public QAccessibleWidget {
 public:
  explicit PanelAccessible(Panel* panel) : QAccessibleWidget(panel, QAccessible::StaticText) {}

  QString text(QAccessible::Text t) const override {
    const auto* panel = static_cast<const Panel*>(widget());
    if (t == QAccessible::Value) return panel->caption();
    if (t == QAccessible::Name && panel->accessibleName().isEmpty()) return panel->caption();
    return QAccessibleWidget::text(t);
  }
};

QAccessibleInterface* PanelAccessibleFactory(const QString& className, QObject* object) {
  if (className == QLatin1String(Panel::staticMetaObject.className()) && object->isWidgetType()) {
    return new PanelAccessible(static_cast<Panel*>(object));
  }
  return nullptr;
}

}  // namespace

Panel::Panel(QWidget* parent) : QWidget(parent) {
  [[maybe_unused]] static const bool factoryInstalled = (QAccessible::installFactory(PanelAccessibleFactory), true);
  // The panel paints every pixel itself, whatever the style would draw.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::NoFocus);
  textColor_ = captionColor();
}

Panel::~Panel() = default;

QColor Panel::captionColor() const {
  // The button face follows the palette, and so does its caption; on a colour
  // of the panel's own the caption is the classic window text under any theme.
  return color_ == clBtnFace ? palette().color(QPalette::WindowText) : ColorFromTColor(clBlack);
}

void Panel::setColor(TColor color) {
  if (color_ == color) return;
  color_ = color;
  if (const QColor text = captionColor(); text != textColor_) {
    textColor_ = text;
    restyled_ = true;
    layoutCaption();
  }
  update();
}

void Panel::setCaption(const QString& caption) {
  if (caption_ == caption) return;
  caption_ = caption;
  update(layoutCaption());
}

void Panel::setBevel(Bevel bevel) {
  bevel_ = bevel;
  layoutCaption();
  update();
}

QRect Panel::textRect() const { return bevel_ == Bevel::Lowered ? rect().adjusted(1, 1, -1, -1) : rect(); }

// Above this pixel size Qt draws glyphs from their outlines on every paint.
constexpr int kLargestCachedGlyph = 64;

// The font and colour are handed over only when they change: comparing them
// on every caption costs more than laying the changed glyphs out.
QRect Panel::layoutCaption() {
  if (restyled_) {
    restyled_ = false;
    if (font().pixelSize() <= kLargestCachedGlyph) {
      glyphs_.reset();
    } else {
      if (!glyphs_) glyphs_ = std::make_unique<GlyphText>();
      glyphs_->setStyle(font(), textColor_);
    }
  }
  return glyphs_ ? glyphs_->setText(caption_, textRect()) : rect();
}

void Panel::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) {
    textColor_ = captionColor();
    restyled_ = true;
    layoutCaption();
    update();
  }
  QWidget::changeEvent(event);
}

void Panel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  layoutCaption();
}

void Panel::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  const QRect r = rect();
  p.fillRect(r, ColorFromTColor(color_));
  if (bevel_ == Bevel::Lowered) {
    // One-pixel lowered edge: shadow on top and left, highlight on bottom and right.
    const QPalette& pal = palette();
    p.setPen(pal.color(QPalette::Dark));
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(pal.color(QPalette::Light));
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
  }
  if (caption_.isEmpty()) return;
  if (glyphs_ && glyphs_->composed()) {
    glyphs_->draw(p, event->rect());
    return;
  }
  p.setFont(font());
  p.setPen(textColor_);
  p.drawText(textRect(), Qt::AlignCenter | Qt::TextSingleLine, caption_);
}

void Panel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) pressed_ = true;
  QWidget::mousePressEvent(event);
}

void Panel::mouseReleaseEvent(QMouseEvent* event) {
  const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  pressed_ = false;
  QWidget::mouseReleaseEvent(event);
  if (click) emit clicked();
}

// ---------------------------------------------------------------------------

Shape::Shape(ShapeKind kind, QWidget* parent) : QWidget(parent), kind_(kind) {
  setFocusPolicy(Qt::NoFocus);
}

void Shape::setBrushColor(TColor color) {
  if (brush_ == color) return;
  brush_ = color;
  update();
}

void Shape::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(ColorFromTColor(brush_));
  // Half a pixel in, so the one-pixel pen lies inside the control.
  const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  if (kind_ == ShapeKind::Circle) {
    const qreal d = std::min(r.width(), r.height());
    p.drawEllipse(QRectF(r.left() + (r.width() - d) / 2, r.top() + (r.height() - d) / 2, d, d));
  } else {
    const qreal radius = std::min(r.width(), r.height()) / 8;
    p.drawRoundedRect(r, radius, radius);
  }
}

// ---------------------------------------------------------------------------

GroupBox::GroupBox(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {
  setFocusPolicy(Qt::NoFocus);
}

void GroupBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QFontMetrics fm(font());
  const int lineY = fm.height() / 2;
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(palette().color(QPalette::Mid));
  p.drawRoundedRect(QRectF(0.5, lineY + 0.5, width() - 1.0, height() - lineY - 1.0), 3, 3);
  const QString caption = title();
  if (caption.isEmpty()) return;
  const QRect captionRect(8, 0, fm.horizontalAdvance(caption) + 4, fm.height());
  p.fillRect(captionRect, palette().color(QPalette::Window));
  p.setPen(palette().color(QPalette::WindowText));
  p.drawText(captionRect, Qt::AlignCenter | Qt::TextSingleLine, caption);
}

// ---------------------------------------------------------------------------

namespace {

// Fusion gives a drop-down list a 19-pixel arrow and wide margins, which cuts
// "F - 1000000" in an 80-pixel list; a 16-pixel arrow leaves room for it.
class CompactComboStyle : public QProxyStyle {
 public:
  CompactComboStyle() : QProxyStyle(QApplication::style()->name()) {}

  QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                       const QWidget* widget) const override {
    if (control == CC_ComboBox) {
      const QRect r = option->rect;
      if (sub == SC_ComboBoxArrow) return QRect(r.right() - 15, r.top(), 16, r.height());
      if (sub == SC_ComboBoxEditField) return QRect(r.left() + 2, r.top() + 2, r.width() - 2 - 16 - 1, r.height() - 4);
    }
    return QProxyStyle::subControlRect(control, option, sub, widget);
  }
};

QStyle* DropDownListStyle() {
  if (QApplication::style()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) != 0) return nullptr;
  static QPointer<QStyle> style;
  if (style.isNull()) {
    style = new CompactComboStyle;
    style->setParent(qApp);  // lives as long as the application
  }
  return style.data();
}

}  // namespace

QComboBox* MakeDropDownList(QWidget* parent, int left, int top, int width, int height, const QStringList& items,
                            int selected) {
  auto* combo = new QComboBox(parent);
  combo->setEditable(false);
  combo->setMaxVisibleItems(10);
  if (QStyle* style = DropDownListStyle()) combo->setStyle(style);
  combo->setGeometry(left, top, width, height);
  combo->addItems(items);
  combo->setCurrentIndex(selected);
  return combo;
}

// ---------------------------------------------------------------------------

bool ShowsSimplePlainText(const QLabel& label) {
  const bool plain = label.textFormat() == Qt::PlainText ||
                     (label.textFormat() == Qt::AutoText && !Qt::mightBeRichText(label.text()));
  return plain && label.pixmap().isNull() && label.movie() == nullptr && !label.wordWrap() &&
         label.frameWidth() == 0 && label.margin() == 0 && label.indent() <= 0 && label.buddy() == nullptr &&
         label.textInteractionFlags() == Qt::LinksAccessibleByMouse;
}

void TextLabel::paintEvent(QPaintEvent* event) {
  if (!ShowsSimplePlainText(*this)) {
    QLabel::paintEvent(event);
    return;
  }
  const QString& content = text();
  if (content.isEmpty()) return;
  QPainter painter(this);
  QStyleOption option;
  option.initFrom(this);
  const bool leftToRight = !content.isRightToLeft();
  const int flags = int(QStyle::visualAlignment(leftToRight ? Qt::LeftToRight : Qt::RightToLeft, alignment())) |
                    Qt::TextExpandTabs | (leftToRight ? Qt::TextForceLeftToRight : Qt::TextForceRightToLeft);
  style()->drawItemText(&painter, contentsRect(), flags, option.palette, isEnabled(), content, foregroundRole());
}

// ---------------------------------------------------------------------------

void ClickableLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) pressed_ = true;
  QLabel::mousePressEvent(event);
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
  const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  pressed_ = false;
  QLabel::mouseReleaseEvent(event);
  if (click) emit clicked();
}

// ---------------------------------------------------------------------------

RadioGroup::RadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : GroupBox(caption, parent) {
  for (int i = 0; i < items.size(); ++i) {
    auto* b = new QRadioButton(items.at(i), this);
    buttons_.push_back(b);
    connect(b, &QRadioButton::clicked, this, [this, i] {
      // Only a change of item is a click of the group: picking the
      // selected item again is not.
      if (index_ == i) return;
      index_ = i;
      updateFocusPolicies();
      emit clicked();
    });
  }
  placeButtons();
}

int RadioGroup::itemIndex() const { return index_; }

void RadioGroup::setItemIndex(int index) {
  if (index < -1 || index >= count()) index = -1;
  index_ = index;
  if (index >= 0) {
    buttons_[static_cast<std::size_t>(index)]->setChecked(true);
  } else {
    for (QRadioButton* b : buttons_) {
      // An auto-exclusive button cannot be unchecked on its own.
      b->setAutoExclusive(false);
      b->setChecked(false);
      b->setAutoExclusive(true);
    }
  }
  updateFocusPolicies();
}

void RadioGroup::updateFocusPolicies() {
  for (int i = 0; i < count(); ++i) {
    buttons_[static_cast<std::size_t>(i)]->setFocusPolicy(i == index_ || index_ < 0 ? Qt::StrongFocus
                                                                                    : Qt::ClickFocus);
  }
}

void RadioGroup::resizeEvent(QResizeEvent* event) {
  GroupBox::resizeEvent(event);
  placeButtons();
}

void RadioGroup::placeButtons() {
  if (buttons_.empty()) return;
  // The items share the space under the caption in equal rows.
  const int top = QFontMetrics(font()).height();
  const int rowHeight = std::max(1, (height() - top - 2) / count());
  for (int i = 0; i < count(); ++i) {
    buttons_[static_cast<std::size_t>(i)]->setGeometry(8, top + i * rowHeight, width() - 12, rowHeight);
  }
}

// ---------------------------------------------------------------------------

}  // namespace tarvex
