#include "base/number_texts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <string_view>

namespace {

using namespace korvan;

// The number's text, as the host reads it.
std::string Text(double value, const RegionalSettings& settings) {
  return std::string(FormatNumber(value, settings).view());
}

RegionalSettings WithSeparator(char separator) {
  RegionalSettings settings;
  settings.decimalSeparator = separator;
  return settings;
}

const RegionalSettings kComma = WithSeparator(',');
const RegionalSettings kPoint = WithSeparator('.');

// The value read, or nullopt when the text does not convert.
std::optional<double> StrToFloat(std::string_view text, const RegionalSettings& settings) {
  double value = 0;
  const char* why = nullptr;
  if (ParseNumber(text, settings, value, why)) return value;
  return std::nullopt;
}

TEST(StrToInt, ReadsDecimalAndHexForms) {
  const struct {
    const char* text;
    int32_t value;
  } cases[] = {
      // clang-format off
      {"42", 42}, {" 42", 42}, {"   -0x10", -16}, {"+42", 42}, {"-42", -42}, {"0", 0}, {"-0", 0},
      {"007", 7}, {"$1F", 31}, {"$1f", 31}, {"x1F", 31}, {"X1F", 31}, {"0x1F", 31}, {"0X1f", 31},
      {"-$1F", -31}, {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1},
      {"$7FFFFFFF", 2147483647}, {"-$80000000", -2147483647 - 1}, {"000000000000000000042", 42},
      {"$a", 10}, {"0xaf", 175}, {"$A", 10},
      // clang-format on
  };
  for (const auto& c : cases) {
    int32_t value = -99;
    EXPECT_TRUE(ParseInteger(c.text, value)) << "'" << c.text << "'";
    EXPECT_EQ(value, c.value) << "'" << c.text << "'";
  }
}

TEST(StrToInt, RejectsAnythingElseAndLeavesTheValueAlone) {
  const char* cases[] = {
      // clang-format off
      "", " ", "42 ", "4 2", "3,0", "3.0", "2147483648", "-2147483649", "$80000000", "$FFFFFFFF",
      "0x", "$", "x", "+", "-", "--1", "+-1", "abc", "1e3", "\t42", "$G", "0x0x1",
      "99999999999999999999", " 42\n", "1_000", "$-1",
      // clang-format on
  };
  for (const char* text : cases) {
    int32_t value = -99;
    EXPECT_FALSE(ParseInteger(text, value)) << "'" << text << "' read as " << value;
    EXPECT_EQ(value, -99) << "'" << text << "'";
  }
}

// A text is a view into a longer buffer (the host's, or a number text's
// array): what follows it there, here a digit, is never read.
TEST(NumberTexts, NothingPastTheEndOfTheTextIsRead) {
  const struct {
    std::string_view text;
    std::optional<double> number;
  } numbers[] = {{{"1E-59", 4}, 1e-5},
                 {{"1,59", 3}, 1.5},
                 {{"17", 1}, 1},
                 {{"-5", 1}, {}},
                 {{"1E5", 2}, {}},
                 {{"1E+59", 4}, 1e5},
                 {{"1234567890123456,59", 18}, 1234567890123456.5},
                 {{"1234567890123456E5", 16}, 1234567890123456},
                 {{"1234567890123456,5", 16}, 1234567890123456}};
  for (const auto& c : numbers) EXPECT_EQ(StrToFloat(c.text, kComma), c.number) << c.text;
  const struct {
    std::string_view text;
    std::optional<int32_t> integer;
  } integers[] = {
      {{"$F9", 2}, 15}, {{"-19", 2}, -1}, {{"0x9", 2}, {}}, {{"+9", 1}, {}}, {{" -1", 1}, {}}};
  for (const auto& c : integers) {
    int32_t value = 0;
    EXPECT_EQ(ParseInteger(c.text, value) ? std::optional(value) : std::nullopt, c.integer)
        << c.text;
  }
}

TEST(IntToStr, WritesPlainSignedDecimal) {
  for (int32_t value : {0, 5, -7, 2147483647, -2147483647 - 1})
    EXPECT_EQ(std::string(IntegerText(value).view()), std::to_string(value));
}

// The format's turns and rounding; the digits against a correctly rounded
// oracle are float_digits_test's.
TEST(FloatToStr, GeneralFormatWithFifteenDigits) {
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double value;
    const char* text;  // with "," as the separator
  } cases[] = {
      // clang-format off
      {123456.78, "123456,78"}, {1500, "1500"}, {0.0001, "0,0001"}, {0.00001, "1E-5"},
      {1e15, "1E15"}, {-2.5, "-2,5"}, {-0.0, "0"}, {999999999999999, "999999999999999"},
      {9.999999999999999e14, "1E15"}, {9.999999999999999e-5, "0,0001"} /* rounded up */,
      {0.1 + 0.2, "0,3"}, {2.0 / 3, "0,666666666666667"}, {1.5e-5, "1,5E-5"},
      {-1.23456789012345e-100, "-1,23456789012345E-100"}, {inf, "INF"}, {-inf, "-INF"},
      {-std::numeric_limits<double>::quiet_NaN(), "-NAN"},
      // clang-format on
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Text(c.value, kComma), c.text) << "value " << c.value;
    std::string withPoint = c.text;
    for (char& ch : withPoint) ch = ch == ',' ? '.' : ch;
    EXPECT_EQ(Text(c.value, kPoint), withPoint) << "value " << c.value;
  }
}

