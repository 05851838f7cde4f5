// The transactions against tarvex-encoder-sim over real pseudo-terminals,
// and the simulator's own behaviour: options, links, faults.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

#include "connection/port_folder_posix.h"
#include "connection/serial_port.h"
#include "core/protocol.h"
#include "core/text.h"
#include "e2e/link_helpers.h"
#include "e2e/sim_process.h"

namespace tarvex {
namespace {

using test::ElapsedMs;
using test::FixedSettings;
using test::SimProcess;
using test::TempConfigHome;

bool Exists(const std::string& path) {
  struct stat st{};
  return lstat(path.c_str(), &st) == 0;
}

// Simulator plus the program's side of its port, opened like the program does.
class SimLink {
 public:
  SimLink(const std::vector<std::string>& args, const TempConfigHome& home) : sim(args, home.path()) {
    if (!sim.started()) return;
    handle = ports->Open(static_cast<std::uint8_t>(sim.port()), 230400);
    if (handle != kInvalidHandleValue) ports->PurgeReceiveAbort(handle);
  }
  ~SimLink() { ports->Close(handle); }
  bool ok() const { return handle != kInvalidHandleValue; }

  std::int32_t Position(const TransactionSettings& s, ByteString& reply) { return ReadPosition(*ports, s, handle, reply); }
  std::int32_t Identification(const TransactionSettings& s, ByteString& reply) {
    return ReadIdentification(*ports, s, handle, reply);
  }
  // A good packet's position; fails the test otherwise.
  std::int32_t GoodPosition() {
    FixedSettings s(kLayout48, false);
    ByteString reply;
    EXPECT_EQ(kResultOk, Position(s, reply));
    const PositionPacket p = DecodePositionPacket(reply);
    EXPECT_EQ(0, p.check);
    return p.position;
  }

