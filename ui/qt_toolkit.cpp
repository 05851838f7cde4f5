// The design tables realised with Qt widgets: one widget per control, with
// the design values, and the events sent to the handlers the table names.

#include "ui/qt_toolkit.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QPalette>
#include <QMovie>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QTextDocument>
#include <QTimer>

#include "forms/placement.h"
#include "ui/controls.h"
#include "ui/pictures.h"

namespace tarvex::qtui {

namespace {

using forms::ControlDesign;
using forms::FormDesign;
using forms::Kind;

QString Q(std::u16string_view t) { return QString::fromUtf16(t.data(), static_cast<qsizetype>(t.size())); }
Text T(const QString& s) { return s.toStdU16String(); }

forms::Rect R(const QRect& r) { return {r.left(), r.top(), r.width(), r.height()}; }

// Every realised piece can tell the Qt object behind it.
class QtComponent {
 public:
  virtual ~QtComponent() = default;
  virtual QObject* object() const = 0;
};

// Accessible names set while no assistive technology listens, handed over
// when one comes: setting a widget's name costs the poll cycle a lookup of
// its accessible interface even then.
class NameHolder {
 public:
  virtual void applyPendingName() = 0;

 protected:
  ~NameHolder() = default;
};

class PendingNames final : public QAccessible::ActivationObserver {
 public:
  static PendingNames& Get() {
    static auto* names = [] {
      auto* n = new PendingNames;  // lives as long as the program
      QAccessible::installActivationObserver(n);
      n->active_ = QAccessible::isActive();
      return n;
    }();
    return *names;
  }
  // QAccessible::isActive() as last reported: asking it goes through the
  // platform integration, and the readout names itself on every packet.
  bool active() const { return active_; }
  void Add(NameHolder* holder) { waiting_.push_back(holder); }
  void Remove(NameHolder* holder) { std::erase(waiting_, holder); }
  void accessibilityActiveChanged(bool active) override {
    active_ = active;
    if (!active) return;
    std::vector<NameHolder*> now;
    now.swap(waiting_);
    for (NameHolder* holder : now) holder->applyPendingName();
  }

 private:
  std::vector<NameHolder*> waiting_;
  bool active_ = false;
};

template <class Iface, class W>
class QtControl : public Iface, public QtComponent, public NameHolder {
 public:
  QtControl(W* widget, const ControlDesign& design) : w_(widget), hintShown_(design.hintShown) {}
  ~QtControl() override {
    if (pendingName_) PendingNames::Get().Remove(this);
  }

  QObject* object() const override { return w_; }
  // The control's own flags, not what its parents make of them.
  bool isEnabled() const override { return !w_->testAttribute(Qt::WA_ForceDisabled); }
  void setEnabled(bool enabled) override { w_->setEnabled(enabled); }
  bool isVisible() const override { return !w_->isHidden(); }
  void setVisible(bool visible) override { w_->setVisible(visible); }
  void repaint() override { w_->repaint(); }
  forms::Rect bounds() const override { return R(w_->geometry()); }
  Text hint() const override { return T(HintOf(w_)); }
  void setHint(const Text& hint) override {
    if (HintOf(w_) != Q(hint)) SetHint(w_, Q(hint), hintShown_);
  }
  void setAccessibleName(const Text& name) override {
    if (PendingNames::Get().active()) {
      if (pendingName_) PendingNames::Get().Remove(this);
      pendingName_ = name;
      applyPendingName();
      return;
    }
    if (!pendingName_) PendingNames::Get().Add(this);
    pendingName_ = name;
  }
  void applyPendingName() override {
    if (pendingName_) w_->setAccessibleName(Q(*pendingName_));
    pendingName_.reset();
  }

 protected:
  // A widget named by its text (a label) looks its accessible interface up
  // on every change of text unless it has a name of its own: until
  // assistive technology comes it carries `standIn`, then no name again.
  void holdNameUntilListened(const QString& standIn) {
    if (PendingNames::Get().active() || pendingName_ || !w_->accessibleName().isEmpty()) return;
    w_->setAccessibleName(standIn);
    pendingName_ = Text();
    PendingNames::Get().Add(this);
  }

  W* w_;

