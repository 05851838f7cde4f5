#pragma once
// The windows' design tables realised with Qt widgets.

#include <QObject>
#include <QSize>

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

}  // namespace tarvex::qtui
