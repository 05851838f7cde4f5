// The Linux port folder: names, numbering of new devices, the listing.
#if !defined(_WIN32)

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "connection/port_folder_posix.h"
#include "e2e/link_helpers.h"
#include "e2e/temp_config_home.h"

namespace tarvex {
namespace {

using test::MasterPty;
using test::TempConfigHome;

class PortFolderTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(MakeFolders(folder)); }
  void Link(const std::string& name, const std::string& target) const {
    ASSERT_EQ(0, symlink(target.c_str(), (folder + "/" + name).c_str())) << name;
  }
  std::string Target(const std::string& name) const {
    char buf[512];
    const ssize_t n = readlink((folder + "/" + name).c_str(), buf, sizeof buf);
    return n < 0 ? std::string() : std::string(buf, static_cast<std::size_t>(n));
  }

  TempConfigHome home;
  std::string folder = home.portFolder();
};

TEST(PortName, OnlyPlainComNumbersArePorts) {
  const struct {
    const char* name;
    unsigned number;  // 0: not a port
  } cases[] = {{"COM1", 1},  {"COM255", 255}, {"COM300", 300}, {"COM0", 0},    {"COM01", 0},
               {"COMX", 0},  {"com5", 0},     {"COM", 0},      {"COM1a", 0},   {"COM 1", 0},
               {"COM-1", 0}, {"xCOM1", 0},    {"COM99999999999999999999", 0}};
  for (const auto& c : cases) {
    const auto n = ParsePortName(c.name);
    EXPECT_EQ(c.number, n.value_or(0)) << c.name;
  }
}

TEST(PortName, FolderFollowsXdgConfigHome) {
  TempConfigHome home;
  EXPECT_EQ(home.path() + "/Halvik/Tarvex", ConfigFolder());
  EXPECT_EQ(home.path() + "/Halvik/Tarvex/ports/COM12", PortLinkPath(12));
  const std::string home_dir = std::getenv("HOME") ? std::getenv("HOME") : "";
  for (const char* value : {"", "relative/dir"}) {  // neither is a valid XDG path
    setenv("XDG_CONFIG_HOME", value, 1);
    if (!home_dir.empty()) {
      EXPECT_EQ(home_dir + "/.config/Halvik/Tarvex/ports", PortFolder()) << value;
    }
  }
}

TEST_F(PortFolderTest, NewDevicesGetLowestFreeNumbersOnce) {
  MasterPty a, b;
  ASSERT_FALSE(b.slavePath().empty());
  Link("COM1", home.path() + "/unplugged");  // dangling: keeps its number
  Link("alias", a.slavePath());              // not a port name, but a path to a
  Link("COM2", folder + "/alias");
  Link("COM4", "/dev/null");
  const std::vector<std::string> devices = {a.slavePath(), b.slavePath(), "/dev/ttyNOPE0",
                                            folder + "/../ports/COM2", b.slavePath()};
  AssignLinks(folder, devices);
  AssignLinks(folder, devices);  // nothing new the second time

  EXPECT_EQ(folder + "/alias", Target("COM2"));
  EXPECT_EQ(b.slavePath(), Target("COM3"));
  EXPECT_EQ("", Target("COM5"));
  EXPECT_EQ(home.path() + "/unplugged", Target("COM1"));
}

TEST_F(PortFolderTest, ListsOnlyLinksToDevicesInNumberOrder) {
  MasterPty a;
  ASSERT_FALSE(a.slavePath().empty());
  std::ofstream(home.path() + "/plain") << "x";
  ASSERT_EQ(0, mkdir((home.path() + "/dir").c_str(), 0700));
  Link("COM10", a.slavePath());
  Link("COM2", "/dev/null");
  Link("COM300", "/dev/null");
  Link("COM3", home.path() + "/plain");
  Link("COM4", home.path() + "/dir");
  Link("COM5", folder + "/COM5");
  Link("COM6", folder + "/COM7");
  Link("COM7", folder + "/COM6");
  Link("COM8", home.path() + "/unplugged");
  for (const char* odd : {"COM0", "COM01", "COMX", "com11"}) Link(odd, "/dev/null");
  std::ofstream(folder + "/COM9") << "a file named like a port";

  const auto map = ListLinks(folder);
  ASSERT_EQ(3u, map.size());
  EXPECT_EQ("/dev/null", map[0].valueName);
  EXPECT_EQ("COM2", map[0].data);
  EXPECT_EQ(a.slavePath(), map[1].valueName);
  EXPECT_EQ("COM10", map[1].data);
  EXPECT_EQ("COM300", map[2].data);
}

