#include "encoder_model.h"

#include <cmath>
#include <numbers>

namespace tarvex::sim {

namespace {

void PutBigEndian(std::string& out, std::uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>((value >> (8 * i)) & 0xFFu);
}

constexpr double kSinePeriodS = 2.0;

}  // namespace

std::string IdentificationReply(const Options& o) {
  std::string r;
  const std::string spare(2, '\0');  // two bytes no decoder reads
  switch (o.layout) {
    case Layout::Old:
      r = o.serial + spare;
      r += static_cast<char>(o.fwMajor);
      r += static_cast<char>(o.asic);
      r += static_cast<char>(o.resolution);
      r += o.shaft;
      break;
    case Layout::L46:
      r = o.type + o.serial + spare;
      r += static_cast<char>(o.fwMajor);
      r += static_cast<char>(o.asic);
      r += static_cast<char>(o.resolution);
      r += o.shaft;
      break;
    case Layout::L48:
      r = o.type + o.serial + spare;
      r += static_cast<char>(o.fwMajor);
      r += static_cast<char>(o.fwMinor);
      r += static_cast<char>(o.fwProtocol);
      PutBigEndian(r, o.fwSvn, 4);
      r += static_cast<char>(o.asic);
      r += static_cast<char>(o.resolution);
      r += o.shaft;
      break;
  }
  return r;
}

std::uint32_t PositionAt(const Options& o, std::uint64_t elapsedMs) {
  switch (o.motion) {
    case Motion::Static:
      return o.start;
    case Motion::Ramp: {
      // Whole seconds and the rest apart, so nothing overflows however long
      // it runs; unsigned arithmetic wraps, which is the intent.
      const std::uint64_t seconds = elapsedMs / 1000;
      const auto restMs = static_cast<std::int64_t>(elapsedMs % 1000);
      const std::uint64_t moved = static_cast<std::uint64_t>(o.speed) * seconds +
                                  static_cast<std::uint64_t>(o.speed * restMs / 1000);
      return static_cast<std::uint32_t>(o.start + moved);
    }
    case Motion::Sine: {
      const double t = std::fmod(static_cast<double>(elapsedMs) / 1000.0, kSinePeriodS);
      const double amplitude = static_cast<double>(o.speed) * kSinePeriodS / (2 * std::numbers::pi);
      const auto offset = static_cast<std::int64_t>(std::llround(amplitude * std::sin(2 * std::numbers::pi * t / kSinePeriodS)));
      return static_cast<std::uint32_t>(o.start + static_cast<std::uint64_t>(offset));
    }
  }
  return o.start;
}

std::string PositionPacket(std::uint32_t position, std::uint16_t status, Corrupt spoil) {
  std::string p;
  p += static_cast<char>(spoil == Corrupt::Header ? 0xEB : 0xEA);
  PutBigEndian(p, position, 4);
  PutBigEndian(p, status, 2);
  p += static_cast<char>(spoil == Corrupt::Footer ? 0xEE : 0xEF);
  return p;
}

}  // namespace tarvex::sim
