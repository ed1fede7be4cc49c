// FloatToStr against the routine it replaced, which took the slow correctly
// rounded path for every value. KORVAN_DIGIT_CASES sets how many random
// values each family gets (the suite's default keeps it to seconds under the
// sanitizers; the full proof runs a million or more).
#include "base/number_texts.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

namespace {

// The former FloatToStr, kept as it was: to_chars at 15 significant digits.
std::string ReferenceFloatToStr(double value, const RegionalSettings& settings) {
  if (std::isnan(value)) return std::signbit(value) ? "-NAN" : "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
  const std::string_view scientific(buffer, result.ptr - buffer);
  const bool negative = scientific[0] == '-';
  const size_t lead = negative ? 1 : 0;
  const size_t ePos = scientific.find('e');
  std::string digits(1, scientific[lead]);
  digits.append(scientific.substr(lead + 2, ePos - lead - 2));
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  int exponent = 0;
  const char* expBegin = scientific.data() + ePos + 1;
  if (*expBegin == '+') ++expBegin;
  std::from_chars(expBegin, scientific.data() + scientific.size(), exponent);
  std::string text = negative ? "-" : "";
  const int integerDigits = exponent + 1;
  if (integerDigits >= -3 && integerDigits <= 15) {
    if (integerDigits <= 0) {
      text += '0';
      text += settings.decimalSeparator;
      text.append(-integerDigits, '0');
      text += digits;
    } else if (digits.size() <= static_cast<size_t>(integerDigits)) {
      text += digits;
      text.append(integerDigits - digits.size(), '0');
    } else {
      text.append(digits, 0, integerDigits);
      text += settings.decimalSeparator;
      text.append(digits, integerDigits, std::string::npos);
    }
  } else {
    text += digits[0];
    if (digits.size() > 1) {
      text += settings.decimalSeparator;
      text.append(digits, 1, std::string::npos);
    }
    text += 'E';
    text += std::to_string(exponent);
  }
  return text;
}

long long CasesPerFamily() {
  const char* text = std::getenv("KORVAN_DIGIT_CASES");
  return text ? std::atoll(text) : 30000;
}

class FloatToStrDigits : public testing::Test {
 protected:
  RegionalSettings settings_;
  long long compared_ = 0;
  long long mismatches_ = 0;

  void SetUp() override { settings_.decimalSeparator = ','; }
  void TearDown() override { std::printf("compared %lld values\n", compared_); }

  void Compare(double value) {
    ++compared_;
    const std::string got = FloatToStr(value, settings_);
    const std::string wanted = ReferenceFloatToStr(value, settings_);
    if (got != wanted && ++mismatches_ <= 20) {
      ADD_FAILURE() << "FloatToStr(" << std::hexfloat << value << ") got " << got << ", wanted " << wanted;
    }
  }
  // The text read back: the same double as from_chars gives for it.
  void CompareReadBack(double value) {
    const std::string text = FloatToStr(value, settings_);
    std::string plain = text;
    for (char& c : plain) c = c == ',' ? '.' : c == 'E' ? 'e' : c;
    double wanted = 0;
    std::from_chars(plain.data(), plain.data() + plain.size(), wanted);
    const double got = StrToFloat(text, settings_);
    if (std::memcmp(&got, &wanted, sizeof got) != 0 && ++mismatches_ <= 20) {
      ADD_FAILURE() << "StrToFloat(\"" << text << "\") got " << std::hexfloat << got << ", wanted " << wanted;
    }
  }
  void CompareBothSigns(double value) {
    Compare(value);
    Compare(-value);
  }
};

TEST_F(FloatToStrDigits, BoundaryValues) {
  const double limits[] = {std::numeric_limits<double>::min(),        std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::epsilon(),
                           std::numeric_limits<double>::infinity(),   std::numeric_limits<double>::quiet_NaN(),
                           0.0};
  for (double value : limits) {
    for (int step = -3; step <= 3; ++step) {
      double near = value;
      for (int i = 0; i < std::abs(step); ++i) near = std::nextafter(near, step < 0 ? 0.0 : HUGE_VAL);
      CompareBothSigns(near);
    }
  }
  // Each power of ten (the fixed/scientific turn at 1E-4 and 1E15 among them)
  // and the halfway points of the 15th and 16th digit, with their neighbours.
  for (int e = -325; e <= 308; ++e) {
    for (const char* mantissa : {"1", "9.99999999999999", "9.999999999999995", "1.000000000000005",
                                 "1.00000000000001", "5", "1.5", "2.5000000000000005"}) {
      const std::string text = std::string(mantissa) + "e" + std::to_string(e);
      double value = 0;
      std::from_chars(text.data(), text.data() + text.size(), value);
      for (int i = 0; i < 3; ++i) {
        CompareBothSigns(value);
        CompareBothSigns(std::nextafter(value, 0.0));
        value = std::nextafter(value, HUGE_VAL);
      }
    }
  }
  EXPECT_EQ(mismatches_, 0);
}

TEST_F(FloatToStrDigits, RandomValues) {
  const long long cases = CasesPerFamily();
  std::mt19937_64 random(20261207);
  std::uniform_int_distribution<int> digitCount(1, 17), places(0, 6), exponent(-20, 20);
  for (long long i = 0; i < cases; ++i) {
    // Any bit pattern: mostly 16 and 17 digits, subnormals, NaNs.
    uint64_t bits = random();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    Compare(value);
    // Money, volumes and totalizers: a few decimals.
    const double money = static_cast<double>(random() % 100000000000ull) / std::pow(10.0, places(random));
    Compare(money);
    CompareReadBack(money);
    if (std::isfinite(value)) CompareReadBack(value);
    // 1 to 17 significant digits at any scale in range of the formats' turn.
    const int n = digitCount(random);
    std::string text = std::to_string(1 + random() % 9);
    for (int d = 1; d < n; ++d) text += static_cast<char>('0' + random() % 10);
    text += "e" + std::to_string(exponent(random));
    std::from_chars(text.data(), text.data() + text.size(), value);
    CompareBothSigns(value);
  }
  EXPECT_EQ(mismatches_, 0);
}

}  // namespace
