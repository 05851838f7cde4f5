#include "core/transactions.h"

#include <gtest/gtest.h>

#include "scripted_link.h"

namespace tarvex {
namespace {

using testing::FixedSettings;
using testing::Packet;
using testing::ScriptedLink;

constexpr PortHandle kPort = 7;

TEST(Transactions, NoPortSendsNothingAndKeepsReply) {
  ScriptedLink link;
  FixedSettings settings;
  ByteString reply = "keep";
  EXPECT_EQ(ReadPosition(link, settings, kInvalidHandleValue, reply), -3);
  EXPECT_EQ(ReadIdentification(link, settings, kInvalidHandleValue, reply), -3);
  EXPECT_TRUE(link.calls.empty());
  EXPECT_EQ(reply, "keep");
}

TEST(Transactions, WriteErrorIsNegatedAndReplyUntouched) {
  struct Case {
    std::uint32_t error;
    std::int32_t result;
  };
  for (const Case c : {Case{6, -6}, Case{1, -1}, Case{0x80000000u, INT32_MIN}, Case{0x80000001u, -3},
                       Case{0xFFFFFFFFu, -3}}) {
    ScriptedLink link;
    link.writeError = c.error;
    link.arrivals = {Packet(1, 0)};
    FixedSettings settings;
    ByteString reply = "keep";
    EXPECT_EQ(ReadPosition(link, settings, kPort, reply), c.result) << c.error;
    EXPECT_EQ(reply, "keep");
    EXPECT_EQ(link.passes, 0);
  }
}

TEST(Transactions, PurgesTransmitThenReceiveThenWritesRequest) {
  ScriptedLink link;
  FixedSettings settings;
  link.arrivals = {Packet(1, 0)};
  ByteString reply;
  ASSERT_EQ(ReadPosition(link, settings, kPort, reply), 0);
  EXPECT_EQ(link.calls, (std::vector<std::string>{"purge-tx", "purge-rx", "write:1"}));

  ScriptedLink id;
  id.arrivals = {std::string(30, 'x')};
  ASSERT_EQ(ReadIdentification(id, settings, kPort, reply), 0);
  EXPECT_EQ(id.calls, (std::vector<std::string>{"purge-tx", "purge-rx", "write:v"}));
}

TEST(Transactions, StaleBytesArePurgedAndReplyEmptied) {
  ScriptedLink link;
  link.queue = "stale";
  link.arrivals = {Packet(5, 0)};
  FixedSettings settings;
  ByteString reply = "old contents";
  ASSERT_EQ(ReadPosition(link, settings, kPort, reply), 0);
  EXPECT_EQ(reply, Packet(5, 0));
}

TEST(Transactions, IdentificationWaitsForTheLineToFallQuiet) {
  struct Case {
    const char* what;
    std::size_t backlogPackets;  // one per queue query, after the purges
    std::int32_t result;
  };
  for (const Case c : {Case{"a backlog of late answers", 5, 0}, Case{"a line that never falls quiet", 1000, -1}}) {
    SCOPED_TRACE(c.what);
    ScriptedLink link;
    link.backlog.assign(c.backlogPackets, Packet(7, 0));
    link.arrivals = {std::string(30, 'i')};
    FixedSettings settings;
    ByteString reply;
    EXPECT_EQ(ReadIdentification(link, settings, kPort, reply), c.result);
    EXPECT_EQ(link.written, c.result == 0) << "no request while the line is busy";
    if (c.result == 0) {
      EXPECT_EQ(reply, std::string(30, 'i'));
    }
  }
}

TEST(Transactions, IdentificationLengthFollowsFirmwareType) {
  struct Case {
    int firmware;
    std::size_t complete;  // bytes at which it succeeds
  };
  for (const Case c : {Case{0, 15}, Case{1, 23}, Case{2, 30}, Case{3, 1}, Case{-1, 1}, Case{99, 1}}) {
    for (bool echo : {false, true}) {  // the echo byte is not counted
      // One byte short: time-out with the bytes kept.
      ScriptedLink shortLink;
      shortLink.step = 50;
      shortLink.arrivals = {std::string(c.complete - 1, 'a')};
      FixedSettings settings;
      settings.firmware = c.firmware;
      settings.echo = echo;
      ByteString reply;
      EXPECT_EQ(ReadIdentification(shortLink, settings, kPort, reply), -1)
          << c.firmware;
      EXPECT_EQ(reply.size(), c.complete - 1);

      ScriptedLink link;
      link.arrivals = {std::string(c.complete, 'a')};
      reply.clear();
      EXPECT_EQ(ReadIdentification(link, settings, kPort, reply), 0) << c.firmware;
      EXPECT_EQ(reply.size(), c.complete);
      EXPECT_EQ(settings.firmwareReads, 2) << "firmware type is read once per transaction";
    }
  }
}

TEST(Transactions, IdentificationKeepsExtraBytesOfTheSameRead) {
  ScriptedLink link;
  link.arrivals = {std::string(20, 'z')};
  FixedSettings settings;
  settings.firmware = 0;
  ByteString reply;
  ASSERT_EQ(ReadIdentification(link, settings, kPort, reply), 0);
  EXPECT_EQ(reply.size(), 20u);
}

TEST(Transactions, DeadlineIsMoreThan500MsAndLengthWinsOnTheLastPass) {
  // Start tick 1000; each later reading 100 ms on: passes read 1100..1600.
  // 1500 is not past the deadline, 1600 is: six passes in all.
  for (std::uint32_t start : {1000u, 0xFFFFFF00u /* wraps during the transaction */}) {
    ScriptedLink silent;
    silent.now = start;
    silent.step = 100;
    FixedSettings settings;
    ByteString reply;
    EXPECT_EQ(ReadPosition(silent, settings, kPort, reply), -1);
    EXPECT_EQ(silent.passes, 6) << start;
    EXPECT_TRUE(reply.empty());

    ScriptedLink late;
    late.now = start;
    late.step = 100;
    late.arrivals = {"", "", "", "", "", Packet(3, 0)};  // completes on the sixth pass
    EXPECT_EQ(ReadPosition(late, settings, kPort, reply), 0) << start;
    EXPECT_EQ(reply, Packet(3, 0));
  }
}

TEST(Transactions, ExactlyFiveHundredMsIsNotYetLate) {
  ScriptedLink link;
  link.step = 500;  // first pass reads exactly start + 500
  link.arrivals = {"", Packet(9, 0)};
  FixedSettings settings;
  ByteString reply;
  EXPECT_EQ(ReadPosition(link, settings, kPort, reply), 0);
  EXPECT_EQ(link.passes, 2);
}

TEST(Transactions, ReplyJoinedFromSeveralShortReads) {
  ScriptedLink link;
  const std::string packet = Packet(-2, 0x0201);
  link.arrivals = {packet.substr(0, 3), "", packet.substr(3, 4), packet.substr(7)};
  link.readLimit = 2;  // reads deliver fewer bytes than queued
  FixedSettings settings;
  ByteString reply;
  ASSERT_EQ(ReadPosition(link, settings, kPort, reply), 0);
  EXPECT_EQ(reply, packet);
}

// A driver that reports more than it was asked for cannot make the reply
// take bytes from beyond what was read into.
TEST(Transactions, ReadCountBeyondTheRequestIsCut) {
  ScriptedLink link;
  link.arrivals = {Packet(5, 0)};
  link.readClaimsMore = 1000;
  FixedSettings settings;
  ByteString reply;
  ASSERT_EQ(ReadPosition(link, settings, kPort, reply), 0);
  EXPECT_EQ(reply, Packet(5, 0));
}

TEST(Transactions, PositionEchoRules) {
  const std::string packet = Packet(123, 0);
  struct Case {
    bool echo;
    std::string received;
    std::int32_t result;
    std::string reply;
  };
  const Case cases[] = {
      {false, packet, 0, packet},
      {true, "1" + packet, 0, packet},                                  // echo removed
      {true, packet + "\x55", 0, packet + "\x55"},                      // 0xEA first: kept
      {true, packet, -1, packet},                                       // no echo: 8 of 9
      {false, "1" + packet, 0, "1" + packet},                           // option off: nothing removed
  };
  for (const Case& c : cases) {
    ScriptedLink link;
    link.step = 100;
    link.arrivals = {c.received};
    FixedSettings settings;
    settings.echo = c.echo;
    ByteString reply;
    EXPECT_EQ(ReadPosition(link, settings, kPort, reply), c.result);
    EXPECT_EQ(reply, c.reply);
  }
}

TEST(Transactions, EchoOptionReadOnEveryPassAndAfterSuccess) {
  ScriptedLink link;
  link.arrivals = {"", "", "1" + Packet(1, 0)};
  FixedSettings settings;
  settings.echo = true;
  ByteString reply;
  ASSERT_EQ(ReadPosition(link, settings, kPort, reply), 0);
  EXPECT_EQ(settings.echoReads, 3 + 1);
  EXPECT_EQ(settings.firmwareReads, 0);
}

}  // namespace
}  // namespace tarvex
