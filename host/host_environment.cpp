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
