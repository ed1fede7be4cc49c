// The driver's own memcpy. Through the C runtime each copy is an import call
// into msvcrt, which under Wine costs more than the few bytes most copies
// move; here a copy of up to 32 bytes is a few overlapping moves, and a
// longer one goes in 16-byte blocks. It must never call memcpy itself, so
// the compiler may not turn its loop back into a call.
#include "base/small_copy.h"

extern "C" __attribute__((optimize("no-tree-loop-distribute-patterns"))) void* memcpy(
    void* destination, const void* source, size_t size) {
  if (size <= 32) {
    small_copy::CopyUpTo32(destination, source, size);
    return destination;
  }
  auto* to = static_cast<unsigned char*>(destination);
  const auto* from = static_cast<const unsigned char*>(source);
  size_t done = 0;
  for (; done + 16 <= size; done += 16) small_copy::Move<16>(to + done, from + done);
  if (done < size) small_copy::Move<16>(to + size - 16, from + size - 16);
  return destination;
}
