/* A point-of-sale host's session with the Korvan driver, in plain C: start,
 * register the nozzles, fetch a delivery and confirm it, read the pumps'
 * status, a price and a totalizer, change a price, lock and unlock, end.
 *
 * Built two ways from this one source:
 *   - as is: against _KorvanStd.dll (stdcall; any 32-bit compiler), or
 *     against _Korvan.dll on 64 bits;
 *   - with -DKORVAN_REGISTER (GCC or Clang, 32 bits): against _Korvan.dll
 *     itself, through korvan.h's register-convention wrappers.
 * The calls read the same either way.
 *
 * Run it beside the driver and a QXClient.dll. With the simulated one, name
 * example.scenario in QXSIM_SCENARIO. Each step prints what it got and what
 * it wanted; the exit code is the number of steps that differed. */
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "korvan.h"

static int failures;

/* Checks that a call left the stack pointer where it found it: a
 * declaration with the wrong convention or argument count would not. */
#if defined(__GNUC__) && defined(__i386__)
#define STACK_MARK(name) \
  unsigned long name;    \
  __asm__ __volatile__("movl %%esp, %0" : "=r"(name) : : "memory")
#define STACK_CHECK(before, what)                                                   \
  do {                                                                              \
    unsigned long after_;                                                           \
    __asm__ __volatile__("movl %%esp, %0" : "=r"(after_) : : "memory");             \
    if (after_ != before) {                                                         \
      printf("FAIL %s: stack moved by %ld bytes\n", what, (long)(after_ - before)); \
      ++failures;                                                                   \
    }                                                                               \
  } while (0)
#else
#define STACK_MARK(name) int name = 0
#define STACK_CHECK(before, what) (void)before
#endif

/* Runs one call and checks its stack use. */
#define CALL(result, expression, what) \
  do {                                 \
    STACK_MARK(before_);               \
    result = (expression);             \
    STACK_CHECK(before_, what);        \
  } while (0)
#define CALL_VOID(expression, what) \
  do {                              \
    STACK_MARK(before_);            \
    expression;                     \
    STACK_CHECK(before_, what);     \
  } while (0)

static void ExpectInt(const char* what, int got, int wanted) {
  printf("%-34s %d", what, got);
  if (got != wanted) {
    printf("   FAIL: wanted %d", wanted);
    ++failures;
  }
  printf("\n");
}

/* Compares a number text whatever the machine's decimal separator is. */
static void ExpectText(const char* what, const char* got, const char* wanted) {
  char plain[64];
  size_t i;
  for (i = 0; got[i] != '\0' && i + 1 < sizeof plain; ++i) plain[i] = got[i] == ',' ? '.' : got[i];
  plain[i] = '\0';
  printf("%-34s \"%s\"", what, got);
  if (strcmp(plain, wanted) != 0) {
    printf("   FAIL: wanted \"%s\"", wanted);
    ++failures;
  }
  printf("\n");
}

/* The price text in this machine's number format. */
static void PriceText(char* text, const char* whole, const char* fraction) {
  char separator[8] = ".";
  GetLocaleInfoA(GetThreadLocale(), LOCALE_SDECIMAL, separator, sizeof separator);
  sprintf(text, "%s%c%s", whole, separator[0], fraction);
}

struct Delivery {
  char nozzle[KORVAN_NOZZLE_TEXT_SIZE];
  char volume[KORVAN_NUMBER_TEXT_SIZE], amount[KORVAN_NUMBER_TEXT_SIZE];
  char price[KORVAN_NUMBER_TEXT_SIZE];
  char start[KORVAN_NUMBER_TEXT_SIZE], end[KORVAN_NUMBER_TEXT_SIZE];
  char time[KORVAN_TIME_TEXT_SIZE], text8[KORVAN_SHORT_TEXT_SIZE];
  char code[KORVAN_CODE_TEXT_SIZE], text10[KORVAN_EMPTY_TEXT_SIZE];
  double date;
};

static int Fetch(struct Delivery* d) {
  int got;
  CALL(got,
       AUT_ObtemAbastecimento(d->nozzle, d->volume, d->amount, d->price, d->start, d->end, d->time,
                              d->text8, d->code, d->text10, &d->date),
       "AUT_ObtemAbastecimento");
  return got;
}

static void Begin(void) {
  char signature[KORVAN_SIGNATURE_SIZE] = "", version[KORVAN_VERSION_SIZE] = "";
  int got;
  CALL_VOID(DRV_IniciaGravacaoLog(), "DRV_IniciaGravacaoLog");
  CALL(got, AUT_ObtemAssinatura(signature, version), "AUT_ObtemAssinatura");
  ExpectInt("AUT_ObtemAssinatura", got, 1);
  ExpectText("  signature", signature, "Korvan");
  ExpectText("  version", version, "3.37");
  CALL(got, AUT_VerificaSuporte(7), "AUT_VerificaSuporte");
  ExpectInt("AUT_VerificaSuporte(7)", got, 1);
  CALL(got, AUT_VerificaSuporte(6), "AUT_VerificaSuporte");
  ExpectInt("AUT_VerificaSuporte(6)", got, 0);
  CALL(got, AUT_IniciaComunicacao("127.0.0.1", "EXEMPLO", ""), "AUT_IniciaComunicacao");
  ExpectInt("AUT_IniciaComunicacao", got, 1);
  /* Nozzle numbers are the controller's hose identifiers; volumes with 3
   * decimal places, prices 3, amounts 2, totalizers 3. */
  CALL_VOID(AUT_RegistraBico("31", "1", "", "3", "3", "2", "3", ""), "AUT_RegistraBico");
  CALL_VOID(AUT_RegistraBico("41", "2", "", "3", "3", "2", "3", ""), "AUT_RegistraBico");
}

