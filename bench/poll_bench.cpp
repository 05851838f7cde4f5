// Measures the monitor as it runs: both windows in the real event loop
// (exec), polling the encoder simulator on a pseudo-terminal, with the
// program's own screen-saver backend on a private session bus, first without
// and then with a screen-saver service on it. For each refresh rate it
// prints the achieved packet rate against what the timer allows, the poll
// cycle and the repaint it causes (median and 99th percentile), the cycle as
// a ratio to a bare transaction timed in the same run against the same
// simulator, the process's CPU and context switches, and at the end its peak
// memory. One more row polls a simulator that answers 16 ms late, like a USB
// adapter at its default latency.
//
//   build/plain/bench/bench_poll_bench [seconds-per-row [rows]]
//
// `rows` picks rows by number, counted from 1 in the order printed: "4,8".
//
// Set QT_QPA_PLATFORM=xcb (with a display) to measure under X; the default is
// offscreen.

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusMessage>
#include <QtDBus/QDBusVirtualObject>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "connection/registry.h"
#include "connection/serial_port.h"
#include "core/text.h"
#include "forms/main.h"
#include "forms/nastavitve.h"
#include "monitor/refresh_rate.h"
#include "monitor/screen_saver.h"
#include "ui/controls.h"
#include "ui/qt_toolkit.h"

extern char** environ;

namespace {

using namespace tarvex;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double MicrosSince(Clock::time_point t0) {
  return std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const auto i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(v.size() - 1, i)];
}

std::string U8(const Text& text) { return QString::fromStdU16String(text).toStdString(); }

// Runs a program and returns the first line it prints.
pid_t Spawn(std::vector<std::string> args, std::string& firstLine) {
  int out[2];
  if (pipe(out) != 0) std::exit(1);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
    std::fprintf(stderr, "cannot start %s\n", argv[0]);
    std::exit(1);
  }
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  pollfd p{out[0], POLLIN, 0};
  char c = 0;
  while (poll(&p, 1, 5000) > 0 && read(out[0], &c, 1) == 1 && c != '\n') firstLine.push_back(c);
  close(out[0]);
  return pid;
}

// A device has a processor of its own: with two CPUs or more the simulator
// runs on the last one and the monitor on the first, so neither waits for
// the other's time slice and every reply crosses between CPUs the same way.
// TARVEX_BENCH_PIN=0 leaves both to the scheduler.
bool PinCpus() {
  const char* pin = getenv("TARVEX_BENCH_PIN");
  return sysconf(_SC_NPROCESSORS_ONLN) >= 2 && (pin == nullptr || std::string(pin) != "0");
}

bool PinTo(pid_t pid, int cpu) {
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu, &set);
  return sched_setaffinity(pid, sizeof set, &set) == 0;
}

struct Simulator {
  pid_t pid = 0;
  bool realTime = false;
  bool pinned = false;
  int port = 0;
  std::string device;
};

Simulator StartSimulator(const std::vector<std::string>& extra) {
  std::vector<std::string> args = {TARVEX_SIM_PATH, "--motion", "ramp", "--speed", "20000"};
  args.insert(args.end(), extra.begin(), extra.end());
  std::string line;
  Simulator s;
  s.pid = Spawn(args, line);
  // The simulator stands in for a device, which needs none of the machine's
  // CPU: at real-time priority it answers at once, whatever else runs (root only).
  const sched_param fifo{1};
  s.realTime = sched_setscheduler(s.pid, SCHED_FIFO, &fifo) == 0;
  if (PinCpus()) s.pinned = PinTo(s.pid, static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)) - 1);
  s.port = std::atoi(line.c_str() + 3);  // "COM<n> <pts>"
  s.device = line.substr(line.find(' ') + 1);
  if (s.port <= 0) {
    std::fprintf(stderr, "unexpected simulator line: %s\n", line.c_str());
    std::exit(1);
  }
  return s;
}

