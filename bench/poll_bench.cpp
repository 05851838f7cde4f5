// Measures the live monitor against the encoder simulator on a pseudo-terminal:
// for each refresh rate the achieved packet rate next to what the timer
// allows, the GUI thread's time in one poll cycle (median and 99th
// percentile), the time from "COM Open" to the first shown position, and the
// process's peak memory.
//
//   build/plain/bench/bench_poll_bench [seconds-per-rate]

#include <sys/resource.h>
#include <sys/wait.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "connection/registry.h"
#include "connection/serial_port.h"
#include "monitor/screen_saver.h"
#include "ui/controls.h"
#include "ui/main.h"
#include "ui/nastavitve.h"

extern char** environ;

namespace {

using namespace tarvex;

struct NoScreenSaver : ScreenSaverSystem {
  bool GetScreenSaverRunning(bool& running) override {
    running = false;
    return true;
  }
  WindowHandle ScreenSaverWindowSearch() override { return kNoWindow; }
  void SendMessage(WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) override {}
};

struct SilentMessages : MessageBoxes {
  void Warning(QWidget*, const QString& text) override { std::fprintf(stderr, "warning: %s\n", qPrintable(text)); }
  void Message(QWidget*, const QString& text) override { std::fprintf(stderr, "message: %s\n", qPrintable(text)); }
};

// Starts the simulator and returns its pid and port number.
pid_t StartSimulator(int& port) {
  int fds[2];
  if (pipe(fds) != 0) std::exit(1);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  std::string path = TARVEX_SIM_PATH;
  std::vector<char*> argv = {path.data(), const_cast<char*>("--motion"), const_cast<char*>("ramp"),
                             const_cast<char*>("--speed"), const_cast<char*>("1000"), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
    std::fprintf(stderr, "cannot start %s\n", path.c_str());
    std::exit(1);
  }
  close(fds[1]);
  std::string line;
  char c = 0;
  while (read(fds[0], &c, 1) == 1 && c != '\n') line.push_back(c);
  close(fds[0]);
  port = std::atoi(line.c_str() + 3);  // "COM<n> <pts>"
  if (port <= 0) {
    std::fprintf(stderr, "unexpected simulator line: %s\n", line.c_str());
    std::exit(1);
  }
  return pid;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t i = std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5));
  return v[i];
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
  char configTemplate[] = "/tmp/tarvex-bench-XXXXXX";
  const char* config = mkdtemp(configTemplate);
  if (config == nullptr) return 1;
  setenv("XDG_CONFIG_HOME", config, 1);
  if (getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);

  int port = 0;
  const pid_t sim = StartSimulator(port);

  QApplication app(argc, argv);
  std::unique_ptr<SerialPorts> ports = MakeSystemSerialPorts();
  NoScreenSaver screenSaver;
  SilentMessages messages;
  Services services{*ports, *ports, screenSaver, messages, &MakeSystemRegistry, {u"46.1.0.8", u"bench", u"bench"}};
  TMainForm main(services);
  main.show();
  auto* settingsWindow = new TFormNastavitve(&main, services);  // owned by the main window
  TFormNastavitve& settings = *settingsWindow;
  // The listing holds the machine's own serial ports too: pick the simulator's.
  const QString item = QString::number(port) + QStringLiteral("  ");
  for (int i = 0; i < settings.comboCOMport->count(); ++i) {
    if (settings.comboCOMport->itemText(i).startsWith(item)) settings.comboCOMport->setCurrentIndex(i);
  }
  if (!settings.comboCOMport->currentText().startsWith(item)) {
    std::fprintf(stderr, "the simulator's port COM%d is not listed\n", port);
    return 1;
  }

  // Time each poll cycle by running the handler from our own slot.
  std::vector<double> cycles;
  QObject::disconnect(main.TimerPosiljaj, &QTimer::timeout, nullptr, nullptr);
  QObject::connect(main.TimerPosiljaj, &QTimer::timeout, [&] {
    const auto t0 = std::chrono::steady_clock::now();
    main.TimerPosiljajTimer();
    cycles.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  });

  std::printf("Encoder simulator on COM%d, %.1f s per rate\n\n", port, seconds);
  std::printf("| rate item | interval ms | timer allows /s | achieved /s | cycle median ms | cycle p99 ms | COM Open to first position ms |\n");
  std::printf("|---|---|---|---|---|---|---|\n");
  for (int item = 0; item < settings.comboRefresh->count(); ++item) {
    settings.comboRefresh->setCurrentIndex(item);
    settings.comboRefreshChange();
    const int interval = main.TimerPosiljaj->interval();
    cycles.clear();

    QElapsedTimer toFirst;
    toFirst.start();
    settings.btnComOpenClick();
    while (!main.pnlAbsPos->caption().endsWith(QStringLiteral(" mm")) && toFirst.elapsed() < 5000) {
      app.processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    const double firstMs = static_cast<double>(toFirst.nsecsElapsed()) / 1e6;

    const std::int32_t countAtStart = main.state.StevecPaketov;
    QElapsedTimer run;
    run.start();
    while (run.elapsed() < seconds * 1000) app.processEvents(QEventLoop::WaitForMoreEvents, 5);
    const double achieved = (main.state.StevecPaketov - countAtStart) / (static_cast<double>(run.nsecsElapsed()) / 1e9);
    settings.btnComCloseClick();

    std::printf("| %s | %d | %.1f | %.1f | %.3f | %.3f | %.1f |\n", qPrintable(settings.comboRefresh->itemText(item)),
                interval, 1000.0 / interval, achieved, Percentile(cycles, 0.5), Percentile(cycles, 0.99), firstMs);
  }

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("\nPeak memory (max RSS): %.1f MiB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);

  kill(sim, SIGTERM);
  waitpid(sim, nullptr, 0);
  std::filesystem::remove_all(config);
  return 0;
}
