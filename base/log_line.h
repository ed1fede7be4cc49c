// Where and how a log line is written, apart from the file and clock calls.
#pragma once

#include <string>
#include <string_view>

namespace korvan {

struct LocalTime {
  int year, month, day, hour, minute, second, milliseconds;
};

// One file per hour, relative to the current directory:
// "LOG\DllDriverAutomacao0512_14.log" on 5 December at 14:xx.
std::string LogFilePath(const LocalTime& now);

// "DRV - < 14:37:05 >message\r\n"; the message goes out byte for byte.
std::string LogLine(const LocalTime& now, char timeSeparator, std::string_view message);

}  // namespace korvan