 private:
  bool hintShown_;
  std::optional<Text> pendingName_;
};

}  // namespace

namespace {

// The flags QLabel lays a plain text out with, or nothing for a label with
// anything but plain text, no frame and no margins.
std::optional<int> PlainTextFlags(const QLabel& label) {
  const QString& text = label.text();
  if (!ShowsSimplePlainText(label) || label.contentsMargins() != QMargins() || text.contains(u'&') ||
      label.minimumWidth() > 0) {
    return std::nullopt;
  }
  const Qt::LayoutDirection direction = text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
  return int(QStyle::visualAlignment(direction, label.alignment())) & ~(Qt::AlignVCenter | Qt::AlignHCenter);
}

bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }

QString Pair(QChar a, QChar b) {
  QString pair(2, a);
  pair[1] = b;
  return pair;
}

// Texts of the same shape: alike but for digits, digit for digit.
bool SameButDigits(const QString& a, const QString& b) {
  if (a.size() != b.size()) return false;
  for (qsizetype i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && !(IsDigit(a[i]) && IsDigit(b[i]))) return false;
  }
  return true;
}

}  // namespace

// What QLabel::sizeHint() gives, measured once: sizeHint also works out the
// minimum size, laying the text out three times on every change.
QSize LabelSize(const QLabel& label) {
  const std::optional<int> flags = PlainTextFlags(label);
  if (!flags) return label.sizeHint();
  return label.fontMetrics().boundingRect(0, 0, 2000, 2000, *flags, label.text()).size().expandedTo(label.minimumSize());
}

// A counter's next text has the last one's shape: it is answered from the
// font and the text alone. The label's other properties are its design's
// and do not change.
QSize LabelSizer::size(const QLabel& label) {
  const QString text = label.text();
  if (reusable_ && label.font() == font_ && SameButDigits(text, measuredText_)) {
    return measured_.expandedTo(label.minimumSize());
  }
  reusable_ = false;
  const std::optional<int> flags = PlainTextFlags(label);
  if (!flags) return label.sizeHint();
  const QFontMetrics metrics = label.fontMetrics();
  if (label.font() != font_ || *flags != flags_) {
    font_ = label.font();
    flags_ = *flags;
    digitsAlike_.reset();
    neighbours_.clear();
  }
  measured_ = Measure(metrics, text);
  measuredText_ = text;
  reusable_ = std::any_of(text.begin(), text.end(), IsDigit) && DigitsInterchangeable(metrics, text);
  return measured_.expandedTo(label.minimumSize());
}

QSize LabelSizer::Measure(const QFontMetrics& metrics, const QString& text) const {
  return metrics.boundingRect(0, 0, 2000, 2000, flags_, text).size();
}

// Widths add up glyph by glyph, with an adjustment per pair, so two texts
// that differ only in their digits measure the same when every digit
// measures the same alone, beside any digit and beside each other
// character the text puts next to one. Each question is asked once per font.
bool LabelSizer::DigitsInterchangeable(const QFontMetrics& metrics, const QString& text) {
  if (!digitsAlike_) {
    bool alike = true;
    const QSize one = Measure(metrics, QStringLiteral("0"));
    const QSize two = Measure(metrics, QStringLiteral("00"));
    for (char16_t a = u'0'; a <= u'9' && alike; ++a) {
      alike = Measure(metrics, QString(QChar(a))) == one;
      for (char16_t b = u'0'; b <= u'9' && alike; ++b) alike = Measure(metrics, Pair(a, b)) == two;
    }
    digitsAlike_ = alike;
  }
  if (!*digitsAlike_) return false;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (IsDigit(c) || !((i > 0 && IsDigit(text[i - 1])) || (i + 1 < text.size() && IsDigit(text[i + 1])))) continue;
    auto found = neighbours_.find(c.unicode());
    if (found == neighbours_.end()) {
      bool alike = true;
      const QSize before = Measure(metrics, Pair(u'0', c));
      const QSize after = Measure(metrics, Pair(c, u'0'));
      for (char16_t d = u'1'; d <= u'9' && alike; ++d) {
        alike = Measure(metrics, Pair(d, c)) == before && Measure(metrics, Pair(c, d)) == after;
      }
      found = neighbours_.emplace(c.unicode(), alike).first;
    }
    if (!found->second) return false;
  }
  return true;
}

