#include "host/log_tail.h"

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

uint64_t FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

// Messages of the lines from `offset` to the end of `path`.
void ReadMessages(const std::string& path, uint64_t offset, std::vector<std::string>& messages) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return;
  file.seekg(static_cast<std::streamoff>(offset));
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // "DRV - < hh:mm:ss >message"
    const std::string::size_type mark = line.find(" >");
    messages.push_back(
        line.rfind("DRV - < ", 0) == 0 && mark != std::string::npos ? line.substr(mark + 2) : line);
  }
}

}  // namespace

std::string LogFilePath() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  char folder[MAX_PATH] = "";
  GetCurrentDirectoryA(sizeof folder, folder);
  char name[64];
  std::snprintf(name, sizeof name, "\\LOG\\DllDriverAutomacao%02d%02d_%02d.log", now.wDay,
                now.wMonth, now.wHour);
  return std::string(folder) + name;
}

void LogTail::Mark() {
  path_ = LogFilePath();
  size_ = FileSize(path_);
}

std::vector<std::string> LogTail::Since() const {
  std::vector<std::string> messages;
  ReadMessages(path_, size_, messages);
  const std::string now = LogFilePath();
  if (now != path_) ReadMessages(now, 0, messages);
  return messages;
}
