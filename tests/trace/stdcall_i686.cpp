// Calling an entry point as stdcall through a bare address, with the checks
// of the driver's ABI tests (host/register_call_i686.cpp): the slots pushed
// right to left, the callee-saved registers holding known values during the
// call, and ESP after it compared with ESP before the pushes.
#if defined(__i386__)
asm(R"(
    .intel_syntax noprefix
    .text
    .globl _trace_call_stdcall
    .def _trace_call_stdcall; .scl 2; .type 32; .endef
_trace_call_stdcall:
    push ebp
    push ebx
    push esi
    push edi
    push dword ptr fs:[0x14]
    mov ebp, esp
    mov fs:[0x14], ebp
    # frame: [ebp+24] function, [ebp+28] slots, [ebp+32] count, [ebp+36] check
    mov esi, [ebp+28]
    mov ecx, [ebp+32]
1:  test ecx, ecx
    jz 2f
    dec ecx
    push dword ptr [esi+ecx*4]
    jmp 1b
2:  mov edi, [ebp+24]
    mov ebx, 0x5EB0B0B0
    call edi
    mov ecx, fs:[0x14]
    xor edx, edx
    cmp ebx, 0x5EB0B0B0
    jne 6f
    cmp esi, [ecx+28]
    jne 6f
    cmp edi, [ecx+24]
    jne 6f
    cmp ebp, ecx
    jne 6f
    mov edx, 1
6:  mov ebx, esp
    sub ebx, ecx
    mov esp, ecx
    mov ebp, ecx
    mov ecx, [ebp+36]
    mov [ecx], ebx
    mov [ecx+4], edx
    pop dword ptr fs:[0x14]
    pop edi
    pop esi
    pop ebx
    pop ebp
    ret
    .att_syntax prefix
)");
#endif
