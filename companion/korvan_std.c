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

/* The driver's convention: EAX, EDX, ECX, then the rest pushed left to
 * right and removed by the callee. GCC's regparm(3) stdcall pushes right to
 * left, so the stack arguments of the two long operations are declared
 * reversed. Only the low byte of a Boolean result is defined. */
#define REG __attribute__((regparm(3), stdcall))
typedef unsigned char Bool8;

static HMODULE self;
static HMODULE volatile driver;

static HMODULE Driver(void) {
  char path[MAX_PATH + 16];
  DWORD length;
  HMODULE loaded;
  if (driver) return driver;
  length = GetModuleFileNameA(self, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return NULL;
  while (length > 0 && path[length - 1] != '\\' && path[length - 1] != '/')
    --length;
  lstrcpyA(path + length, "_Korvan.dll");
  loaded = LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
  /* Two threads may both load it; the extra reference is harmless. */
  if (loaded) driver = loaded;
  return loaded;
}

static void* Find(const char* name) {
  HMODULE module = Driver();
  return module ? (void*)GetProcAddress(module, name) : NULL;
}

#define BOOL0(name)                                   \
  int KORVAN_CALL name(void) {                         \
    Bool8(REG * fn)(void) = (Bool8(REG*)(void))Find(#name); \
    return fn ? fn() != 0 : 0;                        \
  }
#define VOID0(name)                                   \
  void KORVAN_CALL name(void) {                        \
    void(REG * fn)(void) = (void(REG*)(void))Find(#name); \
    if (fn) fn();                                     \
  }
#define BOOL1(name, t1)                                    \
  int KORVAN_CALL name(t1 a1) {                             \
    Bool8(REG * fn)(t1) = (Bool8(REG*)(t1))Find(#name);    \
    return fn ? fn(a1) != 0 : 0;                           \
  }
#define BOOL2(name, t1, t2)                                     \
  int KORVAN_CALL name(t1 a1, t2 a2) {                           \
    Bool8(REG * fn)(t1, t2) = (Bool8(REG*)(t1, t2))Find(#name); \
    return fn ? fn(a1, a2) != 0 : 0;                            \
  }

BOOL0(AUT_AlteraConfiguracaoBomba)
BOOL0(AUT_SetarUltimoIdLogico)
BOOL0(AUT_ExcluiVendedorCliente)
BOOL0(AUT_InsereCliente)
BOOL0(AUT_InsereVendedor)
BOOL1(AUT_VerificaSuporte, int)
BOOL2(AUT_ObtemAssinatura, char*, char*)
BOOL0(AUT_DesbloqueiaTodosBicos)
BOOL1(AUT_DesbloqueiaBico, const char*)
BOOL0(AUT_BloqueiaTodosBicos)
BOOL1(AUT_BloqueiaBico, const char*)
BOOL0(AUT_PagamentoBico)
BOOL1(AUT_AutorizaAbastecimento, const char*)
BOOL0(AUT_PresetAbastecimento)
BOOL2(AUT_AlteraPreco, const char*, const char*)
BOOL2(AUT_ObtemPreco, const char*, char*)
BOOL2(AUT_ObtemEncerrante, const char*, char*)
BOOL1(AUT_ObtemStatus, char*)
BOOL0(AUT_ObtemDisplay)
BOOL0(AUT_ConfirmaAbastecimento)
VOID0(AUT_FinalizaComunicacao)
VOID0(DRV_ParaGravacaoLog)
VOID0(DRV_IniciaGravacaoLog)

int KORVAN_CALL AUT_IniciaComunicacao(const char* porta, const char* modo,
                                     const char* configuracao) {
  typedef Bool8(REG * Fn)(const char*, const char*, const char*);
  Fn fn = (Fn)Find("AUT_IniciaComunicacao");
  return fn ? fn(porta, modo, configuracao) != 0 : 0;
}

void KORVAN_CALL AUT_RegistraBico(const char* numeroLogico,
                                 const char* numeroBomba, const char* unread,
                                 const char* casasLitragem,
                                 const char* casasPreco,
                                 const char* casasTotal,
                                 const char* casasEncerrante,
                                 const char* configuracao) {
  /* Stack arguments 4..8 declared last to first. */
  typedef void(REG * Fn)(const char*, const char*, const char*, const char*,
                         const char*, const char*, const char*, const char*);
  Fn fn = (Fn)Find("AUT_RegistraBico");
  if (fn)
    fn(numeroLogico, numeroBomba, unread, configuracao, casasEncerrante,
       casasTotal, casasPreco, casasLitragem);
}

int KORVAN_CALL AUT_ObtemAbastecimento(char* numeroLogico, char* volume,
                                      char* valorTotal, char* precoUnitario,
                                      char* encerranteInicial,
                                      char* encerranteFinal, char* hora,
                                      char* text8, char* text9, char* text10,
                                      double* data) {
  /* Stack arguments 4..11 declared last to first. */
  typedef Bool8(REG * Fn)(char*, char*, char*, double*, char*, char*, char*,
                          char*, char*, char*, char*);
  Fn fn = (Fn)Find("AUT_ObtemAbastecimento");
  return fn ? fn(numeroLogico, volume, valorTotal, data, text10, text9, text8,
                 hora, encerranteFinal, encerranteInicial, precoUnitario) != 0
            : 0;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    self = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}