namespace {

class QtLabel final : public QtControl<forms::Label, QLabel>, public QObject {
 public:
  QtLabel(QLabel* w, const ControlDesign& d) : QtControl(w, d), autoSize_(d.autoSize) {
    holdNameUntilListened(w->text());
    fit();
    w_->installEventFilter(this);
  }
  Text text() const override { return pending_ ? *pending_ : T(w_->text()); }
  void setText(const Text& text) override {
    // A label nobody sees (the packet counter of the hidden settings window,
    // on every poll) takes its text when it is shown.
    if (!w_->isVisible()) {
      pending_ = text;
      return;
    }
    apply(text);
  }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Show && pending_) {
      const Text text = std::move(*pending_);
      pending_.reset();
      apply(text);
    }
    return false;
  }

 private:
  void apply(const Text& text) {
    const QString t = Q(text);
    if (w_->text() == t) return;  // nothing to lay out or paint again
    w_->setText(t);
    fit();
  }
  // Left and top stay; only this label is measured again.
  void fit() {
    if (!autoSize_) return;
    const QSize size = sizer_.size(*w_);
    if (size != w_->size()) w_->resize(size);
  }
  bool autoSize_;
  LabelSizer sizer_;
  std::optional<Text> pending_;
};

class QtPanel final : public QtControl<forms::Panel, Panel> {
 public:
  using QtControl::QtControl;
  Text caption() const override { return T(w_->caption()); }
  bool showsCaption(const Text& caption) const override {
    return QStringView(w_->caption()) == QStringView(caption.data(), static_cast<qsizetype>(caption.size()));
  }
  void setCaption(const Text& caption) override { w_->setCaption(Q(caption)); }
  TColor color() const override { return w_->color(); }
  void setColor(TColor color) override { w_->setColor(color); }
};

class QtShape final : public QtControl<forms::Shape, Shape> {
 public:
  using QtControl::QtControl;
  TColor brushColor() const override { return w_->brushColor(); }
  void setBrushColor(TColor color) override { w_->setBrushColor(color); }
};

class QtGroupBox final : public QtControl<forms::GroupBox, QWidget> {
 public:
  using QtControl::QtControl;
};

class QtImage final : public QtControl<forms::Image, QLabel> {
 public:
  using QtControl::QtControl;
};

class QtButton final : public QtControl<forms::Button, QPushButton> {
 public:
  using QtControl::QtControl;
  Text text() const override { return T(w_->text()); }
};

class QtDropDownList final : public QtControl<forms::DropDownList, QComboBox> {
 public:
  using QtControl::QtControl;
  int count() const override { return w_->count(); }
  Text itemText(int index) const override { return T(w_->itemText(index)); }
  void addItem(const Text& item) override { w_->addItem(Q(item)); }
  void clear() override { w_->clear(); }
  int currentIndex() const override { return w_->currentIndex(); }
  void setCurrentIndex(int index) override { w_->setCurrentIndex(index); }
  Text currentText() const override { return T(w_->currentText()); }
};

class QtCheckBox final : public QtControl<forms::CheckBox, QCheckBox> {
 public:
  using QtControl::QtControl;
  bool isChecked() const override { return w_->isChecked(); }
  void setChecked(bool checked) override { w_->setChecked(checked); }
};

class QtRadioGroup final : public QtControl<forms::RadioGroup, RadioGroup> {
 public:
  using QtControl::QtControl;
  int count() const override { return w_->count(); }
  int itemIndex() const override { return w_->itemIndex(); }
  void setItemIndex(int index) override { w_->setItemIndex(index); }
};

class QtTimer final : public forms::Timer, public QtComponent {
 public:
  explicit QtTimer(QTimer* timer) : t_(timer) {}
  QObject* object() const override { return t_; }
  bool isActive() const override { return t_->isActive(); }
  void start() override {
    if (!t_->isActive()) t_->start();
  }
  void stop() override { t_->stop(); }
  int interval() const override { return t_->interval(); }
  void setInterval(int milliseconds) override {
    if (t_->interval() != milliseconds) t_->setInterval(milliseconds);
  }

 private:
  QTimer* t_;
};

