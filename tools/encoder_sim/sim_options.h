#pragma once
// Command line of the encoder simulator.

#include <cstdint>
#include <string>

namespace tarvex::sim {

enum class Layout { Old, L46, L48 };
enum class Motion { Static, Ramp, Sine };
enum class Corrupt { None, Header, Footer };

struct Options {
  // Identification.
  Layout layout = Layout::L48;
  std::string type = "TX48ABS";  // 7 bytes
  std::string serial = "000123";  // 6 bytes
  std::string shaft = "SH0500";   // 6 bytes
  std::uint8_t fwMajor = 4;
  std::uint8_t fwMinor = 8;
  std::uint8_t fwProtocol = 1;
  std::uint32_t fwSvn = 1234;
  std::uint8_t asic = 3;
  std::uint8_t resolution = 5;  // tenths of a micrometre per count

  // Motion.
  Motion motion = Motion::Static;
  std::int64_t speed = 1000;   // counts per second (sine: peak speed)
  std::uint32_t start = 0;     // counts, two's complement
  std::uint16_t status = 0;

  // Link behaviour.
  unsigned port = 0;  // 0: lowest free number
  bool echo = false;
  unsigned delayMs = 0;
  bool silent = false;
  Corrupt corrupt = Corrupt::None;
  unsigned every = 1;
  bool chunked = false;
  bool noise = false;
  bool flood = false;
};

enum class ParseResult { Run, Help, Bad };

// Fills `options` from the arguments; on Bad, `error` says what is wrong.
ParseResult ParseOptions(int argc, char** argv, Options& options, std::string& error);

const char* UsageText();

}  // namespace tarvex::sim
