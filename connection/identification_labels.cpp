#include "connection/identification_labels.h"

#include "core/text.h"

namespace tarvex {

IdentificationLabels DisconnectedLabels() {
  return {u"Encoder type: ", u"Serial number: ", u"Firmware ver.: ",
          u"Sensor ver.: ",  u"Shaft code: ",    u"Resolution: "};
}

IdentificationLabels LabelsFor(const EncoderState& s, const FormatSettings& fs) {
  IdentificationLabels l = DisconnectedLabels();
  l.tipEnkoderja += AnsiToText(s.tip_enkoderja);
  l.serijskaSt += s.serijska_st_glave;
  l.fwVerzija += UIntToText(s.FirmwareVerzijaMajor) + u"." + UIntToText(s.FirmwareVerzijaMinor) + u"." +
                 UIntToText(s.FirmwareVerzijaProtokol) + u"." + UIntToText(s.FirmwareVerzijaSVN);
  l.oznakaAsica += UIntToText(s.oznaka_asica);
  l.oznakaPnKode += AnsiToText(s.oznaka_PN_kode);
  l.resolution += FormatFloat(static_cast<long double>(s.resolucija_prebrana) / 10.0L, FloatStyle::Fixed, 3, 1, fs) +
                  u" \u00B5m";
  return l;
}

std::uint8_t DecimalsForResolution(std::uint8_t resolution) { return resolution < 10 ? 4 : 3; }

}  // namespace tarvex