// The top-level widget of a realised window.
class FormWidget final : public QWidget {
 public:
  FormWidget(const FormDesign& design, forms::EventSink& sink, QWidget* owner, Qt::WindowFlags flags)
      : QWidget(owner, flags), design_(design), sink_(sink), isMain_(owner == nullptr) {}

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (!isMain_) {
      // Closing any window but the main one only hides it.
      hide();
      event->ignore();
      return;
    }
    if (!design_.onClose.empty()) sink_.Handle(design_.onClose);
    event->accept();
  }

  void changeEvent(QEvent* event) override {
    if (event->type() == QEvent::LocaleChange) sink_.Handle("RegionalSettingsChange");
    QWidget::changeEvent(event);
  }

  // Edges dragged within the snap distance of the work area's edges snap onto them.
  void moveEvent(QMoveEvent* event) override {
    QWidget::moveEvent(event);
    if (design_.screenSnapDistance <= 0 || snapping_ || screen() == nullptr) return;
    const QRect frame = frameGeometry();
    const forms::Point snapped =
        forms::SnappedPosition(R(frame), R(screen()->availableGeometry()), design_.screenSnapDistance);
    if (snapped.x != frame.left() || snapped.y != frame.top()) {
      snapping_ = true;
      move(snapped.x, snapped.y);
      snapping_ = false;
    }
  }

 private:
  const FormDesign& design_;
  forms::EventSink& sink_;
  bool isMain_;
  bool snapping_ = false;
};

class QtWindow final : public forms::Window {
 public:
  QtWindow(FormWidget* widget, QWidget* owner) : w_(widget), owner_(owner) {}

  QWidget* widget() const { return w_; }
  Text caption() const override { return T(w_->windowTitle()); }
  void setCaption(const Text& caption) override { w_->setWindowTitle(Q(caption)); }
  bool isVisible() const override { return w_->isVisible(); }

  void show() override {
    const bool first = !shown_;
    shown_ = true;
    w_->show();
    w_->raise();
    w_->activateWindow();
    if (first) AwaitFrame();
  }
  void hide() override { w_->hide(); }

  forms::Rect frameRect() const override {
    QRect frame = w_->frameGeometry();
    if (frame == w_->geometry() && !shown_ && owner_ != nullptr && owner_->isVisible()) {
      // Not framed yet: the owner's frame is the best guess of the margins.
      const QRect of = owner_->frameGeometry();
      const QRect og = owner_->geometry();
      frame.adjust(of.left() - og.left(), of.top() - og.top(), of.right() - og.right(), of.bottom() - og.bottom());
    }
    return R(frame);
  }

  void moveFrameTo(forms::Point p) override {
    // Before the first showing a move to where Qt already has the window is
    // dropped, and the window manager would place it on its own.
    if (!shown_ && w_->pos() == QPoint(p.x, p.y)) w_->move(p.x + 1, p.y);
    w_->move(p.x, p.y);
  }

  forms::Rect workArea() const override {
    const QScreen* screen = w_->screen();
    return screen != nullptr ? R(screen->availableGeometry()) : R(w_->frameGeometry());
  }

 private:
  // The window manager frames a window some time after it is mapped; wait a
  // little for it so the outer rectangle is the real one. Only windows placed
  // by another's frame need it, and only where the window manager frames
  // windows at all (the owner has a frame).
  void AwaitFrame() {
    if (QGuiApplication::platformName() != QLatin1String("xcb") || owner_ == nullptr ||
        owner_->frameGeometry() == owner_->geometry()) {
      return;
    }
    QDeadlineTimer deadline(500);
    while (w_->frameGeometry() == w_->geometry() && !deadline.hasExpired()) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
  }

  FormWidget* w_;
  QWidget* owner_;
  bool shown_ = false;
};

class QtForm final : public forms::RealisedForm {
 public:
  QtForm(std::unique_ptr<FormWidget> widget, QWidget* owner) : widget_(std::move(widget)), window_(widget_.get(), owner) {}
  ~QtForm() override {
    // Controls first, then the widget tree they point into.
    components_.clear();
    widget_.reset();
  }

  forms::Window& window() override { return window_; }
  forms::Component* component(std::string_view name) override {
    const auto it = components_.find(std::string(name));
    return it == components_.end() ? nullptr : it->second.get();
  }

