// Low latency asked for on open and undone on close, seen through a recording
// driver control over a real pseudo-terminal port.

#include <gtest/gtest.h>

#include <vector>

#include "connection/port_folder_posix.h"
#include "connection/serial_low_latency_posix.h"
#include "e2e/link_helpers.h"
#include "e2e/temp_config_home.h"

namespace tarvex {
namespace {

using Sets = std::vector<std::pair<int, int>>;  // (fd, flags) of each Set

struct RecordingControl : SerialDriverControl {
  RecordingControl(bool getOk, bool setOk, int flags, Sets& sets) : getOk(getOk), setOk(setOk), flags(flags), sets(sets) {}
  bool GetSerialFlags(int, int& f) override {
    if (getOk) f = flags;
    return getOk;
  }
  bool SetSerialFlags(int fd, int f) override {
    sets.emplace_back(fd, f);
    return setOk;
  }
  bool getOk, setOk;
  int flags;
  Sets& sets;
};

// COM5 over a fresh pty: opened, a byte each way, closed. Returns `log` as
// it was while the port was open.
Sets UsePort(std::unique_ptr<SerialDriverControl> control, const Sets& log, int& fd) {
  test::TempConfigHome home;
  test::MasterPty pty;
  EXPECT_TRUE(MakeFolders(home.portFolder()));
  EXPECT_EQ(0, symlink(pty.slavePath().c_str(), PortLinkPath(5).c_str()));
  auto ports = MakeSystemSerialPortsWith(std::move(control));
  const PortHandle h = ports->Open(5, 230400);
  EXPECT_NE(kInvalidHandleValue, h);
  fd = static_cast<int>(h);
  const Sets atOpen = log;
  EXPECT_EQ(0u, ports->WriteByte(h, 0x5A));
  EXPECT_EQ("\x5A", pty.read(1));
  EXPECT_EQ(1, write(pty.master(), "\xA5", 1));
  std::uint8_t got = 0;
  for (int i = 0; i < 500 && ports->Read(h, &got, 1) == 0; ++i) usleep(10000);
  EXPECT_EQ(0xA5, got);
  ports->Close(h);
  return atOpen;
}

TEST(LowLatency, AskedOnOpenAndUndoneOnCloseOnlyWhenWeChangedIt) {
  const int low = SerialLowLatencyFlag(), other = 0x40;
  struct Case { const char* name; bool getOk, setOk; int flags; bool setAtOpen, restoreAtClose; };
  for (const Case& c : {Case{"plain driver", true, true, other, true, true},
                        Case{"already low latency", true, true, other | low, false, false},
                        Case{"get refused", false, true, other, false, false},
                        Case{"set refused", true, false, other, true, false}}) {
    SCOPED_TRACE(c.name);
    Sets log;
    int fd = -1;
    const Sets atOpen = UsePort(std::make_unique<RecordingControl>(c.getOk, c.setOk, c.flags, log), log, fd);
    Sets want;
    if (c.setAtOpen) want.emplace_back(fd, other | low);
    EXPECT_EQ(want, atOpen);
    if (c.restoreAtClose) want.emplace_back(fd, other);
    EXPECT_EQ(want, log);
  }
}

TEST(LowLatency, KernelControlIsRefusedByAPtyWhosePortStillWorks) {
  test::MasterPty pty;
  int fd = -1, flags = 0;
  EXPECT_FALSE(MakeKernelSerialDriverControl()->GetSerialFlags(pty.master(), flags));
  UsePort(MakeKernelSerialDriverControl(), {}, fd);
}

}  // namespace
}  // namespace tarvex
