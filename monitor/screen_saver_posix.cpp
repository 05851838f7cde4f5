// Screen saver on Linux: the freedesktop screen-saver service on the session bus.

#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusMessage>
#include <QtDBus/QDBusPendingCallWatcher>
#include <QtDBus/QDBusServiceWatcher>
#include <QtCore/QAtomicInteger>
#include <QtCore/QMetaObject>
#include <QtCore/QObject>
#include <QtCore/QtGlobal>
#include <QtCore/QString>
#include <QtCore/QVariant>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <utility>

#include "monitor/screen_saver.h"

namespace tarvex {

namespace {

const QString kService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString kInterface = QStringLiteral("org.freedesktop.ScreenSaver");

// Every blocking bus call is bounded, like the Windows side's SendMessageTimeoutW.
constexpr int kCallTimeoutMs = 1000;

// The service is found on the bus, so there is no window; any value but
// kNoWindow says "found".
constexpr WindowHandle kServiceFound = 1;

enum Active : int { kUnknown, kInactive, kActive };

// QtDBus delivers a signal to a slot only.
class BoolSignal final : public QObject {
  Q_OBJECT

 public:
  BoolSignal(std::function<void(bool)> onSignal, QObject* parent) : QObject(parent), onSignal_(std::move(onSignal)) {}

 public slots:
  void receive(bool value) { onSignal_(value); }

 private:
  std::function<void(bool)> onSignal_;
};

// The service's state is kept from its signals, so a query does not wait on
// the bus. The signals arrive through the event loop of the thread that made
// this object; queries may come from another thread and read the atomics.
class DBusScreenSaver final : public ScreenSaverSystem {
 public:
  DBusScreenSaver()
      : name_(QStringLiteral("tarvex-screensaver-%1").arg(counter_.fetchAndAddRelaxed(1))),
        home_(std::make_unique<QObject>()) {
    Connect();
  }

  ~DBusScreenSaver() override {
    // The watches first: their handlers point here.
    watches_.reset();
    home_.reset();
    bus_ = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(name_);
  }

  DBusScreenSaver(const DBusScreenSaver&) = delete;
  DBusScreenSaver& operator=(const DBusScreenSaver&) = delete;

  bool GetScreenSaverRunning(bool& running) override {
    Connect();
    const int active = active_.load();
    if (!owned_.load() || active == kUnknown) return false;
    running = active == kActive;
    return true;
  }

  WindowHandle ScreenSaverWindowSearch() override {
    Connect();
    return owned_.load() ? kServiceFound : kNoWindow;
  }

  // Key down is user activity; key up has nothing to add.
  void SendMessage(WindowHandle, std::uint32_t message, std::uintptr_t, std::intptr_t) override {
    if (!Connect() || message != kWM_KEYDOWN) return;
    bus_.call(Call(kService, kPath, kInterface, QStringLiteral("SimulateUserActivity")),
                                QDBus::Block, kCallTimeoutMs);
  }

 private:
  static QDBusMessage Call(const QString& service, const QString& path, const QString& interface,
                           const QString& method) {
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    // Never start a service just to ask it whether it is running.
    call.setAutoStartService(false);
    return call;
  }

  // A connection of our own, tried again whenever there is none: the program
  // may start before the session bus, or lose it. libdbus reads
  // DBUS_SESSION_BUS_ADDRESS only once per process, so the address is taken
  // here; without it libdbus looks for the session bus its own way.
  bool Connect() {
    // This runs on every presented packet of a moving scale, and asking
    // libdbus takes its connection lock: a live connection is asked again
    // a second later at the earliest. A lost bus is noticed that late.
    const std::int64_t now = Clock::now().time_since_epoch().count();
    if (now < trustedUntil_.load(std::memory_order_relaxed)) return true;
    if (bus_.isConnected()) {
      trustedUntil_.store(now + kTrustConnection.count(), std::memory_order_relaxed);
      return true;
    }
    const int epoch = ++epoch_;
    owned_ = false;
    active_ = kUnknown;
    // A failed name stays registered, and connectToBus would hand it back.
    bus_ = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(name_);
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    bus_ = address.isEmpty() ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, name_)
                             : QDBusConnection::connectToBus(address, name_);
    if (!bus_.isConnected()) return false;
    QMetaObject::invokeMethod(home_.get(), [this, epoch] { Watch(epoch); });
    return true;
  }

  // On the home thread. The owner is asked after the watches are set, so no
  // change falls between the two.
  void Watch(int epoch) {
    if (epoch != epoch_) return;
    QDBusConnection bus(name_);
    watches_ = std::make_unique<QObject>();
    auto* owner = new QDBusServiceWatcher(kService, bus, QDBusServiceWatcher::WatchForOwnerChange, watches_.get());
    QObject::connect(owner, &QDBusServiceWatcher::serviceOwnerChanged, watches_.get(),
                     [this](const QString&, const QString&, const QString& newOwner) { Owned(!newOwner.isEmpty()); });
    auto* changed = new BoolSignal([this](bool active) { active_ = active ? kActive : kInactive; }, watches_.get());
    bus.connect(kService, kPath, kInterface, QStringLiteral("ActiveChanged"), changed, SLOT(receive(bool)));
    const QString dbus = QStringLiteral("org.freedesktop.DBus");
    const QDBusMessage reply =
        bus.call(Call(dbus, QStringLiteral("/org/freedesktop/DBus"), dbus, QStringLiteral("NameHasOwner")) << kService,
                 QDBus::Block, kCallTimeoutMs);
    Owned(reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1 &&
          reply.arguments().front().toBool());
  }

  // On the home thread: a new owner is asked once; later its signals keep the state.
  void Owned(bool owned) {
    const int epoch = ++epoch_;
    owned_ = owned;
    active_ = kUnknown;
    if (!owned) return;
    auto* pending = new QDBusPendingCallWatcher(
        QDBusConnection(name_).asyncCall(Call(kService, kPath, kInterface, QStringLiteral("GetActive")),
                                         kCallTimeoutMs),
        watches_.get());
    QObject::connect(pending, &QDBusPendingCallWatcher::finished, pending, [this, pending, epoch] {
      pending->deleteLater();
      if (epoch != epoch_) return;  // asked of an owner or connection gone since
      const QDBusMessage reply = pending->reply();
      if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) return;
      const QVariant value = reply.arguments().front();
      if (value.metaType().id() != QMetaType::Bool) return;
      active_ = value.toBool() ? kActive : kInactive;
    });
  }

  using Clock = std::chrono::steady_clock;
  static constexpr Clock::duration kTrustConnection = std::chrono::seconds(1);

  static inline QAtomicInteger<int> counter_{0};
  std::atomic<std::int64_t> trustedUntil_{std::numeric_limits<std::int64_t>::min()};
  QString name_;
  std::atomic<bool> owned_{false};
  std::atomic<int> active_{kUnknown};
  std::atomic<int> epoch_{0};
  std::unique_ptr<QObject> home_;
  std::unique_ptr<QObject> watches_;
  QDBusConnection bus_{QString()};
};

}  // namespace

std::unique_ptr<ScreenSaverSystem> MakeSystemScreenSaver() {
  return std::make_unique<DBusScreenSaver>();
}

}  // namespace tarvex

#include "screen_saver_posix.moc"
