#pragma once
// Stand-ins for the system services of the windows, and a fixture that builds
// both windows over them.

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

// The controls of both windows, so a test of the fixture can reach any of them.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include "connection/registry.h"
#include "connection/serial_port.h"
#include "core/clock.h"
#include "forms/main.h"
#include "forms/nastavitve.h"
#include "forms/services.h"
#include "monitor/screen_saver.h"
#include "unit/fake_screen_saver.h"
#include "ui/controls.h"
#include "ui/qt_toolkit.h"

namespace tarvex::testing {

// Serial ports whose replies are scripted per request byte. Writing a request
// queues the next scripted reply for it; with none scripted nothing arrives
// and the transaction runs into its deadline. The tick advances by `tickStep`
// on every read of it, so deadline loops end without real waiting.
class ScriptedPorts : public SerialPorts {
 public:
  struct OpenCall {
    std::uint8_t port;
    std::uint32_t baud;
  };

  // Ports that can be opened; port n opens as handle 100 + n.
  std::set<int> present;
  std::uint32_t now = 0;
  std::uint32_t tickStep = 10;

  std::vector<OpenCall> opens;
  std::vector<PortHandle> closes;
  std::vector<std::uint8_t> written;
  int purgeAborts = 0;

  static PortHandle HandleFor(int port) { return static_cast<PortHandle>(100 + port); }

  void QueueReply(std::uint8_t request, const ByteString& bytes) { replies_[request].push_back(bytes); }
  // The next write fails with this system error code.
  void FailNextWrite(std::uint32_t code) { writeErrors_.push_back(code); }
  std::size_t PendingReplies(std::uint8_t request) const {
    const auto it = replies_.find(request);
    return it == replies_.end() ? 0 : it->second.size();
  }

  PortHandle Open(std::uint8_t portNum, std::uint32_t baudRate) override {
    opens.push_back({portNum, baudRate});
    if (present.count(portNum) == 0 || open_.count(portNum) != 0) return kInvalidHandleValue;
    open_.insert(portNum);
    return HandleFor(portNum);
  }
  void Close(PortHandle h) override {
    closes.push_back(h);
    open_.erase(static_cast<int>(h) - 100);
    input_.clear();
  }
  bool IsOpen(int port) const { return open_.count(port) != 0; }

  void PurgeReceiveAbort(PortHandle) override {
    ++purgeAborts;
    input_.clear();
  }
  void PurgeTransmit(PortHandle) override {}
  void PurgeReceive(PortHandle) override { input_.clear(); }
  std::uint32_t WriteByte(PortHandle, std::uint8_t byte) override {
    written.push_back(byte);
    if (!writeErrors_.empty()) {
      const std::uint32_t code = writeErrors_.front();
      writeErrors_.pop_front();
      return code;
    }
    auto& queue = replies_[byte];
    if (!queue.empty()) {
      input_ += queue.front();
      queue.pop_front();
    }
    return 0;
  }
  std::uint32_t QueuedCount(PortHandle) override { return static_cast<std::uint32_t>(input_.size()); }
  std::uint32_t Read(PortHandle, std::uint8_t* buf, std::uint32_t n) override {
    const std::uint32_t count = std::min<std::uint32_t>(n, static_cast<std::uint32_t>(input_.size()));
    for (std::uint32_t i = 0; i < count; ++i) buf[i] = static_cast<std::uint8_t>(input_[i]);
    input_.erase(0, count);
    return count;
  }
  std::uint32_t GetTickCount() override { return now += tickStep; }

 private:
  std::map<std::uint8_t, std::deque<ByteString>> replies_;
  std::deque<std::uint32_t> writeErrors_;
  std::set<int> open_;
  ByteString input_;
};

// A clock that moves only when told to.
class HandClock : public TickClock {
 public:
  std::uint32_t now = 0;
  std::uint32_t GetTickCount() override { return now; }
};

class RecordedMessageBoxes : public MessageBoxes {
 public:
  enum class Kind { Warning, Message };
  struct Shown {
    Kind kind;
    forms::Window* parent;
    Text text;
  };
  std::vector<Shown> shown;

