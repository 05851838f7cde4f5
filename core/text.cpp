#include "core/text.h"

namespace tarvex {

namespace {

// Windows-1252 0x80..0x9F; the five unassigned bytes map to the C1 control
// of the same value, as the system conversion does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

Text AnsiToText(const ByteString& bytes) {
  Text out;
  out.reserve(bytes.size());
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out.push_back(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : static_cast<char16_t>(b));
  }
  return out;
}

Text UIntToText(std::uint64_t value) {
  Text digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value != 0);
  return digits;
}

Text IntToText(std::int64_t value) {
  if (value >= 0) return UIntToText(static_cast<std::uint64_t>(value));
  // Negate in unsigned arithmetic so the most negative value is safe.
  return u"-" + UIntToText(0 - static_cast<std::uint64_t>(value));
}

}  // namespace tarvex
