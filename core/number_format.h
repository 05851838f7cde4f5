#pragma once
// Decimal text of a real number, in the two styles the windows use.

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

}  // namespace tarvex
