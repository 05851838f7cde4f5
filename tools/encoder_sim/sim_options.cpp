#include "sim_options.h"

#include <cstdlib>
#include <limits>
#include <optional>
#include <string_view>
#include <type_traits>
#include <vector>

namespace tarvex::sim {

namespace {

std::optional<int> HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return std::nullopt;
}

// Decimal, or hexadecimal after "0x"; an optional leading '-'.
std::optional<std::int64_t> ParseInteger(std::string_view s, std::int64_t lo, std::int64_t hi) {
  bool negative = false;
  if (!s.empty() && s[0] == '-') {
    negative = true;
    s.remove_prefix(1);
  }
  unsigned base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : s) {
    const auto d = HexDigit(c);
    if (!d || static_cast<unsigned>(*d) >= base) return std::nullopt;
    value = value * base + static_cast<unsigned>(*d);
    if (value > (std::uint64_t{1} << 40)) return std::nullopt;  // far beyond any option's range
  }
  const std::int64_t v = negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
  if (v < lo || v > hi) return std::nullopt;
  return v;
}

// Text with \xHH and \\ escapes, padded with spaces to `width` bytes.
std::optional<std::string> ParseField(std::string_view s, std::size_t width) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\') {
      out += s[i];
      continue;
    }
    if (i + 1 < s.size() && s[i + 1] == '\\') {
      out += '\\';
      ++i;
    } else if (i + 3 < s.size() && s[i + 1] == 'x' && HexDigit(s[i + 2]) && HexDigit(s[i + 3])) {
      out += static_cast<char>(*HexDigit(s[i + 2]) * 16 + *HexDigit(s[i + 3]));
      i += 3;
    } else {
      return std::nullopt;
    }
  }
  if (out.size() > width) return std::nullopt;
  out.resize(width, ' ');
  return out;
}

bool ParseFirmware(std::string_view s, Options& o) {
  std::vector<std::string_view> parts;
  while (true) {
    const auto dot = s.find('.');
    parts.push_back(s.substr(0, dot));
    if (dot == std::string_view::npos) break;
    s.remove_prefix(dot + 1);
  }
  if (parts.size() > 4) return false;
  // Parts left out are 0: "7" is 7.0.0.0.
  o.fwMajor = o.fwMinor = o.fwProtocol = 0;
  o.fwSvn = 0;
  std::uint8_t* bytes[] = {&o.fwMajor, &o.fwMinor, &o.fwProtocol};
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::int64_t hi = i < 3 ? 255 : std::numeric_limits<std::uint32_t>::max();
    const auto v = ParseInteger(parts[i], 0, hi);
    if (!v) return false;
    if (i < 3) {
      *bytes[i] = static_cast<std::uint8_t>(*v);
    } else {
      o.fwSvn = static_cast<std::uint32_t>(*v);
    }
  }
  return true;
}

}  // namespace