  SimProcess sim;
  std::unique_ptr<SerialPorts> ports = MakeSystemSerialPorts();
  PortHandle handle = kInvalidHandleValue;
};

// --- Identification -------------------------------------------------------

struct IdCase {
  const char* layout;
  int index;
  bool echo;
};

class IdentificationTest : public ::testing::TestWithParam<IdCase> {};

TEST_P(IdentificationTest, DecodesEveryFieldOfTheLayout) {
  const IdCase c = GetParam();
  TempConfigHome home;
  std::vector<std::string> args = {"--layout", c.layout, "--type", "T\\x11\\x13\\xffX", "--serial", "SN\\x0a\\x0d42",
                                   "--firmware", "7.9.2.4294967295", "--asic", "200", "--resolution", "10",
                                   "--shaft", "\\x00AB\\xffCD"};
  if (c.echo) args.push_back("--echo");
  SimLink link(args, home);
  ASSERT_TRUE(link.ok());

  ByteString reply;
  ASSERT_EQ(kResultOk, link.Identification(FixedSettings(c.index, c.echo), reply));
  if (c.echo) {
    ASSERT_EQ('v', reply.front());
    reply.erase(0, 1);
  }
  EncoderState s;
  DecodeIdentification(reply, c.index, s);

  const bool hasType = c.index != kLayoutOld;
  EXPECT_EQ(hasType ? ByteString("T\x11\x13\xffX  ", 7) : ByteString(), s.tip_enkoderja);
  EXPECT_EQ(AnsiToText("SN\n\r42"), s.serijska_st_glave);
  EXPECT_EQ(7, s.FirmwareVerzijaMajor);
  EXPECT_EQ(c.index == kLayout48 ? 9 : 0, s.FirmwareVerzijaMinor);
  EXPECT_EQ(c.index == kLayout48 ? 2 : 0, s.FirmwareVerzijaProtokol);
  EXPECT_EQ(c.index == kLayout48 ? 4294967295u : 0u, s.FirmwareVerzijaSVN);
  EXPECT_EQ(200, s.oznaka_asica);
  EXPECT_EQ(10, s.resolucija_prebrana);
  // The transaction may stop before the last shaft bytes have come; what
  // came must be the start of the code.
  const ByteString shaft("\0AB\xff" "CD", 6);
  const std::size_t shaftOffset = c.index == kLayoutOld ? 11 : c.index == kLayout46 ? 18 : 24;
  const std::size_t shortest = IdentificationLength(c.index) - (c.echo ? 1 : 0) - shaftOffset;
  EXPECT_GE(s.oznaka_PN_kode.size(), shortest);
  EXPECT_EQ(shaft.substr(0, s.oznaka_PN_kode.size()), s.oznaka_PN_kode);
}

INSTANTIATE_TEST_SUITE_P(Layouts, IdentificationTest,
                         ::testing::Values(IdCase{"old", kLayoutOld, false}, IdCase{"old", kLayoutOld, true},
                                           IdCase{"46", kLayout46, false}, IdCase{"46", kLayout46, true},
                                           IdCase{"48", kLayout48, false}, IdCase{"48", kLayout48, true}),
                         [](const auto& info) {
                           return std::string("Layout") + info.param.layout + (info.param.echo ? "Echo" : "");
                         });

// --- Position -------------------------------------------------------------

TEST(SimPosition, RampMovesBetweenPollsAndCarriesTheStatusWord) {
  TempConfigHome home;
  SimLink link({"--motion", "ramp", "--speed", "100000", "--start", "-5000", "--status", "0x0301"}, home);
  ASSERT_TRUE(link.ok());
  FixedSettings settings(kLayout48, false);
  ByteString reply;
  ASSERT_EQ(kResultOk, link.Position(settings, reply));
  ASSERT_EQ(8u, reply.size());
  const PositionPacket first = DecodePositionPacket(reply);
  EXPECT_EQ(0, first.check);
  EXPECT_EQ(0x0301u, first.status);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_GT(link.GoodPosition(), first.position);
}

TEST(SimPosition, RampWrapsAroundTheCountRange) {
  TempConfigHome home;
  SimLink link({"--motion", "ramp", "--speed", "-1000", "--start", "0x80000000"}, home);
  ASSERT_TRUE(link.ok());
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const std::int32_t first = link.GoodPosition();
  EXPECT_GT(first, 2000000000);  // went below -2^31 and came out at the top
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_LT(link.GoodPosition(), first);
}

TEST(SimPosition, AwkwardBytesArriveUnchanged) {
  TempConfigHome home;
  SimLink link({"--start", "0x000A0D11", "--status", "0x13FF"}, home);
  ASSERT_TRUE(link.ok());
  ByteString reply;
  ASSERT_EQ(kResultOk, link.Position(FixedSettings(kLayout48, false), reply));
  EXPECT_EQ(ByteString("\xEA\x00\x0A\x0D\x11\x13\xFF\xEF", 8), reply);
}

TEST(SimPosition, EchoIsRemovedWhenExpectedAndMissingEchoTimesOut) {
  TempConfigHome home;
  {
    SimLink link({"--echo", "--start", "77"}, home);
    ASSERT_TRUE(link.ok());
    ByteString reply;
    ASSERT_EQ(kResultOk, link.Position(FixedSettings(kLayout48, true), reply));
    EXPECT_EQ(8u, reply.size());
    EXPECT_EQ(77, DecodePositionPacket(reply).position);
  }
  SimLink link({"--start", "77"}, home);
  ASSERT_TRUE(link.ok());
  ByteString reply;
  long long ms = ElapsedMs([&] { EXPECT_EQ(kResultTimeout, link.Position(FixedSettings(kLayout48, true), reply)); });
  EXPECT_EQ(8u, reply.size());  // the packet came, the ninth byte never did
  EXPECT_GE(ms, 500);
  EXPECT_LT(ms, 5000);
}

TEST(SimPosition, ChunkedAndDelayedRepliesAreJoined) {
  TempConfigHome home;
  SimLink link({"--chunked", "--delay", "100", "--layout", "48", "--start", "123456"}, home);
  ASSERT_TRUE(link.ok());
  ByteString reply;
  long long ms = ElapsedMs([&] { ASSERT_EQ(kResultOk, link.Identification(FixedSettings(kLayout48, false), reply)); });
  EXPECT_GE(ms, 100);
  EncoderState s;
  DecodeIdentification(reply, kLayout48, s);
  EXPECT_EQ("TX48ABS", s.tip_enkoderja);
  EXPECT_EQ(123456, link.GoodPosition());
}

TEST(SimPosition, NoCompleteReplyInTimeGivesTimeout) {
  const struct {
    std::vector<std::string> args;
    bool echoSetting;
    ByteString expectedReply;  // what came before the deadline
  } cases[] = {{{"--silent"}, false, ""}, {{"--delay", "900"}, false, ""}, {{"--silent", "--echo"}, true, "1"}};
  for (const auto& c : cases) {
    TempConfigHome home;
    SimLink link(c.args, home);
    ASSERT_TRUE(link.ok());
    ByteString reply = "stale";
    const long long ms = ElapsedMs([&] { EXPECT_EQ(kResultTimeout, link.Position(FixedSettings(kLayout48, c.echoSetting), reply)); });
    EXPECT_EQ(c.expectedReply, reply) << c.args[0];
    EXPECT_GE(ms, 500);
    EXPECT_LT(ms, 5000);
  }
}

struct CorruptCase {
  const char* which;
  const char* every;
  std::vector<std::uint16_t> checks;
};

TEST(SimPosition, CorruptsEveryNthPacket) {
  const CorruptCase cases[] = {{"header", "3", {0, 0, 1, 0, 0, 1}}, {"footer", "2", {0, 8, 0, 8}}, {"footer", "1", {8, 8}}};
  for (const auto& c : cases) {
    TempConfigHome home;
    SimLink link({"--corrupt", c.which, "--every", c.every}, home);
    ASSERT_TRUE(link.ok());
    std::vector<std::uint16_t> got;
    for (std::size_t i = 0; i < c.checks.size(); ++i) {
      ByteString reply;
      ASSERT_EQ(kResultOk, link.Position(FixedSettings(kLayout48, false), reply));
      got.push_back(DecodePositionPacket(reply).check);
    }
    EXPECT_EQ(c.checks, got) << c.which << " every " << c.every;
  }
}

TEST(SimPosition, NoiseBetweenRequestsIsPurged) {
  TempConfigHome home;
  SimLink link({"--noise", "--start", "4242"}, home);
  ASSERT_TRUE(link.ok());
  int good = 0;
  bool sawNoise = false;
  for (int i = 0; i < 5; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    sawNoise = sawNoise || link.ports->QueuedCount(link.handle) > 0;
    ByteString reply;
    if (link.Position(FixedSettings(kLayout48, false), reply) == kResultOk) {
      const PositionPacket p = DecodePositionPacket(reply);
      good += p.check == 0 && p.position == 4242;
    }
  }
  EXPECT_TRUE(sawNoise);
  // Noise can slip in between a purge and the reply now and then.
  EXPECT_GE(good, 3);
}

TEST(SimPosition, FloodKeepsEachReplyBounded) {
  TempConfigHome home;
  SimLink link({"--flood"}, home);
  ASSERT_TRUE(link.ok());
  std::size_t largest = 0;
  for (int i = 0; i < 30; ++i) {
    ByteString reply;
    ASSERT_EQ(kResultOk, link.Position(FixedSettings(kLayout48, false), reply));
    EXPECT_GE(reply.size(), 8u);
    largest = std::max(largest, reply.size());
  }
  EXPECT_LT(largest, 1u << 20);
  EXPECT_EQ(0, kill(link.sim.pid(), 0));  // the simulator is still there
}

TEST(SimPosition, EncoderVanishingMidPollTimesOutAndLaterFails) {
  TempConfigHome home;
  SimLink link({"--delay", "3000"}, home);
  ASSERT_TRUE(link.ok());
  const pid_t pid = link.sim.pid();
  std::thread killer([pid] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    kill(pid, SIGKILL);
  });
  ByteString reply;
  long long ms = ElapsedMs([&] { EXPECT_EQ(kResultTimeout, link.Position(FixedSettings(kLayout48, false), reply)); });
  killer.join();
  link.sim.kill9();
  EXPECT_GE(ms, 500);
  EXPECT_LT(ms, 5000);
  ms = ElapsedMs([&] { EXPECT_NE(kResultOk, link.Position(FixedSettings(kLayout48, false), reply)); });
  EXPECT_LT(ms, 5000);
  EXPECT_EQ(0u, link.ports->QueuedCount(link.handle));
}

// --- The simulator itself -------------------------------------------------

TEST(SimProcessTest, ClosedClientLeavesThePortUsableAndTheSimulatorIdle) {
  TempConfigHome home;
  SimProcess sim({"--start", "9"}, home.path());
  ASSERT_TRUE(sim.started());
  auto ports = MakeSystemSerialPorts();
  for (int round = 0; round < 3; ++round) {
    const PortHandle h = ports->Open(static_cast<std::uint8_t>(sim.port()), 230400);
    ASSERT_NE(kInvalidHandleValue, h) << round;
    ByteString reply;
    EXPECT_EQ(kResultOk, ReadPosition(*ports, FixedSettings(kLayout48, false), h, reply)) << round;
    ports->Close(h);
  }
  auto cpuTicks = [&] {
    std::ifstream stat("/proc/" + std::to_string(sim.pid()) + "/stat");
    std::string line;
    std::getline(stat, line);
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    std::string field;
    long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
      if (i == 14) utime = std::stoll(field);
      if (i == 15) stime = std::stoll(field);
    }
    return utime + stime;
  };
  const long long before = cpuTicks();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_LT(cpuTicks() - before, sysconf(_SC_CLK_TCK) / 4);  // far from a spinning loop
  EXPECT_EQ(0, sim.stop());
}

