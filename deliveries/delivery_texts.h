// Texts of a finished delivery handed to the host. Dates are OLE Automation
// dates: days since 30 December 1899, the fraction being the time of day.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/number_texts.h"

namespace korvan {

// Dates outside 1 January 100 .. 31 December 9999 (or not finite) give
// nothing; InvalidDate says why, for the log. Times are taken to the nearest
// millisecond first, so 23:59:59.9996 belongs to the next day.
std::string InvalidDate(double oleDate);

// "hh:mm:ss" with the regional time separator, hour 00..23, into `text`;
// false (nothing written) for a date out of range.
bool TimeText(double oleDate, const RegionalSettings& settings, ShortText& text);

// The same day at 00:00.
std::optional<double> DateAtMidnight(double oleDate);

// The date in the regional short date picture: d, dd, M or m, MM or mm, yy,
// yyyy; '/' stands for the date separator; text in quotes and any other
// character are copied.
std::optional<std::string> ShortDateText(double oleDate, const RegionalSettings& settings);

// Upper-case hex, at least 8 digits; negatives as 16-digit two's complement.
ShortText Hex64Text(int64_t code);

}  // namespace korvan
