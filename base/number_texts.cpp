#include "base/number_texts.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <system_error>

// Conversions go through <charconv> only: strtod and printf follow the
// process's C locale, which a host program is free to change under us.

namespace korvan {

namespace {

int DigitValue(char c, int base) {
  if (c >= '0' && c <= '9') return c - '0';
  if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool ParseInteger(std::string_view text, int32_t& value) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    base = 16;
    ++i;
  } else if (text.size() - i >= 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return false;
  // The range is checked on the magnitude, for hex as for decimal: "$FFFFFFFF"
  // is 4294967295, not -1.
  const uint64_t limit = negative ? 2147483648u : 2147483647u;
  uint64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const int digit = DigitValue(text[i], base);
    if (digit < 0) return false;
    magnitude = magnitude * base + digit;
    if (magnitude > limit) return false;
  }
  value = static_cast<int32_t>(negative ? -static_cast<int64_t>(magnitude)
                                        : static_cast<int64_t>(magnitude));
  return true;
}

ShortText IntegerText(int32_t value) {
  ShortText text;
  text.length = static_cast<uint8_t>(
      std::to_chars(text.chars, text.chars + sizeof text.chars, value).ptr - text.chars);
  return text;
}

namespace {

constexpr double kPowers10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// The double nearest to digits / 10^places: one IEEE division gives exactly
// that when both operands are exact (digits below 2^53, 10^places up to
// 10^15). The driver's doubles are computed in SSE2 on every build, with
// rounding to nearest while an export runs (see the floating-point shield),
// so neither the host's x87 precision nor its rounding mode reach this.
double ExactQuotient(uint64_t digits, int places) {
  return static_cast<double>(static_cast<int64_t>(digits)) / kPowers10[places];
}

// Money, volumes and prices mostly have four decimals or fewer: one scaling
// finds them, the fewest that read back, without the general conversion.
// Below 1E11 the scaled value stays under 2^53, where the nearest whole
// number is that decimal when there is one; the exact division tells.
bool FourDecimals(double magnitude, ShortestDecimal& decimal) {
  if (!(magnitude < 1e11)) return false;
  uint64_t digits = static_cast<uint64_t>(magnitude * 1e4 + 0.5);
  int places = 4;
  for (; places > 0 && digits % 10 == 0; --places) digits /= 10;
  if (ExactQuotient(digits, places) != magnitude) return false;
  decimal = {digits, -places};
  return true;
}

// Reads to_chars' scientific form, "d.ddde+xx" or "de-xx": its digits and
// the decimal exponent of the first; returns the number of digits.
int ParseScientific(const char* begin, const char* end, uint64_t& digits, int& exponent) {
  int count = 0;
  digits = 0;
  const char* p = begin;
  if (*p == '-') ++p;
  for (; p != end && *p != 'e'; ++p) {
    if (*p == '.') continue;
    digits = digits * 10 + static_cast<uint64_t>(*p - '0');
    ++count;
  }
  ++p;  // 'e'
  if (p != end && *p == '+') ++p;
  std::from_chars(p, end, exponent);
  return count;
}

}  // namespace

ShortestDecimal Shortest(double value) {
  const double magnitude = std::fabs(value);
  ShortestDecimal decimal;
  if (FourDecimals(magnitude, decimal)) return decimal;
  char buffer[32];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific);
  const int count = ParseScientific(buffer, result.ptr, decimal.digits, decimal.exponent);
  decimal.exponent -= count - 1;
  return decimal;
}

