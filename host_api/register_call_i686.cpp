// The register-convention caller. Written in assembly because no compiler
// convention matches it exactly; the callee-saved registers hold known values
// during the call so that the caller can see whether they survived. While
// EBP holds such a value the frame is found through the thread's
// ArbitraryUserPointer slot (fs:[0x14]), which is restored afterwards.
#if defined(__i386__)
asm(R"(
    .intel_syntax noprefix
    .text
    .globl _korvan_call_register
    .def _korvan_call_register; .scl 2; .type 32; .endef
_korvan_call_register:
    push ebp
    push ebx
    push esi
    push edi
    push dword ptr fs:[0x14]
    mov ebp, esp
    mov fs:[0x14], ebp
    # frame: [ebp+24] function, [ebp+28] args, [ebp+32] count, [ebp+36] check
    mov esi, [ebp+28]
    mov ecx, [ebp+32]
    mov ebx, 3
1:  cmp ebx, ecx
    jae 2f
    push dword ptr [esi+ebx*4]
    inc ebx
    jmp 1b
2:  mov edi, [ebp+24]
    xor eax, eax
    xor edx, edx
    cmp ecx, 1
    jb 4f
    mov eax, [esi]
    cmp ecx, 2
    jb 4f
    mov edx, [esi+4]
    cmp ecx, 3
    jb 4f
    mov ecx, [esi+8]
    jmp 5f
4:  xor ecx, ecx
5:  mov ebx, 0x5EB0B0B0
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
