#include "base/number_texts.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <system_error>

// Conversions go through <charconv> only: strtod and printf follow the
// process's C locale, which a host program is free to change under us.

namespace {

int DigitValue(char c, int base) {
  if (c >= '0' && c <= '9') return c - '0';
  if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool ParseInt(std::string_view text, int32_t& value) {
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
  value = static_cast<int32_t>(negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude));
  return true;
}

bool Fail(std::string& error, std::string_view text, const char* what) {
  error = "'" + std::string(text) + "' " + what;
  return false;
}

bool InvalidFloat(std::string& error, std::string_view text) {
  return Fail(error, text, "is not a valid floating point value");
}

}  // namespace

bool TryStrToInt(std::string_view text, int32_t& value) { return ParseInt(text, value); }

bool TryStrToInt(std::string_view text, int32_t& value, std::string& error) {
  return ParseInt(text, value) || Fail(error, text, "is not a valid integer value");
}

std::string IntToStr(int32_t value) {
  char buffer[12];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string FloatToStr(double value, const RegionalSettings& settings) {
  if (std::isnan(value)) return std::signbit(value) ? "-NAN" : "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";

  // "-d.ddddddddddddddde+xx": the value correctly rounded to 15 significant digits.
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
    text += IntToStr(exponent);
  }
  return text;
}

bool TryStrToFloat(std::string_view text, const RegionalSettings& settings, double& value, std::string& error) {
  // Rewritten into the one form that from_chars reads: [-]digits[.digits][e[-]digits].
  std::string plain;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && text[i] == ' ') ++i;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') plain += '-';
    ++i;
  }
  size_t mantissaDigits = 0;
  // Decimal position of the first significant digit, to tell an overflow
  // from an underflow when from_chars reports either as out of range.
  long long leadExponent = 0;
  bool significant = false;
  for (; i < n && IsDigit(text[i]); ++i, ++mantissaDigits) {
    plain += text[i];
    significant = significant || text[i] != '0';
    if (significant) ++leadExponent;
  }
  if (i < n && text[i] == settings.decimalSeparator) {
    plain += '.';
    for (++i; i < n && IsDigit(text[i]); ++i, ++mantissaDigits) {
      plain += text[i];
      if (!significant && text[i] == '0') --leadExponent;
      significant = significant || text[i] != '0';
    }
  }
  if (mantissaDigits == 0) return InvalidFloat(error, text);
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
    size_t exponentDigits = 0;
    for (; i < n && IsDigit(text[i]); ++i, ++exponentDigits) {
      plain += text[i];
      if (exponent < 1000000000) exponent = exponent * 10 + (text[i] - '0');
    }
    if (exponentDigits == 0) return InvalidFloat(error, text);
    if (negativeExponent) exponent = -exponent;
  }
  while (i < n && text[i] == ' ') ++i;
  if (i != n) return InvalidFloat(error, text);

  double read = 0;
  const auto result = std::from_chars(plain.data(), plain.data() + plain.size(), read, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    if (leadExponent + exponent > 0) return Fail(error, text, "is out of the floating point range");
    value = plain[0] == '-' ? -0.0 : 0.0;  // below the smallest subnormal
    return true;
  }
  if (result.ec != std::errc() || result.ptr != plain.data() + plain.size()) return InvalidFloat(error, text);
  value = read;
  return true;
}
