#pragma once
// Turning decoded packets into readout texts, colours and counters.

#include <cstdint>

#include "core/encoder_state.h"
#include "core/number_format.h"
#include "core/types.h"

namespace tarvex {

inline constexpr char16_t kTextDataUnavailable[] = u"-  -  -  -  -";  // status bit 9
inline constexpr char16_t kTextLinkLost[] = u"- - - - -";
inline constexpr char16_t kTextCommError[] = u"Comm. error";
inline constexpr char16_t kTextNotConnected[] = u"not connected";

// Colour of status indicator `bit` (0..9) for a status word.
TColor StatusPanelColor(int bit, std::uint32_t status);

// Steps 2 and 3 of the presentation: the two flags and barva_LED from the
// status word.
void UpdateConditionFlags(EncoderState& state);

// Position minus zero in millimetres, computed in extended precision. The
// difference is taken in 64 bits so it never overflows.
long double PositionMillimetres(std::int32_t position, std::int32_t zero, std::uint8_t resolution);

// Readout caption: the placeholder while data is unavailable, else the
// millimetres with `decimalk` decimals and " mm".
Text ReadoutText(const EncoderState& state, const FormatSettings& fs);

// After a presentation: the movement reference follows positions with data.
void UpdateMovementReference(EncoderState& state);

// INC/ABS: takes the current position as zero, or drops the zero.
void ToggleZero(EncoderState& state);
Text ZeroingHint(const EncoderState& state);

// Counts a good packet (never past 2^31 - 1) and recomputes FPS unless the
// elapsed time is 0 or the tick is 0.
void CountGoodPacket(EncoderState& state, std::uint32_t now);

// Packet counter caption: count, CR LF, rate with one decimal, " FPS".
Text PacketRateText(const EncoderState& state, const FormatSettings& fs);

// Restart of packet counting (refresh-rate change, connect).
void RestartPacketCount(EncoderState& state, std::uint32_t now);

}  // namespace tarvex
