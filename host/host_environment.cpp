#include "host/host_environment.h"

#include <windows.h>

std::string ExeFolder() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string folder(path, length);
  return folder.substr(0, folder.find_last_of("\\/") + 1);
}

char DecimalSeparator() {
  char text[8] = ".";
  GetLocaleInfoA(GetThreadLocale(), LOCALE_SDECIMAL, text, sizeof text);
  return text[0];
}

size_t CommittedPrivateBytes() {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  const auto* address = static_cast<const char*>(system.lpMinimumApplicationAddress);
  const auto* const end = static_cast<const char*>(system.lpMaximumApplicationAddress);
  size_t committed = 0;
  MEMORY_BASIC_INFORMATION region;
  while (address < end && VirtualQuery(address, &region, sizeof region) == sizeof region) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) committed += region.RegionSize;
    address = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
  }
  return committed;
}