  void Warning(forms::Window* parent, const Text& text) override { shown.push_back({Kind::Warning, parent, text}); }
  void Message(forms::Window* parent, const Text& text) override { shown.push_back({Kind::Message, parent, text}); }
};

// An in-memory registry: keys by path (no leading backslash, compared
// exactly), values strings or 32-bit integers.
struct RegistryStore {
  using Value = std::variant<Text, std::int32_t>;
  using Key = std::vector<std::pair<Text, Value>>;  // in enumeration order
  std::map<Text, Key> currentUser;
  std::map<Text, Key> localMachine;
  bool writesFail = false;  // keys cannot be created or written

  // The port map: value name = device, data = "COM<n>".
  void AddPort(const Text& device, const Text& data) {
    localMachine[u"hardware\\devicemap\\serialcomm"].emplace_back(device, data);
  }
  std::optional<Value> Get(const Text& key, const Text& name) const {
    const auto k = currentUser.find(key);
    if (k == currentUser.end()) return std::nullopt;
    for (const auto& [n, v] : k->second) {
      if (n == name) return v;
    }
    return std::nullopt;
  }
};

class MemoryRegistry : public Registry {
 public:
  MemoryRegistry(RegistryStore& store, RootKey root, std::uint32_t access)
      : store_(store), keys_(root == RootKey::CurrentUser ? store.currentUser : store.localMachine),
        access_(access) {}

  bool OpenKeyReadOnly(const Text& path) override {
    const Text p = Normal(path);
    if (keys_.count(p) == 0) return false;
    open_ = p;
    return true;
  }
  bool OpenKey(const Text& path, bool canCreate) override {
    const Text p = Normal(path);
    if (keys_.count(p) == 0) {
      if (!canCreate || store_.writesFail || (access_ & kKeySetValue) == 0) return false;
      keys_[p];
    }
    open_ = p;
    return true;
  }
  std::vector<Text> GetValueNames() override {
    std::vector<Text> names;
    if (Key* k = Open()) {
      for (const auto& entry : *k) names.push_back(entry.first);
    }
    return names;
  }
  bool ValueExists(const Text& name) override { return Find(name) != nullptr; }
  bool ReadString(const Text& name, Text& out) override {
    const RegistryStore::Value* v = Find(name);
    if (v == nullptr || !std::holds_alternative<Text>(*v)) return false;
    out = std::get<Text>(*v);
    return true;
  }
  bool ReadInteger(const Text& name, std::int32_t& out) override {
    const RegistryStore::Value* v = Find(name);
    if (v == nullptr || !std::holds_alternative<std::int32_t>(*v)) return false;
    out = std::get<std::int32_t>(*v);
    return true;
  }
  bool WriteInteger(const Text& name, std::int32_t value) override {
    Key* k = Open();
    if (k == nullptr || store_.writesFail || (access_ & kKeySetValue) == 0) return false;
    for (auto& entry : *k) {
      if (entry.first == name) {
        entry.second = value;
        return true;
      }
    }
    k->emplace_back(name, value);
    return true;
  }
  void CloseKey() override { open_.reset(); }

 private:
  using Key = RegistryStore::Key;
  static Text Normal(const Text& path) { return !path.empty() && path[0] == u'\\' ? path.substr(1) : path; }
  Key* Open() {
    if (!open_) return nullptr;
    const auto it = keys_.find(*open_);
    return it == keys_.end() ? nullptr : &it->second;
  }
  const RegistryStore::Value* Find(const Text& name) {
    if (Key* k = Open()) {
      for (const auto& entry : *k) {
        if (entry.first == name) return &entry.second;
      }
    }
    return nullptr;
  }

