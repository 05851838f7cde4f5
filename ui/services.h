#pragma once
// What the windows need of the system, handed in so tests can supply fakes.

#include <cstdint>
#include <functional>
#include <memory>

#include <QString>

#include "connection/registry.h"
#include "connection/serial_port.h"
#include "core/clock.h"
#include "core/types.h"
#include "monitor/screen_saver.h"

class QWidget;

namespace tarvex {

// Modal message boxes; tests record them instead of blocking.
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // Caption "Warning", warning icon, one OK button.
  virtual void Warning(QWidget* parent, const QString& text) = 0;
  // No icon, one OK button, the application title as caption.
  virtual void Message(QWidget* parent, const QString& text) = 0;
};

// The computer, the user and the program's version, for the caption.
struct SystemIdentity {
  Text version;
  Text computerName;
  Text userName;
};

using RegistryFactory = std::function<std::unique_ptr<Registry>(RootKey root, std::uint32_t access)>;

struct Services {
  SerialPorts& ports;
  TickClock& clock;
  ScreenSaverSystem& screenSaver;
  MessageBoxes& messages;
  RegistryFactory openRegistry;
  SystemIdentity identity;
};

}  // namespace tarvex
