// Copies of a few bytes, made in place. Nearly every copy the driver makes
// is a number text of a dozen characters; a call into the C runtime for each
// costs more than the copy under Wine.
#pragma once

#include <cstddef>

namespace small_copy {

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

// Up to 32 bytes, with no loop and no call.
inline void CopyUpTo32(void* destination, const void* source, size_t size) {
  auto* to = static_cast<unsigned char*>(destination);
  const auto* from = static_cast<const unsigned char*>(source);
  if (size >= 16) {
    MoveEnds<16>(to, from, size);
  } else if (size >= 8) {
    MoveEnds<8>(to, from, size);
  } else if (size >= 4) {
    MoveEnds<4>(to, from, size);
  } else if (size >= 2) {
    MoveEnds<2>(to, from, size);
  } else if (size == 1) {
    *to = *from;
  }
}

}  // namespace small_copy