  void Add(std::string_view name, std::unique_ptr<forms::Component> c) { components_[std::string(name)] = std::move(c); }
  FormWidget* widget() const { return widget_.get(); }

 private:
  std::unique_ptr<FormWidget> widget_;
  QtWindow window_;
  std::map<std::string, std::unique_ptr<forms::Component>> components_;
};

QFont FontOf(const forms::FontDesign& f) { return MakeFont(Q(f.face), f.pixelHeight, f.bold); }

// Whether a colour of the design's own, not the palette's button face, shows
// behind the control: its own background, else the nearest one behind it.
bool OnFixedColour(const FormDesign& f, const ControlDesign& d) {
  for (const ControlDesign* c = &d; c != nullptr; c = c->parent.empty() ? nullptr : f.Find(c->parent)) {
    const bool paintsBackground = c->kind == Kind::Panel || c->kind == Kind::Label || c->kind == Kind::StaticText;
    if (paintsBackground && c->color != forms::clNone) return c->color != clBtnFace;
    if (c->kind == Kind::Panel) return false;  // a panel without a colour has the button face
  }
  return f.color != clBtnFace;
}

// Text drawn straight onto a fixed colour keeps the design's text colour under
// any theme; a dark theme's white would vanish on the white header. Check
// marks stay with the palette, as their boxes do.
void KeepTextReadable(QWidget* w, const FormDesign& f, const ControlDesign& d) {
  if (!OnFixedColour(f, d)) return;
  switch (d.kind) {
    case Kind::Label:
    case Kind::StaticText:
      SetTextColor(w, d.textColor);
      break;
    case Kind::GroupBox:
    case Kind::CheckBox:
    case Kind::RadioGroup: {
      QPalette p = w->palette();
      p.setColor(QPalette::WindowText, ColorFromTColor(d.textColor));
      w->setPalette(p);
      break;
    }
    default:
      break;  // panels choose their caption colour by their face; the rest draw their own faces
  }
}

// A widget that reports clicks, for the panels, the static texts and the image.
template <class W>
void ConnectClick(W* widget, forms::EventSink& sink, std::string_view handler) {
  if (handler.empty()) return;
  QObject::connect(widget, &W::clicked, widget, [&sink, handler] { sink.Handle(handler); });
}

