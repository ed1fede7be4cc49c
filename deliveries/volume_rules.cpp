#include "deliveries/volume_rules.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "base/log.h"

namespace korvan {

namespace {

// |value| as the shortest decimal that reads back as the same double (at
// most 17 digits). Cutting and rounding then act on the decimal the value was
// written as, not on its binary neighbour below or above, and on numbers,
// whatever the regional decimal separator.
struct Decimal {
  bool negative{};
  uint64_t digits{};
  int exponent{};
};

Decimal DecimalOf(double value) {
  const ShortestDecimal shortest = Shortest(value);
  return {std::signbit(value), shortest.digits, shortest.exponent};
}

// A number the rules read back from a text: its value and its decimal.
struct Number {
  double value{};
  Decimal decimal;
};

// The number a text stands for. A text made exact from a number needs no
// reading: it reads back as that number.
bool Read(const NumberText& text, const RegionalSettings& settings, Number& number,
          std::string& error) {
  if (text.exact) {
    number = {text.value, {std::signbit(text.value), text.decimal.digits, text.decimal.exponent}};
    return true;
  }
  double value = 0;
  const char* why = nullptr;
  if (!ParseNumber(text.view(), settings, value, why)) {
    error = "'" + std::string(text.view()) + "' " + why;
    return false;
  }
  number = {value, std::isfinite(value) ? DecimalOf(value) : Decimal{}};
  return true;
}

enum class Rounding { Cut, HalfAwayFromZero, HalfEven };

constexpr uint64_t kPowers10[] = {1,
                                  10,
                                  100,
                                  1000,
                                  10000,
                                  100000,
                                  1000000,
                                  10000000,
                                  100000000,
                                  1000000000,
                                  10000000000,
                                  100000000000,
                                  1000000000000,
                                  10000000000000,
                                  100000000000000,
                                  1000000000000000,
                                  10000000000000000,
                                  100000000000000000,
                                  1000000000000000000};

// value / 10^k, k in 0..18. Each divisor is a constant, which the compiler
// turns into a multiplication: a 64-bit division takes tens of cycles, and a
// delivery takes a dozen of these.
uint64_t DividePow10(uint64_t value, int k) {
  switch (k) {
    case 0:
      return value;
    case 1:
      return value / kPowers10[1];
    case 2:
      return value / kPowers10[2];
    case 3:
      return value / kPowers10[3];
    case 4:
      return value / kPowers10[4];
    case 5:
      return value / kPowers10[5];
    case 6:
      return value / kPowers10[6];
    case 7:
      return value / kPowers10[7];
    case 8:
      return value / kPowers10[8];
    case 9:
      return value / kPowers10[9];
    case 10:
      return value / kPowers10[10];
    case 11:
      return value / kPowers10[11];
    case 12:
      return value / kPowers10[12];
    case 13:
      return value / kPowers10[13];
    case 14:
      return value / kPowers10[14];
    case 15:
      return value / kPowers10[15];
    case 16:
      return value / kPowers10[16];
    case 17:
      return value / kPowers10[17];
    default:
      return value / kPowers10[18];
  }
}

// value / 10^k, k in 1..18 (some digits go), rounded as asked.
uint64_t Divide(uint64_t value, int k, Rounding rounding) {
  const uint64_t divisor = kPowers10[k];
  const uint64_t quotient = DividePow10(value, k), remainder = value - quotient * divisor;
  const uint64_t half = divisor / 2;
  bool up = false;
  if (rounding == Rounding::HalfAwayFromZero) up = remainder >= half;
  if (rounding == Rounding::HalfEven) up = remainder > half || (remainder == half && quotient % 2);
  return quotient + (up ? 1 : 0);
}

// |decimal| split at the point: the whole part (saturated at UINT64_MAX),
// and the fraction rounded to `places` decimals (0..11), in units of
// 10^-places: 0..10^places, the top value when rounding carries.
struct Split {
  uint64_t whole = 0;
  uint64_t fraction = 0;
};

Split SplitAt(const Decimal& decimal, int places, Rounding rounding) {
  Split split;
  if (decimal.exponent >= 0) {
    split.whole = decimal.digits;
    for (int i = 0; i < decimal.exponent && split.whole != 0; ++i)
      split.whole = split.whole > UINT64_MAX / 10 ? UINT64_MAX : split.whole * 10;
    return split;
  }
  // The fraction's digits: the last -exponent ones (fewer than 10^17).
  const int fractionDigits = -decimal.exponent;
  uint64_t fraction = decimal.digits;
  if (fractionDigits < 18) {
    split.whole = DividePow10(decimal.digits, fractionDigits);
    fraction = decimal.digits - split.whole * kPowers10[fractionDigits];
  }
  const int shift = places - fractionDigits;  // fraction x 10^shift
  // Past 18 places the fraction (below 10^17) is less than half a unit of
  // the last place: 10^18 then divides it as well as any larger power.
  if (shift >= 0)
    split.fraction = fraction * kPowers10[shift];  // below 10^places
  else
    split.fraction = Divide(fraction, std::min(-shift, 18), rounding);
  return split;
}

// whole x 10^4 + tenThousandths, signed; nothing when it does not fit.
std::optional<int64_t> SignedCount(bool negative, uint64_t whole, uint64_t tenThousandths) {
  const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  if (whole > (limit - tenThousandths) / 10000) return std::nullopt;
  const uint64_t count = whole * 10000 + tenThousandths;
  return negative ? static_cast<int64_t>(0 - count) : static_cast<int64_t>(count);
}

int64_t Power10(int exponent) {
  int64_t power = 1;
  while (exponent-- > 0) power *= 10;
  return power;
}

// Ties to even, like the FPU's default rounding.
long double RoundHalfEven(long double value) {
  const long double floor = std::floor(value);
  const long double fraction = value - floor;
  if (fraction != 0.5L) return fraction > 0.5L ? floor + 1 : floor;
  // A tie: beyond 2^63 the caller refuses the value whichever way it goes.
  const bool odd = std::fabs(floor) < 0x1p63L && (static_cast<int64_t>(floor) & 1) != 0;
  return odd ? floor + 1 : floor;
}

int64_t DivideHalfEven(int64_t dividend, int64_t divisor) {
  int64_t quotient = dividend / divisor;
  const int64_t twiceRemainder = 2 * (dividend % divisor);
  if (twiceRemainder > divisor || (twiceRemainder == divisor && quotient % 2 != 0))
    ++quotient;
  else if (-twiceRemainder > divisor || (-twiceRemainder == divisor && quotient % 2 != 0))
    --quotient;
  return quotient;
}

// The fixed-point value nearest to a number (ties to even).
std::optional<int64_t> ToTenThousandths(const Number& n) {
  if (!std::isfinite(n.value)) return std::nullopt;
  const Split split = SplitAt(n.decimal, 4, Rounding::HalfEven);
  return SignedCount(n.decimal.negative, split.whole, split.fraction);
}

// CutToDecimals of a number whose decimal is known.
std::optional<int64_t> Cut(int16_t decimals, const Number& n) {
  if (!std::isfinite(n.value)) return std::nullopt;
  const int places = std::clamp<int>(decimals, 0, 10);
  // Rounding first at the eleventh decimal (the first, for no decimals) keeps
  // 0.8339999999999 from being cut to 0.833.
  const int roundingPlace = places == 0 ? 1 : 11;
  const Split split = SplitAt(n.decimal, roundingPlace, Rounding::HalfAwayFromZero);
  const uint64_t cut = DividePow10(split.fraction, roundingPlace - places);
  const uint64_t tenThousandths =
      places <= 4 ? cut * kPowers10[4 - places] : Divide(cut, places - 4, Rounding::HalfEven);
  return SignedCount(n.decimal.negative, split.whole, tenThousandths);
}

// Takes `count`, made of `value`; false with the error when there is none.
bool Counted(std::optional<int64_t> count, double value, int64_t& out, std::string& error) {
  if (!count) {
    error = OutOfFixedPointRange(value);
    return false;
  }
  out = *count;
  return true;
}

// Exact a x b < c x d for any 64-bit operands, without a 128-bit type (none
// on 32-bit mingw).
struct Wide {
  bool negative;
  uint64_t high, low;
};

Wide Multiply(int64_t a, int64_t b) {
  const uint64_t ua = a < 0 ? 0 - static_cast<uint64_t>(a) : static_cast<uint64_t>(a);
  const uint64_t ub = b < 0 ? 0 - static_cast<uint64_t>(b) : static_cast<uint64_t>(b);
  const uint64_t a0 = ua & 0xFFFFFFFFu, a1 = ua >> 32, b0 = ub & 0xFFFFFFFFu, b1 = ub >> 32;
  const uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
  const uint64_t middle = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
  const bool negative = ua != 0 && ub != 0 && (a < 0) != (b < 0);
  return {negative, p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32),
          (middle << 32) | (p00 & 0xFFFFFFFFu)};
}

bool ProductLess(int64_t a, int64_t b, int64_t c, int64_t d) {
  // Counts of a few thousand litres or reais: the products fit 64 bits.
  const auto small = [](int64_t x) { return x == static_cast<int32_t>(x); };
  if (small(a) && small(b) && small(c) && small(d)) return a * b < c * d;
  const Wide x = Multiply(a, b), y = Multiply(c, d);
  if (x.negative != y.negative) return x.negative;
  const bool smallerMagnitude = x.high != y.high ? x.high < y.high : x.low < y.low;
  const bool largerMagnitude = x.high != y.high ? x.high > y.high : x.low > y.low;
  return x.negative ? largerMagnitude : smallerMagnitude;
}

// Both counts are ten-thousandths, so their product is in 10^-8 and 0.01 is 10^6.
bool PaysLessThanOneCent(int64_t volume, int64_t price) {
  return ProductLess(volume, price, 1000000, 1);
}

VolumeVerdict PlainVolume(const NumberText& volume, const Number& price,
                          const RegionalSettings& settings, std::string& error) {
  int64_t pt = 0, vc = 0;
  Number read;
  if (!Counted(Cut(3, price), price.value, pt, error) || !Read(volume, settings, read, error) ||
      !Counted(ToTenThousandths(read), read.value, vc, error))
    return VolumeVerdict::Invalid;
  // A unit price of 0 or less gives nothing to measure the volume against.
  if (pt > 0 && PaysLessThanOneCent(vc, pt)) {
    WriteLog("O abastecimento veio com a litragem muito pequena.");
    return VolumeVerdict::Discard;
  }
  // Written in the plain branch as well, under the re-engineering label.
  WriteLog("ReengenhariaLitragem=", volume.view());
  return VolumeVerdict::Accept;
}

// Writes `volume` only when it accepts.
VolumeVerdict Reengineer(NumberText& volume, double total, double price,
                         const RegionalSettings& settings, std::string& error) {
  const long double quotient = static_cast<long double>(total) / price;
  const double q = static_cast<double>(quotient);
  int64_t m = 0, vt = 0, at = 0, pt = 0;
  if (!Counted(RoundToDecimals(3, q), q, m, error)) return VolumeVerdict::Invalid;
  m /= 10;  // thousandths
  const double mVolume = static_cast<double>(m) / 1000.0;
  if (!Counted(CutToDecimals(3, mVolume), mVolume, vt, error) ||
      !Counted(CutToDecimals(2, total), total, at, error) ||
      !Counted(CutToDecimals(3, price), price, pt, error))
    return VolumeVerdict::Invalid;
  if (pt > 0 && PaysLessThanOneCent(vt, pt)) {
    WriteLog("O abastecimento veio litragem muito pequena");
    return VolumeVerdict::Discard;
  }
  // One correction at most; the corrected volume is not checked again.
  if (ProductLess(m, pt, at, 1000)) {
    // m/1000 x Pt, unrounded, is below the amount: the volume does not pay it.
    const double raised = static_cast<double>(quotient + 0.0006L);
    if (!Counted(RoundToDecimals(3, raised), raised, m, error)) return VolumeVerdict::Invalid;
    m /= 10;
  } else {
    const double paid = static_cast<double>(static_cast<long double>(vt) * pt / 100000000.0L);
    int64_t paidCut = 0;
    if (!Counted(CutToDecimals(2, paid), paid, paidCut, error)) return VolumeVerdict::Invalid;
    if (at < paidCut) {
      if (!Counted(CutToDecimals(3, q), q, m, error)) return VolumeVerdict::Invalid;
      m /= 10;
    }
  }
  volume = FormatNumber(static_cast<double>(m) / 1000.0, settings);
  WriteLog("ReengenhariLitragem=", volume.view());
  return VolumeVerdict::Accept;
}

}  // namespace

