#pragma once
// The windows' design tables realised with Qt widgets.

#include <map>
#include <optional>

#include <QFont>
#include <QFontMetrics>
#include <QObject>
#include <QSize>
#include <QString>

#include "forms/services.h"

class QLabel;

class QWidget;
class QTimer;

namespace tarvex::qtui {

class QtToolkit final : public forms::Toolkit {
 public:
  std::unique_ptr<forms::RealisedForm> Realise(const forms::FormDesign& design, forms::EventSink& sink,
                                               forms::RealisedForm* owner) override;
  void ProcessMessages() override;
  FormatSettings RegionalFormat() override;
};

// Before the application object exists: the windows repaint small areas up
// to 50 times a second, and on X11 a shared-memory image makes each repaint
// wait until the X server has released the previous one; plain image
// requests do not wait. A user's own QT_XCB_NO_MITSHM setting is kept.
void PreparePlatform();

// The widget behind a realised control, window or timer, for tests and for
// the message boxes' parent.
QWidget* WidgetOf(forms::Component* component);
QWidget* WidgetOf(forms::Window* window);
QWidget* WidgetOf(forms::RealisedForm& form);
QTimer* TimerOf(forms::Component* timer);

// The size an auto-sized label takes: what QLabel::sizeHint() gives, for
// less work.
QSize LabelSize(const QLabel& label);

// LabelSize for one label whose text keeps changing, as a counter's does:
// a text that differs from the last measured one only in its digits takes
// that one's size, where the font lets digits be swapped without changing
// a text's size.
class LabelSizer {
 public:
  QSize size(const QLabel& label);

 private:
  QSize Measure(const QFontMetrics& metrics, const QString& text) const;
  bool DigitsInterchangeable(const QFontMetrics& metrics, const QString& text);

  QFont font_;
  int flags_ = 0;
  QString measuredText_;
  QSize measured_;
  bool reusable_ = false;  // texts of measuredText_'s shape measure measured_
  std::optional<bool> digitsAlike_;
  std::map<char16_t, bool> neighbours_;
};

}  // namespace tarvex::qtui
