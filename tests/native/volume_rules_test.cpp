#include "deliveries/volume_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <random>

#include "log_capture.h"

namespace {

using namespace korvan;

// The number's text, as the host reads it.
std::string Text(double value, const RegionalSettings& settings) {
  return std::string(FormatNumber(value, settings).view());
}

using Lines = std::vector<std::string>;

TEST(CutToDecimals, CutsTheDecimalTheValueWasWrittenAs) {
  const struct {
    int16_t casas;
    double valor;
    int64_t expected;  // ten-thousandths
  } cases[] = {
      // clang-format off
      {3, 12.3456, 123450}, {2, 7.999, 79900}, {3, 0.0004, 0}, {3, -1.23456, -12340},
      {3, -0.0004, 0}, {3, 0, 0}, {3, 1e14, 1000000000000000000}, {3, 4.9e-324, 0},
      // Rounded at the eleventh decimal first (a tie at the twelfth away from
      // zero); eleven decimals have nothing to round.
      {3, 0.8339999999999, 8340}, {3, 0.833999999995, 8340}, {3, -0.833999999995, -8340},
      {3, 0.83399999999, 8330}, {3, 0.833999999994, 8330}, {3, 9.999999999999, 100000},
      // Decimals that binary has only approximately: 12.3449999..., 1.00499999...
      {3, 12.345, 123450}, {2, 0.29, 2900}, {2, 1.13, 11300}, {3, 1.005, 10050},
      {2, 4.35, 43500}, {2, 100000.07, 1000000700},
      // No decimals: rounded at the first; clamped to 0..10.
      {0, 7.94, 70000}, {0, 7.96, 80000}, {-1, 5.5, 50000}, {11, 1.23456789012, 12346},
      // Past four decimals, ten-thousandths with ties to even; the tenth
      // decimal breaks a tie, an eleventh is cut before.
      {5, 1.00005, 10000}, {5, 1.00015, 10002}, {10, 1.0000500001, 10001},
      {11, 1.00005000001, 10000},
      // One to eleven decimals after a whole part: the split at the point.
      {3, 9876.5, 98765000}, {3, 9876.54, 98765400}, {3, 9876.543, 98765430},
      {3, 9876.5432, 98765430}, {3, 9876.54321, 98765430}, {3, 9876.543219, 98765430},
      {3, 9876.5432199, 98765430}, {3, 9876.54321999, 98765430},
      {3, 9876.543219999, 98765430}, {3, 9876.5432199999, 98765430},
      {3, 9876.54321999999, 98765430},
      // Five to ten decimals kept: ten-thousandths, a tie to the even one.
      {5, 9876.54325, 98765432}, {6, 9876.54325, 98765432}, {7, 9876.54325, 98765432},
      {8, 9876.54325, 98765432}, {9, 9876.54325, 98765432}, {10, 9876.54325, 98765432},
      // Eleven to fifteen decimals next to a whole number, on either side.
      {3, 8.99999999991, 89990}, {3, 8.999999999991, 89990}, {3, 8.9999999999991, 90000},
      {3, 8.99999999999991, 90000}, {3, 8.999999999999991, 90000}, {3, 9.00000000001, 90000},
      {3, 9.000000000001, 90000}, {3, 9.0000000000001, 90000}, {3, 9.00000000000001, 90000},
      {3, 9.000000000000002, 90000}, {3, 123.83399999999551, 1238340},
      // clang-format on
  };
  const RegionalSettings settings;
  for (const auto& c : cases) {
    EXPECT_EQ(CutToDecimals(c.casas, c.valor), c.expected)
        << "CutToDecimals(" << c.casas << ", " << c.valor << ")";
    EXPECT_EQ(CutToDecimals(c.casas, FormatNumber(c.valor, settings)), c.expected)
        << "CutToDecimals(" << c.casas << ", the text of " << c.valor << ")";
  }
}

// CutToDecimals worked out on the value's shortest decimal text, digit by
// digit: rounded half away from zero at the eleventh decimal (the first for
// no decimals), cut to `decimals` (0..10), then in ten-thousandths with ties
// to even.
std::optional<int64_t> CutOnTheText(int decimals, double value) {
  char chars[400];
  const auto written =
      std::to_chars(chars, chars + sizeof chars, std::fabs(value), std::chars_format::fixed);
  const std::string text(chars, static_cast<size_t>(written.ptr - chars));
  const size_t point = std::min(text.find('.'), text.size());
  const std::string fraction = point < text.size() ? text.substr(point + 1) : "";
  const int places = std::clamp(decimals, 0, 10), roundAt = places == 0 ? 1 : 11;
  __int128 n = 0;
  for (size_t i = 0; i < point; ++i) n = n * 10 + (text[i] - '0');
  for (int i = 0; i < roundAt; ++i) n = n * 10 + (i < int(fraction.size()) ? fraction[i] - '0' : 0);
  if (int(fraction.size()) > roundAt && fraction[roundAt] >= '5') ++n;
  for (int i = places; i < roundAt; ++i) n /= 10;
  if (places <= 4) {
    for (int i = places; i < 4; ++i) n *= 10;
  } else {
    __int128 unit = 1;
    for (int i = 4; i < places; ++i) unit *= 10;
    const __int128 quotient = n / unit, twiceRest = 2 * (n % unit);
    n = quotient + (twiceRest > unit || (twiceRest == unit && quotient % 2 == 1) ? 1 : 0);
  }
  const bool negative = std::signbit(value);
  if (n > (negative ? __int128{1} << 63 : (__int128{1} << 63) - 1)) return std::nullopt;
  return static_cast<int64_t>(negative ? -n : n);
}

// Values of every length of decimals, near ties at every place, and every
// clamp of the decimals.
TEST(CutToDecimals, AgreesWithTheCutWorkedOutOnTheText) {
  std::mt19937_64 random(20261208);
  int mismatches = 0;
  for (int i = 0; i < 200000 && mismatches < 10; ++i) {
    const int decimals = static_cast<int>(random() % 15) - 2;
    std::string digits(1 + random() % 17, '0');
    for (char& d : digits) d = static_cast<char>('0' + random() % 10);
    if (random() % 2 == 0) {  // a run of nines or zeros, then one digit
      const char fill = random() % 2 ? '9' : '0';
      for (size_t k = 1 + random() % digits.size(); k < digits.size(); ++k) digits[k] = fill;
      digits.back() = static_cast<char>('0' + random() % 10);
    }
    const int exponent = static_cast<int>(random() % 30) - 16 - static_cast<int>(digits.size());
    const std::string written = (random() % 2 ? "-" : "") + digits + "e" + std::to_string(exponent);
    double value = 0;
    std::from_chars(written.data() + (written[0] == '-'), written.data() + written.size(), value);
    if (written[0] == '-') value = -value;
    const std::optional<int64_t> got = CutToDecimals(static_cast<int16_t>(decimals), value);
    const std::optional<int64_t> wanted = CutOnTheText(decimals, value);
    if (got != wanted) {
      ++mismatches;
      ADD_FAILURE() << "CutToDecimals(" << decimals << ", " << written << ") got "
                    << (got ? std::to_string(*got) : "nothing") << ", wanted "
                    << (wanted ? std::to_string(*wanted) : "nothing");
    }
    const std::optional<int64_t> fromText =
        CutToDecimals(static_cast<int16_t>(decimals), FormatNumber(value, RegionalSettings()));
    if (fromText != wanted) {
      ++mismatches;
      ADD_FAILURE() << "CutToDecimals(" << decimals << ", the text of " << written << ") got "
                    << (fromText ? std::to_string(*fromText) : "nothing") << ", wanted "
                    << (wanted ? std::to_string(*wanted) : "nothing");
    }
  }
}

TEST(CutToDecimals, OutOfTheFixedPointRangeGivesNothing) {
  EXPECT_EQ(CutToDecimals(3, 1e15), std::nullopt);
  EXPECT_EQ(CutToDecimals(3, -1e300), std::nullopt);
  EXPECT_EQ(CutToDecimals(3, std::numeric_limits<double>::infinity()), std::nullopt);
  EXPECT_EQ(CutToDecimals(3, std::numeric_limits<double>::quiet_NaN()), std::nullopt);
  EXPECT_EQ(OutOfFixedPointRange(1e15), "1e+15 is out of the fixed-point range");
  EXPECT_EQ(CutToDecimals(0, 922337203685477.0), 9223372036854770000);
}

TEST(RoundToDecimals, RoundsWithABiasOfNineHundredthsOfTheLastPlace) {
  const struct {
    int16_t casas;
    double valor;
    int64_t expected;
  } cases[] = {
      // clang-format off
      {3, 1.23442, 12350}, {3, 1.2344, 12340}, {3, 2.0004, 20000}, {3, 10.0 / 3, 33330},
      {3, 0.50059, 5010}, {3, -1.2344, -12340}, {3, 11.63061, 116310}, {0, 2.4, 20000},
      {0, 2.5, 30000}, {-3, 2.6, 30000}, {4, 1.23456, 12346}, {6, 1.2345649, 12346},
      {15, 1.5, 15000}, {16, 1.5, 15000},
      // Beyond four decimals the count still ties to even, on either side;
      // the fifteenth decimal is still read.
      {5, 0.00025, 2}, {5, 0.00035, 4}, {5, -0.00025, -2}, {5, -0.00035, -4},
      {15, 0.000250000000001, 3}, {15, -0.000350000000001, -4},
      // With the bias these land exactly halfway: ties go to the even count.
      {4, 0.435141, 4352}, {4, 0.497641, 4976},
      // clang-format on
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RoundToDecimals(c.casas, c.valor), c.expected)
        << "RoundToDecimals(" << c.casas << ", " << c.valor << ")";
  }
  EXPECT_EQ(RoundToDecimals(3, 1e16), std::nullopt);
  EXPECT_EQ(RoundToDecimals(0, 1e15), std::nullopt);
  // The largest whole counts of ten-thousandths on either side, and one past.
  EXPECT_EQ(RoundToDecimals(0, 922337203685477.0), 9223372036854770000);
  EXPECT_EQ(RoundToDecimals(0, -922337203685477.0), -9223372036854770000);
  EXPECT_EQ(RoundToDecimals(0, 922337203685478.0), std::nullopt);
  EXPECT_EQ(RoundToDecimals(0, -922337203685478.0), std::nullopt);
  EXPECT_EQ(RoundToDecimals(3, std::numeric_limits<double>::quiet_NaN()), std::nullopt);
}

