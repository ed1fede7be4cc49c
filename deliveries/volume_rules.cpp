#include "deliveries/volume_rules.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "base/log.h"

namespace {

// |value| = digits x 10^exponent, from the shortest text that reads back as
// the same double. Cutting and rounding then act on the decimal the value was
// written as, not on its binary neighbour below or above.
struct Decimal {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};

Decimal ShortestDecimal(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific);
  const std::string_view text(buffer, result.ptr - buffer);  // "d.ddde+xx" or "de-xx"
  const size_t ePos = text.find('e');
  Decimal decimal;
  decimal.negative = std::signbit(value);
  for (char c : text.substr(0, ePos)) {
    if (c != '.') decimal.digits += c;
  }
  const char* expBegin = text.data() + ePos + 1;
  if (*expBegin == '+') ++expBegin;
  int exponent = 0;
  std::from_chars(expBegin, text.data() + text.size(), exponent);
  decimal.exponent = exponent - static_cast<int>(decimal.digits.size() - 1);
  return decimal;
}

enum class Rounding { Cut, HalfAwayFromZero, HalfEven };

void Increment(std::string& digits) {
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    if (*it != '9') {
      ++*it;
      return;
    }
    *it = '0';
  }
  digits.insert(digits.begin(), '1');
}

// The whole number `digits` divided by 10^count, rounded as asked.
std::string DropDigits(const std::string& digits, size_t count, Rounding rounding) {
  if (count == 0) return digits;
  const size_t size = digits.size();
  std::string kept = count < size ? digits.substr(0, size - count) : std::string();
  const std::string dropped = count <= size ? digits.substr(size - count) : std::string(count - size, '0') + digits;
  bool up = false;
  if (rounding == Rounding::HalfAwayFromZero) {
    up = dropped[0] >= '5';
  } else if (rounding == Rounding::HalfEven) {
    const bool beyondHalf = dropped.find_first_not_of('0', 1) != std::string::npos;
    const bool oddKept = !kept.empty() && (kept.back() - '0') % 2 == 1;
    up = dropped[0] > '5' || (dropped[0] == '5' && (beyondHalf || oddKept));
  }
  if (kept.empty()) kept = "0";
  if (up) Increment(kept);
  return kept;
}

// |decimal| x 10^places as a whole number.
std::string Scaled(const Decimal& decimal, int places, Rounding rounding) {
  const int shift = decimal.exponent + places;
  if (shift >= 0) return decimal.digits + std::string(shift, '0');
  return DropDigits(decimal.digits, static_cast<size_t>(-shift), rounding);
}

std::optional<int64_t> SignedCount(bool negative, const std::string& magnitude) {
  uint64_t count = 0;
  const auto result = std::from_chars(magnitude.data(), magnitude.data() + magnitude.size(), count);
  const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  if (result.ec != std::errc() || count > limit) return std::nullopt;
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
  if (fraction > 0.5L || (fraction == 0.5L && std::fmod(floor, 2.0L) != 0)) return floor + 1;
  return floor;
}

int64_t DivideHalfEven(int64_t dividend, int64_t divisor) {
  int64_t quotient = dividend / divisor;
  const int64_t twiceRemainder = 2 * (dividend % divisor);
  if (twiceRemainder > divisor || (twiceRemainder == divisor && quotient % 2 != 0)) ++quotient;
  else if (-twiceRemainder > divisor || (-twiceRemainder == divisor && quotient % 2 != 0)) --quotient;
  return quotient;
}

// The fixed-point value nearest to a double (ties to even).
std::optional<int64_t> ToTenThousandths(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  const Decimal decimal = ShortestDecimal(value);
  return SignedCount(decimal.negative, Scaled(decimal, 4, Rounding::HalfEven));
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
  return {negative, p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32), (middle << 32) | (p00 & 0xFFFFFFFFu)};
}

bool ProductLess(int64_t a, int64_t b, int64_t c, int64_t d) {
  const Wide x = Multiply(a, b), y = Multiply(c, d);
  if (x.negative != y.negative) return x.negative;
  const bool smallerMagnitude = x.high != y.high ? x.high < y.high : x.low < y.low;
  const bool largerMagnitude = x.high != y.high ? x.high > y.high : x.low > y.low;
  return x.negative ? largerMagnitude : smallerMagnitude;
}

// Both counts are ten-thousandths, so their product is in 10^-8 and 0.01 is 10^6.
bool PaysLessThanOneCent(int64_t volume, int64_t price) { return ProductLess(volume, price, 1000000, 1); }

