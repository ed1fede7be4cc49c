// Number texts exchanged with the host: integers, and floating-point values
// in the regional decimal format. No thousands separator anywhere.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvan {

// Regional settings, read once when the driver is loaded and never changed.
struct RegionalSettings {
  char decimalSeparator = '.';
  char dateSeparator = '/';
  // Windows short date picture (e.g. "dd/MM/yyyy", "M/d/yyyy") or this fallback.
  std::string shortDateFormat = "m/d/yy";
  char timeSeparator = ':';
};

// Why a text does not convert, for the log.
constexpr const char kNotAnInteger[] = "is not a valid integer value";
constexpr const char kNotANumber[] = "is not a valid floating point value";
constexpr const char kOutOfFloatingPointRange[] = "is out of the floating point range";

// Optional leading blanks, optional sign, then decimal digits, or hex digits
// after "$", "x", "X", "0x" or "0X". Fails outside the signed 32-bit range,
// leaving `value` untouched; the reason is then kNotAnInteger.
bool ParseInteger(std::string_view text, int32_t& value);

// A short text kept in place, without the heap: the texts of a delivery.
struct ShortText {
  char chars[24];
  uint8_t length{};
  std::string_view view() const { return {chars, length}; }
  bool operator==(std::string_view other) const { return view() == other; }
};
// Plain signed decimal.
ShortText IntegerText(int32_t value);

// |value| = digits x 10^exponent with the fewest digits that read back as the
// value (at most 17); for finite values. Works on numbers, not on a text in
// the regional format.
struct ShortestDecimal {
  uint64_t digits{};
  int exponent{};
};
ShortestDecimal Shortest(double value);

// A number as the host reads it: general format with 15 significant digits,
// fixed notation for 0.0001 <= |value| < 1E15, else scientific ("1E-5");
// "INF", "-INF", "NAN". Made in place, with what the volume rules would
// otherwise read back from it.
struct NumberText {
  char chars[32];  // the text is at most 22 of them, from `start`
  uint8_t start{}, length{};
  double value{};
  // The value has four decimals or fewer: the text reads back as the value
  // exactly, and `decimal` is |value|'s shortest decimal (see Shortest).
  bool exact{};
  ShortestDecimal decimal;
  std::string_view view() const { return {chars + start, length}; }
};
NumberText FormatNumber(double value, const RegionalSettings& settings);
// Into `text` in place, which spares a copy.
void FormatNumber(double value, const RegionalSettings& settings, NumberText& text);

// Optional blanks, sign, digits, separator and digits, exponent, blanks.
// Fails leaving `value` untouched, with `why` kNotANumber or
// kOutOfFloatingPointRange.
bool ParseNumber(std::string_view text, const RegionalSettings& settings, double& value,
                 const char*& why);

}  // namespace korvan