struct Delivery {
  const char* name;
  bool reengenharia;
  double volume, preco, total;
  VolumeVerdict verdict;
  double volumeAfter;
  Lines lines;  // "@" stands for the volume text after the call
};

class VolumeRulesTest : public testing::TestWithParam<char> {
 protected:
  RegionalSettings settings_;
  void SetUp() override { settings_.decimalSeparator = GetParam(); }

  // On the texts as made from the controller's numbers, as the poll makes
  // them.
  void Check(const Delivery& d) {
    SCOPED_TRACE(d.name);
    const std::string expectedVolume = Text(d.volumeAfter, settings_);
    Lines expectedLines = d.lines;
    for (std::string& line : expectedLines) {
      if (!line.empty() && line.back() == '@') line.replace(line.size() - 1, 1, expectedVolume);
    }
    const char* names[] = {"accept", "discard", "invalid"};
    std::string error;
    NumberText made = FormatNumber(d.volume, settings_);
    const VolumeVerdict verdict =
        ApplyVolumeRules(made, FormatNumber(d.preco, settings_), FormatNumber(d.total, settings_),
                         d.reengenharia, settings_, error);
    EXPECT_STREQ(names[static_cast<int>(verdict)], names[static_cast<int>(d.verdict)]) << error;
    EXPECT_EQ(made.view(), expectedVolume);
    EXPECT_EQ(TakeLogLines(), expectedLines);
  }
};

