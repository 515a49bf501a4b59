# The call trampoline of generated code (see native_call.h).
#
# long double exco_call_trampoline(uintptr_t entry, ExcoCallFrame* frame)
#
# frame (filled here, read by the runner in native_call.cpp):
#    0  u16  caller's x87 control word
#    2  u16  control word of generated code (set by the runner)
#    4  u32  caller's MXCSR (read by the runner only when a fault arrives: storing it
#            on every call would cost more than a short formula on some processors)
#    8  u16  x87 status word before the call
#   10  u16  x87 status word after the call
#   12  u32  1 when the routine did not leave exactly one value on the x87 stack,
#            3 when a fault left it (through exco_fault_landing below)
#   16  u64  the trampoline's stack pointer at the call, and 24..48 the caller's r12
#            to r15: the jump point that a fault returns to
#
# The routine takes no arguments and returns its value in ST(0). Everything between
# loading the routines' control word and restoring the caller's runs inside the fault
# window of the runner; the fwait makes a fault still pending after the routine's last
# instruction arrive here, while the window is open.

        .text
        .p2align 4
        .globl  exco_call_trampoline
        .hidden exco_call_trampoline
        .type   exco_call_trampoline, @function
exco_call_trampoline:
        .cfi_startproc
        pushq   %rbp
        .cfi_def_cfa_offset 16
        .cfi_offset %rbp, -16
        movq    %rsp, %rbp
        .cfi_def_cfa_register %rbp
        pushq   %rbx
        .cfi_offset %rbx, -24
        subq    $8, %rsp                # 16-byte aligned at the call below
        movq    %rsi, %rbx
        movq    %rsp, 16(%rbx)          # the jump point: a few stores, no library call
        movq    %r12, 24(%rbx)
        movq    %r13, 32(%rbx)
        movq    %r14, 40(%rbx)
        movq    %r15, 48(%rbx)

        fnstcw  0(%rbx)
        fnstsw  %ax
        movw    %ax, 8(%rbx)
        fnclex                          # a flag left by host code must not fire inside
        movw    0(%rbx), %cx
        cmpw    2(%rbx), %cx
        je      1f
        fldcw   2(%rbx)                 # only when it differs: a load costs more than it
1:
        call    *%rdi

        fwait
        fnstsw  %ax
        movw    %ax, 10(%rbx)
        movw    8(%rbx), %cx
        subw    $0x0800, %cx            # TOP - 1: one value more on the stack
        xorw    %ax, %cx
        testw   $0x3800, %cx
        jnz     .Lunbalanced
        movl    $0, 12(%rbx)
        movw    0(%rbx), %cx
        cmpw    2(%rbx), %cx
        je      .Lreturn
        fldcw   0(%rbx)
        jmp     .Lreturn

.Lunbalanced:
        # Leave a clean x87 unit and a dummy result, so that the caller's own x87 use
        # stays sound; the runner reports the fault.
        movl    $1, 12(%rbx)
        fninit
        fldcw   0(%rbx)
        fldz

.Lreturn:
        movq    -8(%rbp), %rbx
        leave
        .cfi_def_cfa %rsp, 8
        ret
        .cfi_endproc
        .size   exco_call_trampoline, .-exco_call_trampoline

# long double exco_call_masked(uintptr_t entry, ExcoCallFrame* frame)
#
# The same for a routine that may run twice (it has no effect but its result): it runs
# with every x87 exception masked, so that no control word with unmasked exceptions
# has to be loaded (on some processors that costs far more than a short formula).
# Afterwards one status word tells whether it faulted (the invalid-operation,
# zero-divide or overflow flag) and whether it left one value: the caller's stack is
# empty at a call, and nearly always with TOP 0, so one value means TOP 7. Either
# doubt gives frame+12 = 2, and the runner runs the routine again through the
# trampoline above with the faults unmasked and the exact count, which reproduces its
# first fault, reports a real imbalance, and clears a flag the caller left pending.
# Reading the status word before the call as well would cost as much again.

        .text
        .p2align 4
        .globl  exco_call_masked
        .hidden exco_call_masked
        .type   exco_call_masked, @function
exco_call_masked:
        .cfi_startproc
        pushq   %rbp
        .cfi_def_cfa_offset 16
        .cfi_offset %rbp, -16
        movq    %rsp, %rbp
        .cfi_def_cfa_register %rbp
        pushq   %rbx
        .cfi_offset %rbx, -24
        subq    $8, %rsp
        movq    %rsi, %rbx
        movq    %rsp, 16(%rbx)          # the jump point: a few stores, no library call
        movq    %r12, 24(%rbx)
        movq    %r13, 32(%rbx)
        movq    %r14, 40(%rbx)
        movq    %r15, 48(%rbx)

        fnstcw  0(%rbx)
        movw    0(%rbx), %cx
        andw    $0x0F3F, %cx
        cmpw    $0x033F, %cx            # 64-bit precision, to nearest, all masked?
        je      1f
        fldcw   2(%rbx)
