// The Linux screen saver over D-Bus: without a bus, and against a fake
// org.freedesktop.ScreenSaver on a private bus.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QtCore/QCoreApplication>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusMessage>
#include <QtDBus/QDBusVirtualObject>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "monitor/screen_saver.h"

extern char** environ;

namespace tarvex {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Sets or unsets environment variables for one scope.
class EnvScope {
 public:
  void Set(const char* name, const std::optional<std::string>& value) {
    if (!saved_.contains(name)) {
      const char* old = std::getenv(name);
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~EnvScope() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

fs::path TempFolder() {
  std::string tmpl = (fs::temp_directory_path() / "tarvex-bus-XXXXXX").string();
  return ::mkdtemp(tmpl.data());
}

TEST(ScreenSaverDBus, WithoutASessionBusNothingRunsAndNothingIsFound) {
  const fs::path runtime = TempFolder();
  const struct {
    const char* what;
    std::optional<std::string> address;
  } cases[] = {
      {"address unset", std::nullopt},
      {"address pointing nowhere", "unix:path=" + (runtime / "no-such-socket").string()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EnvScope env;
    env.Set("DBUS_SESSION_BUS_ADDRESS", c.address);
    // Nothing the desktop might offer instead: no runtime-dir socket, no X autolaunch.
    env.Set("XDG_RUNTIME_DIR", runtime.string());
    env.Set("DISPLAY", std::nullopt);

    const auto start = Clock::now();
    auto system = MakeSystemScreenSaver();
    bool running = true;
    EXPECT_FALSE(system->GetScreenSaverRunning(running));
    EXPECT_EQ(system->ScreenSaverWindowSearch(), kNoWindow);
    system->SendMessage(1, kWM_KEYDOWN, kVK_SHIFT, 0);
    system->SendMessage(1, kWM_KEYUP, kVK_SHIFT, 0);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  }
  fs::remove_all(runtime);
}

std::optional<std::string> FindInPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    const std::size_t end = std::min(dirs.find(':', start), dirs.size());
    const fs::path candidate = fs::path(dirs.substr(start, end - start)) / program;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    start = end + 1;
  }
  return std::nullopt;
}

// A private session bus for one test, listening on folder/bus.
class PrivateBus {
 public:
  explicit PrivateBus(const std::string& daemon, fs::path folder = TempFolder()) : folder_(std::move(folder)) {
    fs::create_directories(folder_);
    const fs::path config = folder_ / "bus.conf";
    std::ofstream(config) << "<busconfig>\n"
                             "  <type>session</type>\n"
                             "  <listen>unix:path="
                          << (folder_ / "bus").string()
                          << "</listen>\n"
                             "  <auth>EXTERNAL</auth>\n"
                             "  <policy context=\"default\">\n"
                             "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                             "    <allow eavesdrop=\"true\"/>\n"
                             "    <allow own=\"*\"/>\n"
                             "  </policy>\n"
                             "</busconfig>\n";
    int out[2];
    if (::pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string configArg = "--config-file=" + config.string();
    char* argv[] = {const_cast<char*>(daemon.c_str()), const_cast<char*>(configArg.c_str()),
                    const_cast<char*>("--nofork"), const_cast<char*>("--print-address"), nullptr};
    if (posix_spawn(&pid_, daemon.c_str(), &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    // The daemon prints its address once it listens.
    std::string line;
    pollfd p{out[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos && ::poll(&p, 1, 5000) > 0) {
      char buf[256];
      const ssize_t n = ::read(out[0], buf, sizeof buf);
      if (n <= 0) break;
      line.append(buf, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    if (const auto nl = line.find('\n'); nl != std::string::npos) address_ = line.substr(0, nl);
  }
  ~PrivateBus() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;

  const std::string& Address() const { return address_; }
  void Crash() { ::kill(pid_, SIGKILL); }

 private:
  fs::path folder_;
  pid_t pid_ = -1;
  std::string address_;
};

const QString kService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString kInterface = QStringLiteral("org.freedesktop.ScreenSaver");

// The service as a desktop would offer it, with a switchable GetActive answer.
class FakeScreenSaver : public QDBusVirtualObject {
 public:
  enum class Answer { Active, Inactive, Error, NotABool };
  std::atomic<Answer> answer{Answer::Active};
  std::atomic<int> activity{0};
  std::atomic<int> asked{0};

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.interface() != kInterface) return false;
    if (message.member() == QLatin1String("GetActive")) {
      ++asked;
      switch (answer.load()) {
        case Answer::Active:
          return connection.send(message.createReply(true));
        case Answer::Inactive:
          return connection.send(message.createReply(false));
        case Answer::Error:
          return connection.send(message.createErrorReply(QDBusError::Failed, QStringLiteral("no")));
        case Answer::NotABool:
          return connection.send(message.createReply(QStringLiteral("yes")));
      }
    }
    if (message.member() == QLatin1String("SimulateUserActivity")) {
      ++activity;
      return connection.send(message.createReply());
    }
    return false;
  }
  QString introspect(const QString&) const override { return QString(); }
};

QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "tarvex_unit_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app = new QCoreApplication(argc, argv);
  return *app;
}

// The fake answers from this thread's event loop, so the calls under test run
// on another thread while this one keeps handling events.
template <typename F>
auto OffMainThread(F&& f) {
  auto result = std::async(std::launch::async, std::forward<F>(f));
  while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return result.get();
}

// Runs the event loop until done() holds, for at most five seconds.
template <typename F>
bool PumpUntil(F&& done) {
  for (const auto end = Clock::now() + std::chrono::seconds(5); !done(); QCoreApplication::processEvents()) {
    if (Clock::now() > end) return false;
  }
  return true;
}

// The fake on a connection of its own; the test takes the service name.
struct FakeOnTheBus {
  explicit FakeOnTheBus(const std::string& address)
      : bus(QDBusConnection::connectToBus(QString::fromStdString(address), QStringLiteral("fake-screensaver"))) {
    served = bus.isConnected() && bus.registerVirtualObject(kPath, &fake);
  }
  ~FakeOnTheBus() {
    bus.unregisterObject(kPath);
    QDBusConnection::disconnectFromBus(QStringLiteral("fake-screensaver"));
  }
  void EmitActiveChanged(bool active) {
    bus.send(QDBusMessage::createSignal(kPath, kInterface, QStringLiteral("ActiveChanged")) << active);
  }
  FakeScreenSaver fake;
  QDBusConnection bus;
  bool served = false;
};

TEST(ScreenSaverDBus, TalksToTheFreedesktopServiceOnTheSessionBus) {
  const auto daemon = FindInPath("dbus-daemon");
  if (!daemon) GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus-daemon)";
  App();
  PrivateBus bus(*daemon);
  ASSERT_FALSE(bus.Address().empty()) << "dbus-daemon did not start";
  EnvScope env;
  env.Set("DBUS_SESSION_BUS_ADDRESS", bus.Address());

  auto system = MakeSystemScreenSaver();
  auto query = [&] {
    return OffMainThread([&]() -> std::optional<bool> {
      bool running = false;
      if (!system->GetScreenSaverRunning(running)) return std::nullopt;
      return running;
    });
  };
  auto search = [&] { return OffMainThread([&] { return system->ScreenSaverWindowSearch(); }); };

  EXPECT_EQ(query(), std::nullopt) << "bus without the service";
  EXPECT_EQ(search(), kNoWindow);

  FakeOnTheBus service(bus.Address());
  ASSERT_TRUE(service.served);
  FakeScreenSaver& fake = service.fake;
  auto keyDown = [&] { OffMainThread([&] { system->SendMessage(1, kWM_KEYDOWN, kVK_SHIFT, 0); }); };

  // Asked as it appears, gone as it leaves.
  const std::pair<FakeScreenSaver::Answer, std::optional<bool>> answers[] = {
      {FakeScreenSaver::Answer::Active, true},
      {FakeScreenSaver::Answer::Inactive, false},
      {FakeScreenSaver::Answer::Error, std::nullopt},
      {FakeScreenSaver::Answer::NotABool, std::nullopt},
  };
  for (const auto& [answer, expected] : answers) {
    fake.answer = answer;
    const int asked = fake.asked;
    ASSERT_TRUE(service.bus.registerService(kService));
    ASSERT_TRUE(PumpUntil([&] { return fake.asked > asked; }));
    keyDown();  // a round trip after the answer: the answer arrived first
    QCoreApplication::processEvents();
    EXPECT_EQ(query(), expected) << "answer " << static_cast<int>(answer);
    ASSERT_TRUE(service.bus.unregisterService(kService));
    EXPECT_TRUE(PumpUntil([&] { return search() == kNoWindow && !query(); })) << "the service left the bus";
  }

  // Back, and then its signals keep the answer without asking again.
  fake.answer = FakeScreenSaver::Answer::Active;
  const int asked = fake.asked;
  ASSERT_TRUE(service.bus.registerService(kService));
  ASSERT_TRUE(PumpUntil([&] { return query() == true; }));
  for (const bool active : {false, true}) {
    service.EmitActiveChanged(active);
    EXPECT_TRUE(PumpUntil([&] { return query() == active; })) << "ActiveChanged " << active;
  }
  EXPECT_EQ(fake.asked, asked + 1);

  const WindowHandle window = search();
  ASSERT_NE(window, kNoWindow);
  const int activity = fake.activity;
  OffMainThread([&] { system->SendMessage(window, kWM_KEYDOWN, kVK_SHIFT, 0); });
  EXPECT_EQ(fake.activity, activity + 1);
  OffMainThread([&] { system->SendMessage(window, kWM_KEYUP, kVK_SHIFT, 0); });
  // A round trip after the key-up: anything it had sent would have arrived first.
  keyDown();
  EXPECT_EQ(fake.activity, activity + 2) << "key up must not count as activity";
}

// The program may start before the session bus or lose it: a later query connects.
TEST(ScreenSaverDBus, BusStartedOrRestartedLaterIsFound) {
  const auto daemon = FindInPath("dbus-daemon");
  if (!daemon) GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus-daemon)";
  App();
  const fs::path folder = TempFolder();
  EnvScope env;
  env.Set("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (folder / "bus").string());
  auto system = MakeSystemScreenSaver();
  bool running = false;
  EXPECT_FALSE(system->GetScreenSaverRunning(running)) << "no bus yet";
  for (const char* when : {"started after the program", "restarted"}) {
    PrivateBus bus(*daemon, folder);
    ASSERT_FALSE(bus.Address().empty()) << "dbus-daemon did not start";
    FakeOnTheBus service(bus.Address());
    ASSERT_TRUE(service.served && service.bus.registerService(kService));
    EXPECT_TRUE(PumpUntil([&] { return system->GetScreenSaverRunning(running) && running; })) << when;
    bus.Crash();  // no goodbyes: the service still holds its name
    EXPECT_TRUE(PumpUntil([&] { return !system->GetScreenSaverRunning(running); })) << when << ", then gone";
  }
}

}  // namespace
}  // namespace tarvex
