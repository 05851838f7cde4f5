#pragma once
// The windows' design tables realised with Qt widgets.

#include <QObject>

#include "forms/services.h"

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

// The widget behind a realised control, window or timer, for tests and for
// the message boxes' parent.
QWidget* WidgetOf(forms::Component* component);
QWidget* WidgetOf(forms::Window* window);
QWidget* WidgetOf(forms::RealisedForm& form);
QTimer* TimerOf(forms::Component* timer);

}  // namespace tarvex::qtui