QWidget* MakeWidget(const ControlDesign& d, QWidget* parent, forms::EventSink& sink,
                    std::unique_ptr<forms::Component>& out) {
  switch (d.kind) {
    case Kind::Label:
    case Kind::StaticText: {
      QLabel* label = nullptr;
      if (!d.onClick.empty()) {
        auto* clickable = new ClickableLabel(Q(d.text), parent);
        ConnectClick(clickable, sink, d.onClick);
        label = clickable;
      } else {
        label = new TextLabel(Q(d.text), parent);
      }
      // A static text shows what it is given, markup too: identification
      // strings come from the serial line.
      label->setTextFormat(Qt::PlainText);
      if (d.align == forms::Align::Right) label->setAlignment(Qt::AlignRight | Qt::AlignTop);
      if (d.color != forms::clNone) SetBackgroundColor(label, d.color);
      if (d.textColor != forms::clWindowText) SetTextColor(label, d.textColor);
      label->setGeometry(d.left, d.top, d.width, d.height);
      if (!d.font.face.empty()) label->setFont(FontOf(d.font));
      out = std::make_unique<QtLabel>(label, d);
      return label;
    }
    case Kind::Panel: {
      auto* panel = new Panel(parent);
      panel->setCaption(Q(d.text));
      panel->setColor(d.color == forms::clNone ? clBtnFace : d.color);
      panel->setBevel(d.bevel == forms::Bevel::Lowered ? Bevel::Lowered : Bevel::None);
      ConnectClick(panel, sink, d.onClick);
      out = std::make_unique<QtPanel>(panel, d);
      return panel;
    }
    case Kind::GroupBox: {
      auto* group = new GroupBox(Q(d.text), parent);
      out = std::make_unique<QtGroupBox>(group, d);
      return group;
    }
    case Kind::Image: {
      auto* image = new ClickableLabel(parent);
      image->setGeometry(d.left, d.top, d.width, d.height);
      if (d.picture == forms::Picture::Logo) {
        const QImage logo = LogoImage();
        if (!logo.isNull()) {
          image->setPixmap(QPixmap::fromImage(logo));
          image->resize(logo.size());  // sized to its picture
        }
      }
      ConnectClick(image, sink, d.onClick);
      out = std::make_unique<QtImage>(image, d);
      return image;
    }
    case Kind::Shape: {
      auto* shape = new Shape(d.shape == forms::ShapeKind::Circle ? ShapeKind::Circle : ShapeKind::RoundRect, parent);
      shape->setBrushColor(d.color);
      out = std::make_unique<QtShape>(shape, d);
      return shape;
    }
    case Kind::Button: {
      auto* button = new QPushButton(Q(d.text), parent);
      if (!d.onClick.empty()) {
        const std::string_view handler = d.onClick;
        QObject::connect(button, &QPushButton::clicked, button, [&sink, handler] { sink.Handle(handler); });
      }
      out = std::make_unique<QtButton>(button, d);
      return button;
    }
    case Kind::DropDownList: {
      QStringList items;
      for (std::u16string_view item : d.items) items.push_back(Q(item));
      QComboBox* combo = MakeDropDownList(parent, d.left, d.top, d.width, d.height, items, d.itemIndex);
      if (!d.onChange.empty()) {
        // The user's pick only; selecting in code reports nothing.
        const std::string_view handler = d.onChange;
        QObject::connect(combo, &QComboBox::activated, combo, [&sink, handler] { sink.Handle(handler); });
      }
      out = std::make_unique<QtDropDownList>(combo, d);
      return combo;
    }
    case Kind::CheckBox: {
      auto* check = new QCheckBox(Q(d.text), parent);
      check->setChecked(d.checked);
      out = std::make_unique<QtCheckBox>(check, d);
      return check;
    }
    case Kind::RadioGroup: {
      QStringList items;
      for (std::u16string_view item : d.items) items.push_back(Q(item));
      auto* group = new RadioGroup(Q(d.text), items, parent);
      group->setGeometry(d.left, d.top, d.width, d.height);
      group->setItemIndex(d.itemIndex);
      ConnectClick(group, sink, d.onClick);
      out = std::make_unique<QtRadioGroup>(group, d);
      return group;
    }
    case Kind::Timer:
      break;
  }
  return nullptr;
}

// The focus chain: depth first, each parent's children by their tab order.
void CollectTabStops(const FormDesign& design, std::string_view parent, const std::map<std::string, QWidget*>& widgets,
                     std::vector<QWidget*>& chain) {
  std::vector<const ControlDesign*> children;
  for (const ControlDesign& c : design.controls) {
    if (c.parent == parent && c.kind != Kind::Timer) children.push_back(&c);
  }
  std::stable_sort(children.begin(), children.end(),
                   [](const ControlDesign* a, const ControlDesign* b) { return a->tabOrder < b->tabOrder; });
  for (const ControlDesign* c : children) {
    QWidget* w = widgets.at(std::string(c->name));
    if (c->tabStop) {
      if (auto* group = dynamic_cast<RadioGroup*>(w)) {
        for (int i = 0; i < group->count(); ++i) chain.push_back(group->button(i));
      } else {
        chain.push_back(w);
      }
    }
    CollectTabStops(design, c->name, widgets, chain);
  }
}

}  // namespace

