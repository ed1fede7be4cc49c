// Number texts exchanged with the host: integers, and floating-point values
// in the regional decimal format. No thousands separator anywhere.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

// Regional settings, read once when the module is loaded and never changed.
struct RegionalSettings {
  char decimalSeparator = '.';
  char dateSeparator = '/';
  // Windows short date picture (e.g. "dd/MM/yyyy", "M/d/yyyy") or this fallback.
  std::string shortDateFormat = "m/d/yy";
  char timeSeparator = ':';
};

// A text that is not a number of the expected form; what() names the text.
class EConvertError : public std::runtime_error {
 public:
  using runtime_error::runtime_error;
};

// Optional leading blanks, optional sign, then decimal digits, or hex digits
// after "$", "x", "X", "0x" or "0X". Fails outside the signed 32-bit range.
int32_t StrToInt(std::string_view text);  // throws EConvertError
bool TryStrToInt(std::string_view text, int32_t& value);  // value untouched on failure
std::string IntToStr(int32_t value);

// |value| = digits x 10^exponent with the fewest digits that read back as the
// value (at most 17); for finite values. Works on numbers, not on a text in
// the regional format.
struct ShortestDecimal {
  uint64_t digits = 0;
  int exponent = 0;
};
ShortestDecimal Shortest(double value);

// General format with 15 significant digits: fixed notation for
// 0.0001 <= |value| < 1E15, else scientific ("1E-5"); "INF", "-INF", "NAN".
std::string FloatToStr(double value, const RegionalSettings& settings);
// Optional blanks, sign, digits, separator and digits, exponent, blanks.
double StrToFloat(std::string_view text, const RegionalSettings& settings);  // throws EConvertError