constexpr auto kAccept = VolumeVerdict::Accept;
constexpr auto kDiscard = VolumeVerdict::Discard;
const Lines kReengineered{"ReengenhariLitragem=@"}, kKept{"ReengenhariaLitragem=@"};
const Lines kTooSmall{"O abastecimento veio litragem muito pequena"};
const Lines kTooSmallKept{"O abastecimento veio com a litragem muito pequena."};

TEST_P(VolumeRulesTest, ReengineersTheVolumeFromAmountAndPrice) {
  const Delivery cases[] = {
      {"no correction", true, 11.63, 4.299, 50, kAccept, 11.631, kReengineered},
      {"pays too little: rounded up", true, 3.333, 3, 10, kAccept, 3.334, kReengineered},
      {"pays too much: cut", true, 0.501, 20, 10.01, kAccept, 0.5, kReengineered},
      {"pays too much: cut to thousandths", true, 0.506, 20, 10.11, kAccept, 0.505, kReengineered},
      {"pays exactly", true, 4.01, 2.5, 10, kAccept, 4, kReengineered},
      {"pays exactly, inexact in binary", true, 1.2, 3.1, 3.41, kAccept, 1.1, kReengineered},
      {"small but enough", true, 0.004, 4.299, 0.02, kAccept, 0.005, kReengineered},
      {"price cut to three decimals", true, 0.333, 3.0038, 1, kAccept, 0.334, kReengineered},
      {"counts beyond 32 bits", true, 2.5e8, 4, 1e9, kAccept, 2.5e8, kReengineered},
      {"price beyond 32 bits", true, 2000, 5e5, 1e9, kAccept, 2000, kReengineered},
      {"both beyond 32 bits", true, 4294967.295, 5e5, 2147483647500, kAccept, 4294967.295,
       kReengineered},
      {"volume beyond 32 bits, amount not", true, 5e6, 0.05, 250000, kAccept, 5e6, kReengineered},
      {"pays too little, beyond 32 bits", true, 142857142.857, 7, 1e9, kAccept, 142857142.858,
       kReengineered},
      // 3e9 thousandths times a price of 5e9 ten-thousandths: a product just
      // under 2^64 whose cross terms carry past 2^31, against one 10^5 more.
      {"pays too little, products near 2^64", true, 3e6, 5e5, 1500000000000.01, kAccept,
       3000000.001, kReengineered},
      {"too small", true, 0.002, 4.299, 0.01, kDiscard, 0.002, kTooSmall},
      // A price that cuts to 0 at three decimals measures nothing: no discard.
      {"price below a thousandth", true, 2500, 0.0004, 1, kAccept, 2500.001, kReengineered},
  };
  for (const Delivery& d : cases) Check(d);
}