std::unique_ptr<forms::RealisedForm> QtToolkit::Realise(const FormDesign& design, forms::EventSink& sink,
                                                        forms::RealisedForm* owner) {
  QWidget* ownerWidget = owner != nullptr ? WidgetOf(*owner) : nullptr;
  Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
  if (design.border == forms::Border::ToolWindow) {
    flags |= Qt::Tool;  // a utility window: no task-bar button, no minimise or maximise
  } else {
    flags |= Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint;
  }
  if (design.stayOnTop) flags |= Qt::WindowStaysOnTopHint;

  auto widget = std::make_unique<FormWidget>(design, sink, ownerWidget, flags);
  FormWidget* w = widget.get();
  w->setWindowTitle(Q(design.caption));
  if (design.border == forms::Border::ToolWindow) {
    // No icon in a tool window's title bar.
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    w->setWindowIcon(QIcon(blank));
  } else {
    w->setWindowIcon(ApplicationIcon());
  }
  w->setFont(FontOf(design.font));
  SetBackgroundColor(w, design.color);
  w->setFixedSize(design.clientWidth, design.clientHeight);
  if (!design.centredOverMainAtFirstShowing) w->move(design.left, design.top);
  if (ownerWidget != nullptr) w->setAttribute(Qt::WA_QuitOnClose, false);
  // Hints show over an inactive window too, as on Windows.
  w->setAttribute(Qt::WA_AlwaysShowToolTips);

  auto form = std::make_unique<QtForm>(std::move(widget), ownerWidget);
  std::map<std::string, QWidget*> widgets;
  for (const ControlDesign& d : design.controls) {
    if (d.kind == Kind::Timer) {
      auto* timer = new QTimer(w);
      timer->setTimerType(Qt::PreciseTimer);
      timer->setInterval(d.interval);
      if (!d.onTimer.empty()) {
        const std::string_view handler = d.onTimer;
        QObject::connect(timer, &QTimer::timeout, timer, [&sink, handler] { sink.Handle(handler); });
      }
      if (d.enabled) timer->start();
      form->Add(d.name, std::make_unique<QtTimer>(timer));
      continue;
    }
    QWidget* parent = d.parent.empty() ? static_cast<QWidget*>(w) : widgets.at(std::string(d.parent));
    std::unique_ptr<forms::Component> component;
    QWidget* c = MakeWidget(d, parent, sink, component);
    c->setObjectName(QString::fromLatin1(d.name.data(), static_cast<qsizetype>(d.name.size())));
    if (d.kind != Kind::Label && d.kind != Kind::StaticText && d.kind != Kind::Image) {
      c->setGeometry(d.left, d.top, d.width, d.height);
    }
    if (!d.font.face.empty() && d.kind != Kind::Label && d.kind != Kind::StaticText) c->setFont(FontOf(d.font));
    KeepTextReadable(c, design, d);
    if (d.kind == Kind::Label || d.kind == Kind::StaticText) {
      // Measured again now that the font is set.
      auto* label = static_cast<QtLabel*>(component.get());
      const Text text = label->text();
      label->setText(Text());
      label->setText(text);
    }
    // A radio group takes the focus at its buttons only.
    c->setFocusPolicy(d.tabStop && d.kind != Kind::RadioGroup ? Qt::StrongFocus : Qt::NoFocus);
    if (d.kind == Kind::RadioGroup) static_cast<RadioGroup*>(c)->setItemIndex(d.itemIndex);
    SetHint(c, Q(d.hint), d.hintShown);
    c->setEnabled(d.enabled);
    if (!d.visible) c->setVisible(false);
    widgets[std::string(d.name)] = c;
    form->Add(d.name, std::move(component));
  }

  std::vector<QWidget*> chain;
  CollectTabStops(design, {}, widgets, chain);
  for (std::size_t i = 0; i + 1 < chain.size(); ++i) QWidget::setTabOrder(chain[i], chain[i + 1]);
  return form;
}

void PreparePlatform() {
  if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
}

void QtToolkit::ProcessMessages() { QCoreApplication::processEvents(); }

FormatSettings QtToolkit::RegionalFormat() {
  const QLocale locale = QLocale::system();
  FormatSettings fs;
  fs.thousandSeparator = locale.groupSeparator().toStdU16String();
  fs.decimalSeparator = locale.decimalPoint().toStdU16String();
  return fs;
}

QWidget* WidgetOf(forms::Component* component) {
  auto* c = dynamic_cast<QtComponent*>(component);
  return c != nullptr ? qobject_cast<QWidget*>(c->object()) : nullptr;
}

QWidget* WidgetOf(forms::Window* window) {
  auto* w = dynamic_cast<QtWindow*>(window);
  return w != nullptr ? w->widget() : nullptr;
}

QWidget* WidgetOf(forms::RealisedForm& form) { return WidgetOf(&form.window()); }

QTimer* TimerOf(forms::Component* timer) {
  auto* c = dynamic_cast<QtComponent*>(timer);
  return c != nullptr ? qobject_cast<QTimer*>(c->object()) : nullptr;
}

}  // namespace tarvex::qtui
