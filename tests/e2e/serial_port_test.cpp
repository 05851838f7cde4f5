// The serial ports over real pseudo-terminals, with the test holding the
// device side: open, exclusivity, line settings, bytes in both directions.

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <string>
#include <thread>

#include "connection/baud_rate.h"
#include "connection/port_folder_posix.h"
#include "connection/serial_line_posix.h"
#include "connection/serial_port.h"
#include "core/protocol.h"
#include "e2e/link_helpers.h"
#include "e2e/temp_config_home.h"

namespace tarvex {
namespace {

using test::MasterPty;
using test::TempConfigHome;

int OpenFdCount() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d) != nullptr) ++n;
    closedir(d);
  }
  return n;
}

int Fd(PortHandle h) { return static_cast<int>(h); }

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(MakeFolders(home.portFolder()));
    ASSERT_FALSE(pty.slavePath().empty());
    Link(5, pty.slavePath());
  }
  void Link(unsigned n, const std::string& target) const {
    ASSERT_EQ(0, symlink(target.c_str(), PortLinkPath(n).c_str())) << n;
  }

  TempConfigHome home;
  MasterPty pty;
  std::unique_ptr<SerialPorts> ports = MakeSystemSerialPorts();
};

TEST_F(SerialPortTest, EveryByteValuePassesUnchangedBothWays) {
  const PortHandle h = ports->Open(5, 230400);
  ASSERT_NE(kInvalidHandleValue, h);
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);

  for (int b = 0; b < 256; ++b) ASSERT_EQ(0u, ports->WriteByte(h, static_cast<std::uint8_t>(b))) << b;
  EXPECT_EQ(all, pty.read(all.size()));

  ASSERT_EQ(static_cast<ssize_t>(all.size()), write(pty.master(), all.data(), all.size()));
  std::string got;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (got.size() < all.size() && std::chrono::steady_clock::now() < deadline) {
    const std::uint32_t n = ports->QueuedCount(h);
    std::string buf(n, '\0');
    got.append(buf.data(), ports->Read(h, reinterpret_cast<std::uint8_t*>(buf.data()), n));
  }
  EXPECT_EQ(all, got);
  ports->Close(h);
}

TEST_F(SerialPortTest, EveryBaudRateOpensRaw8N1AtThatRate) {
  for (int index = 0; index < 6; ++index) {
    const std::uint32_t rate = BaudRateForIndex(index);
    const PortHandle h = ports->Open(5, rate);
    ASSERT_NE(kInvalidHandleValue, h) << rate;
    termios t{};
    ASSERT_EQ(0, tcgetattr(Fd(h), &t));
    EXPECT_EQ(0u, t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) << rate;
    EXPECT_EQ(0u, t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP | PARMRK)) << rate;
    EXPECT_EQ(0u, t.c_oflag & OPOST) << rate;
    EXPECT_EQ(static_cast<tcflag_t>(CS8), t.c_cflag & CSIZE) << rate;
    EXPECT_EQ(0u, t.c_cflag & (PARENB | CSTOPB)) << rate;
    EXPECT_EQ(rate, LineSpeed(Fd(h)));
    EXPECT_EQ(0, fcntl(Fd(h), F_GETFL) & O_NONBLOCK) << rate;
    ports->Close(h);
  }
}

TEST_F(SerialPortTest, HeldPortCannotBeOpenedAgainUntilClosed) {
  const PortHandle first = ports->Open(5, 115200);
  ASSERT_NE(kInvalidHandleValue, first);
  const int fdsBefore = OpenFdCount();
  EXPECT_EQ(kInvalidHandleValue, ports->Open(5, 115200));
  EXPECT_EQ(fdsBefore, OpenFdCount());

  int exclusive = 0;
  ASSERT_EQ(0, ioctl(Fd(first), TIOCGEXCL, &exclusive));
  EXPECT_NE(0, exclusive);
  ports->Close(first);

  // The flag lives on the device, not the descriptor: a close that forgot
  // it would lock out everyone but root while the other end stays open.
  const int probe = open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(probe, 0);
  ASSERT_EQ(0, ioctl(probe, TIOCGEXCL, &exclusive));
  EXPECT_EQ(0, exclusive);
  close(probe);

  const PortHandle again = ports->Open(5, 115200);
  EXPECT_NE(kInvalidHandleValue, again);
  ports->Close(again);
}

TEST_F(SerialPortTest, PortLockedByAnotherProcessDoesNotOpen) {
  int ready[2];
  ASSERT_EQ(0, pipe(ready));
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int fd = open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
    const char ok = (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) ? 1 : 0;
    (void)!write(ready[1], &ok, 1);
    pause();
    _exit(0);
  }
  close(ready[1]);
  char ok = 0;
  ASSERT_EQ(1, read(ready[0], &ok, 1));
  close(ready[0]);
  ASSERT_EQ(1, ok);

  EXPECT_EQ(kInvalidHandleValue, ports->Open(5, 230400));

  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  const PortHandle h = ports->Open(5, 230400);
  EXPECT_NE(kInvalidHandleValue, h);
  ports->Close(h);
}