1:
        call    *%rdi

        fnstsw  %ax
        movw    %ax, 10(%rbx)
        movw    %ax, %cx
        andw    $0x3800, %cx
        cmpw    $0x3800, %cx            # TOP 7: one value
        jne     .Lmasked_again
        testb   $0x0D, %al
        jnz     .Lfaulted
        movl    $0, 12(%rbx)
        fnstcw  (%rsp)                  # storing it costs far less than loading it
        movw    (%rsp), %cx
        cmpw    0(%rbx), %cx
        je      .Lmasked_return
        fldcw   0(%rbx)
        jmp     .Lmasked_return

.Lfaulted:
        movl    $2, 12(%rbx)
        fnclex                          # the result stays as a dummy
        fldcw   0(%rbx)
        jmp     .Lmasked_return

.Lmasked_again:
        # Not one value on a stack that started at TOP 0: whatever is there goes, and
        # the exact check of the unmasked run decides.
        movl    $2, 12(%rbx)
        fninit
        fldcw   0(%rbx)
        fldz

.Lmasked_return:
        movq    -8(%rbp), %rbx
        leave
        .cfi_def_cfa %rsp, 8
        ret
        .cfi_endproc
        .size   exco_call_masked, .-exco_call_masked

# long double exco_call_contained(uintptr_t entry, uint32_t* again)
#
# A contained routine (see native_call.h) calls nothing and leaves the control word
# alone, so under a caller's control word that masks every exception nothing in it can
# trap, and it runs with no fault window at all. *again = 0 when it left one value
# (TOP 7, as in exco_call_masked) and raised no fault flag. Otherwise *again = 1 with a
# dummy result on an x87 unit started afresh under the caller's control word, and the
# runner runs the routine again through the trampolines above, which decide. A
# caller's control word that unmasks an exception, or sets another precision or
# rounding, gives *again = 1 before the call.

        .text
        .p2align 4
        .globl  exco_call_contained
        .hidden exco_call_contained
        .type   exco_call_contained, @function
exco_call_contained:
        .cfi_startproc
        subq    $24, %rsp               # 16-byte aligned at the call below
        .cfi_def_cfa_offset 32
        movq    %rsi, 8(%rsp)
        fnstcw  (%rsp)
        movzwl  (%rsp), %eax
        andl    $0x0F3F, %eax
        cmpl    $0x033F, %eax           # 64-bit precision, to nearest, all masked?
        jne     .Lcontained_declined
        call    *%rdi

        fnstsw  %ax
        andl    $0x380D, %eax
        cmpl    $0x3800, %eax           # one value and no fault flag
        jne     .Lcontained_again
        movq    8(%rsp), %rsi
        movl    $0, (%rsi)
        addq    $24, %rsp
        .cfi_remember_state
        .cfi_def_cfa_offset 8
        ret
        .cfi_restore_state

.Lcontained_again:
        fninit
        fldcw   (%rsp)
.Lcontained_declined:
        fldz
        movq    8(%rsp), %rsi
        movl    $1, (%rsi)
        addq    $24, %rsp
        .cfi_def_cfa_offset 8
        ret
        .cfi_endproc
        .size   exco_call_contained, .-exco_call_contained

# exco_fault_landing: where a fault inside a routine resumes, entered with rsp the
# jump point of a trampoline (frame+16) and rbx its frame, from the SIGFPE handler
# (which returns into it by its signal context) or from exco_unwind (a fault that a
# host routine raised). Both trampolines have the same frame layout, so one landing
# serves them: the x87 unit starts afresh with the caller's control word (fninit does
# not wait, so the pending fault does not fire again), a dummy result is left, and
# frame+12 = 3 tells the runner which exception to throw.

        .text
        .p2align 4
        .globl  exco_fault_landing
        .hidden exco_fault_landing
        .type   exco_fault_landing, @function
exco_fault_landing:
        .cfi_startproc
        .cfi_def_cfa %rsp, 32
        .cfi_offset %rbp, -16
        .cfi_offset %rbx, -24
        leaq    16(%rsp), %rbp
        .cfi_def_cfa %rbp, 16
        movq    24(%rbx), %r12
        movq    32(%rbx), %r13
        movq    40(%rbx), %r14
        movq    48(%rbx), %r15
        fninit
        fldcw   0(%rbx)
        fldz
        movl    $3, 12(%rbx)
        movq    -8(%rbp), %rbx
        leave
        .cfi_def_cfa %rsp, 8
        ret
        .cfi_endproc
        .size   exco_fault_landing, .-exco_fault_landing

# void exco_unwind(ExcoCallFrame* frame): leaves every frame above the trampoline of
# frame for its fault landing. The host routine that calls it has left its own scopes.

        .text
        .p2align 4
        .globl  exco_unwind
        .hidden exco_unwind
        .type   exco_unwind, @function
exco_unwind:
        .cfi_startproc
        movq    %rdi, %rbx
        movq    16(%rbx), %rsp
        jmp     exco_fault_landing
        .cfi_endproc
        .size   exco_unwind, .-exco_unwind

        .section .note.GNU-stack, "", @progbits