// A private session bus: the bench never touches the desktop's own.
pid_t StartBus(const fs::path& folder, std::string& address) {
  const fs::path config = folder / "bus.conf";
  std::ofstream(config) << "<busconfig><type>session</type><listen>unix:path=" << (folder / "bus").string()
                        << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                           "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                           "</policy></busconfig>\n";
  return Spawn({"dbus-daemon", "--config-file=" + config.string(), "--nofork", "--print-address"}, address);
}

// A screen saver that is not running, as a desktop offers it.
class InactiveScreenSaver : public QDBusVirtualObject {
 public:
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.member() == QLatin1String("GetActive")) return connection.send(message.createReply(false));
    if (message.member() == QLatin1String("SimulateUserActivity")) return connection.send(message.createReply());
    return false;
  }
  QString introspect(const QString&) const override { return {}; }
};

// The service in a process of its own, like a desktop's: this program again,
// run with --screen-saver-service ADDRESS.
int RunScreenSaverService(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QDBusConnection bus = QDBusConnection::connectToBus(QString::fromLocal8Bit(argv[2]), QStringLiteral("service"));
  InactiveScreenSaver saver;
  bus.registerVirtualObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &saver);
  bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver"));
  return app.exec();
}

pid_t StartScreenSaverService(const std::string& self, const std::string& address) {
  std::vector<std::string> args = {self, "--screen-saver-service", address};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return 0;
  return pid;
}

// The reference: purge, write "1", spin on FIONREAD and read until 8 bytes,
// on the monitor's own descriptor between two of its polls.
// With `wait`, an empty queue waits in poll() for up to a millisecond, as
// the program's own port does; without, it spins.
bool BareTransaction(int fd, bool wait) {
  tcflush(fd, TCOFLUSH);
  tcflush(fd, TCIFLUSH);
  const unsigned char request = '1';
  if (write(fd, &request, 1) != 1) return false;
  unsigned char buf[16];
  std::size_t got = 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(500);
  while (got < 8 && Clock::now() < deadline) {
    int queued = 0;
    if (ioctl(fd, FIONREAD, &queued) == 0 && queued > 0) {
      const ssize_t n = read(fd, buf, std::min<std::size_t>(sizeof buf, static_cast<std::size_t>(queued)));
      if (n > 0) got += static_cast<std::size_t>(n);
    } else if (wait) {
      pollfd p{fd, POLLIN, 0};
      poll(&p, 1, 1);
    }
  }
  return got >= 8;
}

// Times the repaints: Qt paints a window's dirty controls when it handles
// the window's update request.
class TimingApplication : public QApplication {
 public:
  using QApplication::QApplication;
  std::vector<double>* repaints = nullptr;

  bool notify(QObject* receiver, QEvent* event) override {
    if (repaints == nullptr || event->type() != QEvent::UpdateRequest || !receiver->isWidgetType() ||
        !static_cast<QWidget*>(receiver)->isWindow()) {
      return QApplication::notify(receiver, event);
    }
    const auto t0 = Clock::now();
    const bool handled = QApplication::notify(receiver, event);
    repaints->push_back(MicrosSince(t0));
    return handled;
  }
};

// The system's ports, timing each transaction from the purge to the last
// byte read, so the cycle's own cost shows apart from the wire's.
class TimedPorts final : public SerialPorts {
 public:
  explicit TimedPorts(std::unique_ptr<SerialPorts> ports) : p_(std::move(ports)) {}

  PortHandle Open(std::uint8_t n, std::uint32_t baud) override { return p_->Open(n, baud); }
  void Close(PortHandle h) override { p_->Close(h); }
  void PurgeReceiveAbort(PortHandle h) override { p_->PurgeReceiveAbort(h); }
  void PurgeTransmit(PortHandle h) override {
    started_ = Clock::now();
    p_->PurgeTransmit(h);
  }
  void PurgeReceive(PortHandle h) override { p_->PurgeReceive(h); }
  std::uint32_t WriteByte(PortHandle h, std::uint8_t b) override { return p_->WriteByte(h, b); }
  std::uint32_t QueuedCount(PortHandle h) override { return p_->QueuedCount(h); }
  std::uint32_t Read(PortHandle h, std::uint8_t* buf, std::uint32_t n) override {
    const std::uint32_t got = p_->Read(h, buf, n);
    last_ = Clock::now();
    return got;
  }
  std::uint32_t GetTickCount() override { return p_->GetTickCount(); }

