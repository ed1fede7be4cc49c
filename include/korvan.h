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
 * Hosts that load the library with LoadLibrary and GetProcAddress find a
 * pointer type for each operation: PFN_AUT_ObtemPreco and so on (the
 * stdcall and 64-bit forms).
 *
 * Linking: lib/_KorvanStd.lib (32-bit, stdcall) or lib/_Korvan.lib (64-bit,
 * and 32-bit with KORVAN_REGISTER), for MSVC's link (with /SAFESEH too),
 * lld-link and GNU ld alike; the .def files beside them for tools that
 * make their own.
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
#define KORVAN_NUMBER_TEXT_SIZE 23 /* volume, price, amount, totalizer */
#define KORVAN_NOZZLE_TEXT_SIZE 12 /* NumeroLogico of a delivery */
#define KORVAN_TIME_TEXT_SIZE 9    /* Hora, "hh:mm:ss" */
#define KORVAN_CODE_TEXT_SIZE 17   /* argument 9 of a delivery, hex */
#define KORVAN_SHORT_TEXT_SIZE 2   /* argument 8 of a delivery, "0" */
#define KORVAN_EMPTY_TEXT_SIZE 1   /* argument 10 of a delivery, "" */
#define KORVAN_SIGNATURE_SIZE 7    /* "Korvan" */
#define KORVAN_VERSION_SIZE 5      /* "3.37" */
/* AUT_ObtemStatus writes one letter per pump that the controller counted at
 * the last logon, at most 32767 (the most pumps a pump event can name).
 * KORVAN_STATUS_SIZE_MAX is always enough; KORVAN_STATUS_SIZE(pumps) is
 * enough for a controller known to count at most `pumps`. */
#define KORVAN_STATUS_PUMPS_MAX 32767
#define KORVAN_STATUS_SIZE_MAX (KORVAN_STATUS_PUMPS_MAX + 1)
#define KORVAN_STATUS_SIZE(pumps) ((pumps) + 1)

/* AUT_VerificaSuporte codes answered with 1. */
#define KORVAN_SUPPORTED_CODES \
  { 2, 3, 4, 5, 7 }

/* Every operation once, in the order of the export table (its ordinals):
 * X(kind, name, parameters, arguments), kind B for a Boolean result and V
 * for none. The declarations below are all made from this list. */
#define KORVAN_OPERATIONS(X)                                                                    \
  X(B, AUT_AlteraConfiguracaoBomba, (void), ())                                                 \
  X(B, AUT_SetarUltimoIdLogico, (void), ())                                                     \
  X(B, AUT_ExcluiVendedorCliente, (void), ())                                                   \
  X(B, AUT_InsereCliente, (void), ())                                                           \
  X(B, AUT_InsereVendedor, (void), ())                                                          \
  X(B, AUT_VerificaSuporte, (int code), (code))                                                 \
  X(B, AUT_ObtemAssinatura, (char* signature, char* version), (signature, version))             \
  X(B, AUT_DesbloqueiaTodosBicos, (void), ())                                                   \
  X(B, AUT_DesbloqueiaBico, (const char* bico), (bico))                                         \
  X(B, AUT_BloqueiaTodosBicos, (void), ())                                                      \
  X(B, AUT_BloqueiaBico, (const char* bico), (bico))                                            \
  X(B, AUT_PagamentoBico, (void), ())                                                           \
  X(B, AUT_AutorizaAbastecimento, (const char* bico), (bico))                                   \
  X(B, AUT_PresetAbastecimento, (void), ())                                                     \
  X(B, AUT_AlteraPreco, (const char* bico, const char* preco), (bico, preco))                   \
  X(B, AUT_ObtemPreco, (const char* bico, char* preco), (bico, preco))                          \
  X(B, AUT_ObtemEncerrante, (const char* bico, char* encerrante), (bico, encerrante))           \
  X(B, AUT_ObtemStatus, (char* status), (status))                                               \
  X(B, AUT_ObtemDisplay, (void), ())                                                            \
  X(B, AUT_ConfirmaAbastecimento, (void), ())                                                   \
  X(B, AUT_ObtemAbastecimento,                                                                  \
    (char* numeroLogico, char* volume, char* valorTotal, char* precoUnitario,                   \
     char* encerranteInicial, char* encerranteFinal, char* hora, char* text8, char* text9,      \
     char* text10, double* data),                                                               \
    (numeroLogico, volume, valorTotal, precoUnitario, encerranteInicial, encerranteFinal, hora, \
     text8, text9, text10, data))                                                               \
  X(V, AUT_RegistraBico,                                                                        \
    (const char* numeroLogico, const char* numeroBomba, const char* unread,                     \
     const char* casasLitragem, const char* casasPreco, const char* casasTotal,                 \
     const char* casasEncerrante, const char* configuracao),                                    \
    (numeroLogico, numeroBomba, unread, casasLitragem, casasPreco, casasTotal, casasEncerrante, \
     configuracao))                                                                             \
  X(V, AUT_FinalizaComunicacao, (void), ())                                                     \
  X(B, AUT_IniciaComunicacao, (const char* porta, const char* modo, const char* configuracao),  \
    (porta, modo, configuracao))                                                                \
  X(V, DRV_ParaGravacaoLog, (void), ())                                                         \
  X(V, DRV_IniciaGravacaoLog, (void), ())

