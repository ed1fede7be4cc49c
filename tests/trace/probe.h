// The probe library's answer (probe.cpp): every one of its entry points takes (int32, double,
// int32), so that an i686 callee removes 16 bytes and an x86_64 one finds an integer register, a
// vector register and another integer register, and answers with a sum that only the right
// arguments at the right entry point give.
#pragma once

#include <cstdint>

constexpr int32_t ProbeHash(const char* name) {
  uint32_t h = 2166136261u;
  for (const char* p = name; *p; ++p) h = (h ^ static_cast<unsigned char>(*p)) * 16777619u;
  return static_cast<int32_t>(h & 0xFFFFF);
}

constexpr int32_t ProbeAnswer(const char* name, int32_t a, double b, int32_t c) {
  return ProbeHash(name) + a + static_cast<int32_t>(b * 3) + 7 * c;
}
