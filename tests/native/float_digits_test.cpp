// FloatToStr against the C library's correctly rounded "%.15G" on over a
// million values: limits, every power of ten with the halfway points of the
// 15th and 16th digit, and random values. KORVAN_DIGIT_CASES sets how many
// random rounds (six values each) run.
#include "base/number_texts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace {

using namespace korvan;

// The number's text, as the host reads it.
std::string Text(double value, const RegionalSettings& settings) {
  return std::string(FormatNumber(value, settings).view());
}

// FloatToStr's format from printf: 15 significant digits without trailing
// zeros, scientific below 1E-4 and from 1E15, the exponent as "E-5".
std::string Reference(double value) {
  if (std::isnan(value)) return std::signbit(value) ? "-NAN" : "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%.15G", value);
  std::string text = buffer;
  std::replace(text.begin(), text.end(), '.', ',');
  const size_t e = text.find('E');
  if (e != std::string::npos)
    text = text.substr(0, e + 1) + std::to_string(std::atoi(&text[e + 1]));
  return text;
}

double Parse(const std::string& text) {
  double value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

TEST(FloatToStrDigits, AgreesWithTheCorrectlyRoundedText) {
  RegionalSettings settings;
  settings.decimalSeparator = ',';
  long long compared = 0, mismatches = 0;
  auto compare = [&](double value) {
    for (const double v : {value, -value}) {
      ++compared;
      const std::string got = Text(v, settings), wanted = Reference(v);
      if (got != wanted && ++mismatches <= 20)
        ADD_FAILURE() << "Text(" << std::hexfloat << v << ") got " << got << ", wanted " << wanted;
    }
  };
  using limits = std::numeric_limits<double>;
  for (double value : {limits::min(), limits::max(), limits::denorm_min(), limits::epsilon(),
                       limits::infinity(), limits::quiet_NaN(), 0.0}) {
    double down = value, up = value;
    for (int i = 0; i <= 3; ++i) {
      compare(down);
      compare(up);
      down = std::nextafter(down, 0.0);
      up = std::nextafter(up, HUGE_VAL);
    }
  }
  for (int e = -325; e <= 308; ++e) {
    for (const char* mantissa : {"1", "9.99999999999999", "9.999999999999995", "1.000000000000005",
                                 "1.00000000000001", "5", "1.5", "2.5000000000000005"}) {
      double value = Parse(std::string(mantissa) + "e" + std::to_string(e));
      for (int i = 0; i < 3; ++i, value = std::nextafter(value, HUGE_VAL)) {
        compare(value);
        compare(std::nextafter(value, 0.0));
      }
    }
  }
  const char* rounds = std::getenv("KORVAN_DIGIT_CASES");
  std::mt19937_64 random(20261207);
  std::uniform_int_distribution<int> digitCount(1, 17), places(0, 6), exponent(-20, 20);
  for (long long i = 0, n = rounds ? std::atoll(rounds) : 170000; i < n; ++i) {
    // Any bit pattern: mostly 16 and 17 digits, subnormals, NaNs.
    const uint64_t bits = random();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    compare(value);
    // Money, volumes and totalizers: a few decimals.
    compare(static_cast<double>(random() % 100000000000ull) / std::pow(10.0, places(random)));
    // 1 to 17 significant digits about the formats' turn.
    std::string text = std::to_string(1 + random() % 9);
    for (int d = digitCount(random); d > 1; --d) text += static_cast<char>('0' + random() % 10);
    compare(Parse(text + "e" + std::to_string(exponent(random))));
  }
  std::printf("compared %lld values\n", compared);
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