// Money values (four decimals or fewer) are made exact: the volume rules
// take their decimal as it is instead of reading the text back.
TEST(FloatToStr, MoneyValuesCarryTheirDecimal) {
  const struct {
    double value;
    uint64_t digits;
    int exponent;
  } cases[] = {{5.799, 5799, -3}, {71.59, 7159, -2}, {-2.5, 25, -1},
               {0.0001, 1, -4},   {1500, 15, 2},     {99999999999.9999, 999999999999999, -4}};
  for (const auto& c : cases) {
    const NumberText made = FormatNumber(c.value, kComma);
    uint64_t digits = made.decimal.digits;
    int exponent = made.decimal.exponent;
    for (; digits != 0 && digits % 10 == 0; digits /= 10) ++exponent;
    EXPECT_TRUE(made.exact && digits == c.digits && exponent == c.exponent)
        << c.value << ": got exact " << made.exact << ", " << digits << "e" << exponent
        << "; wanted exact, " << c.digits << "e" << c.exponent;
  }
}

TEST(StrToFloat, ReadsTheRegionalForm) {
  const struct {
    const char* text;  // with "," as the separator
    double value;
  } cases[] = {
      {"3,459", 3.459}, {" 3,459  ", 3.459},
      {"+1", 1},        {"-1,5", -1.5},
      {",5", 0.5},      {"5,", 5},
      {"1E3", 1000},    {"1e-3", 0.001},
      {"1,5E+2", 150},  {"  -0,0001e0  ", -0.0001},
      {"007", 7},       {"0", 0},
      {"1E-400", 0},    {"1,79769313486231E308", 1.79769313486231e308},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StrToFloat(c.text, kComma), c.value) << "'" << c.text << "'";
    std::string withPoint = c.text;
    for (char& ch : withPoint) ch = ch == ',' ? '.' : ch;
    EXPECT_EQ(StrToFloat(withPoint, kPoint), c.value) << "'" << withPoint << "'";
  }
}

