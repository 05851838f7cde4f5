#pragma once
// Decimal text of a real number, in the two styles the windows use.

#include <array>
#include <cstdint>

#include "core/types.h"

namespace tarvex {

struct FormatSettings {
  Text thousandSeparator = u",";
  Text decimalSeparator = u".";
};

enum class FloatStyle {
  Number,  // thousands separator between groups of three integer digits
  Fixed,   // no thousands separator
};

// Value in 80-bit extended precision where the platform has it. First taken
// to 18 significant digits, then rounded half away from zero at the coarser
// of the precision-th significant digit and the digits-th decimal; more than
// `precision` integer digits switch to scientific notation.
Text FormatFloat(long double value, FloatStyle style, int precision, int digits,
                 const FormatSettings& settings);

// The 18 significant decimal digits of a positive finite value, rounded to
// nearest with ties to even: what printf("%.17Le") writes.
struct SignificantDigits {
  static constexpr int kCount = 18;
  std::array<std::uint8_t, kCount> digits{};  // most significant first
  int exp10 = 0;                             // power of ten of digits[0]
};
SignificantDigits ToSignificantDigits(long double magnitude);

}  // namespace tarvex
