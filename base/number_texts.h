// Number texts exchanged with the host: integers, and floating-point values
// in the regional decimal format. No thousands separator anywhere.
#pragma once

#include <cstdint>
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

// Conversions from text fail by result, never by exception: the value is
// then untouched, and `error`, where asked for, names the text for the log.

// Optional leading blanks, optional sign, then decimal digits, or hex digits
// after "$", "x", "X", "0x" or "0X". Fails outside the signed 32-bit range.
bool TryStrToInt(std::string_view text, int32_t& value);
bool TryStrToIntAnyForm(std::string_view text, int32_t& value, std::string& error);

// Nozzle and pump numbers: one to nine plain digits, read in place.
inline bool ReadPlainDigits(std::string_view text, int32_t& value) {
  if (text.empty() || text.size() > 9) return false;
  int32_t read = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    read = read * 10 + (c - '0');
  }
  value = read;
  return true;
}

inline bool TryStrToInt(std::string_view text, int32_t& value, std::string& error) {
  return ReadPlainDigits(text, value) || TryStrToIntAnyForm(text, value, error);
}
std::string IntToStr(int32_t value);

// A short text kept in place, without the heap: the texts of a delivery.
struct ShortText {
  char chars[24];
  uint8_t length = 0;
  std::string_view view() const { return {chars, length}; }
  bool operator==(std::string_view other) const { return view() == other; }
};
ShortText IntToText(int32_t value);

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

// The same text, made without the heap, with what the volume rules would
// otherwise read back from it.
struct FloatText {
  char chars[32];  // the text is at most 22 of them, from `start`
  uint8_t start = 0, length = 0;
  double value = 0;
  // The value has four decimals or fewer: the text reads back as the value
  // exactly, and `decimal` is |value|'s shortest decimal (see Shortest).
  bool exact = false;
  ShortestDecimal decimal;
  std::string_view view() const { return {chars + start, length}; }
};
FloatText FloatToText(double value, const RegionalSettings& settings);
// Into `text` in place, which spares a copy.
void FloatToText(double value, const RegionalSettings& settings, FloatText& text);
// Optional blanks, sign, digits, separator and digits, exponent, blanks.
bool TryStrToFloat(std::string_view text, const RegionalSettings& settings, double& value, std::string& error);
