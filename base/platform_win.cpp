#include "base/platform.h"

#include <windows.h>

namespace korvan::platform {

LocalTime Now() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

void SleepMilliseconds(unsigned milliseconds) { Sleep(milliseconds); }

bool EnsureFolder(const char* path) {
  if (CreateDirectoryA(path, nullptr)) return true;
  return GetLastError() == ERROR_ALREADY_EXISTS;
}

bool AppendToFile(const std::string& path, std::string_view bytes) {
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
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
  if (auto text = LocaleText(locale, LOCALE_SDATE); !text.empty()) settings.dateSeparator = text[0];
  if (auto text = LocaleText(locale, LOCALE_SSHORTDATE); !text.empty())
    settings.shortDateFormat = text;
  if (auto text = LocaleText(locale, LOCALE_STIME); !text.empty()) settings.timeSeparator = text[0];
  return settings;
}

std::string HostFolder() {
  // Room for long paths: a truncated name would put the file elsewhere.
  std::string folder(32768, '\0');
  DWORD length = GetModuleFileNameA(nullptr, folder.data(), static_cast<DWORD>(folder.size()));
  folder.resize(length < folder.size() ? length : 0);
  auto slash = folder.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

std::string ReadProfileString(const std::string& file, const char* section, const char* key,
                              const char* fallback) {
  char value[2048];
  DWORD length =
      GetPrivateProfileStringA(section, key, fallback, value, sizeof value, file.c_str());
  return std::string(value, length);
}

bool WriteProfileString(const std::string& file, const char* section, const char* key,
                        const std::string& value) {
  return WritePrivateProfileStringA(section, key, value.c_str(), file.c_str()) != 0;
}

void ShowMessage(const char* text) { MessageBoxA(nullptr, text, "Korvan", MB_OK); }

namespace {
// Plain data: initialised at process attach, not by a static constructor.
CRITICAL_SECTION driverLock;

// Exception mask bits: x87 control word bits 0-5, MXCSR bits 7-12; the
// matching flags are the status word's and MXCSR's bits 0-5.
constexpr unsigned short kX87Masks = 0x3F;
// x87 rounding (bits 10-11, 0 = nearest) and precision (bits 8-9: 0 = 24
// bits, 2 = 53, 3 = 64). The driver's long double steps need nearest and at
// least 53 bits; a host at 24 bits or rounding otherwise gets 64 bits and
// nearest while the driver works.
constexpr unsigned short kX87Rounding = 0xC00;
constexpr unsigned short kX87Precision = 0x300;
constexpr unsigned short kX87Precision53 = 0x200;
constexpr unsigned int kSseMasks = 0x1F80;
// MXCSR's mode: the masks, rounding (bits 13-14), flush to zero (15) and
// denormals are zero (6). The driver's number texts count on the default:
// all masked, rounding to nearest, no flushing.
constexpr unsigned int kSseMode = 0xFFC0;
constexpr unsigned int kSseFlags = 0x3F;

void SetX87Control(unsigned short word) { __asm__ volatile("fldcw %0" : : "m"(word) : "memory"); }
void ClearX87Flags() { __asm__ volatile("fnclex" : : : "memory"); }
void SetSse(unsigned int word) { __asm__ volatile("ldmxcsr %0" : : "m"(word) : "memory"); }

}  // namespace

void CreateDriverLock() { InitializeCriticalSection(&driverLock); }
void DestroyDriverLock() { DeleteCriticalSection(&driverLock); }

DriverLockHold::DriverLockHold() { EnterCriticalSection(&driverLock); }
DriverLockHold::~DriverLockHold() { LeaveCriticalSection(&driverLock); }

FloatingPointShield::FloatingPointShield() {
  // Both words are stored before either is read back: the two slow stores
  // overlap.
  __asm__ volatile("fnstcw %0\n\tstmxcsr %1" : "=m"(hostX87_), "=m"(hostSse_) : : "memory");
  const bool x87Fits = (hostX87_ & kX87Masks) == kX87Masks && (hostX87_ & kX87Rounding) == 0 &&
                       (hostX87_ & kX87Precision53) != 0;
  shielding_ = !x87Fits || (hostSse_ & kSseMode) != kSseMasks;
  if (!shielding_) return;
  SetX87Control((hostX87_ & ~kX87Rounding) | kX87Precision | kX87Masks);
  SetSse((hostSse_ & ~(kSseMode | kSseFlags)) | kSseMasks);
}

FloatingPointShield::~FloatingPointShield() {
  if (!shielding_) return;
  // Flags go before the masks come back: an unmasked x87 exception whose
  // flag is set would trap at the host's next floating-point instruction.
  ClearX87Flags();
  SetX87Control(hostX87_);
  SetSse(hostSse_ & ~kSseFlags);
}

}  // namespace korvan::platform
