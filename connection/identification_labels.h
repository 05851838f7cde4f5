#pragma once
// Identification label texts written after a successful identification.

#include "core/encoder_state.h"
#include "core/number_format.h"
#include "core/types.h"

namespace tarvex {

struct IdentificationLabels {
  Text tipEnkoderja;   // "Encoder type: " + type
  Text serijskaSt;     // "Serial number: " + serial
  Text fwVerzija;      // "Firmware ver.: " + major.minor.protocol.svn
  Text oznakaAsica;    // "Sensor ver.: " + asic
  Text oznakaPnKode;   // "Shaft code: " + shaft code
  Text resolution;     // "Resolution: " + res/10 (fixed, P=3, D=1) + " µm"
};

// The bare prefixes shown while disconnected.
IdentificationLabels DisconnectedLabels();
IdentificationLabels LabelsFor(const EncoderState& state, const FormatSettings& fs);

// Decimals of the readout: 4 below 10 tenths of a micrometre, else 3.
std::uint8_t DecimalsForResolution(std::uint8_t resolution);

}  // namespace tarvex
