// Test programs run unattended under Wine: a fault must fail the test at once, not wait on a
// dialog. "--locale=pt-BR" sets the thread locale that the driver reads its regional settings from
// when it is loaded.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "tests/common/station.h"

int main(int argc, char** argv) {
  ExitOnFault();
  testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--preload=", 10) == 0) {
      const std::string path = ExeFolder() + (argv[i] + 10);
      if (!LoadLibraryA(path.c_str())) {
        std::fprintf(stderr, "cannot load %s\n", path.c_str());
        return 2;
      }
    } else if (std::strncmp(argv[i], "--locale=", 9) == 0) {
      wchar_t name[LOCALE_NAME_MAX_LENGTH];
      std::mbstowcs(name, argv[i] + 9, LOCALE_NAME_MAX_LENGTH);
      const LCID locale = LocaleNameToLCID(name, 0);
      if (locale == 0 || !SetThreadLocale(locale)) {
        std::fprintf(stderr, "unknown locale %s\n", argv[i] + 9);
        return 2;
      }
    }
  }
  return RUN_ALL_TESTS();
}