TEST(SimProcessTest, TakesLowestFreeNumberAndRemovesItsLinkWhenStopped) {
  TempConfigHome home;
  const std::string folder = home.portFolder();
  SimProcess a({}, home.path());
  SimProcess b({}, home.path());
  ASSERT_TRUE(a.started());
  ASSERT_TRUE(b.started());
  EXPECT_EQ(1u, a.port());
  EXPECT_EQ(2u, b.port());

  EXPECT_EQ(0, a.stop(SIGINT));
  EXPECT_FALSE(Exists(folder + "/COM1"));
  b.kill9();  // no clean-up: its link stays behind
  EXPECT_TRUE(Exists(folder + "/COM2"));
  // Its pts number may go to the next pty anyone opens, so make the
  // leftover certainly dangling.
  ASSERT_EQ(0, unlink((folder + "/COM2").c_str()));
  ASSERT_EQ(0, symlink((home.path() + "/gone").c_str(), (folder + "/COM2").c_str()));
  EXPECT_TRUE(ListLinks(folder).empty());

  SimProcess c({}, home.path());
  SimProcess d({}, home.path());
  EXPECT_EQ(1u, c.port());
  EXPECT_EQ(2u, d.port());  // the dangling link's number is free to take
  const auto map = ListLinks(folder);
  ASSERT_EQ(2u, map.size());
  EXPECT_EQ(c.ptsPath(), map[0].valueName);
  EXPECT_EQ("COM2", map[1].data);

  // A link repointed while it runs is someone else's: it stays.
  ASSERT_EQ(0, unlink((folder + "/COM1").c_str()));
  ASSERT_EQ(0, symlink("/dev/null", (folder + "/COM1").c_str()));
  EXPECT_EQ(0, c.stop());
  EXPECT_EQ(0, d.stop());
  const auto left = ListLinks(folder);
  ASSERT_EQ(1u, left.size());
  EXPECT_EQ("/dev/null", left[0].valueName);
  EXPECT_FALSE(Exists(folder + "/COM2"));
}

