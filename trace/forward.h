// The entry points whose arguments nobody here knows (the 161 that the
// driver only resolves): each export is a few instructions of assembly
// (forward.cpp) that hand over to the real library's entry point without
// touching the arguments, and see its result on the way back.
//
// The caller's return address cannot stay on the stack: the real entry point
// must find its arguments exactly where the caller put them, behind a return
// address. So the thunk takes the caller's return address off the stack and
// keeps it in a per-thread slot (qxtrace_enter), calls the real entry point
// (which, being stdcall on i686, removes however many bytes of arguments it
// takes), records the name and result (qxtrace_leave) and returns to the
// saved address. On x86_64 the caller removes its own arguments; the same
// path keeps the argument registers for the real entry point.
#pragma once

#include <cstdint>

namespace qxtrace {

struct Forwarded {
  const char* name;
  void* real;  // resolved when the real library is loaded; null if absent
};

// Every forwarded entry point, in the order of the contract.
extern Forwarded* const kForwarded[];
extern const int kForwardedCount;

}  // namespace qxtrace

extern "C" {
// Called by the thunk with the caller's return address. Returns the address
// to go to; *traced is 1 when the call is to be recorded (the return address
// is then kept, and qxtrace_leave must follow), 0 when the thunk must jump
// straight there (no trace file, or no memory for the slot).
void* qxtrace_enter(qxtrace::Forwarded* entry, void* returnAddress, int32_t* traced);
// Called with the real entry point's result; returns the caller's address.
void* qxtrace_leave(intptr_t result);
}
