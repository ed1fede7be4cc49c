#include "base/log_line.h"

namespace korvan {

namespace {

void AppendTwoDigits(std::string& text, int value) {
  text += static_cast<char>('0' + value / 10 % 10);
  text += static_cast<char>('0' + value % 10);
}

}  // namespace

std::string LogFilePath(const LocalTime& now) {
  std::string path = "LOG\\DllDriverAutomacao";
  AppendTwoDigits(path, now.day);
  AppendTwoDigits(path, now.month);
  path += '_';
  AppendTwoDigits(path, now.hour);
  path += ".log";
  return path;
}

std::string LogLine(const LocalTime& now, char timeSeparator, std::string_view message) {
  std::string line = "DRV - < ";
  line.reserve(line.size() + 10 + message.size() + 2);
  AppendTwoDigits(line, now.hour);
  line += timeSeparator;
  AppendTwoDigits(line, now.minute);
  line += timeSeparator;
  AppendTwoDigits(line, now.second);
  line += " >";
  line += message;
  line += "\r\n";
  return line;
}

}  // namespace korvan