// Out of range is told apart by where the digits put the value, not by the
// exponent alone.
TEST(StrToFloat, OverflowFailsAndUnderflowGivesZero) {
  const std::string zeros(400, '0');
  EXPECT_EQ(StrToFloat("0," + zeros + "1E+400", kComma), 0.1);
  EXPECT_EQ(StrToFloat("0," + zeros + "1E+710", kComma), std::nullopt);
  EXPECT_EQ(StrToFloat("1" + zeros + "E-730", kComma), 0);
  EXPECT_EQ(StrToFloat("1" + zeros + "E-90", kComma), std::nullopt);
  // Zeros after the significant digits change nothing, before them they do.
  EXPECT_EQ(StrToFloat("1," + zeros + "E+309", kComma), std::nullopt);
  EXPECT_EQ(StrToFloat("0,0" + zeros + "1E+309", kComma), 1e-93);
  EXPECT_EQ(StrToFloat("0," + zeros + "1E+2", kComma), 0);
  EXPECT_TRUE(std::signbit(StrToFloat("-1E-400", kComma).value_or(1))) << "wanted -0";
  EXPECT_EQ(StrToFloat("1E-99999999999999999999", kComma), 0);
  EXPECT_EQ(StrToFloat("-1E99999999999999999999", kComma), std::nullopt);
}

TEST(StrToFloat, RejectsMalformedTexts) {
  const char* cases[] = {
      "",      " ",     ",",      "-",    "+",   "E5",  "1E",    "1E+",     "1,2,3",
      "1 000", "1e5,0", "0x10",   "$10",  "INF", "NAN", "1,5 x", "\t1",     "1,5\n",
      "--1",   "1E400", "-1E400", "1,5e", "e",   "1.5", "1,5.",  "1,5E--1", "1,79769313486232E308"};
  for (const char* text : cases) {
    EXPECT_EQ(StrToFloat(text, kComma), std::nullopt) << "'" << text << "'";
  }
  EXPECT_EQ(StrToFloat("3,459", kPoint), std::nullopt);
  EXPECT_EQ(StrToFloat("3.459", kPoint), 3.459);
}

TEST(StrToFloat, SaysWhyATextIsNotANumber) {
  double value = -99;
  const char* why = nullptr;
  EXPECT_FALSE(ParseNumber("3.459", kComma, value, why));
  EXPECT_EQ(value, -99);
  EXPECT_STREQ(why, "is not a valid floating point value");
  EXPECT_FALSE(ParseNumber("1E400", kComma, value, why));
  EXPECT_STREQ(why, "is out of the floating point range");
}

// Texts of 1 to 20 significant digits, the separator anywhere, with or
// without sign, leading zeros and exponent: each reads as the double nearest
// to it, as the C library's correctly rounded strtod gives it (infinity
// there: out of range here). From 16 digits on, reading the digits as one
// double and dividing would round twice.
TEST(StrToFloat, ReadsEveryTextAsTheNearestDouble) {
  std::mt19937_64 random(20261208);
  int mismatches = 0;
  for (int i = 0; i < 60000 && mismatches < 10; ++i) {
    std::string digits(1 + random() % 20, '0');
    for (char& d : digits) d = static_cast<char>('0' + random() % 10);
    if (random() % 4 == 0) digits.insert(0, random() % 3 + 1, '0');
    const size_t point = random() % (digits.size() + 1);
    const RegionalSettings& settings = random() % 2 ? kComma : kPoint;
    std::string text = (random() % 3 == 0 ? "-" : "") + digits.substr(0, point) +
                       settings.decimalSeparator + digits.substr(point);
    const int exponentRange = random() % 2 ? 41 : 661;  // near 1, or to the ends of the range
    if (random() % 3 == 0)
      text += "E" + std::to_string(int(random() % exponentRange) - exponentRange / 2);
    std::string plain = text;
    for (char& c : plain) c = c == settings.decimalSeparator ? '.' : c;
    const double nearest = std::strtod(plain.c_str(), nullptr);  // the C library's reading
    const std::optional<double> wanted =
        std::isinf(nearest) ? std::nullopt : std::optional<double>(nearest);
    const std::optional<double> got = StrToFloat(text, settings);
    if (got != wanted) {
      ++mismatches;
      ADD_FAILURE() << "'" << text << "' read as " << std::hexfloat << (got ? *got : std::nan(""))
                    << ", wanted " << (wanted ? *wanted : std::nan(""));
    }
  }
}

}  // namespace
