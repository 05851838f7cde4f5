#include "core/number_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <utility>

#include "core/text.h"
#include "monitor/presentation.h"

namespace tarvex {
namespace {

const FormatSettings kPointDecimal{u",", u"."};
const FormatSettings kCommaDecimal{u".", u","};

// Swaps ',' and '.' so one expected text serves both separator pairs.
Text Swapped(Text t) {
  for (char16_t& c : t) c = c == u',' ? u'.' : c == u'.' ? u',' : c;
  return t;
}

struct Case {
  long double value;
  FloatStyle style;
  int precision, digits;
  const char16_t* expected;  // with ',' thousands and '.' decimal
};

TEST(FormatFloat, Examples) {
  const Case cases[] = {
      {12.3456L, FloatStyle::Number, 8, 4, u"12.3456"},
      {-5.0L, FloatStyle::Number, 8, 3, u"-5.000"},
      {1234.5678L, FloatStyle::Number, 8, 4, u"1,234.5678"},
      {12345.6789L, FloatStyle::Number, 8, 4, u"12,345.6790"},
      {0.0025L, FloatStyle::Number, 8, 3, u"0.003"},
      {-0.0025L, FloatStyle::Number, 8, 3, u"-0.003"},
      {0.0L, FloatStyle::Number, 8, 0, u"0"},
      {-0.0L, FloatStyle::Number, 8, 0, u"0"},
      {-0.0004L, FloatStyle::Number, 8, 3, u"0.000"},
      {54760833.0L, FloatStyle::Number, 8, 3, u"54,760,833.000"},
      {10.752688L, FloatStyle::Number, 8, 1, u"10.8"},
      {10.0L, FloatStyle::Number, 8, 1, u"10.0"},
      {0.0L, FloatStyle::Fixed, 3, 1, u"0.0"},
      {0.5L, FloatStyle::Fixed, 3, 1, u"0.5"},
      {5.0L, FloatStyle::Fixed, 3, 1, u"5.0"},
      {25.5L, FloatStyle::Fixed, 3, 1, u"25.5"},
      {1234.5L, FloatStyle::Fixed, 8, 1, u"1234.5"},
      {999.95L, FloatStyle::Number, 8, 1, u"1,000.0"},  // carry into a new digit
      {0.05L, FloatStyle::Number, 8, 1, u"0.1"},       // half away from zero
      {-0.05L, FloatStyle::Number, 8, 1, u"-0.1"},
      {123456789.0L, FloatStyle::Number, 8, 0, u"1.2345679E8"},  // more than 8 integer digits
      {99999999.5L, FloatStyle::Number, 8, 0, u"1E8"},
      // At the full 18 digits the formatter keeps.
      {0.0L, FloatStyle::Fixed, 18, 18, u"0.000000000000000000"},
      {0.5L, FloatStyle::Number, 8, 0, u"1"},  // rounded up from no kept digit
      {123456789012345678.0L, FloatStyle::Fixed, 18, 0, u"123456789012345678"},
      {999999999999999999.9L, FloatStyle::Number, 18, 1, u"1E18"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatFloat(c.value, c.style, c.precision, c.digits, kPointDecimal), c.expected)
        << static_cast<double>(c.value);
    EXPECT_EQ(FormatFloat(c.value, c.style, c.precision, c.digits, kCommaDecimal), Swapped(c.expected))
        << static_cast<double>(c.value);
  }
}

// The readout's arithmetic feeding the formatter: counts to millimetres.
TEST(FormatFloat, ReadoutValues) {
  struct Readout {
    std::int32_t position, zero;
    std::uint8_t resolution, decimals;
    const char16_t* expected;
  };
  const Readout cases[] = {
      {123456, 0, 1, 4, u"12.3456"},
      {-5000, 0, 10, 3, u"-5.000"},
      {12345678, 0, 1, 4, u"1,234.5678"},
      {123456789, 0, 1, 4, u"12,345.6790"},
      {1, 0, 25, 3, u"0.003"},
      {-1, 0, 25, 3, u"-0.003"},
      {-77, 0, 0, 0, u"0"},
      {INT32_MAX, -1, 255, 3, u"54,760,833.000"},   // difference of 2^31 counts
      {INT32_MIN, 0, 255, 3, u"-54,760,833.000"},
      {INT32_MIN, INT32_MAX, 1, 4, u"-429,496.7300"},  // difference needs 64 bits; 8 digits
      {5000, 5000, 5, 4, u"0.0000"},
  };
  for (const Readout& r : cases) {
    const long double mm = PositionMillimetres(r.position, r.zero, r.resolution);
    EXPECT_EQ(FormatFloat(mm, FloatStyle::Number, 8, r.decimals, kPointDecimal), r.expected) << r.position;
    EXPECT_EQ(FormatFloat(mm, FloatStyle::Number, 8, r.decimals, kCommaDecimal), Swapped(r.expected));
  }
}

TEST(FormatFloat, MultiCharacterSeparators) {
  const FormatSettings fs{u"\u202F", u","};
  EXPECT_EQ(FormatFloat(1234567.25L, FloatStyle::Number, 8, 2, fs), u"1\u202F234\u202F567,30");
}

TEST(FormatFloat, NotANumberAndInfinity) {
  EXPECT_EQ(FormatFloat(std::numeric_limits<long double>::quiet_NaN(), FloatStyle::Number, 8, 1, kPointDecimal),
            u"NAN");
  EXPECT_EQ(FormatFloat(-std::numeric_limits<long double>::infinity(), FloatStyle::Number, 8, 1, kPointDecimal),
            u"-INF");
}

// The digits are written without printf; they must be printf's, to the last
// one: every readout of every resolution near zero and at the extremes,
// random values across the exact path's range and beyond it (printf's own
// answer there), and ties to even at the 18th digit.
TEST(FormatFloat, SignificantDigitsAreThoseOfPrintf) {
  const auto check = [](long double x) {
    char expected[64];
    std::snprintf(expected, sizeof expected, "%.17Le", x);
    const SignificantDigits s = ToSignificantDigits(x);
    std::string got(1, static_cast<char>('0' + s.digits[0]));
    got += '.';
    for (int i = 1; i < SignificantDigits::kCount; ++i) got += static_cast<char>('0' + s.digits[i]);
    char exponent[16];
    std::snprintf(exponent, sizeof exponent, "e%+03d", s.exp10);
    got += exponent;
    return got == expected ? ::testing::AssertionSuccess()
                           : ::testing::AssertionFailure() << "printf " << expected << ", ours " << got;
  };
  for (const int resolution : {1, 2, 5, 10, 25, 50, 100, 127, 255}) {
    for (std::int32_t d = 1; d < 4000; d += 3) {
      const std::pair<std::int32_t, std::int32_t> readouts[] = {{d, 0}, {INT32_MAX - d, 0}, {INT32_MAX - d, INT32_MIN}};
      for (const auto& [position, zero] : readouts) {
        const long double mm = PositionMillimetres(position, zero, static_cast<std::uint8_t>(resolution));
        ASSERT_TRUE(check(mm)) << position << " at " << resolution;
      }
    }
  }
  std::mt19937_64 random(7);
  for (int i = 0; i < 200000; ++i) {
    const std::uint64_t mantissa = random() | std::uint64_t{1} << 63;
    const int exp2 = static_cast<int>(random() % 560) - 280;
    ASSERT_TRUE(check(std::ldexp(static_cast<long double>(mantissa), exp2 - 64)));
  }
  for (const long double tie : {100000000000000000.5L, 100000000000000001.5L, 999999999999999999.5L,
                                9999999999999999995.0L, 0.5L, 1e-30L, 1e30L}) {
    EXPECT_TRUE(check(tie));
  }
}

}  // namespace
}  // namespace tarvex