static void Deliveries(void) {
  struct Delivery d;
  int got;
  memset(&d, 0, sizeof d);
  got = Fetch(&d);
  ExpectInt("AUT_ObtemAbastecimento", got, 1);
  ExpectText("  nozzle", d.nozzle, "41");
  ExpectText("  volume", d.volume, "20");
  ExpectText("  unit price", d.price, "6.099");
  ExpectText("  amount", d.amount, "121.98");
  ExpectText("  start totalizer", d.start, "45678.9");
  ExpectText("  end totalizer", d.end, "45698.9");
  ExpectText("  argument 8", d.text8, "0");
  ExpectText("  code", d.code, "000000FF");
  ExpectText("  argument 10", d.text10, "");
  ExpectInt("  date (5 Dec 2026, 00:00)", (int)d.date, 46361);
  ExpectInt("  date is midnight", d.date == (double)(int)d.date, 1);
  ExpectInt("  time has 8 characters", (int)strlen(d.time), 8);
  CALL(got, AUT_ConfirmaAbastecimento(), "AUT_ConfirmaAbastecimento");
  ExpectInt("AUT_ConfirmaAbastecimento", got, 1);
  got = Fetch(&d);
  ExpectInt("AUT_ObtemAbastecimento (none left)", got, 0);
}

static void Pumps(void) {
  char status[KORVAN_STATUS_SIZE(16)] = "";
  char text[KORVAN_NUMBER_TEXT_SIZE] = "", price[32] = "";
  int got;
  CALL(got, AUT_ObtemStatus(status), "AUT_ObtemStatus");
  ExpectInt("AUT_ObtemStatus", got, 1);
  ExpectInt("  one letter per pump", (int)strlen(status), 2);
  CALL(got, AUT_ObtemPreco("31", text), "AUT_ObtemPreco");
  ExpectInt("AUT_ObtemPreco(hose id 31)", got, 1);
  ExpectText("  price", text, "5.799");
  CALL(got, AUT_ObtemEncerrante("31", text), "AUT_ObtemEncerrante");
  ExpectInt("AUT_ObtemEncerrante(hose id 31)", got, 1);
  ExpectText("  totalizer", text, "123456.789");
  /* AUT_AlteraPreco names the hose by its ordinal: hose 31 is the first. */
  PriceText(price, "6", "199");
  CALL(got, AUT_AlteraPreco("1", price), "AUT_AlteraPreco");
  ExpectInt("AUT_AlteraPreco(ordinal 1)", got, 1);
  CALL(got, AUT_ObtemPreco("31", text), "AUT_ObtemPreco");
  ExpectText("  price of hose id 31", text, "6.199");
  CALL(got, AUT_BloqueiaBico("1"), "AUT_BloqueiaBico");
  ExpectInt("AUT_BloqueiaBico(ordinal 1)", got, 1);
  CALL(got, AUT_ObtemStatus(status), "AUT_ObtemStatus");
  ExpectInt("  pump 1 locked (B)", status[0], 'B');
  CALL(got, AUT_DesbloqueiaBico("1"), "AUT_DesbloqueiaBico");
  ExpectInt("AUT_DesbloqueiaBico(ordinal 1)", got, 1);
  CALL(got, AUT_BloqueiaTodosBicos(), "AUT_BloqueiaTodosBicos");
  ExpectInt("AUT_BloqueiaTodosBicos", got, 1);
  CALL(got, AUT_DesbloqueiaTodosBicos(), "AUT_DesbloqueiaTodosBicos");
  ExpectInt("AUT_DesbloqueiaTodosBicos", got, 1);
  CALL(got, AUT_ObtemDisplay(), "AUT_ObtemDisplay");
  ExpectInt("AUT_ObtemDisplay", got, 1);
  CALL(got, AUT_PresetAbastecimento(), "AUT_PresetAbastecimento");
  ExpectInt("AUT_PresetAbastecimento", got, 0);
}

int main(void) {
  Begin();
  Deliveries();
  Pumps();
  CALL_VOID(AUT_FinalizaComunicacao(), "AUT_FinalizaComunicacao");
  CALL_VOID(DRV_ParaGravacaoLog(), "DRV_ParaGravacaoLog");
  printf("%s: %d step(s) differed\n", failures ? "FAILED" : "passed", failures);
  return failures;
}
