#include "tests/win/support.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <fstream>
#include <sstream>

void RemoveLogFolder(const std::string& folder) {
  const std::string log = folder + "LOG\\";
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((log + "*.log").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do DeleteFileA((log + found.cFileName).c_str());
    while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(log.c_str());
}

void EnterFreshFolder(const std::string& name) {
  std::string folder = ExeFolder() + "run-" + name;
  CreateDirectoryA(folder.c_str(), nullptr);
  SetCurrentDirectoryA(folder.c_str());
  RemoveLogFolder("");
}

std::string ReadLogBytes() {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA("LOG\\*.log", &found);
  if (search != INVALID_HANDLE_VALUE) {
    do names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
  }
  std::sort(names.begin(), names.end());
  std::string bytes;
  for (const auto& name : names) bytes += ReadFile("LOG\\" + name);
  return bytes;
}

std::vector<std::string> LogMessages() {
  std::vector<std::string> messages;
  std::string bytes = ReadLogBytes();
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    size_t mark = line.find(" >");
    messages.push_back(mark == std::string::npos ? line : line.substr(mark + 2));
    start = end + 2;
  }
  return messages;
}

bool LogFolderExists() {
  DWORD attributes = GetFileAttributesA("LOG");
  return attributes != INVALID_FILE_ATTRIBUTES;
}

std::string IniPath() { return ExeFolder() + "_Korvan.ini"; }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

void RemoveFile(const std::string& path) { DeleteFileA(path.c_str()); }

Footprint MeasureFootprint() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  DWORD handles = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handles);
  if (handles == 0) {
    HANDLE probe = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    handles = static_cast<DWORD>(reinterpret_cast<uintptr_t>(probe) / 4);
    CloseHandle(probe);
  }
  // PagefileUsage is the process's private committed memory.
  return {counters.PagefileUsage, handles};
}

bool ContainsRun(const std::vector<std::string>& lines,
                 const std::vector<std::string>& expected) {
  return std::search(lines.begin(), lines.end(), expected.begin(),
                     expected.end()) != lines.end();
}

std::string Join(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += "  " + line + "\n";
  return text;
}
