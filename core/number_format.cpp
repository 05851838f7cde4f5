#include "core/number_format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <array>
#include <limits>

#include "core/text.h"

namespace tarvex {

// Readouts are computed in 80-bit extended precision; a compiler whose long
// double is the 64-bit double (MSVC) rounds some of them differently in the
// last digit.
static_assert(std::numeric_limits<long double>::digits == 64,
              "long double must be the 80-bit extended type (64-bit mantissa): build with GCC or "
              "Clang for x86 (MinGW-w64 on Windows), not with MSVC");

namespace {

constexpr int kSignificant = 18;
static_assert(kSignificant == SignificantDigits::kCount);

__extension__ typedef unsigned __int128 Wide;  // GCC and Clang on x86-64

// The C library's answer, for values outside what the exact path holds.
SignificantDigits ByPrintf(long double magnitude) {
  SignificantDigits s;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*Le", kSignificant - 1, magnitude);
  std::size_t n = 0;
  for (const char* p = buf; *p != '\0' && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9' && n < s.digits.size()) s.digits[n++] = static_cast<std::uint8_t>(*p - '0');
  }
  const char* e = std::strchr(buf, 'e');
  s.exp10 = e != nullptr ? std::atoi(e + 1) : 0;
  return s;
}

}  // namespace

// The value is mantissa x 2^shift exactly; as a whole number B = mantissa x
// 2^shift, or B = mantissa x 5^-shift with -shift decimal places, every
// digit of it can be written out and rounded once, to nearest with ties to
// even, as printf does. Presenting a packet formats twice, and printf's long
// double path is many times the size of this.
SignificantDigits ToSignificantDigits(long double magnitude) {
  constexpr int kLimbs = 8;           // B < 2^512
  constexpr int kMaxShift = 64 * 6;   // mantissa < 2^64, so B < 2^448
  constexpr int kMaxPlaces = 190;     // 5^190 < 2^442, so B < 2^506
  int exp2 = 0;
  const long double fraction = std::frexp(magnitude, &exp2);  // in [0.5, 1)
  if (!(fraction >= 0.5L && fraction < 1.0L)) return ByPrintf(magnitude);
  const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 64));
  const int shift = exp2 - 64;
  if (shift > kMaxShift || -shift > kMaxPlaces) return ByPrintf(magnitude);

  std::uint64_t limb[kLimbs] = {mantissa};  // least significant first
  int used = 1;
  int places = 0;
  if (shift > 0) {
    const int whole = shift / 64, bits = shift % 64;
    std::uint64_t carry = 0;
    for (int i = 0; i < used; ++i) {
      const std::uint64_t v = limb[i];
      limb[i] = bits == 0 ? v : (v << bits) | carry;
      carry = bits == 0 ? 0 : v >> (64 - bits);
    }
    if (carry != 0) limb[used++] = carry;
    for (int i = used - 1; i >= 0; --i) limb[i + whole] = limb[i];
    for (int i = 0; i < whole; ++i) limb[i] = 0;
    used += whole;
  } else if (shift < 0) {
    places = -shift;
    for (int left = places; left > 0;) {
      const int step = left < 27 ? left : 27;  // 5^27 < 2^64
      std::uint64_t factor = 1;
      for (int i = 0; i < step; ++i) factor *= 5;
      left -= step;
      std::uint64_t carry = 0;
      for (int i = 0; i < used; ++i) {
        const Wide v = static_cast<Wide>(limb[i]) * factor + carry;
        limb[i] = static_cast<std::uint64_t>(v);
        carry = static_cast<std::uint64_t>(v >> 64);
      }
      if (carry != 0) limb[used++] = carry;
    }
  }

  // Every digit of B, least significant first, 19 at a time.
  constexpr std::uint64_t kChunk = 10000000000000000000ull;  // 10^19
  std::uint8_t digits[kLimbs * 20 + 19];
  int count = 0;
  while (used > 0) {
    std::uint64_t rest = 0;
    for (int i = used - 1; i >= 0; --i) {
      const Wide v = (static_cast<Wide>(rest) << 64) | limb[i];
      limb[i] = static_cast<std::uint64_t>(v / kChunk);
      rest = static_cast<std::uint64_t>(v % kChunk);
    }
    while (used > 0 && limb[used - 1] == 0) --used;
    for (int i = 0; i < 19; ++i, rest /= 10) digits[count++] = static_cast<std::uint8_t>(rest % 10);
  }
  while (count > 1 && digits[count - 1] == 0) --count;

  SignificantDigits s;
  s.exp10 = count - 1 - places;
  const int top = count - 1;
  for (int i = 0; i < kSignificant; ++i) s.digits[i] = top - i >= 0 ? digits[top - i] : 0;
  if (count > kSignificant) {
    const int next = top - kSignificant;  // the first digit dropped
    bool up = digits[next] > 5;
    if (digits[next] == 5) {
      for (int i = next - 1; i >= 0 && !up; --i) up = digits[i] != 0;
      if (!up) up = s.digits[kSignificant - 1] % 2 != 0;  // a tie goes to even
    }
    if (up) {
      int i = kSignificant - 1;
      for (; i >= 0 && s.digits[i] == 9; --i) s.digits[i] = 0;
      if (i >= 0) {
        ++s.digits[i];
      } else {
        s.digits[0] = 1;
        ++s.exp10;
      }
    }
  }
  return s;
}

