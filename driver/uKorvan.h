// The driver's boundary with its host: the calling convention of the exports.
#pragma once

#include <cstdint>

#if defined(__i386__)
// Hosts call us with a register convention: the first three arguments in
// EAX, EDX and ECX, the rest pushed left to right and removed by us. GCC's
// regparm(3) stdcall is that convention except for the order of the stack
// arguments, which stdcall expects the other way round; the few exports with
// stack arguments therefore declare them reversed (KORVAN_ARGS8/11).
#define KORVAN_CALL __attribute__((regparm(3), stdcall))
#define KORVAN_ARGS8(a1, a2, a3, a4, a5, a6, a7, a8) \
  a1, a2, a3, a8, a7, a6, a5, a4
#define KORVAN_ARGS11(a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11) \
  a1, a2, a3, a11, a10, a9, a8, a7, a6, a5, a4
#else
// 64-bit hosts use the platform's one convention.
#define KORVAN_CALL
#define KORVAN_ARGS8(...) __VA_ARGS__
#define KORVAN_ARGS11(...) __VA_ARGS__
#endif

// A Boolean result: exactly 0 or 1 in the whole result register.
using KorvanBool = int32_t;
