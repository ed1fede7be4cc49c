/* korvan.h - the 26 operations of the Korvan pump-automation driver, for
 * C and C++ hosts.
 *
 * Which library, which declarations:
 *
 *   32-bit host, any compiler (MSVC, GCC, Clang, ...):
 *       _KorvanStd.dll, __stdcall, arguments in their natural order.
 *   64-bit host, any compiler:
 *       _Korvan.dll, the platform's one convention.
 *   32-bit host, GCC or Clang, #define KORVAN_REGISTER before this header:
 *       _Korvan.dll itself, with its register convention (EAX, EDX, ECX,
 *       then the rest pushed left to right and removed by the callee).
 *       The functions below are then inline wrappers that take the
 *       arguments in the same natural order as the other two forms; the raw
 *       imports (korvan_raw_...) declare the stack arguments reversed,
 *       which is how GCC's regparm(3) stdcall expresses that convention.
 *
 * Every text is single-byte, in the Windows ANSI code page. The driver
 * writes output texts without a length check: give at least the sizes
 * below. A Boolean result is 1 for success, 0 for failure; the log
 * (DRV_IniciaGravacaoLog) says why. docs/exports.md describes each
 * operation.
 */
#ifndef KORVAN_H
#define KORVAN_H

/* Buffer sizes, terminating zero included. */
#define KORVAN_NUMBER_TEXT_SIZE 23    /* volume, price, amount, totalizer */
#define KORVAN_NOZZLE_TEXT_SIZE 12    /* NumeroLogico of a delivery */
#define KORVAN_TIME_TEXT_SIZE 9       /* Hora, "hh:mm:ss" */
#define KORVAN_CODE_TEXT_SIZE 17      /* argument 9 of a delivery, hex */
#define KORVAN_SHORT_TEXT_SIZE 2      /* arguments 8 ("0") and 10 ("") */
#define KORVAN_SIGNATURE_SIZE 7       /* "Korvan" */
#define KORVAN_VERSION_SIZE 5         /* "3.37" */
/* AUT_ObtemStatus writes one letter per pump of the controller. */
#define KORVAN_STATUS_SIZE(pumps) ((pumps) + 1)

/* AUT_VerificaSuporte codes answered with 1. */
#define KORVAN_SUPPORTED_CODES {2, 3, 4, 5, 7}

