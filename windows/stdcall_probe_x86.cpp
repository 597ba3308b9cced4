#include "stdcall_probe.h"

#if defined(__i386__)
// In assembly, since no C++ call can leave the stack pointer unrestored.
// The stack is 16-byte aligned at the call, as compiled callers leave it.
asm(R"(
    .text
    .globl _CallCountingRemovedBytes
    .def _CallCountingRemovedBytes; .scl 2; .type 32; .endef
_CallCountingRemovedBytes:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    movl 8(%ebp), %eax
    movl 12(%ebp), %ecx
    movl 16(%ebp), %edx
    andl $-16, %esp
    subl $8, %esp
    movl %esp, %ebx
    pushl %edx
    pushl %ecx
    call *%eax
    movl %ebx, %ecx
    subl %esp, %ecx
    movl $8, %edx
    subl %ecx, %edx
    movl 20(%ebp), %ecx
    movl %edx, (%ecx)
    movl -4(%ebp), %ebx
    movl %ebp, %esp
    popl %ebp
    ret
)");
#endif
