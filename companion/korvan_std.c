/* _KorvanStd.dll: the driver's 26 operations with the stdcall convention and
 * their arguments in natural order, for 32-bit hosts whose language cannot
 * express the driver's register convention (MSVC C/C++, C#, VB, Python
 * ctypes). Each operation forwards to _Korvan.dll in this DLL's own folder
 * and adds nothing: results, texts and log lines are the driver's.
 *
 * Written in C so that nothing here needs unwinding or destruction: the
 * host may unload this DLL at any time. The driver, once loaded, stays
 * loaded for the life of the process, as it would in a host that loaded it
 * itself (no FreeLibrary from DllMain). */
#include <windows.h>

#define KORVAN_BUILDING_STD
#include "include/korvan.h"

static HMODULE self;
static HMODULE volatile driver;

static HMODULE Driver(void) {
  char path[MAX_PATH + 16];
  DWORD length;
  HMODULE loaded;
  if (driver) return driver;
  length = GetModuleFileNameA(self, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return NULL;
  while (length > 0 && path[length - 1] != '\\' && path[length - 1] != '/') --length;
  lstrcpyA(path + length, "_Korvan.dll");
  loaded = LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
  /* Two threads may both load it; the extra reference is harmless. */
  if (loaded) driver = loaded;
  return loaded;
}

/* The driver's entry point `name`, looked up once and kept in `slot`; null
 * while the driver or the name cannot be found (looked up again next time).
 * Two threads may both look it up; both store the same address. */
static FARPROC Entry(FARPROC volatile* slot, const char* name) {
  FARPROC entry = *slot;
  HMODULE module;
  if (entry) return entry;
  module = Driver();
  entry = module ? GetProcAddress(module, name) : NULL;
  *slot = entry;
  return entry;
}

/* Each operation forwards its arguments to the driver's export in the
 * driver's convention (korvan.h: KORVAN_DRIVER_CALL). Only the low byte of
 * a Boolean result is defined there; here the whole result is 0 or 1. */
#define RAW_RESULT_B unsigned char
#define RAW_RESULT_V void
#define FORWARD_B(call) return (call) != 0 ? 1 : 0
#define FORWARD_V(call) call
#define MISSING_B return 0
#define MISSING_V return
#define FORWARD(kind, name, parameters, arguments)                                          \
  KORVAN_RESULT_##kind KORVAN_CALL name parameters {                                        \
    typedef RAW_RESULT_##kind(KORVAN_DRIVER_CALL* Raw) KORVAN_DRIVER_PARAMETERS parameters; \
    static FARPROC volatile slot;                                                           \
    const Raw raw = (Raw)(void*)Entry(&slot, #name);                                        \
    if (!raw) MISSING_##kind;                                                               \
    FORWARD_##kind(raw KORVAN_DRIVER_PARAMETERS arguments);                                 \
  }
KORVAN_OPERATIONS(FORWARD)

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    self = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}
