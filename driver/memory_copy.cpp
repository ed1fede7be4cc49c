// The driver's own memcpy. Nearly every copy it makes is a few bytes: a
// number text into a host's buffer, a short string moved. Through the C
// runtime each one is an import call into msvcrt, which under Wine costs
// more than the copy; here a copy of up to 16 bytes is two overlapping
// moves, and a longer one goes in 16-byte blocks. It must never call memcpy
// itself, so the compiler may not turn its loop back into a call.
#include <cstddef>

namespace {

template <size_t N>
inline void Move(unsigned char* to, const unsigned char* from) {
  unsigned char block[N];
  __builtin_memcpy(block, from, N);
  __builtin_memcpy(to, block, N);
}

// n bytes, N <= n <= 2N: the first N and the last N, which may overlap.
template <size_t N>
inline void MoveEnds(unsigned char* to, const unsigned char* from, size_t n) {
  Move<N>(to, from);
  Move<N>(to + n - N, from + n - N);
}

}  // namespace

extern "C" __attribute__((optimize("no-tree-loop-distribute-patterns"))) void* memcpy(
    void* destination, const void* source, size_t size) {
  auto* to = static_cast<unsigned char*>(destination);
  const auto* from = static_cast<const unsigned char*>(source);
  if (size >= 16) {
    size_t done = 0;
    for (; done + 16 <= size; done += 16) Move<16>(to + done, from + done);
    if (done < size) Move<16>(to + size - 16, from + size - 16);
  } else if (size >= 8) {
    MoveEnds<8>(to, from, size);
  } else if (size >= 4) {
    MoveEnds<4>(to, from, size);
  } else if (size >= 2) {
    MoveEnds<2>(to, from, size);
  } else if (size == 1) {
    *to = *from;
  }
  return destination;
}
