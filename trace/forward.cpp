// The 161 entry points without a known signature: a record each, an
// exported stub each that names its record in EAX/RAX, and the one routine
// behind all stubs (forward.h says why it works the way it does).
#include "trace/forward.h"

#include "contract/qxclient_api.h"

#undef DeletePort

#define QXT_SKIP(name)
#define QXT_RECORD(name)                            \
  extern "C" {                                      \
  qxtrace::Forwarded qxt_##name = {#name, nullptr}; \
  }
QX_ENTRY_POINTS(QXT_SKIP, QXT_RECORD)
#undef QXT_RECORD

namespace qxtrace {
#define QXT_ADDRESS(name) &qxt_##name,
Forwarded* const kForwarded[] = {QX_ENTRY_POINTS(QXT_SKIP, QXT_ADDRESS)};
#undef QXT_ADDRESS
const int kForwardedCount = sizeof kForwarded / sizeof kForwarded[0];
}  // namespace qxtrace

// Symbols of C functions and data carry a leading underscore on i686 only.
#if defined(__i386__)
#define QXT_C(name) "_" #name
#define QXT_LOAD(name) "  mov eax, offset _qxt_" #name "\n"
#elif defined(__x86_64__)
#define QXT_C(name) #name
#define QXT_LOAD(name) "  lea rax, [rip + qxt_" #name "]\n"
#else
#error "the tracer's thunks are written for i686 and x86_64"
#endif

// An exported stub: its record's address in EAX/RAX (neither carries an
// argument in these conventions), then the common routine.
#define QXT_STUB(name) \
  asm(".intel_syntax noprefix\n"                          \
      ".text\n"                                           \
      ".globl " QXT_C(name) "\n"                          \
      ".def " QXT_C(name) "; .scl 2; .type 32; .endef\n"  \
      ".p2align 4\n" QXT_C(name) ":\n" QXT_LOAD(name)     \
      "  jmp " QXT_C(qxtrace_forward) "\n"                \
      ".section .drectve\n"                               \
      "  .ascii \" -export:" #name "\"\n"                 \
      ".text\n"                                           \
      ".att_syntax prefix\n");
QX_ENTRY_POINTS(QXT_SKIP, QXT_STUB)
#undef QXT_STUB
#undef QXT_SKIP

#if defined(__i386__)
// ECX and EDX reach the real entry point as the caller left them, in case
// one of these signatures takes a register after all.
asm(R"(
    .intel_syntax noprefix
    .text
    .def _qxtrace_forward; .scl 3; .type 32; .endef
    .p2align 4
_qxtrace_forward:
    push ecx
    push edx
    sub esp, 4                 # the `traced` answer
    mov ecx, esp
    push ecx
    push dword ptr [esp+16]    # the caller's return address
    push eax                   # the record
    call _qxtrace_enter
    add esp, 12
    cmp dword ptr [esp], 0
    lea esp, [esp+4]           # lea and pop leave the flags alone
    pop edx
    pop ecx
    je 1f
    lea esp, [esp+4]           # the return address, now in the slot
    call eax                   # removes its own arguments
    push edx                   # EDX:EAX, a 64-bit result included
    push eax
    push eax
    call _qxtrace_leave
    add esp, 4
    mov ecx, eax               # ECX is the caller's to lose
    pop eax
    pop edx
    jmp ecx
1:  jmp eax                    # untraced: the return address is in place
    .att_syntax prefix
)");
#else
// The four argument registers (integer and vector) reach the real entry
// point untouched; RAX and XMM0 come back untouched.
asm(R"(
    .intel_syntax noprefix
    .text
    .def qxtrace_forward; .scl 3; .type 32; .endef
    .p2align 4
qxtrace_forward:
    sub rsp, 152               # shadow space, the argument registers, `traced`
    mov [rsp+32], rcx
    mov [rsp+40], rdx
    mov [rsp+48], r8
    mov [rsp+56], r9
    movdqu xmmword ptr [rsp+64], xmm0
    movdqu xmmword ptr [rsp+80], xmm1
    movdqu xmmword ptr [rsp+96], xmm2
    movdqu xmmword ptr [rsp+112], xmm3
    mov rcx, rax               # the record
    mov rdx, [rsp+152]         # the caller's return address
    lea r8, [rsp+128]
    call qxtrace_enter
    mov r11, rax
    mov r10d, [rsp+128]
    mov rcx, [rsp+32]
    mov rdx, [rsp+40]
    mov r8, [rsp+48]
    mov r9, [rsp+56]
    movdqu xmm0, xmmword ptr [rsp+64]
    movdqu xmm1, xmmword ptr [rsp+80]
    movdqu xmm2, xmmword ptr [rsp+96]
    movdqu xmm3, xmmword ptr [rsp+112]
    add rsp, 152
    test r10d, r10d
    jz 1f
    add rsp, 8                 # the return address, now in the slot
    call r11                   # finds its stack as the caller made it
    sub rsp, 64
    mov [rsp+32], rax
    movdqu xmmword ptr [rsp+48], xmm0
    mov rcx, rax
    call qxtrace_leave
    mov r11, rax
    mov rax, [rsp+32]
    movdqu xmm0, xmmword ptr [rsp+48]
    add rsp, 64
    jmp r11
1:  jmp r11                    # untraced: the return address is in place
    .att_syntax prefix
)");
#endif