std::string OutOfFixedPointRange(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr) + " is out of the fixed-point range";
}

std::optional<int64_t> CutToDecimals(int16_t decimals, double value) {
  if (!std::isfinite(value)) return std::nullopt;
  return Cut(decimals, {value, DecimalOf(value)});
}

std::optional<int64_t> CutToDecimals(int16_t decimals, const NumberText& value) {
  if (!value.exact) return CutToDecimals(decimals, value.value);
  return Cut(decimals, {value.value,
                        {std::signbit(value.value), value.decimal.digits, value.decimal.exponent}});
}

std::optional<int64_t> RoundToDecimals(int16_t decimals, double value) {
  const int places = std::clamp<int>(decimals, 0, 15);
  const int64_t power = Power10(places);
  const double bias = 9.0 / (100.0 * static_cast<double>(power));
  const long double scaled = RoundHalfEven((static_cast<long double>(value) + bias) * power);
  if (!(std::fabs(scaled) < 9.2e18L)) return std::nullopt;
  const int64_t n = static_cast<int64_t>(scaled);
  if (places > 4) return DivideHalfEven(n, Power10(places - 4));
  const int64_t factor = Power10(4 - places);
  if (n > INT64_MAX / factor || n < INT64_MIN / factor) return std::nullopt;
  return n * factor;
}

VolumeVerdict ApplyVolumeRules(NumberText& volume, const NumberText& unitPrice,
                               const NumberText& amount, bool reengineer,
                               const RegionalSettings& settings, std::string& error) {
  Number price;
  if (!Read(unitPrice, settings, price, error)) return VolumeVerdict::Invalid;
  if (reengineer) {
    Number total;
    if (!Read(amount, settings, total, error)) return VolumeVerdict::Invalid;
    // Without a unit price there is nothing to recompute the volume from.
    if (total.value > 0 && price.value != 0)
      return Reengineer(volume, total.value, price.value, settings, error);
  }
  return PlainVolume(volume, price, settings, error);
}

}  // namespace korvan