  RegistryStore& store_;
  std::map<Text, Key>& keys_;
  std::uint32_t access_;
  std::optional<Text> open_;
};

// An 8-byte position reply.
inline ByteString PositionReply(std::int32_t position, std::uint16_t status, std::uint8_t header = 0xEA,
                                std::uint8_t footer = 0xEF) {
  const auto p = static_cast<std::uint32_t>(position);
  ByteString r;
  for (std::uint8_t b : {header, static_cast<std::uint8_t>(p >> 24), static_cast<std::uint8_t>(p >> 16),
                         static_cast<std::uint8_t>(p >> 8), static_cast<std::uint8_t>(p),
                         static_cast<std::uint8_t>(status >> 8), static_cast<std::uint8_t>(status), footer}) {
    r.push_back(static_cast<char>(b));
  }
  return r;
}

inline QString Q(const Text& t) { return QString::fromStdU16String(t); }
inline Text U16(const std::string& utf8) { return QString::fromStdString(utf8).toStdU16String(); }
// For failure messages: streams cannot print UTF-16.
inline std::string U8(const Text& t) { return Q(t).toStdString(); }

// The Qt widget behind a realised control, for the Qt-level facts.
template <class T = QWidget>
T* W(forms::Component* component) {
  return qobject_cast<T*>(qtui::WidgetOf(component));
}

// What the user's pick of an item does: select it and report it.
inline void Pick(forms::DropDownList* list, int index) {
  list->setCurrentIndex(index);
  emit W<QComboBox>(list)->activated(index);
}

// Both windows over the fakes, as the program entry builds them. The
// configuration folder is a fresh temporary one, so nothing of the user's
// leaks in. Override Prepare() to script the fakes before the windows exist.
class WindowsTest : public ::testing::Test {
 protected:
  ScriptedPorts ports;
  HandClock clock;
  FakeScreenSaver screenSaver;
  RecordedMessageBoxes messages;
  RegistryStore registry;
  qtui::QtToolkit toolkit;
  SystemIdentity identity{u"46.1.0.8", u"TESTPC", u"tester"};
  std::unique_ptr<Services> services;
  std::unique_ptr<TMainForm> main;
  TFormNastavitve* settings = nullptr;

  virtual void Prepare() {}

  void SetUp() override {
    ASSERT_TRUE(configDir_.isValid());
    oldConfig_ = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", configDir_.path().toLocal8Bit());
    Prepare();
    services = std::make_unique<Services>(Services{
        ports, clock, screenSaver, messages,
        [this](RootKey root, std::uint32_t access) -> std::unique_ptr<Registry> {
          return std::make_unique<MemoryRegistry>(registry, root, access);
        },
        identity, toolkit});
    main = std::make_unique<TMainForm>(*services);  // shows itself
    settings = new TFormNastavitve(main.get(), *services);
  }

  void TearDown() override {
    main.reset();  // takes the settings window with it
    if (oldConfig_.isNull()) {
      qunsetenv("XDG_CONFIG_HOME");
    } else {
      qputenv("XDG_CONFIG_HOME", oldConfig_);
    }
  }

  // A port open on `port` as after a connect, without the identification.
  void OpenPort(int port = 3) {
    ports.present.insert(port);
    main->state.ComID = ports.Open(static_cast<std::uint8_t>(port), 230400);
    ASSERT_NE(main->state.ComID, kInvalidHandleValue);
  }

  // One poll cycle with this reply scripted for it.
  void Poll(const ByteString& reply) {
    ports.QueueReply('1', reply);
    main->TimerPosiljajTimer();
  }

  Text Readout() const { return main->pnlAbsPos->caption(); }
  QWidget* MainWidget() const { return qtui::WidgetOf(&main->window()); }
  QWidget* SettingsWidget() const { return qtui::WidgetOf(&settings->window()); }

  // What closing the port always leaves: no port, no poll, the port
  // controls free again.
  void ExpectPortClosed() const {
    EXPECT_EQ(main->state.ComID, kInvalidHandleValue);
    EXPECT_FALSE(main->TimerPosiljaj->isActive());
    EXPECT_TRUE(settings->btnComOpen->isEnabled());
    EXPECT_FALSE(settings->btnComClose->isEnabled());
    EXPECT_TRUE(settings->btnComScan->isEnabled());
    EXPECT_TRUE(settings->comboCOMport->isEnabled());
    EXPECT_TRUE(settings->comboHitrost->isEnabled());
  }

 private:
  QTemporaryDir configDir_;
  QByteArray oldConfig_;
};

}  // namespace tarvex::testing
