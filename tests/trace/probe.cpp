// A stand-in for a real client library whose entry points take arguments: the 161 that the tracer
// forwards blind, each taking (int32, double, int32) (probe.h). The 22 typed ones are left out, as
// a library lacking them. The contract declares the 161 without arguments, so each is defined under
// another name and exported through a jump under its own.
#include "contract/qxclient_api.h"
#include "tests/trace/probe.h"

#undef DeletePort

#if defined(__i386__)
#define PROBE_SYMBOL(name) "_" #name
#define PROBE_TARGET(name) "_probe_" #name "@16"
#else
#define PROBE_SYMBOL(name) #name
#define PROBE_TARGET(name) "probe_" #name
#endif

#define PROBE_SKIP(name)
#define PROBE_ENTRY(name)                                                     \
  extern "C" int32_t __stdcall probe_##name(int32_t a, double b, int32_t c) { \
    return ProbeAnswer(#name, a, b, c);                                       \
  }                                                                           \
  asm(".text\n.globl " PROBE_SYMBOL(name) "\n" PROBE_SYMBOL(name) ":\n"        \
      "  jmp " PROBE_TARGET(name) "\n"                                         \
      ".section .drectve\n  .ascii \" -export:" #name "\"\n.text\n");
QX_ENTRY_POINTS(PROBE_SKIP, PROBE_ENTRY)
