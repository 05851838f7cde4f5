#pragma once
// What the windows need of the system and of their toolkit, handed in so
// that tests can supply fakes.

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "connection/registry.h"
#include "connection/serial_port.h"
#include "core/clock.h"
#include "core/number_format.h"
#include "core/types.h"
#include "forms/controls.h"
#include "forms/design.h"
#include "monitor/screen_saver.h"

namespace tarvex {

inline constexpr char16_t kApplicationTitle[] = u"Tarvex\u2122 & Qorin Absolute Linear Encoder Demo";

// Modal message boxes; tests record them instead of blocking.
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // Caption "Warning", warning icon, one OK button.
  virtual void Warning(forms::Window* parent, const Text& text) = 0;
  // No icon, one OK button, the application title as caption.
  virtual void Message(forms::Window* parent, const Text& text) = 0;
};

// The computer, the user and the program's version, for the caption.
struct SystemIdentity {
  Text version;
  Text computerName;
  Text userName;
};

using RegistryFactory = std::function<std::unique_ptr<Registry>(RootKey root, std::uint32_t access)>;

namespace forms {

// Where a realised window sends its events: the handler named in the design.
class EventSink {
 public:
  virtual ~EventSink() = default;
  virtual void Handle(std::string_view handler) = 0;
};

// A window built from its design, with its controls reachable by name.
class RealisedForm {
 public:
  virtual ~RealisedForm() = default;
  virtual Window& window() = 0;
  // The named control or timer; nullptr for a name the design lacks.
  virtual Component* component(std::string_view name) = 0;

  template <class T>
  T* get(std::string_view name) {
    return dynamic_cast<T*>(component(name));
  }
  // Points a window's field at its control.
  template <class T>
  void bind(std::string_view name, T*& field) {
    field = get<T>(name);
  }
};

class Toolkit {
 public:
  virtual ~Toolkit() = default;
  // Creates the window and every control of `design`, hidden. `owner` is the
  // main window for the other windows, nullptr for the main window itself.
  // Events reach `sink`; the regional settings changing sends
  // "RegionalSettingsChange".
  virtual std::unique_ptr<RealisedForm> Realise(const FormDesign& design, EventSink& sink,
                                                RealisedForm* owner) = 0;
  // Handles the window messages that are pending, then returns.
  virtual void ProcessMessages() = 0;
  // Thousands and decimal separator of the user's regional settings.
  virtual FormatSettings RegionalFormat() = 0;
};

}  // namespace forms

struct Services {
  SerialPorts& ports;
  TickClock& clock;
  ScreenSaverSystem& screenSaver;
  MessageBoxes& messages;
  RegistryFactory openRegistry;
  SystemIdentity identity;
  forms::Toolkit& toolkit;
};

}  // namespace tarvex