  // After a cycle: the transaction's share of it, in microseconds.
  double EndCycle() {
    const double us = last_ > started_ ? std::chrono::duration<double, std::micro>(last_ - started_).count() : 0.0;
    started_ = last_ = {};
    return us;
  }

 private:
  std::unique_ptr<SerialPorts> p_;
  Clock::time_point started_{};
  Clock::time_point last_{};
};

struct Usage {
  double cpuSeconds;
  long switches;
  Clock::time_point at;
};

Usage Now() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  const auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return {s(u.ru_utime) + s(u.ru_stime), u.ru_nvcsw + u.ru_nivcsw, Clock::now()};
}

struct Row {
  std::string bus;
  std::string adapter;
  int rateItem;
  const Simulator* sim;
  bool settingsShown = false;  // the port settings window left open after "COM Open"
  bool warmUp = false;         // polled, not measured
};

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--screen-saver-service") return RunScreenSaverService(argc, argv);
  const std::string self = fs::canonical("/proc/self/exe").string();
  const double seconds = argc > 1 ? std::atof(argv[1]) : 4.0;
  const fs::path folder = fs::temp_directory_path() / ("tarvex-bench-" + std::to_string(getpid()));
  fs::create_directories(folder);
  setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
  if (getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);

  std::string busAddress;
  const pid_t bus = StartBus(folder, busAddress);
  if (busAddress.empty()) {
    std::fprintf(stderr, "dbus-daemon did not start (Debian package dbus-daemon)\n");
    return 1;
  }
  setenv("DBUS_SESSION_BUS_ADDRESS", busAddress.c_str(), 1);
  const Simulator fast = StartSimulator({});
  const Simulator slow = StartSimulator({"--delay", "16"});
  pid_t service = 0;
  const bool pinned = fast.pinned && slow.pinned && PinTo(0, 0);

  qtui::PreparePlatform();  // as the program does
  TimingApplication app(argc, argv);
  InstallFontSubstitutes();
  auto ports = std::make_unique<TimedPorts>(MakeSystemSerialPorts());
  std::unique_ptr<ScreenSaverSystem> screenSaver = MakeSystemScreenSaver();
  struct : MessageBoxes {
    void Warning(forms::Window*, const Text& t) override { std::fprintf(stderr, "warning: %s\n", U8(t).c_str()); }
    void Message(forms::Window*, const Text& t) override { std::fprintf(stderr, "message: %s\n", U8(t).c_str()); }
  } messages;
  qtui::QtToolkit toolkit;
  Services services{*ports,   *ports, *screenSaver, messages, &MakeSystemRegistry, {u"46.1.0.8", u"bench", u"bench"},
                    toolkit};
  TMainForm main(services);
  auto* settingsForm = new TFormNastavitve(&main, services);  // owned by the main window
  TFormNastavitve& settings = *settingsForm;
  settings.ShowAndRaise();

  // The cycle, timed around the handler the poll timer runs, and its cost
  // beyond the transaction in it. While pairing, a bare transaction of one
  // kind follows each cycle half an interval later; the two kinds are paired
  // in turn, as one disturbs the other when they share an interval.
  std::vector<double> cycles;
  std::vector<double> beyond;
  std::vector<double> repaints;
  std::vector<double> bare;
  enum class Pairing { Off, Waiting, Spinning };
  Pairing pairing = Pairing::Off;
  QTimer* poll = qtui::TimerOf(main.TimerPosiljaj);
  QObject::disconnect(poll, &QTimer::timeout, nullptr, nullptr);
  std::vector<Clock::time_point> packets;  // when each good packet was counted
  QObject::connect(poll, &QTimer::timeout, [&] {
    const auto t0 = Clock::now();
    const std::int32_t before = main.state.StevecPaketov;
    main.Handle("TimerPosiljajTimer");
    const double cycle = MicrosSince(t0);
    cycles.push_back(cycle);
    if (const double transaction = ports->EndCycle(); transaction > 0) beyond.push_back(cycle - transaction);
    if (main.state.StevecPaketov != before && pairing == Pairing::Off) packets.push_back(t0);
    if (pairing == Pairing::Off) return;
    const bool wait = pairing == Pairing::Waiting;
    QTimer::singleShot(main.TimerPosiljaj->interval() / 2, Qt::PreciseTimer, [&, wait] {
      if (pairing != (wait ? Pairing::Waiting : Pairing::Spinning) || main.state.ComID == kInvalidHandleValue) return;
      const auto t1 = Clock::now();
      if (BareTransaction(static_cast<int>(main.state.ComID), wait)) bare.push_back(MicrosSince(t1));
    });
  });

  std::vector<Row> rows;
  for (const char* busState : {"no service", "service"}) {
    for (int item = 0; item < 4; ++item) rows.push_back({busState, "pty", item, &fast});
  }
  rows.push_back({"service", "pty", 3, &fast, true});
  rows.push_back({"service", "pty, replies 16 ms late", 3, &slow});
  if (argc > 2) {
    std::vector<Row> picked;
    for (const char* p = argv[2]; *p != '\0';) {
      char* end = nullptr;
      const long n = std::strtol(p, &end, 10);
      if (end == p || n < 1 || n > static_cast<long>(rows.size())) {
        std::fprintf(stderr, "rows: numbers from 1 to %zu, separated by commas\n", rows.size());
        return 2;
      }
      picked.push_back(rows[static_cast<std::size_t>(n - 1)]);
      p = *end == ',' ? end + 1 : end;
    }
    rows = picked;
  }
  // A run's first seconds do once-only work (each new pair of readout
  // characters is shaped once, caches fill): polled at the fastest rate
  // before the first row, so no row measures a start-up.
  rows.insert(rows.begin(), Row{"no service", "pty", 3, &fast, false, true});

  std::printf("Encoder simulator on COM%d (and COM%d answering 16 ms late), %s, %s, %.1f s per row, platform %s\n\n",
              fast.port, slow.port, fast.realTime ? "at real-time priority" : "at normal priority",
              pinned ? "on the last CPU, the monitor on the first" : "both on any CPU", seconds,
              qPrintable(QGuiApplication::platformName()));
  std::printf("| screen-saver bus | adapter | settings window | rate | timer allows /s | achieved /s | achieved %% | cycle median us | "
              "cycle p99 us | cycle beyond its transaction median us | repaint median us | repaint p99 us | CPU %% | "
              "context switches /s | paired with waiting: bare median us | cycle median us | paired with spinning: "
              "bare median us | cycle median us | cycle / faster bare |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");

  struct Measured {
    double achieved, cycleMedian, cycleP99, beyondMedian, repaintMedian, repaintP99, cpu, switches;
  };
  struct Paired {
    double bare, cycle;
  };
  std::size_t next = 0;
  std::function<void()> runRow;
  runRow = [&] {
    if (next == rows.size()) {
      QCoreApplication::exit(0);  // quit() would first try to close the windows
      return;
    }
    const Row row = rows[next++];
    if (row.bus == std::string("service") && service == 0) {
      service = StartScreenSaverService(self, busAddress);
      // The backend learns of the service from the bus's signals.
      const auto until = Clock::now() + std::chrono::seconds(5);
      while (screenSaver->ScreenSaverWindowSearch() == kNoWindow && Clock::now() < until) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
      }
    }
    const int interval = RefreshIntervalForItem(settings.comboRefresh->itemText(row.rateItem));
    // The monitor: pick the port and the refresh rate, as a user would.
    const Text wanted = IntToText(row.sim->port) + u"  ";
    for (int i = 0; i < settings.comboCOMport->count(); ++i) {
      if (settings.comboCOMport->itemText(i).starts_with(wanted)) settings.comboCOMport->setCurrentIndex(i);
    }
    settings.comboRefresh->setCurrentIndex(row.rateItem);
    settings.Handle("comboRefreshChange");
    settings.ShowAndRaise();
    settings.Handle("btnComOpenClick");
    // Closed again, as after a start with a remembered port; or left open.
    if (!row.settingsShown) qtui::WidgetOf(&settings.window())->close();
    if (row.warmUp) {
      QTimer::singleShot(3000, [&] {
        settings.Handle("btnComCloseClick");
        QTimer::singleShot(200, runRow);
      });
      return;
    }
    // Settle for one second, then measure the program alone.
    QTimer::singleShot(1000, [&, row, interval] {
      cycles.clear();
      beyond.clear();
      repaints.clear();
      packets.clear();
      app.repaints = &repaints;
      const Usage u0 = Now();
      QTimer::singleShot(static_cast<int>(seconds * 1000), [&, row, interval, u0] {
        const Usage u1 = Now();
        app.repaints = nullptr;
        const double wall = std::chrono::duration<double>(u1.at - u0.at).count();
        // Packets per second from the first to the last one counted.
        const double span =
            packets.size() > 1 ? std::chrono::duration<double>(packets.back() - packets.front()).count() : 0.0;
        const Measured m{span > 0 ? static_cast<double>(packets.size() - 1) / span : 0.0,
                         Percentile(cycles, 0.5),
                         Percentile(cycles, 0.99),
                         Percentile(beyond, 0.5),
                         Percentile(repaints, 0.5),
                         Percentile(repaints, 0.99),
                         100.0 * (u1.cpuSeconds - u0.cpuSeconds) / wall,
                         static_cast<double>(u1.switches - u0.switches) / wall};
        // Then paired with each kind of bare transaction on the same descriptor.
        cycles.clear();
        bare.clear();
        pairing = Pairing::Waiting;
        QTimer::singleShot(static_cast<int>(seconds * 1000), [&, row, interval, m] {
          const Paired waiting{Percentile(bare, 0.5), Percentile(cycles, 0.5)};
          cycles.clear();
          bare.clear();
          pairing = Pairing::Spinning;
          QTimer::singleShot(static_cast<int>(seconds * 1000), [&, row, interval, m, waiting] {
            pairing = Pairing::Off;
            const Paired spinning{Percentile(bare, 0.5), Percentile(cycles, 0.5)};
            const Paired& faster = spinning.bare > 0 && spinning.bare < waiting.bare ? spinning : waiting;
            const double allows = 1000.0 / interval;
            std::printf("| %s | %s | %s | %s | %.1f | %.1f | %.1f | %.0f | %.0f | %.0f | %.0f | %.0f | %.1f | %.0f | %.0f | %.0f "
                        "| %.0f | %.0f | %.2f |\n",
                        row.bus.c_str(), row.adapter.c_str(), row.settingsShown ? "shown" : "hidden",
                        U8(settings.comboRefresh->itemText(row.rateItem)).c_str(), allows, m.achieved,
                        100.0 * m.achieved / allows, m.cycleMedian, m.cycleP99, m.beyondMedian, m.repaintMedian,
                        m.repaintP99, m.cpu, m.switches, waiting.bare, waiting.cycle, spinning.bare, spinning.cycle,
                        faster.bare > 0 ? faster.cycle / faster.bare : 0.0);
            std::fflush(stdout);
            settings.Handle("btnComCloseClick");
            QTimer::singleShot(200, runRow);
          });
        });
      });
    });
  };
  QTimer::singleShot(0, runRow);
  QApplication::exec();

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("\nPeak memory (max RSS): %.1f MiB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);

  for (pid_t pid : {fast.pid, slow.pid, service, bus}) {
    if (pid <= 0) continue;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
  std::error_code ec;
  fs::remove_all(folder, ec);
  return 0;
}
