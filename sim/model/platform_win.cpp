#include "sim/model/platform.h"

#include <windows.h>

#include "sim/model/ole_date.h"

namespace qxsim {

uint64_t MonotonicMilliseconds() { return GetTickCount64(); }

double LocalNowOleDate() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return OleDate(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

std::string EnvironmentText(const char* name) {
  char small[512];
  DWORD n = GetEnvironmentVariableA(name, small, sizeof small);
  if (n == 0) return std::string();
  if (n < sizeof small) return std::string(small, n);
  std::string large(n, '\0');
  n = GetEnvironmentVariableA(name, &large[0], n);
  large.resize(n);
  return large;
}

std::string OwnFolder() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(&OwnFolder), &self)) {
    return std::string();
  }
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(self, path, sizeof path);
  if (n == 0 || n == sizeof path) return std::string();
  std::string folder(path, n);
  const size_t slash = folder.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ReadWholeFile(const std::string& path, std::string& contents) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  contents.clear();
  char buffer[4096];
  bool ok = true;
  for (;;) {
    DWORD got = 0;
    ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr) != FALSE;
    if (!ok || got == 0) break;
    contents.append(buffer, got);
  }
  CloseHandle(file);
  return ok;
}

void DebugLine(const std::string& text) { OutputDebugStringA((text + "\n").c_str()); }

}  // namespace qxsim