namespace {

// A finite, non-zero value rounded to 15 significant digits: the digits
// without trailing zeros, and the decimal exponent of the first one.
struct SignificantDigits {
  char digits[20];
  int count{};
  int exponent{};
};

// Dekker's product below is exact only in double precision: the driver is
// built with SSE2 arithmetic on both targets, never with the x87 unit.
#if !defined(__SSE2_MATH__)
#error number texts need SSE2 double arithmetic (-msse2 -mfpmath=sse)
#endif

// a x b exactly, as the rounded product and its error (Dekker's product,
// exact under rounding to nearest).
void ExactProduct(double a, double b, double& product, double& error) {
  const auto split = [](double x, double& high, double& low) {
    const double c = 134217729.0 * x;  // 2^27 + 1
    high = c - (c - x);
    low = x - high;
  };
  double ah, al, bh, bl;
  split(a, ah, al);
  split(b, bh, bl);
  product = a * b;
  error = ((ah * bh - product) + ah * bl + al * bh) + al * bl;
}

// |value| from 1E-7 to below 1E15 rounded to 15 significant digits (ties to
// even), exactly and without the long road of a general conversion: scaled
// into [1E14, 1E15) by a power of ten whose product is taken exactly.
void RoundTo15(double magnitude, uint64_t& digits, int& exponent) {
  static constexpr double kScales[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                       1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  // From the binary exponent e, floor(e log10 2) is the decimal exponent of
  // the value or one below it: the scaled value lies in [1E14, 2E15), and
  // one power of ten less brings the upper part of that into range.
  uint64_t bits;
  std::memcpy(&bits, &magnitude, sizeof bits);
  const int binaryExponent = static_cast<int>((bits >> 52) & 0x7FF) - 1023;
  int places = 14 - ((binaryExponent * 78913) >> 18);
  double product, error;
  ExactProduct(magnitude, kScales[places], product, error);
  if (product >= 1e15) ExactProduct(magnitude, kScales[--places], product, error);
  // product + error is the exact value; its whole part and the rest:
  const double whole = static_cast<double>(static_cast<int64_t>(product));
  const double half = 0.5 - (product - whole);  // both steps exact
  const uint64_t kept = static_cast<uint64_t>(whole);
  const bool up = error > half || (error == half && kept % 2 == 1);
  digits = kept + (up ? 1 : 0);
  exponent = 14 - places;
  if (digits == 1000000000000000u) {
    digits /= 10;
    ++exponent;
  }
}

SignificantDigits FifteenDigits(double value) {
  // Money and volumes take the exact rounding; the rare values outside its
  // range the slower, correctly rounded form.
  uint64_t digits{};
  int exponent{};
  int count = 15;
  const double magnitude = std::fabs(value);
  if (magnitude >= 1e-7 && magnitude < 1e15) {
    RoundTo15(magnitude, digits, exponent);
  } else {
    char buffer[32];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific, 14);
    count = ParseScientific(buffer, result.ptr, digits, exponent);
  }
  SignificantDigits significant;
  significant.exponent = exponent;
  for (int i = count - 1; i >= 0; --i, digits /= 10)
    significant.digits[i] = static_cast<char>('0' + digits % 10);
  significant.count = count;
  while (significant.count > 1 && significant.digits[significant.count - 1] == '0')
    --significant.count;
  return significant;
}

// 10^1 to 10^4, the places of a value with four decimals or fewer.
constexpr uint64_t kPlaceValues[] = {10, 100, 1000, 10000};

// Writes `digits` in decimal backwards from `end`, two at a time, with
// leading zeros up to `width`; returns the first character.
char* PutDigitsBack(char* end, uint64_t digits, int width) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  char* begin = end;
  while (digits >= 100) {
    const uint64_t pair = digits % 100;
    digits /= 100;
    begin -= 2;
    begin[0] = kPairs[2 * pair];
    begin[1] = kPairs[2 * pair + 1];
  }
  if (digits >= 10) {
    begin -= 2;
    begin[0] = kPairs[2 * digits];
    begin[1] = kPairs[2 * digits + 1];
  } else {
    *--begin = static_cast<char>('0' + digits);
  }
  while (end - begin < width) *--begin = '0';
  return begin;
}

// Writes `text` at `out`; returns the end.
char* Put(char* out, const char* text, int length) {
  for (int i = 0; i < length; ++i) *out++ = text[i];
  return out;
}

}  // namespace

void FormatNumber(double value, const RegionalSettings& settings, NumberText& made) {
  // Written in place: a text built aside and copied over would be read back
  // in 16-byte blocks right after its single bytes were stored, which the
  // processor cannot forward.
  made.value = value;
  made.exact = false;
  made.start = 0;
  char* const text = made.chars;
  const auto fixed = [&](const char* word) {
    made.length = static_cast<uint8_t>(std::strlen(word));
    std::memcpy(text, word, made.length);
  };
  if (std::isnan(value)) return fixed(std::signbit(value) ? "-NAN" : "NAN");
  if (std::isinf(value)) return fixed(value < 0 ? "-INF" : "INF");
  if (value == 0) return fixed("0");

  if (FourDecimals(std::fabs(value), made.decimal)) {
    // At most four decimals, none of them a trailing zero: the value to 15
    // digits, written from the last digit back. It reads back as the value.
    made.exact = true;
    char* const end = text + sizeof made.chars;
    char* begin = end;
    uint64_t digits = made.decimal.digits;
    if (made.decimal.exponent < 0) {
      const int places = -made.decimal.exponent;  // 1 to 4
      // Constant divisors, which the compiler turns into multiplications.
      const uint64_t whole = places == 1   ? digits / kPlaceValues[0]
                             : places == 2 ? digits / kPlaceValues[1]
                             : places == 3 ? digits / kPlaceValues[2]
                                           : digits / kPlaceValues[3];
      begin = PutDigitsBack(begin, digits - whole * kPlaceValues[places - 1], places);
      digits = whole;
      *--begin = settings.decimalSeparator;
    }
    begin = PutDigitsBack(begin, digits, 0);
    if (value < 0) *--begin = '-';
    made.start = static_cast<uint8_t>(begin - text);
    made.length = static_cast<uint8_t>(end - begin);
    return;
  }
  const SignificantDigits d = FifteenDigits(value);
  char* out = text;
  if (value < 0) *out++ = '-';
  const int integerDigits = d.exponent + 1;
  if (integerDigits >= -3 && integerDigits <= 15) {
    if (integerDigits <= 0) {
      *out++ = '0';
      *out++ = settings.decimalSeparator;
      for (int i = integerDigits; i < 0; ++i) *out++ = '0';
      out = Put(out, d.digits, d.count);
    } else if (d.count <= integerDigits) {
      out = Put(out, d.digits, d.count);
      for (int i = d.count; i < integerDigits; ++i) *out++ = '0';
    } else {
      out = Put(out, d.digits, integerDigits);
      *out++ = settings.decimalSeparator;
      out = Put(out, d.digits + integerDigits, d.count - integerDigits);
    }
  } else {
    *out++ = d.digits[0];
    if (d.count > 1) {
      *out++ = settings.decimalSeparator;
      out = Put(out, d.digits + 1, d.count - 1);
    }
    *out++ = 'E';
    out = std::to_chars(out, text + sizeof made.chars, d.exponent).ptr;
  }
  made.length = static_cast<uint8_t>(out - text);
}