// Two FT232R adapters in a /dev-like tree, plugged in one order and then
// the other: /dev/null and /dev/zero stand for the two adapters.
TEST_F(PortFolderTest, NumbersStayWithTheAdapterWhateverThePlugOrder) {
  const std::string dev = home.path() + "/dev", byId = dev + "/serial/by-id", byPath = dev + "/serial/by-path";
  ASSERT_TRUE(MakeFolders(byId) && MakeFolders(byPath));
  const std::string idA = byId + "/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0",
                    idB = byId + "/usb-FTDI_FT232R_USB_UART_D4E5F6-if00-port0";
  const auto plug = [&](const char* adapterOnUsb0, const char* adapterOnUsb1) {
    for (const std::string& p : {dev + "/ttyUSB0", dev + "/ttyUSB1", idA, idB, byPath + "/pci-usb-0:1"}) unlink(p.c_str());
    ASSERT_EQ(0, symlink(adapterOnUsb0, (dev + "/ttyUSB0").c_str()));
    ASSERT_EQ(0, symlink(adapterOnUsb1, (dev + "/ttyUSB1").c_str()));
    const bool aFirst = std::string(adapterOnUsb0) == "/dev/null";
    ASSERT_EQ(0, symlink(aFirst ? "../../ttyUSB0" : "../../ttyUSB1", idA.c_str()));
    ASSERT_EQ(0, symlink(aFirst ? "../../ttyUSB1" : "../../ttyUSB0", idB.c_str()));
    ASSERT_EQ(0, symlink("../../ttyUSB0", (byPath + "/pci-usb-0:1").c_str()));  // by-id wins
    // The system reports kernel names, one device twice under two names.
    AssignLinks(folder, {dev + "/ttyUSB0", dev + "/ttyUSB1", idA}, dev + "/serial");
  };
  const auto reaches = [&](const char* port) {
    std::unique_ptr<char, decltype(&std::free)> real(realpath((folder + "/" + port).c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : std::string();
  };
  Link("COM3", dev + "/ttyUSB1");  // made by an earlier version: kept, and no second number
  plug("/dev/null", "/dev/zero");
  EXPECT_EQ(idA, Target("COM1"));
  EXPECT_EQ("", Target("COM2"));
  auto map = ListLinks(folder);
  ASSERT_EQ(2u, map.size());
  EXPECT_EQ(idA, map[0].valueName) << "the item names the adapter";
  EXPECT_EQ(dev + "/ttyUSB1", map[1].valueName);

  unlink((folder + "/COM3").c_str());
  plug("/dev/null", "/dev/zero");
  EXPECT_EQ(idB, Target("COM2"));
  plug("/dev/zero", "/dev/null");  // swapped
  EXPECT_EQ("/dev/null", reaches("COM1"));
  EXPECT_EQ("/dev/zero", reaches("COM2"));
  EXPECT_EQ("", Target("COM3"));
}

TEST_F(PortFolderTest, HundredsOfLinks) {
  for (unsigned n = 1; n <= 400; ++n) {
    if (n != 150) Link("COM" + std::to_string(n), "/dev/null");
  }
  const auto map = ListLinks(folder);
  ASSERT_EQ(399u, map.size());
  EXPECT_EQ("COM1", map.front().data);
  EXPECT_EQ("COM151", map[149].data);
  EXPECT_EQ("COM400", map.back().data);

  MasterPty a, b;
  AssignLinks(folder, {a.slavePath(), b.slavePath()});
  EXPECT_EQ(a.slavePath(), Target("COM150"));
  EXPECT_EQ(b.slavePath(), Target("COM401"));
}

TEST(PortMap, MakesTheFolderAndListsOnlyLiveDevices) {
  TempConfigHome home;
  const auto map = ReadPortMap();  // whatever serial devices this machine has
  struct stat st {};
  ASSERT_EQ(0, stat(home.portFolder().c_str(), &st));
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  for (const auto& e : map) {
    EXPECT_TRUE(ParsePortName(e.data).has_value()) << e.data;
    ASSERT_EQ(0, stat((home.portFolder() + "/" + e.data).c_str(), &st)) << e.data;
    EXPECT_TRUE(S_ISCHR(st.st_mode)) << e.data;
  }
  EXPECT_EQ(map.size(), ReadPortMap().size());  // a second reading adds nothing
}

}  // namespace
}  // namespace tarvex

#endif