/* The register convention's order of a parameter or argument list: the
 * first three as they are (registers), the rest reversed, as GCC's
 * regparm(3) stdcall has to be told a left-to-right push. */
#define KORVAN_CAT_(a, b) a##b
#define KORVAN_CAT(a, b) KORVAN_CAT_(a, b)
#define KORVAN_COUNT_(a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, n, ...) n
#define KORVAN_COUNT(...) KORVAN_COUNT_(__VA_ARGS__, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0)
#define KORVAN_REGISTER_ORDER(...) KORVAN_CAT(KORVAN_ORDER_, KORVAN_COUNT(__VA_ARGS__))(__VA_ARGS__)
#define KORVAN_ORDER_1(...) (__VA_ARGS__)
#define KORVAN_ORDER_2(...) (__VA_ARGS__)
#define KORVAN_ORDER_3(...) (__VA_ARGS__)
#define KORVAN_ORDER_8(a1, a2, a3, a4, a5, a6, a7, a8) (a1, a2, a3, a8, a7, a6, a5, a4)
#define KORVAN_ORDER_11(a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11) \
  (a1, a2, a3, a11, a10, a9, a8, a7, a6, a5, a4)

/* The convention of _Korvan.dll's own exports on this target: the register
 * convention on 32 bits (which GCC and Clang can express), the platform's
 * one on 64 bits. */
#if defined(__i386__) && (defined(__GNUC__) || defined(__clang__))
#define KORVAN_DRIVER_CALL __attribute__((regparm(3), stdcall))
#define KORVAN_DRIVER_PARAMETERS(...) KORVAN_REGISTER_ORDER(__VA_ARGS__)
#elif defined(_WIN64) || defined(__x86_64__)
#define KORVAN_DRIVER_CALL
#define KORVAN_DRIVER_PARAMETERS(...) (__VA_ARGS__)
#endif

#ifdef __cplusplus
extern "C" {
#endif

#if defined(KORVAN_BUILDING_DRIVER)
/* _Korvan.dll's own definitions are compiled against these. A Boolean
 * result is exactly 0 or 1 in the whole result register. */
#define KORVAN_RESULT_B int
#define KORVAN_RESULT_V void
#define KORVAN_DECLARE(kind, name, parameters, arguments) \
  KORVAN_RESULT_##kind KORVAN_DRIVER_CALL name KORVAN_DRIVER_PARAMETERS parameters;
KORVAN_OPERATIONS(KORVAN_DECLARE)

#elif defined(KORVAN_REGISTER)
#if !defined(__i386__) || !(defined(__GNUC__) || defined(__clang__))
#error \
    "KORVAN_REGISTER is for GCC or Clang on 32 bits; other 32-bit compilers use _KorvanStd.dll, 64-bit hosts _Korvan.dll without it"
#endif
/* The exports of _Korvan.dll under the names the linker knows them by. The
 * driver defines only the low byte of a Boolean result. A wrapper that the
 * compiler keeps as a function (no optimisation) has a name of its own:
 * under its C name it would take the import's symbol and call itself. */
#define KORVAN_IMPORT(name) __asm__("_" #name)
#define KORVAN_WRAPPER(name) __asm__("_korvan_wrapper_" #name)
#define KORVAN_RESULT_B unsigned char
#define KORVAN_RESULT_V void
#define KORVAN_RETURN_B return
#define KORVAN_RETURN_V
#define KORVAN_DECLARE(kind, name, parameters, arguments)                                       \
  KORVAN_DRIVER_CALL KORVAN_RESULT_##kind korvan_raw_##name KORVAN_DRIVER_PARAMETERS parameters \
      KORVAN_IMPORT(name);                                                                      \
  static __inline__ KORVAN_RESULT_##kind name parameters KORVAN_WRAPPER(name);                  \
  static __inline__ KORVAN_RESULT_##kind name parameters {                                      \
    KORVAN_RETURN_##kind korvan_raw_##name KORVAN_DRIVER_PARAMETERS arguments;                  \
  }
KORVAN_OPERATIONS(KORVAN_DECLARE)

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
#define KORVAN_RESULT_B int
#define KORVAN_RESULT_V void
#define KORVAN_DECLARE(kind, name, parameters, arguments)       \
  KORVAN_DECL KORVAN_RESULT_##kind KORVAN_CALL name parameters; \
  typedef KORVAN_RESULT_##kind(KORVAN_CALL* PFN_##name) parameters;
KORVAN_OPERATIONS(KORVAN_DECLARE)
#endif

#undef KORVAN_DECLARE

#ifdef __cplusplus
}
#endif

#endif /* KORVAN_H */