NumberText FormatNumber(double value, const RegionalSettings& settings) {
  NumberText made;
  FormatNumber(value, settings, made);
  return made;
}

namespace {

// The plain form of most texts, "[blanks][sign]digits[separator digits][blanks]"
// with at most 15 digits, read without a detour through from_chars; false
// for anything else, which the full reading then takes.
bool ReadShortDecimal(std::string_view text, char separator, double& value) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && text[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  uint64_t digits = 0;
  int count = 0, places = 0;
  bool fraction = false;
  for (; i < n; ++i) {
    const char c = text[i];
    if (IsDigit(c)) {
      if (++count > 15) return false;
      digits = digits * 10 + static_cast<uint64_t>(c - '0');
      places += fraction ? 1 : 0;
    } else if (c == separator && !fraction) {
      fraction = true;
    } else {
      break;
    }
  }
  while (i < n && text[i] == ' ') ++i;
  if (i != n || count == 0) return false;
  value = ExactQuotient(digits, places);
  if (negative) value = -value;
  return true;
}

}  // namespace

bool ParseNumber(std::string_view text, const RegionalSettings& settings, double& value,
                 const char*& why) {
  why = kNotANumber;
  if (ReadShortDecimal(text, settings.decimalSeparator, value)) return true;
  // Rewritten into the one form that from_chars reads: [-]digits[.digits][e[-]digits].
  std::string plain;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && text[i] == ' ') ++i;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') plain += '-';
    ++i;
  }
  // Decimal position of the first significant digit, to tell an overflow
  // from an underflow when from_chars reports either as out of range.
  long long leadExponent = 0;
  bool significant = false;
  for (; i < n && IsDigit(text[i]); ++i) {
    plain += text[i];
    significant = significant || text[i] != '0';
    if (significant) ++leadExponent;
  }
  if (i < n && text[i] == settings.decimalSeparator) {
    plain += '.';
    for (++i; i < n && IsDigit(text[i]); ++i) {
      plain += text[i];
      if (!significant && text[i] == '0') --leadExponent;
      significant = significant || text[i] != '0';
    }
  }
  long long exponent = 0;
  if (i < n && (text[i] == 'E' || text[i] == 'e')) {
    plain += 'e';
    ++i;
    bool negativeExponent = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
      negativeExponent = text[i] == '-';
      if (negativeExponent) plain += '-';
      ++i;
    }
    for (; i < n && IsDigit(text[i]); ++i) {
      plain += text[i];
      if (exponent < 1000000000) exponent = exponent * 10 + (text[i] - '0');
    }
    if (negativeExponent) exponent = -exponent;
  }
  while (i < n && text[i] == ' ') ++i;
  if (i != n) return false;

  // A mantissa or an exponent without digits ("-", ",E5", "1E+") leaves
  // from_chars nothing to read, or a rest it does not read.
  double read = 0;
  const auto result =
      std::from_chars(plain.data(), plain.data() + plain.size(), read, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    if (leadExponent + exponent > 0) {
      why = kOutOfFloatingPointRange;
      return false;
    }
    value = plain[0] == '-' ? -0.0 : 0.0;  // below the smallest subnormal
    return true;
  }
  if (result.ec != std::errc() || result.ptr != plain.data() + plain.size()) return false;
  value = read;
  return true;
}

}  // namespace korvan