TEST(SimProcessTest, ChosenPortNumberIsUsedOnlyWhenFree) {
  TempConfigHome home;
  SimProcess a({"--port", "7"}, home.path());
  ASSERT_TRUE(a.started());
  EXPECT_EQ(7u, a.port());
  const auto clash = SimProcess::Run({"--port", "7"}, home.path());
  EXPECT_EQ(1, clash.exitCode);
  EXPECT_NE(std::string::npos, clash.err.find("COM7")) << clash.err;
  EXPECT_EQ(0, a.stop());
}

TEST(SimProcessTest, BadOptionsExitWithCode2AndAMessage) {
  TempConfigHome home;
  const std::vector<std::vector<std::string>> bad = {
      {"--layout", "47"},         {"--type", "TOOLONG8"},  {"--serial", "\\xZZ1234"},
      {"--resolution", "256"},    {"--asic", "-1"},        {"--firmware", "1.2.3.4294967296"},
      {"--firmware", "1.2.3.4.5"}, {"--speed", "fast"},    {"--every", "0"},
      {"--corrupt", "middle"},    {"--bogus"},             {"--port"},
      {"--echo=yes"},             {"--port", "0"},         {"stray"},
      {"--status", "0x10000"},    {"--start", "0x100000000"}};
  for (const auto& args : bad) {
    const auto r = SimProcess::Run(args, home.path());
    EXPECT_EQ(2, r.exitCode) << args[0];
    EXPECT_NE(std::string::npos, r.err.find("tarvex-encoder-sim:")) << args[0] << ": " << r.err;
  }
  EXPECT_FALSE(Exists(home.portFolder() + "/COM1"));  // none of them got as far as a link

  const auto help = SimProcess::Run({"--help"}, home.path());
  EXPECT_EQ(0, help.exitCode);
  EXPECT_NE(std::string::npos, help.out.find("--layout"));
}

}  // namespace
}  // namespace tarvex
