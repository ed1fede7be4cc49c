/* A host built the way Visual Studio builds one: compiled in MSVC mode,
 * linked by an MSVC-compatible linker (with /SAFESEH on i686) against the
 * import library that the package ships, korvan.h as its only declarations.
 * No C runtime: the few kernel32 functions it needs are declared here, and
 * it has its own entry point.
 *
 * A short session against the simulator with examples/example.scenario.
 * Each step prints what it got and what it wanted; the exit code is the
 * number of steps that differed. */
#include "korvan.h"

typedef void* HANDLE;
typedef unsigned long DWORD;
typedef int BOOL;
__declspec(dllimport) HANDLE __stdcall GetStdHandle(DWORD handle);
__declspec(dllimport) BOOL __stdcall WriteFile(HANDLE file, const void* data, DWORD size,
                                               DWORD* written, void* overlapped);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(unsigned code);

/* Without the C runtime: the marker that code with doubles is linked with. */
int _fltused;

static int failures;

static unsigned Length(const char* text) {
  unsigned n = 0;
  while (text[n] != '\0') ++n;
  return n;
}

static void Print(const char* text) {
  DWORD written;
  WriteFile(GetStdHandle((DWORD)-11), text, Length(text), &written, 0);
}

static void PrintInt(int value) {
  char digits[16];
  int i = (int)sizeof digits - 1;
  unsigned magnitude = value < 0 ? 0u - (unsigned)value : (unsigned)value;
  digits[i] = '\0';
  do {
    digits[--i] = (char)('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) digits[--i] = '-';
  Print(digits + i);
}

static void Step(const char* what) {
  Print(what);
  Print(": ");
}

static void ExpectInt(const char* what, int got, int wanted) {
  Step(what);
  PrintInt(got);
  if (got != wanted) {
    Print("   FAIL: wanted ");
    PrintInt(wanted);
    ++failures;
  }
  Print("\n");
}

/* A number text compares whatever the machine's decimal separator is. */
static void ExpectText(const char* what, const char* got, const char* wanted) {
  unsigned i = 0;
  while (got[i] != '\0' && (got[i] == wanted[i] || (got[i] == ',' && wanted[i] == '.'))) ++i;
  Step(what);
  Print("\"");
  Print(got);
  Print("\"");
  if (got[i] != wanted[i]) {
    Print("   FAIL: wanted \"");
    Print(wanted);
    Print("\"");
    ++failures;
  }
  Print("\n");
}

/* Buffers of the sizes korvan.h gives; static, so that no stack probe is
 * needed. */
static char nozzle[KORVAN_NOZZLE_TEXT_SIZE], volume[KORVAN_NUMBER_TEXT_SIZE];
static char amount[KORVAN_NUMBER_TEXT_SIZE], price[KORVAN_NUMBER_TEXT_SIZE];
static char start[KORVAN_NUMBER_TEXT_SIZE], end[KORVAN_NUMBER_TEXT_SIZE];
static char time[KORVAN_TIME_TEXT_SIZE], text8[KORVAN_SHORT_TEXT_SIZE];
static char code[KORVAN_CODE_TEXT_SIZE], text10[KORVAN_EMPTY_TEXT_SIZE];
static char status[KORVAN_STATUS_SIZE_MAX];
static char signature[KORVAN_SIGNATURE_SIZE], version[KORVAN_VERSION_SIZE];
static double date;

static int Fetch(void) {
  return AUT_ObtemAbastecimento(nozzle, volume, amount, price, start, end, time, text8, code,
                                text10, &date);
}

void HostStart(void) {
  PFN_AUT_VerificaSuporte supported = AUT_VerificaSuporte;
  DRV_IniciaGravacaoLog();
  ExpectInt("AUT_ObtemAssinatura", AUT_ObtemAssinatura(signature, version), 1);
  ExpectText("  signature", signature, "Korvan");
  ExpectText("  version", version, "3.37");
  ExpectInt("AUT_VerificaSuporte(7), through its PFN_ type", supported(7), 1);
  ExpectInt("AUT_IniciaComunicacao", AUT_IniciaComunicacao("127.0.0.1", "MSVC", ""), 1);
  AUT_RegistraBico("41", "2", "", "3", "3", "2", "3", "");
  ExpectInt("AUT_ObtemAbastecimento", Fetch(), 1);
  ExpectText("  nozzle", nozzle, "41");
  ExpectText("  volume", volume, "20");
  ExpectText("  unit price", price, "6.099");
  ExpectText("  amount", amount, "121.98");
  ExpectText("  argument 8", text8, "0");
  ExpectText("  code", code, "000000FF");
  ExpectText("  argument 10", text10, "");
  ExpectInt("  date (5 Dec 2026, 00:00)", (int)date, 46361);
  ExpectInt("AUT_ConfirmaAbastecimento", AUT_ConfirmaAbastecimento(), 1);
  ExpectInt("AUT_ObtemAbastecimento (none left)", Fetch(), 0);
  ExpectInt("AUT_ObtemStatus", AUT_ObtemStatus(status), 1);
  ExpectInt("  one letter per pump", (int)Length(status), 2);
  ExpectInt("AUT_ObtemPreco(hose id 31)", AUT_ObtemPreco("31", price), 1);
  ExpectText("  price", price, "5.799");
  AUT_FinalizaComunicacao();
  DRV_ParaGravacaoLog();
  Print(failures ? "FAILED: " : "passed: ");
  PrintInt(failures);
  Print(" step(s) differed\n");
  ExitProcess((unsigned)failures);
}
