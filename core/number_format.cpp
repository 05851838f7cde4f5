#include "core/number_format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

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

// Decimal digits of |value| to 18 significant places: value = 0.d1d2.. x 10^(exp10+1).
struct Decimal {
  std::vector<int> digits;  // most significant first; empty for zero
  int exp10 = 0;            // place of digits[0]
};

Decimal ToDecimal(long double magnitude) {
  Decimal d;
  if (magnitude == 0.0L) return d;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*Le", kSignificant - 1, magnitude);
  for (const char* p = buf; *p != '\0' && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') d.digits.push_back(*p - '0');
  }
  const char* e = std::strchr(buf, 'e');
  d.exp10 = e != nullptr ? std::atoi(e + 1) : 0;
  return d;
}

// Rounds half away from zero, keeping places >= place. Returns the kept
// digits as a big-endian digit vector whose last digit sits at `place`.
std::vector<int> RoundAt(const Decimal& d, int place) {
  std::vector<int> kept;
  const int keep = d.exp10 - place + 1;  // digits of d.digits that survive
  for (int i = 0; i < keep; ++i) kept.push_back(i < static_cast<int>(d.digits.size()) ? d.digits[i] : 0);
  const bool roundUp = keep >= 0 && keep < static_cast<int>(d.digits.size()) && d.digits[keep] >= 5;
  if (roundUp) {
    int i = static_cast<int>(kept.size()) - 1;
    for (; i >= 0; --i) {
      if (++kept[i] < 10) break;
      kept[i] = 0;
    }
    if (i < 0) kept.insert(kept.begin(), 1);
  }
  // Strip leading zeros; an all-zero result is empty.
  std::size_t first = 0;
  while (first < kept.size() && kept[first] == 0) ++first;
  kept.erase(kept.begin(), kept.begin() + static_cast<long>(first));
  return kept;
}

Text Scientific(bool negative, const Decimal& d, int precision, const FormatSettings& fs) {
  std::vector<int> m = RoundAt(d, d.exp10 - precision + 1);
  int exp10 = d.exp10;
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
  if (!d.digits.empty() && d.exp10 - precision + 1 > place) place = d.exp10 - precision + 1;
  const std::vector<int> kept = RoundAt(d, place);

  const int intDigits = static_cast<int>(kept.size()) + place;  // digits before the separator
  if (intDigits > precision) return Scientific(negative, d, precision, fs);

  // Digit at any place, zero outside what was kept.
  auto digitAt = [&](int p) -> int {
    const int idx = static_cast<int>(kept.size()) - 1 - (p - place);
    return (p >= place && idx >= 0 && idx < static_cast<int>(kept.size())) ? kept[idx] : 0;
  };

  Text out;
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