VolumeVerdict PlainVolume(const std::string& volume, double preco, const RegionalSettings& settings,
                          std::string& error) {
  int64_t pt = 0, vc = 0;
  double read = 0;
  if (!Counted(TruncaCasas(3, preco), preco, pt, error) || !TryStrToFloat(volume, settings, read, error) ||
      !Counted(ToTenThousandths(read), read, vc, error))
    return VolumeVerdict::Invalid;
  // A unit price of 0 or less gives nothing to measure the volume against.
  if (pt > 0 && PaysLessThanOneCent(vc, pt)) {
    WriteLog("O abastecimento veio com a litragem muito pequena.");
    return VolumeVerdict::Discard;
  }
  // Written in the plain branch as well, under the re-engineering label.
  WriteLog("ReengenhariaLitragem=", volume);
  return VolumeVerdict::Accept;
}

VolumeVerdict Reengineer(std::string& volume, double total, double preco, const RegionalSettings& settings,
                         std::string& error) {
  const long double quotient = static_cast<long double>(total) / preco;
  const double q = static_cast<double>(quotient);
  int64_t m = 0, vt = 0, at = 0, pt = 0;
  if (!Counted(ArredondaCasas(3, q), q, m, error)) return VolumeVerdict::Invalid;
  m /= 10;  // thousandths
  const double mVolume = static_cast<double>(m) / 1000.0;
  if (!Counted(TruncaCasas(3, mVolume), mVolume, vt, error) || !Counted(TruncaCasas(2, total), total, at, error) ||
      !Counted(TruncaCasas(3, preco), preco, pt, error))
    return VolumeVerdict::Invalid;
  if (pt > 0 && PaysLessThanOneCent(vt, pt)) {
    WriteLog("O abastecimento veio litragem muito pequena");
    return VolumeVerdict::Discard;
  }
  // One correction at most; the corrected volume is not checked again.
  if (ProductLess(m, pt, at, 1000)) {
    // m/1000 x Pt, unrounded, is below the amount: the volume does not pay it.
    const double raised = static_cast<double>(quotient + 0.0006L);
    if (!Counted(ArredondaCasas(3, raised), raised, m, error)) return VolumeVerdict::Invalid;
    m /= 10;
  } else {
    const double paid = static_cast<double>(static_cast<long double>(vt) * pt / 100000000.0L);
    int64_t paidCut = 0;
    if (!Counted(TruncaCasas(2, paid), paid, paidCut, error)) return VolumeVerdict::Invalid;
    if (at < paidCut) {
      if (!Counted(TruncaCasas(3, q), q, m, error)) return VolumeVerdict::Invalid;
      m /= 10;
    }
  }
  volume = FloatToStr(static_cast<double>(m) / 1000.0, settings);
  WriteLog("ReengenhariLitragem=", volume);
  return VolumeVerdict::Accept;
}

}  // namespace

std::string OutOfFixedPointRange(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr) + " is out of the fixed-point range";
}

std::optional<int64_t> TruncaCasas(int16_t casas, double valor) {
  if (!std::isfinite(valor)) return std::nullopt;
  const int places = std::clamp<int>(casas, 0, 10);
  // Rounding first at the eleventh decimal (the first, for no decimals) keeps
  // 0.8339999999999 from being cut to 0.833.
  const int roundingPlace = places == 0 ? 1 : 11;
  const Decimal decimal = ShortestDecimal(valor);
  const std::string rounded = Scaled(decimal, roundingPlace, Rounding::HalfAwayFromZero);
  std::string cut = DropDigits(rounded, roundingPlace - places, Rounding::Cut);
  cut = places <= 4 ? cut + std::string(4 - places, '0') : DropDigits(cut, places - 4, Rounding::HalfEven);
  return SignedCount(decimal.negative, cut);
}

std::optional<int64_t> ArredondaCasas(int16_t casas, double valor) {
  const int places = std::clamp<int>(casas, 0, 15);
  const int64_t power = Power10(places);
  const double bias = 9.0 / (100.0 * static_cast<double>(power));
  const long double scaled = RoundHalfEven((static_cast<long double>(valor) + bias) * power);
  if (!(std::fabs(scaled) < 9.2e18L)) return std::nullopt;
  const int64_t n = static_cast<int64_t>(scaled);
  if (places > 4) return DivideHalfEven(n, Power10(places - 4));
  const int64_t factor = Power10(4 - places);
  if (n > INT64_MAX / factor || n < INT64_MIN / factor) return std::nullopt;
  return n * factor;
}

VolumeVerdict AjustaLitragem(std::string& volume, std::string_view precoUnitario, std::string_view valorTotal,
                             bool reengenhariaLitragem, const RegionalSettings& settings, std::string& error) {
  double preco = 0;
  if (!TryStrToFloat(precoUnitario, settings, preco, error)) return VolumeVerdict::Invalid;
  if (reengenhariaLitragem) {
    double total = 0;
    if (!TryStrToFloat(valorTotal, settings, total, error)) return VolumeVerdict::Invalid;
    // Without a unit price there is nothing to recompute the volume from.
    if (total > 0 && preco != 0) return Reengineer(volume, total, preco, settings, error);
  }
  return PlainVolume(volume, preco, settings, error);
}