namespace {

// Decimal digits of |value| to 18 significant places: value = 0.d1d2.. x 10^(exp10+1).
struct Decimal {
  SignificantDigits s;  // its digits and exp10
  int count = 0;        // 0 for zero
};

Decimal ToDecimal(long double magnitude) {
  Decimal d;
  if (magnitude == 0.0L) return d;
  d.s = ToSignificantDigits(magnitude);
  d.count = kSignificant;
  return d;
}

// Digits kept by rounding: most significant first, the last one at the
// place rounded to. Callers keep at most kSignificant places, and a carry
// adds one: no allocation on every packet.
struct Kept {
  std::array<int, kSignificant + 1> digits{};
  int count = 0;
  std::size_t size() const { return static_cast<std::size_t>(count); }
  bool empty() const { return count == 0; }
  int operator[](std::size_t i) const { return digits[i]; }
  int back() const { return digits[static_cast<std::size_t>(count - 1)]; }
  void pop_back() { --count; }
};

// Rounds half away from zero, keeping places >= place. Returns the kept
// digits as a big-endian digit vector whose last digit sits at `place`.
Kept RoundAt(const Decimal& d, int place) {
  Kept kept;
  if (d.count == 0) return kept;
  const int keep = d.s.exp10 - place + 1;  // digits of d.s.digits that survive
  // Both callers round at or above the kSignificant-th significant digit.
  if (keep > kSignificant) std::abort();
  for (int i = 0; i < keep; ++i) kept.digits[static_cast<std::size_t>(i)] = i < d.count ? d.s.digits[static_cast<std::size_t>(i)] : 0;
  kept.count = keep > 0 ? keep : 0;
  const bool roundUp = keep >= 0 && keep < d.count && d.s.digits[static_cast<std::size_t>(keep)] >= 5;
  if (roundUp) {
    int i = kept.count - 1;
    for (; i >= 0; --i) {
      if (++kept.digits[static_cast<std::size_t>(i)] < 10) break;
      kept.digits[static_cast<std::size_t>(i)] = 0;
    }
    if (i < 0) {
      for (int j = kept.count; j > 0; --j) kept.digits[static_cast<std::size_t>(j)] = kept.digits[static_cast<std::size_t>(j - 1)];
      kept.digits[0] = 1;
      ++kept.count;
    }
  }
  // Strip leading zeros; an all-zero result is empty.
  int first = 0;
  while (first < kept.count && kept.digits[static_cast<std::size_t>(first)] == 0) ++first;
  if (first > 0) {
    for (int j = first; j < kept.count; ++j) kept.digits[static_cast<std::size_t>(j - first)] = kept.digits[static_cast<std::size_t>(j)];
    kept.count -= first;
  }
  return kept;
}

Text Scientific(bool negative, const Decimal& d, int precision, const FormatSettings& fs) {
  Kept m = RoundAt(d, d.s.exp10 - precision + 1);
  int exp10 = d.s.exp10;
  if (static_cast<int>(m.size()) > precision) ++exp10;  // carried into a new digit
  while (!m.empty() && m.back() == 0) m.pop_back();
  Text out;
  if (negative) out += u'-';
  out += static_cast<char16_t>(u'0' + (m.empty() ? 0 : m[0]));
  if (m.size() > 1) {
    out += fs.decimalSeparator;
    for (std::size_t i = 1; i < m.size(); ++i) out += static_cast<char16_t>(u'0' + m[i]);
  }
  out += u'E';
  out += IntToText(exp10);
  return out;
}

}  // namespace

Text FormatFloat(long double value, FloatStyle style, int precision, int digits, const FormatSettings& fs) {
  if (std::isnan(value)) return u"NAN";
  if (std::isinf(value)) return value < 0 ? u"-INF" : u"INF";
  if (precision < 1) precision = 1;
  if (precision > kSignificant) precision = kSignificant;
  if (digits < 0) digits = 0;
  if (digits > kSignificant) digits = kSignificant;

  const bool negative = std::signbit(value);
  const Decimal d = ToDecimal(std::fabs(value));

  // Round at the coarser of the precision-th significant digit and the digits-th decimal.
  int place = -digits;
  if (d.count != 0 && d.s.exp10 - precision + 1 > place) place = d.s.exp10 - precision + 1;
  const Kept kept = RoundAt(d, place);

  const int intDigits = static_cast<int>(kept.size()) + place;  // digits before the separator
  if (intDigits > precision) return Scientific(negative, d, precision, fs);

  // Digit at any place, zero outside what was kept.
  auto digitAt = [&](int p) -> int {
    const int idx = static_cast<int>(kept.size()) - 1 - (p - place);
    return (p >= place && idx >= 0 && idx < static_cast<int>(kept.size())) ? kept[static_cast<std::size_t>(idx)] : 0;
  };

  Text out;
  out.reserve(32);  // the longest readout and its separators, in one allocation
  if (negative && !kept.empty()) out += u'-';
  const int top = intDigits > 0 ? intDigits - 1 : 0;
  for (int p = top; p >= 0; --p) {
    out += static_cast<char16_t>(u'0' + digitAt(p));
    if (style == FloatStyle::Number && p > 0 && p % 3 == 0) out += fs.thousandSeparator;
  }
  if (digits > 0) {
    out += fs.decimalSeparator;
    for (int p = -1; p >= -digits; --p) out += static_cast<char16_t>(u'0' + digitAt(p));
  }
  return out;
}

}  // namespace tarvex