TEST_P(VolumeRulesTest, PlainBranchKeepsTheControllersVolume) {
  const Delivery cases[] = {
      {"switch off", false, 11.63, 4.299, 50, kAccept, 11.63, kKept},
      {"no amount", true, 0.002, 4.299, 0, kDiscard, 0.002, kTooSmallKept},
      {"negative amount", true, 3.333, 3, -10, kAccept, 3.333, kKept},
      {"no price, no check", false, 0.002, 0, 0.01, kAccept, 0.002, kKept},
      {"no price, switch on", true, 2.5, 0, 10, kAccept, 2.5, kKept},
      {"exactly one cent", false, 0.002, 5, 0.01, kAccept, 0.002, kKept},
      {"just below a cent", false, 0.002, 4.999, 0.01, kDiscard, 0.002, kTooSmallKept},
      {"price cut to 3 decimals", false, 0.0041, 2.4391, 0.01, kDiscard, 0.0041, kTooSmallKept},
      {"volume rounded, not cut", false, 0.00199996, 5, 0.01, kAccept, 0.00199996, kKept},
      {"negative volume", false, -0.5, 4.299, 10, kDiscard, -0.5, kTooSmallKept},
      {"counts beyond 32 bits", false, 1e9, 4.299, 4.299e9, kAccept, 1e9, kKept},
      {"negative, beyond 32 bits", false, -1e9, 4.299, 10, kDiscard, -1e9, kTooSmallKept},
      {"nothing at a price beyond 32 bits", false, 0, 5e5, 0.01, kDiscard, 0, kTooSmallKept},
  };
  for (const Delivery& d : cases) Check(d);
}

// A number that has no text to read back (not finite), or no fixed-point
// count, leaves the volume as it was and writes no line.
TEST_P(VolumeRulesTest, NumbersWithoutAFixedPointCountAreInvalid) {
  const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
  const struct {
    double volume, price, amount;
    bool reengineer;
    const char* error;
  } cases[] = {
      {1.5, inf, 10, true, "'INF' is not a valid floating point value"},
      {1.5, 3, nan, true, "'NAN' is not a valid floating point value"},
      {1.5, -inf, 10, false, "'-INF' is not a valid floating point value"},
      {1e15, 3, 10, false, "1e+15 is out of the fixed-point range"},
      {1.5, 1e15, 10, false, "1e+15 is out of the fixed-point range"},
  };
  for (const auto& c : cases) {
    std::string error;
    NumberText volume = FormatNumber(c.volume, settings_);
    EXPECT_EQ(ApplyVolumeRules(volume, FormatNumber(c.price, settings_),
                               FormatNumber(c.amount, settings_), c.reengineer, settings_, error),
              VolumeVerdict::Invalid)
        << c.error;
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(volume.view(), Text(c.volume, settings_));
    EXPECT_TRUE(TakeLogLines().empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Separators, VolumeRulesTest, testing::Values(',', '.'),
                         [](const testing::TestParamInfo<char>& info) {
                           return std::string(info.param == ',' ? "Comma" : "Point");
                         });

}  // namespace
