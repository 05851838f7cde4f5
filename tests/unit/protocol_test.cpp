#include "core/protocol.h"

#include <gtest/gtest.h>

#include "scripted_link.h"

namespace tarvex {
namespace {

using testing::Packet;

TEST(PositionPacket, DecodesSignedPositionAndStatus) {
  struct Case {
    std::string bytes;
    std::int32_t position;
    std::uint32_t status;
  };
  const Case cases[] = {
      {Packet(0, 0), 0, 0},
      {std::string("\xEA\xFF\xFF\xFF\xFE\x00\x00\xEF", 8), -2, 0},
      {std::string("\xEA\x80\x00\x00\x00\x00\x00\xEF", 8), INT32_MIN, 0},
      {std::string("\xEA\x7F\xFF\xFF\xFF\xFF\xFF\xEF", 8), INT32_MAX, 0xFFFF},
      {std::string("\xEA\x00\x0A\x0D\x11\x13\x00\xEF", 8), 0x000A0D11, 0x1300},
  };
  for (const Case& c : cases) {
    const PositionPacket p = DecodePositionPacket(c.bytes);
    EXPECT_EQ(p.position, c.position);
    EXPECT_EQ(p.status, c.status);
    EXPECT_EQ(p.check, 0);
  }
}

TEST(PositionPacket, CheckCodes) {
  struct Case {
    std::uint8_t header, footer;
    std::uint16_t check;
  };
  for (const Case c : {Case{0xEA, 0xEF, 0}, Case{0x00, 0xEF, 1}, Case{0xEA, 0xEE, 8}, Case{0x31, 0x00, 1}}) {
    EXPECT_EQ(DecodePositionPacket(Packet(77, 0x0100, c.header, c.footer)).check, c.check);
  }
  // A nine-byte reply starting with the header decodes from its first eight.
  EXPECT_EQ(DecodePositionPacket(Packet(5, 1) + "\x01").check, 0);
  EXPECT_EQ(DecodePositionPacket(Packet(5, 1) + "\x01").position, 5);
  // Short replies never read past their end.
  EXPECT_EQ(DecodePositionPacket("").check, 1);
  EXPECT_EQ(DecodePositionPacket(Packet(5, 1).substr(0, 7)).check, 8);
}

TEST(PositionPacket, OnlyAGoodPacketReachesTheRecord) {
  EncoderState s;
  EXPECT_EQ(ApplyPositionPacket(DecodePositionPacket(Packet(5000, 0x0100)), s), 0);
  EXPECT_EQ(s.Abs_Pozicija_Glavna, 5000);
  EXPECT_EQ(s.Enkoder_Status, 0x0100u);
  // Corrupt footer, then corrupt header: the last good values stay.
  EXPECT_EQ(ApplyPositionPacket(DecodePositionPacket(Packet(-999999, 0x03FF, 0xEA, 0x00)), s), 8);
  EXPECT_EQ(ApplyPositionPacket(DecodePositionPacket(Packet(42, 0x0200, 0x00, 0xEF)), s), 1);
  EXPECT_EQ(s.Abs_Pozicija_Glavna, 5000);
  EXPECT_EQ(s.Enkoder_Status, 0x0100u);
}

// Identification replies built byte by byte, positions counted from 1.
std::string Bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s.push_back(static_cast<char>(b));
  return s;
}

TEST(Identification, Layout48Full) {
  const std::string reply = std::string("TX48ABS") + std::string("SN\x00\xE9\x80\xFF", 6) + "xx" +
                            Bytes({2, 5, 1, 0x00, 0x00, 0x01, 0x02, 7, 5}) + "SHAFT1";
  ASSERT_EQ(reply.size(), 30u);
  EncoderState s;
  DecodeIdentification(reply, kLayout48, s);
  EXPECT_EQ(s.tip_enkoderja, "TX48ABS");
  EXPECT_EQ(s.serijska_st_glave, (Text{u'S', u'N', u'\0', u'\u00E9', u'\u20AC', u'\u00FF'}));
  EXPECT_EQ(s.FirmwareVerzijaMajor, 2);
  EXPECT_EQ(s.FirmwareVerzijaMinor, 5);
  EXPECT_EQ(s.FirmwareVerzijaProtokol, 1);
  EXPECT_EQ(s.FirmwareVerzijaSVN, 258u);
  EXPECT_EQ(s.oznaka_asica, 7);
  EXPECT_EQ(s.resolucija_prebrana, 5);
  EXPECT_EQ(s.oznaka_PN_kode, "SHAFT1");
}

TEST(Identification, Svn4294967295IsUnsigned) {
  std::string reply(30, '\0');
  for (int i = 18; i < 22; ++i) reply[i] = '\xFF';
  EncoderState s;
  DecodeIdentification(reply, kLayout48, s);
  EXPECT_EQ(s.FirmwareVerzijaSVN, 0xFFFFFFFFu);
  EXPECT_EQ(s.tip_enkoderja, std::string(7, '\0'));  // zero bytes kept with their length
}

TEST(Identification, Layout46AndOldLeaveVersionPartsZero) {
  EncoderState s;
  s.FirmwareVerzijaMinor = 9;
  s.FirmwareVerzijaProtokol = 9;
  s.FirmwareVerzijaSVN = 9;
  const std::string r46 = std::string("QORIN46") + "123456" + "--" + Bytes({4, 3, 10}) + "ABCDEF";
  DecodeIdentification(r46, kLayout46, s);
  EXPECT_EQ(s.tip_enkoderja, "QORIN46");
  EXPECT_EQ(s.serijska_st_glave, u"123456");
  EXPECT_EQ(s.FirmwareVerzijaMajor, 4);
  EXPECT_EQ(s.FirmwareVerzijaMinor, 0);
  EXPECT_EQ(s.FirmwareVerzijaProtokol, 0);
  EXPECT_EQ(s.FirmwareVerzijaSVN, 0u);
  EXPECT_EQ(s.oznaka_asica, 3);
  EXPECT_EQ(s.resolucija_prebrana, 10);
  EXPECT_EQ(s.oznaka_PN_kode, "ABCDEF");

  // "Old" reply of 20 bytes: no type, shaft code 12..17, the rest ignored.
  const std::string old = std::string("654321") + "--" + Bytes({1, 2, 50}) + "SHAFTX" + "end";
  DecodeIdentification(old, kLayoutOld, s);
  EXPECT_EQ(s.tip_enkoderja, "");
  EXPECT_EQ(s.serijska_st_glave, u"654321");
  EXPECT_EQ(s.FirmwareVerzijaMajor, 1);
  EXPECT_EQ(s.oznaka_asica, 2);
  EXPECT_EQ(s.resolucija_prebrana, 50);
  EXPECT_EQ(s.oznaka_PN_kode, "SHAFTX");
}

TEST(Identification, ShortRepliesGiveShortShaftCodes) {
  struct Case {
    int layout;
    std::size_t length;
    std::size_t shaft;
  };
  // Shortest accepted replies with and without an echo byte removed.
  const Case cases[] = {{kLayoutOld, 15, 4}, {kLayoutOld, 14, 3}, {kLayout46, 23, 5}, {kLayout46, 22, 4},
                        {kLayout48, 30, 6}, {kLayout48, 29, 5}, {kLayoutOld, 17, 6}, {kLayout46, 24, 6},
                        {kLayoutOld, 11, 0}};
  for (const Case& c : cases) {
    EncoderState s;
    std::string reply(c.length, 'S');
    DecodeIdentification(reply, c.layout, s);
    EXPECT_EQ(s.oznaka_PN_kode.size(), c.shaft) << c.layout << "/" << c.length;
  }
}

TEST(Identification, UnknownLayoutOnlyResetsVersion) {
  EncoderState s;
  s.tip_enkoderja = "KEEP";
  s.resolucija_prebrana = 25;
  s.FirmwareVerzijaMajor = 3;
  s.FirmwareVerzijaSVN = 77;
  DecodeIdentification(std::string(30, 'x'), 3, s);
  DecodeIdentification(std::string(30, 'x'), -1, s);
  EXPECT_EQ(s.tip_enkoderja, "KEEP");
  EXPECT_EQ(s.resolucija_prebrana, 25);
  EXPECT_EQ(s.FirmwareVerzijaMajor, 0);
  EXPECT_EQ(s.FirmwareVerzijaSVN, 0u);
}

TEST(Identification, ExpectedLengths) {
  EXPECT_EQ(IdentificationLength(0), 15u);
  EXPECT_EQ(IdentificationLength(1), 23u);
  EXPECT_EQ(IdentificationLength(2), 30u);
  EXPECT_EQ(IdentificationLength(3), 1u);
  EXPECT_EQ(IdentificationLength(-1), 1u);
}

}  // namespace
}  // namespace tarvex
