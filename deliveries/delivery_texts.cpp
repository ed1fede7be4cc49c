#include "deliveries/delivery_texts.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

namespace korvan {

namespace {

constexpr int64_t kMsPerDay = 86400000;
constexpr double kFirstDate = -657434;  // 1 January 100
constexpr double kLastDate = 2958466;   // 1 January 10000, excluded
constexpr int64_t kUnixEpoch = 25569;   // 1 January 1970

// Rounded half away from zero, like llround, without the library call:
// below 2^52 the rest after cutting towards zero is exact.
int64_t RoundHalfAway(double value) {
  const int64_t whole = static_cast<int64_t>(value);
  const double rest = value - static_cast<double>(whole);
  return whole + (rest >= 0.5 ? 1 : rest <= -0.5 ? -1 : 0);
}

// Every date in range is below 2^52 milliseconds.
std::optional<int64_t> Milliseconds(double oleDate) {
  if (!(oleDate >= kFirstDate && oleDate < kLastDate)) return std::nullopt;
  return RoundHalfAway(oleDate * kMsPerDay);
}

// Before 1899 the day counts down while the fraction still counts forwards
// from midnight (-1.25 is 29 December 1899 at 06:00): the day is cut towards
// zero and the time taken from the magnitude.
std::optional<int64_t> DayNumber(double oleDate) {
  const std::optional<int64_t> ms = Milliseconds(oleDate);
  if (!ms) return std::nullopt;
  return *ms / kMsPerDay;
}

struct CivilDate {
  int64_t year;
  int month, day;
};

// Proleptic Gregorian date of a count of days since 1 January 1970, from
// the year 100 on (the earliest date a delivery may carry).
CivilDate FromUnixDays(int64_t days) {
  days += 719468;  // days since 1 March of the year 0: never negative here
  const int64_t era = days / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;  // March is 0
  const int day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
  const int month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
  return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

void AppendNumber(std::string& text, int64_t value, size_t minDigits) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  const size_t length = static_cast<size_t>(result.ptr - buffer);
  if (length < minDigits) text.append(minDigits - length, '0');
  text.append(buffer, length);
}

char Digit(int value) { return static_cast<char>('0' + value); }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string InvalidDate(double oleDate) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, oleDate);
  return "'" + std::string(buffer, result.ptr) + "' is not a valid date";
}

bool TimeText(double oleDate, const RegionalSettings& settings, ShortText& text) {
  const std::optional<int64_t> total = Milliseconds(oleDate);
  if (!total) return false;
  const int seconds = static_cast<int>(std::abs(*total) % kMsPerDay / 1000);
  const int parts[] = {seconds / 3600, seconds / 60 % 60, seconds % 60};
  const char separator = settings.timeSeparator;
  text.length = 8;
  char* out = text.chars;
  for (int i = 0; i < 3; ++i) {
    if (i > 0) *out++ = separator;
    *out++ = Digit(parts[i] / 10);
    *out++ = Digit(parts[i] % 10);
  }
  return true;
}

std::optional<double> DateAtMidnight(double oleDate) {
  const std::optional<int64_t> day = DayNumber(oleDate);
  if (!day) return std::nullopt;
  return static_cast<double>(*day);
}

std::optional<std::string> ShortDateText(double oleDate, const RegionalSettings& settings) {
  const std::optional<int64_t> day = DayNumber(oleDate);
  if (!day) return std::nullopt;
  const CivilDate date = FromUnixDays(*day - kUnixEpoch);
  const std::string_view picture = settings.shortDateFormat;
  std::string text;
  for (size_t i = 0; i < picture.size();) {
    const char c = picture[i];
    const char letter = Lower(c);
    if (c == '\'' || c == '"') {
      const size_t close = picture.find(c, i + 1);
      const size_t end = close == std::string_view::npos ? picture.size() : close;
      text.append(picture.substr(i + 1, end - i - 1));
      i = end + 1;
    } else if (letter == 'd' || letter == 'm' || letter == 'y') {
      size_t run = 1;
      while (i + run < picture.size() && Lower(picture[i + run]) == letter) ++run;
      i += run;
      // Day and month names have no place in a short date; longer runs give
      // two digits.
      if (letter == 'd')
        AppendNumber(text, date.day, std::min<size_t>(run, 2));
      else if (letter == 'm')
        AppendNumber(text, date.month, std::min<size_t>(run, 2));
      else if (run <= 2)
        AppendNumber(text, date.year % 100, 2);
      else
        AppendNumber(text, date.year, 4);
    } else {
      text += c == '/' ? settings.dateSeparator : c;
      ++i;
    }
  }
  return text;
}

ShortText Hex64Text(int64_t code) {
  char digits[16];
  char* begin = digits + sizeof digits;
  uint64_t rest = static_cast<uint64_t>(code);
  do {
    *--begin = "0123456789ABCDEF"[rest & 15];
    rest >>= 4;
  } while (rest != 0);
  while (begin > digits + 8) *--begin = '0';
  ShortText text;
  text.length = static_cast<uint8_t>(digits + sizeof digits - begin);
  for (uint8_t i = 0; i < text.length; ++i) text.chars[i] = begin[i];
  return text;
}

}  // namespace korvan
