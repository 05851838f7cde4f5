// Screen saver on Linux: the freedesktop screen-saver service on the session bus.

#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusMessage>
#include <QtCore/QAtomicInteger>
#include <QtCore/QtGlobal>
#include <QtCore/QString>
#include <QtCore/QVariant>

#include "monitor/screen_saver.h"

namespace tarvex {

namespace {

const QString kService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString kInterface = QStringLiteral("org.freedesktop.ScreenSaver");

// Every bus call is bounded, like the Windows side's SendMessageTimeoutW.
constexpr int kCallTimeoutMs = 1000;

// The service is found on the bus, so there is no window; any value but
// kNoWindow says "found".
constexpr WindowHandle kServiceFound = 1;

class DBusScreenSaver final : public ScreenSaverSystem {
 public:
  DBusScreenSaver()
      : name_(QStringLiteral("tarvex-screensaver-%1").arg(counter_.fetchAndAddRelaxed(1))) {}

  ~DBusScreenSaver() override {
    if (attempted_) QDBusConnection::disconnectFromBus(name_);
  }

  DBusScreenSaver(const DBusScreenSaver&) = delete;
  DBusScreenSaver& operator=(const DBusScreenSaver&) = delete;

  bool GetScreenSaverRunning(bool& running) override {
    const QDBusMessage reply = Call(kService, kPath, kInterface, QStringLiteral("GetActive"), {});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) return false;
    const QVariant value = reply.arguments().front();
    if (value.metaType().id() != QMetaType::Bool) return false;
    running = value.toBool();
    return true;
  }

  WindowHandle ScreenSaverWindowSearch() override {
    const QDBusMessage reply =
        Call(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
             QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"), {kService});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) {
      return kNoWindow;
    }
    return reply.arguments().front().toBool() ? kServiceFound : kNoWindow;
  }

  // Key down is user activity; key up has nothing to add.
  void SendMessage(WindowHandle, std::uint32_t message, std::uintptr_t, std::intptr_t) override {
    if (message != kWM_KEYDOWN) return;
    Call(kService, kPath, kInterface, QStringLiteral("SimulateUserActivity"), {});
  }

 private:
  // A connection of our own, made when first needed. libdbus reads
  // DBUS_SESSION_BUS_ADDRESS only once per process, so the address is taken
  // here; without it libdbus looks for the session bus its own way.
  QDBusMessage Call(const QString& service, const QString& path, const QString& interface,
                    const QString& method, const QVariantList& args) {
    if (!attempted_) {
      const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
      if (address.isEmpty()) {
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, name_);
      } else {
        QDBusConnection::connectToBus(address, name_);
      }
      attempted_ = true;
    }
    QDBusConnection bus(name_);
    if (!bus.isConnected()) return QDBusMessage();
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(args);
    // Never start a service just to ask it whether it is running.
    call.setAutoStartService(false);
    return bus.call(call, QDBus::Block, kCallTimeoutMs);
  }

  static inline QAtomicInteger<int> counter_{0};
  QString name_;
  bool attempted_ = false;
};

}  // namespace

std::unique_ptr<ScreenSaverSystem> MakeSystemScreenSaver() {
  return std::make_unique<DBusScreenSaver>();
}

}  // namespace tarvex
