// Calling the driver's exports the way a 32-bit host does: the register
// convention, with the checks a careful host would want to see.
#pragma once

#include <cstdint>

struct RegisterCallCheck {
  // ESP after the call minus ESP before the stack arguments were pushed:
  // 0 when the callee removed exactly its stack arguments.
  int32_t stackDelta;
  // 1 when EBX, ESI, EDI and EBP came back as they went in.
  int32_t preserved;
};

// Calls `function` with args[0..2] in EAX, EDX, ECX and the rest pushed left
// to right; returns EAX. Only for i686.
extern "C" uint32_t korvan_call_register(const void* function, const uint32_t* args, uint32_t count,
                                         RegisterCallCheck* check);