#ifdef __cplusplus
extern "C" {
#endif

#if defined(KORVAN_REGISTER)
#if !defined(__i386__) || !(defined(__GNUC__) || defined(__clang__))
#error "KORVAN_REGISTER is for GCC or Clang on 32 bits; other 32-bit compilers use _KorvanStd.dll, 64-bit hosts _Korvan.dll without it"
#endif

#define KORVAN_REG __attribute__((regparm(3), stdcall))
/* The exports of _Korvan.dll under the names the linker knows them by. */
#define KORVAN_IMPORT(name) __asm__("_" #name)

#define KORVAN_RAW0(result, name)                                      \
  KORVAN_REG result korvan_raw_##name(void) KORVAN_IMPORT(name);       \
  static __inline__ result name(void) { return korvan_raw_##name(); }
#define KORVAN_VOID0(name)                                             \
  KORVAN_REG void korvan_raw_##name(void) KORVAN_IMPORT(name);         \
  static __inline__ void name(void) { korvan_raw_##name(); }
#define KORVAN_RAW1(result, name, t1)                                  \
  KORVAN_REG result korvan_raw_##name(t1) KORVAN_IMPORT(name);         \
  static __inline__ result name(t1 a1) { return korvan_raw_##name(a1); }
#define KORVAN_RAW2(result, name, t1, t2)                              \
  KORVAN_REG result korvan_raw_##name(t1, t2) KORVAN_IMPORT(name);     \
  static __inline__ result name(t1 a1, t2 a2) {                        \
    return korvan_raw_##name(a1, a2);                                  \
  }
#define KORVAN_RAW3(result, name, t1, t2, t3)                          \
  KORVAN_REG result korvan_raw_##name(t1, t2, t3) KORVAN_IMPORT(name); \
  static __inline__ result name(t1 a1, t2 a2, t3 a3) {                 \
    return korvan_raw_##name(a1, a2, a3);                              \
  }

/* The driver defines only the low byte of a Boolean result. */
#define KORVAN_BOOL_RAW unsigned char
#define KORVAN_ZERO(name) KORVAN_RAW0(KORVAN_BOOL_RAW, name)

KORVAN_ZERO(AUT_AlteraConfiguracaoBomba)
KORVAN_ZERO(AUT_SetarUltimoIdLogico)
KORVAN_ZERO(AUT_ExcluiVendedorCliente)
KORVAN_ZERO(AUT_InsereCliente)
KORVAN_ZERO(AUT_InsereVendedor)
KORVAN_ZERO(AUT_PagamentoBico)
KORVAN_ZERO(AUT_PresetAbastecimento)
KORVAN_ZERO(AUT_ObtemDisplay)
KORVAN_RAW1(KORVAN_BOOL_RAW, AUT_VerificaSuporte, int)
KORVAN_RAW2(KORVAN_BOOL_RAW, AUT_ObtemAssinatura, char*, char*)
KORVAN_RAW0(KORVAN_BOOL_RAW, AUT_DesbloqueiaTodosBicos)
KORVAN_RAW1(KORVAN_BOOL_RAW, AUT_DesbloqueiaBico, const char*)
KORVAN_RAW0(KORVAN_BOOL_RAW, AUT_BloqueiaTodosBicos)
KORVAN_RAW1(KORVAN_BOOL_RAW, AUT_BloqueiaBico, const char*)
KORVAN_RAW1(KORVAN_BOOL_RAW, AUT_AutorizaAbastecimento, const char*)
KORVAN_RAW2(KORVAN_BOOL_RAW, AUT_AlteraPreco, const char*, const char*)
KORVAN_RAW2(KORVAN_BOOL_RAW, AUT_ObtemPreco, const char*, char*)
KORVAN_RAW2(KORVAN_BOOL_RAW, AUT_ObtemEncerrante, const char*, char*)
KORVAN_RAW1(KORVAN_BOOL_RAW, AUT_ObtemStatus, char*)
KORVAN_RAW0(KORVAN_BOOL_RAW, AUT_ConfirmaAbastecimento)
KORVAN_VOID0(AUT_FinalizaComunicacao)
KORVAN_RAW3(KORVAN_BOOL_RAW, AUT_IniciaComunicacao, const char*, const char*,
            const char*)
KORVAN_VOID0(DRV_ParaGravacaoLog)
KORVAN_VOID0(DRV_IniciaGravacaoLog)

/* Five stack arguments, declared last to fourth. */
KORVAN_REG void korvan_raw_AUT_RegistraBico(
    const char* numeroLogico, const char* numeroBomba, const char* unread,
    const char* configuracao, const char* casasEncerrante,
    const char* casasTotal, const char* casasPreco, const char* casasLitragem)
    KORVAN_IMPORT(AUT_RegistraBico);
static __inline__ void AUT_RegistraBico(
    const char* numeroLogico, const char* numeroBomba, const char* unread,
    const char* casasLitragem, const char* casasPreco, const char* casasTotal,
    const char* casasEncerrante, const char* configuracao) {
  korvan_raw_AUT_RegistraBico(numeroLogico, numeroBomba, unread, configuracao,
                              casasEncerrante, casasTotal, casasPreco,
                              casasLitragem);
}

/* Eight stack arguments, declared last to fourth. */
KORVAN_REG KORVAN_BOOL_RAW korvan_raw_AUT_ObtemAbastecimento(
    char* numeroLogico, char* volume, char* valorTotal, double* data,
    char* text10, char* text9, char* text8, char* hora,
    char* encerranteFinal, char* encerranteInicial, char* precoUnitario)
    KORVAN_IMPORT(AUT_ObtemAbastecimento);
static __inline__ KORVAN_BOOL_RAW AUT_ObtemAbastecimento(
    char* numeroLogico, char* volume, char* valorTotal, char* precoUnitario,
    char* encerranteInicial, char* encerranteFinal, char* hora, char* text8,
    char* text9, char* text10, double* data) {
  return korvan_raw_AUT_ObtemAbastecimento(
      numeroLogico, volume, valorTotal, data, text10, text9, text8, hora,
      encerranteFinal, encerranteInicial, precoUnitario);
}

#undef KORVAN_ZERO
#undef KORVAN_RAW0
#undef KORVAN_VOID0
#undef KORVAN_RAW1
#undef KORVAN_RAW2
#undef KORVAN_RAW3
#undef KORVAN_IMPORT

#else /* _KorvanStd.dll on 32 bits, _Korvan.dll on 64 bits */

#if defined(_WIN64)
#define KORVAN_CALL
#else
#define KORVAN_CALL __stdcall
#endif
#if defined(KORVAN_BUILDING_STD)
#define KORVAN_DECL
#else
#define KORVAN_DECL __declspec(dllimport)
#endif

/* A Boolean result is exactly 0 or 1 in the whole 32-bit result. */
KORVAN_DECL int KORVAN_CALL AUT_AlteraConfiguracaoBomba(void);
KORVAN_DECL int KORVAN_CALL AUT_SetarUltimoIdLogico(void);
KORVAN_DECL int KORVAN_CALL AUT_ExcluiVendedorCliente(void);
KORVAN_DECL int KORVAN_CALL AUT_InsereCliente(void);
KORVAN_DECL int KORVAN_CALL AUT_InsereVendedor(void);
KORVAN_DECL int KORVAN_CALL AUT_VerificaSuporte(int code);
KORVAN_DECL int KORVAN_CALL AUT_ObtemAssinatura(char* signature, char* version);
KORVAN_DECL int KORVAN_CALL AUT_DesbloqueiaTodosBicos(void);
KORVAN_DECL int KORVAN_CALL AUT_DesbloqueiaBico(const char* bico);
KORVAN_DECL int KORVAN_CALL AUT_BloqueiaTodosBicos(void);
KORVAN_DECL int KORVAN_CALL AUT_BloqueiaBico(const char* bico);
KORVAN_DECL int KORVAN_CALL AUT_PagamentoBico(void);
KORVAN_DECL int KORVAN_CALL AUT_AutorizaAbastecimento(const char* bico);
KORVAN_DECL int KORVAN_CALL AUT_PresetAbastecimento(void);
KORVAN_DECL int KORVAN_CALL AUT_AlteraPreco(const char* bico, const char* preco);
KORVAN_DECL int KORVAN_CALL AUT_ObtemPreco(const char* bico, char* preco);
KORVAN_DECL int KORVAN_CALL AUT_ObtemEncerrante(const char* bico, char* encerrante);
KORVAN_DECL int KORVAN_CALL AUT_ObtemStatus(char* status);
KORVAN_DECL int KORVAN_CALL AUT_ObtemDisplay(void);
KORVAN_DECL int KORVAN_CALL AUT_ConfirmaAbastecimento(void);
KORVAN_DECL int KORVAN_CALL AUT_ObtemAbastecimento(
    char* numeroLogico, char* volume, char* valorTotal, char* precoUnitario,
    char* encerranteInicial, char* encerranteFinal, char* hora, char* text8,
    char* text9, char* text10, double* data);
KORVAN_DECL void KORVAN_CALL AUT_RegistraBico(
    const char* numeroLogico, const char* numeroBomba, const char* unread,
    const char* casasLitragem, const char* casasPreco, const char* casasTotal,
    const char* casasEncerrante, const char* configuracao);
KORVAN_DECL void KORVAN_CALL AUT_FinalizaComunicacao(void);
KORVAN_DECL int KORVAN_CALL AUT_IniciaComunicacao(const char* porta, const char* modo,
                                     const char* configuracao);
KORVAN_DECL void KORVAN_CALL DRV_ParaGravacaoLog(void);
KORVAN_DECL void KORVAN_CALL DRV_IniciaGravacaoLog(void);

#endif

#ifdef __cplusplus
}
#endif

#endif /* KORVAN_H */
