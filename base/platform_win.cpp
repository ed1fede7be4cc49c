#include "base/platform.h"

#include <windows.h>

#include <float.h>

namespace platform {

LocalTime Now() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond,
                   t.wMilliseconds};
}

void SleepMilliseconds(unsigned milliseconds) { Sleep(milliseconds); }

bool EnsureFolder(const char* path) {
  if (CreateDirectoryA(path, nullptr)) return true;
  return GetLastError() == ERROR_ALREADY_EXISTS;
}

bool AppendToFile(const std::string& path, std::string_view bytes) {
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()),
                      &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

namespace {

// The setting's text, or the empty text when the locale does not say.
std::string LocaleText(LCID locale, LCTYPE type) {
  char buffer[128];
  int length = GetLocaleInfoA(locale, type, buffer, sizeof buffer);
  return length > 1 ? std::string(buffer, length - 1) : std::string();
}

}  // namespace

RegionalSettings ReadRegionalSettings() {
  RegionalSettings settings;  // the fallbacks
  LCID locale = GetThreadLocale();
  if (auto text = LocaleText(locale, LOCALE_SDECIMAL); !text.empty())
    settings.decimalSeparator = text[0];
  if (auto text = LocaleText(locale, LOCALE_SDATE); !text.empty())
    settings.dateSeparator = text[0];
  if (auto text = LocaleText(locale, LOCALE_SSHORTDATE); !text.empty())
    settings.shortDateFormat = text;
  if (auto text = LocaleText(locale, LOCALE_STIME); !text.empty())
    settings.timeSeparator = text[0];
  return settings;
}

std::string HostFolder() {
  // Room for long paths: a truncated name would put the file elsewhere.
  std::string folder(32768, '\0');
  DWORD length = GetModuleFileNameA(nullptr, folder.data(),
                                    static_cast<DWORD>(folder.size()));
  folder.resize(length < folder.size() ? length : 0);
  auto slash = folder.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

std::string ReadProfileString(const std::string& file, const char* section,
                              const char* key, const char* fallback) {
  char value[2048];
  DWORD length = GetPrivateProfileStringA(section, key, fallback, value,
                                          sizeof value, file.c_str());
  return std::string(value, length);
}

bool WriteProfileString(const std::string& file, const char* section,
                        const char* key, const std::string& value) {
  return WritePrivateProfileStringA(section, key, value.c_str(),
                                    file.c_str()) != 0;
}

void ShowMessage(const char* text) {
  MessageBoxA(nullptr, text, "Korvan", MB_OK);
}

namespace {
// Plain data: initialised at process attach, not by a static constructor.
CRITICAL_SECTION driverLock;
}  // namespace

void CreateDriverLock() { InitializeCriticalSection(&driverLock); }
void DestroyDriverLock() { DeleteCriticalSection(&driverLock); }

DriverLockHold::DriverLockHold() { EnterCriticalSection(&driverLock); }
DriverLockHold::~DriverLockHold() { LeaveCriticalSection(&driverLock); }

FloatingPointShield::FloatingPointShield() : hostControl_(_control87(0, 0)) {
  _control87(_MCW_EM, _MCW_EM);
}

FloatingPointShield::~FloatingPointShield() {
  _clearfp();
  _control87(hostControl_, _MCW_EM);
}

}  // namespace platform
