#include "core/protocol.h"

#include "core/text.h"

namespace tarvex {

namespace {

std::uint8_t At(const ByteString& s, std::size_t pos1) {
  return static_cast<std::uint8_t>(s[pos1 - 1]);
}

// Bytes from position pos1 (counted from 1), at most n, as many as the reply holds.
ByteString Field(const ByteString& reply, std::size_t pos1, std::size_t n) {
  if (reply.size() < pos1) return {};
  return reply.substr(pos1 - 1, n);
}

// A byte field, or the previous value when the reply ends before it.
void Byte(const ByteString& reply, std::size_t pos1, std::uint8_t& field) {
  if (reply.size() >= pos1) field = At(reply, pos1);
}

}  // namespace

PositionPacket DecodePositionPacket(const ByteString& reply) {
  PositionPacket p;
  if (reply.size() < 1 || At(reply, 1) != kPacketHeader) p.check = 1;
  if (reply.size() >= 5) {
    const std::uint32_t raw = (std::uint32_t{At(reply, 2)} << 24) | (std::uint32_t{At(reply, 3)} << 16) |
                              (std::uint32_t{At(reply, 4)} << 8) | std::uint32_t{At(reply, 5)};
    p.position = static_cast<std::int32_t>(raw);  // two's complement, well defined since C++20
  }
  if (reply.size() >= 7) p.status = (std::uint32_t{At(reply, 6)} << 8) | std::uint32_t{At(reply, 7)};
  if (p.check == 0 && (reply.size() < kPositionPacketLength || At(reply, 8) != kPacketFooter)) p.check = 8;
  return p;
}

std::uint16_t ApplyPositionPacket(const PositionPacket& packet, EncoderState& state) {
  if (packet.check == 0) {
    state.Abs_Pozicija_Glavna = packet.position;
    state.Enkoder_Status = packet.status;
  }
  return packet.check;
}

std::size_t IdentificationLength(int layout) {
  switch (layout) {
    case kLayoutOld: return 15;
    case kLayout46: return 23;
    case kLayout48: return 30;
    default: return 1;
  }
}

void DecodeIdentification(const ByteString& reply, int layout, EncoderState& s) {
  s.FirmwareVerzijaMajor = 0;
  s.FirmwareVerzijaMinor = 0;
  s.FirmwareVerzijaProtokol = 0;
  s.FirmwareVerzijaSVN = 0;
  switch (layout) {
    case kLayoutOld:
      s.tip_enkoderja.clear();
      s.serijska_st_glave = AnsiToText(Field(reply, 1, 6));
      Byte(reply, 9, s.FirmwareVerzijaMajor);
      Byte(reply, 10, s.oznaka_asica);
      Byte(reply, 11, s.resolucija_prebrana);
      s.oznaka_PN_kode = Field(reply, 12, 6);
      break;
    case kLayout46:
      s.tip_enkoderja = Field(reply, 1, 7);
      s.serijska_st_glave = AnsiToText(Field(reply, 8, 6));
      Byte(reply, 16, s.FirmwareVerzijaMajor);
      Byte(reply, 17, s.oznaka_asica);
      Byte(reply, 18, s.resolucija_prebrana);
      s.oznaka_PN_kode = Field(reply, 19, 6);
      break;
    case kLayout48:
      s.tip_enkoderja = Field(reply, 1, 7);
      s.serijska_st_glave = AnsiToText(Field(reply, 8, 6));
      Byte(reply, 16, s.FirmwareVerzijaMajor);
      Byte(reply, 17, s.FirmwareVerzijaMinor);
      Byte(reply, 18, s.FirmwareVerzijaProtokol);
      if (reply.size() >= 22) {
        s.FirmwareVerzijaSVN = (std::uint32_t{At(reply, 19)} << 24) | (std::uint32_t{At(reply, 20)} << 16) |
                               (std::uint32_t{At(reply, 21)} << 8) | std::uint32_t{At(reply, 22)};
      }
      Byte(reply, 23, s.oznaka_asica);
      Byte(reply, 24, s.resolucija_prebrana);
      s.oznaka_PN_kode = Field(reply, 25, 6);
      break;
    default:
      break;
  }
}

}  // namespace tarvex
