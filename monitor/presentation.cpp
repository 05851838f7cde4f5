#include "monitor/presentation.h"

#include <limits>

#include "core/protocol.h"
#include "core/text.h"

namespace tarvex {

namespace {

// Warning-class bits: temperature, signal low, warning. The rest are errors.
constexpr std::uint32_t kWarningClassBits = 0x010 | 0x040 | 0x100;

}  // namespace

TColor StatusPanelColor(int bit, std::uint32_t status) {
  const std::uint32_t mask = 1u << bit;
  if ((status & mask) == 0) return clGray;
  return (kWarningClassBits & mask) != 0 ? clStatusOrange : clStatusRed;
}

void UpdateConditionFlags(EncoderState& s) {
  s.data_unavailable = (s.Enkoder_Status & kStatusErrorBit) != 0;
  s.degraded_performance = (s.Enkoder_Status & kStatusWarningBit) != 0;
  s.barva_LED = clBlack;
  if (!s.data_unavailable && !s.degraded_performance) s.barva_LED = clLedOk;
  if (s.degraded_performance && !s.data_unavailable) s.barva_LED = clLedDegraded;
  if (s.data_unavailable && !s.degraded_performance) s.barva_LED = clRed;
}

long double PositionMillimetres(std::int32_t position, std::int32_t zero, std::uint8_t resolution) {
  const std::int64_t d = std::int64_t{position} - std::int64_t{zero};
  long double x = static_cast<long double>(d) / 1000.0L;
  x = x * resolution;
  x = x / 10.0L;
  return x;
}

Text ReadoutText(const EncoderState& s, const FormatSettings& fs) {
  if (s.data_unavailable) return kTextDataUnavailable;
  const long double mm = PositionMillimetres(s.Abs_Pozicija_Glavna, s.Nicla, s.resolucija_prebrana);
  return FormatFloat(mm, FloatStyle::Number, 8, s.decimalk, fs) + u" mm";
}

void UpdateMovementReference(EncoderState& s) {
  if (!s.data_unavailable) s.Abs_Pozicija_Glavna_old = s.Abs_Pozicija_Glavna;
}

void ToggleZero(EncoderState& s) {
  if (s.Nicla != 0) {
    s.Nicla = 0;
  } else {
    s.Nicla = s.Abs_Pozicija_Glavna;
  }
}

Text ZeroingHint(const EncoderState& s) {
  return s.Nicla != 0 ? u"Currently in INCREMENTAL mode." : u"Currently in ABSOLUTE mode.";
}

void CountGoodPacket(EncoderState& s, std::uint32_t now) {
  // The counter saturates rather than overflowing after years of polling.
  if (s.StevecPaketov < std::numeric_limits<std::int32_t>::max()) ++s.StevecPaketov;
  if (now != s.TimestampPrvegaPaketka && now != 0) {
    const std::uint32_t elapsed = now - s.TimestampPrvegaPaketka;  // modulo 2^32
    const long double rate = static_cast<long double>(s.StevecPaketov) / static_cast<long double>(elapsed) * 1000.0L;
    s.FPS = static_cast<float>(rate);
  }
}

Text PacketRateText(const EncoderState& s, const FormatSettings& fs) {
  return IntToText(s.StevecPaketov) + u"\r\n" +
         FormatFloat(static_cast<long double>(s.FPS), FloatStyle::Number, 8, 1, fs) + u" FPS";
}

void RestartPacketCount(EncoderState& s, std::uint32_t now) {
  s.StevecPaketov = 0;
  s.TimestampPrvegaPaketka = now;
}

}  // namespace tarvex
