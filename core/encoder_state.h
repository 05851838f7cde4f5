#pragma once
// Everything known about the serial link and the connected encoder.

#include <cstdint>

#include "core/types.h"

namespace tarvex {

struct EncoderState {
  PortHandle ComID = kInvalidHandleValue;
  float FPS = 0.0f;
  std::uint32_t TimestampPrvegaPaketka = 0;
  ByteString tip_enkoderja;
  Text serijska_st_glave;
  ByteString oznaka_PN_kode;
  std::uint8_t oznaka_asica = 0;
  std::uint8_t resolucija_prebrana = 0;  // tenths of a micrometre per count
  std::uint8_t decimalk = 0;
  std::int32_t Abs_Pozicija_Glavna = 0;
  std::uint8_t FirmwareVerzijaMajor = 0;
  std::uint8_t FirmwareVerzijaMinor = 0;
  std::uint8_t FirmwareVerzijaProtokol = 0;
  std::uint32_t FirmwareVerzijaSVN = 0;
  std::uint32_t Enkoder_Status = 0;  // 16-bit status word
  TColor barva_LED = clBlack;
  bool data_unavailable = true;
  bool degraded_performance = false;
  std::int32_t Abs_Pozicija_Glavna_old = 0;
  std::uint32_t Cas_zadnjega_premika = 0;
  std::int32_t Nicla = 0;
  std::int32_t StevecPaketov = 0;
};

}  // namespace tarvex