ParseResult ParseOptions(int argc, char** argv, Options& o, std::string& error) {
  const std::vector<std::string_view> flags = {"--echo", "--silent", "--chunked", "--noise", "--flood"};
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") return ParseResult::Help;
    std::string_view name = arg;
    std::optional<std::string_view> value;
    if (const auto eq = arg.find('='); arg.substr(0, 2) == "--" && eq != std::string_view::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
    }
    bool isFlag = false;
    for (const auto f : flags) isFlag = isFlag || name == f;
    if (isFlag) {
      if (value) {
        error = std::string(name) + " takes no value";
        return ParseResult::Bad;
      }
      if (name == "--echo") o.echo = true;
      if (name == "--silent") o.silent = true;
      if (name == "--chunked") o.chunked = true;
      if (name == "--noise") o.noise = true;
      if (name == "--flood") o.flood = true;
      continue;
    }
    const std::vector<std::string_view> valued = {"--layout", "--type",   "--serial", "--shaft", "--firmware",
                                                  "--asic",   "--resolution", "--motion", "--speed", "--start",
                                                  "--status", "--port",   "--delay",  "--corrupt", "--every"};
    bool known = false;
    for (const auto f : valued) known = known || name == f;
    if (!known) {
      error = arg.substr(0, 2) == "--" ? "unknown option '" + std::string(name) + "'"
                                       : "unexpected argument '" + std::string(arg) + "'";
      return ParseResult::Bad;
    }
    if (!value) {
      if (i + 1 >= argc) {
        error = std::string(name) + " needs a value";
        return ParseResult::Bad;
      }
      value = argv[++i];
    }
    const std::string_view v = *value;
    bool ok = true;
    auto setInt = [&](auto& field, std::int64_t lo, std::int64_t hi) {
      const auto n = ParseInteger(v, lo, hi);
      ok = n.has_value();
      if (ok) field = static_cast<std::remove_reference_t<decltype(field)>>(*n);
    };
    auto setText = [&](std::string& field, std::size_t width) {
      auto t = ParseField(v, width);
      ok = t.has_value();
      if (ok) field = *t;
    };
    if (name == "--layout") {
      if (v == "old") o.layout = Layout::Old;
      else if (v == "46") o.layout = Layout::L46;
      else if (v == "48") o.layout = Layout::L48;
      else ok = false;
    } else if (name == "--type") {
      setText(o.type, 7);
    } else if (name == "--serial") {
      setText(o.serial, 6);
    } else if (name == "--shaft") {
      setText(o.shaft, 6);
    } else if (name == "--firmware") {
      ok = ParseFirmware(v, o);
    } else if (name == "--asic") {
      setInt(o.asic, 0, 255);
    } else if (name == "--resolution") {
      setInt(o.resolution, 0, 255);
    } else if (name == "--motion") {
      if (v == "static") o.motion = Motion::Static;
      else if (v == "ramp") o.motion = Motion::Ramp;
      else if (v == "sine") o.motion = Motion::Sine;
      else ok = false;
    } else if (name == "--speed") {
      setInt(o.speed, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
    } else if (name == "--start") {
      // Either signed or the raw 32-bit pattern (0xFFFFFFFF is -1).
      setInt(o.start, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::uint32_t>::max());
    } else if (name == "--status") {
      setInt(o.status, 0, 0xFFFF);
    } else if (name == "--port") {
      setInt(o.port, 1, 999999);
    } else if (name == "--delay") {
      setInt(o.delayMs, 0, 3600000);
    } else if (name == "--corrupt") {
      if (v == "header") o.corrupt = Corrupt::Header;
      else if (v == "footer") o.corrupt = Corrupt::Footer;
      else ok = false;
    } else if (name == "--every") {
      setInt(o.every, 1, 1000000);
    }
    if (!ok) {
      error = "bad value '" + std::string(v) + "' for " + std::string(name);
      return ParseResult::Bad;
    }
  }
  return ParseResult::Run;
}

const char* UsageText() {
  return R"(Usage: tarvex-encoder-sim [options]

Stands in for a Tarvex/Qorin encoder on a pseudo-terminal. Links it as
COM<n> in $XDG_CONFIG_HOME/Halvik/Tarvex/ports, prints "COM<n> <pts path>",
answers "v" (identification) and "1" (position packet) until SIGINT/SIGTERM,
then removes the link.

Identification:
  --layout old|46|48     reply layout: 17, 24 or 30 bytes (default 48)
  --type TEXT            encoder type, 7 bytes, space padded (default TX48ABS)
  --serial TEXT          readhead serial number, 6 bytes (default 000123)
  --firmware M[.m[.p[.svn]]]
                         firmware version; svn up to 4294967295 (default 4.8.1.1234)
  --asic N               sensor version 0..255 (default 3)
  --resolution N         tenths of a micrometre per count 0..255 (default 5)
  --shaft TEXT           shaft code, 6 bytes (default SH0500)
  Text may carry any byte as \xHH; \\ is a backslash.

Motion:
  --motion static|ramp|sine   (default static)
  --speed N              counts per second; for sine the peak speed, period 2 s
  --start N              position at start, counts (decimal or 0x hex)
  --status N             status word 0..0xFFFF, e.g. 0x0100

Link:
  --port N               link as COM<N> (default: lowest free number)
  --echo                 send every received byte back first (RS-485 echo)
  --delay MS             wait before each reply
  --silent               answer no request (an --echo still echoes)
  --corrupt header|footer  spoil the header or footer of position replies
  --every N              ... every Nth one (default 1: all)
  --chunked              send each reply in 3 pieces, 2-5 ms apart
  --noise                a few stray bytes every ~20 ms while idle
  --flood                send position packets as fast as the link takes them
  --help                 this text

Numbers take decimal or 0x hex. Bad options exit with code 2.
)";
}

}  // namespace tarvex::sim