TEST_F(SerialPortTest, NonPortsFailCleanly) {
  const std::string folder = home.portFolder();
  std::ofstream(home.path() + "/plain.txt") << "not a device";
  ASSERT_EQ(0, mkdir((home.path() + "/dir").c_str(), 0700));
  ASSERT_EQ(0, mkfifo((home.path() + "/fifo").c_str(), 0600));
  Link(10, "/nonexistent/ttyUSB9");
  Link(11, home.path() + "/plain.txt");
  Link(12, home.path() + "/dir");
  Link(13, folder + "/COM13");
  Link(14, folder + "/COM15");
  Link(15, folder + "/COM14");
  Link(16, home.path() + "/fifo");
  std::ofstream(folder + "/COM17") << "a file, not a link";

  const int fdsBefore = OpenFdCount();
  for (const unsigned port : {0u, 9u, 10u, 11u, 12u, 13u, 14u, 16u, 17u}) {
    EXPECT_EQ(kInvalidHandleValue, ports->Open(static_cast<std::uint8_t>(port), 230400)) << "COM" << port;
  }
  EXPECT_EQ(fdsBefore, OpenFdCount());
}

// The box only names the port; the console says which device and why, and
// a retry for the same reason does not say it again.
TEST_F(SerialPortTest, RefusedPermissionIsExplainedOnTheConsoleOnce) {
  int out[2];
  ASSERT_EQ(0, pipe(out));
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    dup2(out[1], STDERR_FILENO);
    if (geteuid() == 0) {
      // Root opens anything: become nobody, who may reach the link but not the pty.
      for (const std::string& d : {home.path(), home.path() + "/Halvik", home.path() + "/Halvik/Tarvex", home.portFolder()}) {
        chmod(d.c_str(), 0755);
      }
      if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
    } else if (chmod(pty.slavePath().c_str(), 0) != 0) {
      _exit(3);
    }
    auto refused = MakeSystemSerialPorts();
    const bool failed = refused->Open(5, 230400) == kInvalidHandleValue && refused->Open(5, 230400) == kInvalidHandleValue;
    _exit(failed ? 0 : 1);
  }
  close(out[1]);
  std::string console;
  char buf[512];
  for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) console.append(buf, static_cast<std::size_t>(n));
  close(out[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << console;
  EXPECT_EQ(1, std::count(console.begin(), console.end(), '\n')) << console;
  EXPECT_NE(std::string::npos, console.find("COM5 (" + pty.slavePath() + "): Permission denied")) << console;
  EXPECT_NE(std::string::npos, console.find("dialout")) << console;
  EXPECT_NE(std::string::npos, console.find("60-tarvex-serial.rules")) << console;
}

TEST_F(SerialPortTest, DeviceThatRefusesTheLineSettingsStillOpens) {
  Link(20, "/dev/null");  // a character device that is no terminal
  const PortHandle h = ports->Open(20, 1000000);
  EXPECT_NE(kInvalidHandleValue, h);
  ports->Close(h);
}

TEST_F(SerialPortTest, VanishedDeviceSideGivesErrorsNotHangs) {
  const PortHandle h = ports->Open(5, 230400);
  ASSERT_NE(kInvalidHandleValue, h);
  ASSERT_EQ(1, write(pty.master(), "x", 1));
  pty.closeMaster();

  EXPECT_NE(0u, ports->WriteByte(h, '1'));
  EXPECT_EQ(0u, ports->QueuedCount(h));
  std::uint8_t buf[8];
  EXPECT_EQ(0u, ports->Read(h, buf, sizeof buf));

  test::FixedSettings settings(kLayout48, false);
  ByteString reply = "kept";
  EXPECT_NE(kResultOk, ReadPosition(*ports, settings, h, reply));
  EXPECT_EQ("kept", reply);  // the failed write leaves it alone
  ports->Close(h);
}

// An encoder working off a backlog of position requests while the program
// asks for its identification: the late packets must not be taken for it.
TEST_F(SerialPortTest, BacklogInFrontOfTheIdentificationIsDiscarded) {
  const PortHandle h = ports->Open(5, 230400);
  ASSERT_NE(kInvalidHandleValue, h);
  const std::string identification(IdentificationLength(kLayout48), 'I');
  std::atomic<bool> flowing{false};
  std::thread encoder([&] {
    const std::string late("\xEA\x00\x00\x00\x01\x00\x00\xEF", 8);
    for (int i = 0; i < 12; ++i) {
      (void)!write(pty.master(), late.data(), late.size());
      flowing = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (pty.read(1) == "v") (void)!write(pty.master(), identification.data(), identification.size());
  });
  while (!flowing) std::this_thread::yield();
  test::FixedSettings settings(kLayout48, false);
  ByteString reply;
  EXPECT_EQ(kResultOk, ReadIdentification(*ports, settings, h, reply));
  EXPECT_EQ(identification, reply);
  encoder.join();
  ports->Close(h);
}

TEST(SerialTick, FollowsTheMonotonicClock) {
  auto ports = MakeSystemSerialPorts();
  const std::uint32_t t0 = ports->Tick();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  const std::uint32_t elapsed = ports->Tick() - t0;
  EXPECT_GE(elapsed, 30u);
  EXPECT_LT(elapsed, 5000u);
}

}  // namespace
}  // namespace tarvex
