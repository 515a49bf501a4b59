# Runtime math routines that generated code calls (see compiler/exco_runtime.h).
#
# These are not System V functions. Each keeps a fixed contract with the code that
# calls it, which compiled C++ could not promise:
#   - arguments: a real in ST(0) (a second one in ST(1)), an Integer in eax, an array
#     reference (address of element 0, count in the 32-bit word before it) in rax, or
#     a block of packed 10-byte Extended values in rdi with their count in esi;
#   - the result is one Extended value in ST(0); the real arguments are popped, so
#     whatever path a routine takes, it leaves exactly one value;
#   - a routine needs at most its table entry's extra x87 registers beyond its
#     arguments, and changes only the CPU registers its entry lists.
# Faults are those of the x87 under the routines' control word (invalid operation,
# zero divide, overflow unmasked), an integer division by zero for an even root of a
# negative number (the invalid-operation flag when the zero divide is masked), and the
# integer overflow of a list of no values.
#
# x87 register-register arithmetic is written as bytes (macros below, named after the
# Intel operand order), because assemblers disagree on the direction of fsub and fdiv
# between two registers.

        .intel_syntax noprefix

        .macro FADDP1           # st1 = st1 + st0, pop
        .byte 0xDE, 0xC1
        .endm
        .macro FMULP1           # st1 = st1 * st0, pop
        .byte 0xDE, 0xC9
        .endm
        .macro FSUBP1           # st1 = st1 - st0, pop
        .byte 0xDE, 0xE9
        .endm
        .macro FDIVP1           # st1 = st1 / st0, pop
        .byte 0xDE, 0xF9
        .endm
        .macro FDIVRP1          # st1 = st0 / st1, pop
        .byte 0xDE, 0xF1
        .endm
        .macro FSQUARE          # st0 = st0 * st0
        .byte 0xD8, 0xC8
        .endm
        .macro FSUB_ST1         # st1 = st1 - st0
        .byte 0xDC, 0xE9
        .endm
        .macro FMUL_ST1         # st1 = st1 * st0
        .byte 0xDC, 0xC9
        .endm
        .macro FSELFDIV         # st0 = st0 / st0 (0/0 raises invalid operation)
        .byte 0xD8, 0xF0
        .endm
        .macro FDOUBLE          # st0 = st0 + st0
        .byte 0xD8, 0xC0
        .endm

        .macro ENTRY name
        .p2align 4
        .globl  \name
        .hidden \name
        .type   \name, @function
\name:
        .endm

# 2^t for t in ST(0): r = t rounded to nearest, f = t - r, 2^f from f2xm1, scaled by
# 2^r. One register beyond t.
        .macro EXP2
        fld     st(0)
        frndint                         # r, t
        FSUB_ST1                        # r, f
        fxch    st(1)                   # f, r
        f2xm1
        fadd    qword ptr [rip + .Lone] # 2^f, r
        fscale
        fstp    st(1)
        .endm

# e^x for x in ST(0).
        .macro EXPE
        fldl2e
        FMULP1
        EXP2
        .endm

# e^x - 1 for x in ST(0), its low digits kept for a small x: with t = x log2(e),
# f2xm1 gives 2^t - 1 directly while |t| < 1; beyond, 2^t - 1. Two registers beyond x.
        .macro EXPM1E
        fldl2e
        FMULP1
        fld     st(0)
        fabs
        fld1                            # 1, |t|, t
        fcomip  st(0), st(1)
        fstp    st(0)                   # t
        jbe     2f                      # |t| >= 1 (or unordered)
        f2xm1
        jmp     3f
2:      EXP2
        fsub    qword ptr [rip + .Lone]
3:
        .endm

# ln of ST(0).
        .macro LNE
        fldln2
        fxch    st(1)
        fyl2x
        .endm

# x^n by squaring, x in ST(0), n in eax; changes ecx. A negative n raises 1/x to |n|:
# x^|n| could leave the Extended range on the side opposite to the result's (3^-2^31
# would overflow instead of giving 0, 0.5^-2^31 divide by zero instead of
# overflowing), while the powers of 1/x never pass the result on their way to it.
        .macro IPOWER
        mov     ecx, eax
        test    eax, eax
        jns     1f
        neg     ecx                     # |n| as unsigned: -2^31 gives 2^31
        fdivr   qword ptr [rip + .Lone] # 1/x (0 divides by zero)
1:      fld1
        fxch    st(1)                   # x, result
        test    ecx, ecx
        jz      4f
2:      shr     ecx, 1
        jnc     3f
        FMUL_ST1                        # result *= x
        test    ecx, ecx
        jz      4f                      # no higher bit: x is not squared again
3:      FSQUARE
        jmp     2b
4:      fstp    st(0)
        .endm

# Faults with one value left on the stack, for the routines that have no x87
# argument (with the exceptions masked the value is what the fault gives).
        .macro RAISE_INVALID
        fldz
        FSELFDIV
        .endm
        .macro RAISE_OVERFLOW
        fld     tbyte ptr [rip + .Lmax_extended]
        FSQUARE
        .endm

        .text

# ---------------------------------------------------------------- exponentials

ENTRY RtExp
        EXPE
        ret
        .size RtExp, .-RtExp

# For |x| < 1 from m = e^x - 1: sinh = (m + m/(m+1))/2, which keeps a small x's digits
# where e^x - e^-x would cancel them.
ENTRY RtSinh
        fld     st(0)
        fabs
        fld1                            # 1, |x|, x
        fcomip  st(0), st(1)
        fstp    st(0)
        jbe     1f
        EXPM1E                          # m
        fld     st(0)
        fadd    qword ptr [rip + .Lone] # m+1, m
        .byte   0xD8, 0xF9              # fdivr st(0),st(1): m/(m+1), m
        FADDP1
        fmul    qword ptr [rip + .Lhalf]
        ret
1:      EXPE
        fld     st(0)
        fdivr   qword ptr [rip + .Lone] # 1/e^x, e^x
        FSUBP1
        fmul    qword ptr [rip + .Lhalf]
        ret
        .size RtSinh, .-RtSinh

ENTRY RtCosh
        EXPE
        fld     st(0)
        fdivr   qword ptr [rip + .Lone]
        FADDP1
        fmul    qword ptr [rip + .Lhalf]
        ret
        .size RtCosh, .-RtCosh

# m = e^(2x) - 1, kept exact for a small x (e^(2x) itself would round to 1 and give
# tanh 0, cotanh a zero divide); m + 2 and m on the stack, then the quotient.
        .macro TANH_PARTS
        fimul   dword ptr [rip + .Ltwo]
        EXPM1E
        fld     st(0)
        fiadd   dword ptr [rip + .Ltwo] # m+2, m
        .endm

ENTRY RtTanh
        TANH_PARTS
        FDIVP1
        ret
        .size RtTanh, .-RtTanh

ENTRY RtCoTanh
        TANH_PARTS
        FDIVRP1
        ret
        .size RtCoTanh, .-RtCoTanh

# ---------------------------------------------------------------- inverse hyperbolics

# Computed on |x| and given x's sign afterwards: for a large negative x the sum
# x + sqrt(x^2+1) cancels to 0, whose logarithm would divide by zero.
ENTRY RtArcSinh
        fld     st(0)
        fabs                            # |x|, x
        fld     st(0)
        FSQUARE
        fadd    qword ptr [rip + .Lone]
        fsqrt
        FADDP1                          # |x| + root, x
        LNE                             # L, x
        fxch    st(1)
        fldz                            # 0, x, L
        fcomip  st(0), st(1)            # 0 against x, popped
        fstp    st(0)                   # L
        jbe     1f                      # x >= 0 (or unordered)
        fchs
1:      ret
        .size RtArcSinh, .-RtArcSinh

# sqrt(x-1)*sqrt(x+1) rather than sqrt(x^2-1): an x below 1 is an invalid operation
# of the first root (x^2-1 would pass for x <= -1 and cancel to a logarithm of 0),
# and an x near 1 keeps its low digits.
ENTRY RtArcCosh
        fld     st(0)
        fsub    qword ptr [rip + .Lone]
        fsqrt                           # sqrt(x-1), x
        fld     st(1)
        fadd    qword ptr [rip + .Lone]
        fsqrt                           # sqrt(x+1), sqrt(x-1), x
        FMULP1
        FADDP1
        LNE
        ret
        .size RtArcCosh, .-RtArcCosh

ENTRY RtArcTanh
        fld     st(0)
        fadd    qword ptr [rip + .Lone] # 1+x, x
        fxch    st(1)
        fsubr   qword ptr [rip + .Lone] # 1-x, 1+x
        FDIVP1
        LNE
        fmul    qword ptr [rip + .Lhalf]
        ret
        .size RtArcTanh, .-RtArcTanh

ENTRY RtArcCoTanh
        fld     st(0)
        fadd    qword ptr [rip + .Lone] # x+1, x
        fxch    st(1)
        fsub    qword ptr [rip + .Lone] # x-1, x+1
        FDIVP1
        LNE
        fmul    qword ptr [rip + .Lhalf]
        ret
        .size RtArcCoTanh, .-RtArcCoTanh

# ---------------------------------------------------------------- arcsine, arccosine

ENTRY RtArcSin
        fld     st(0)
        FSQUARE
        fsubr   qword ptr [rip + .Lone]
        fsqrt                           # root, x
        fpatan                          # angle of x over the root
        ret
        .size RtArcSin, .-RtArcSin

ENTRY RtArcCos
        fld     st(0)
        FSQUARE
        fsubr   qword ptr [rip + .Lone]
        fsqrt
        fxch    st(1)                   # x, root
        fpatan                          # angle of the root over x
        ret
        .size RtArcCos, .-RtArcCos

# ---------------------------------------------------------------- sign

ENTRY RtSign
        push    rax
        ftst
        fnstsw  ax
        fstp    st(0)
        sahf
        je      2f
        jb      1f
        fld1
        pop     rax
        ret
1:      fld1
        fchs
        pop     rax
        ret
2:      fldz
        pop     rax
        ret
        .size RtSign, .-RtSign

# ---------------------------------------------------------------- powers and roots

ENTRY RtIPwr
        IPOWER
        ret
        .size RtIPwr, .-RtIPwr

# An exponent or degree beyond the 32-bit Integers must never meet fist: it would
# store the integer indefinite and raise the invalid-operation fault for a power that
# is merely too large (it overflows) or too small (it is 0). Whether such a value is
# whole, and whether it is odd, is told by comparisons alone.

# CF clear when |ST(0)| >= 2^31. A value that is not a number raises the
# invalid-operation fault here. One register beyond ST(0); changes ax.
        .macro TEST_BEYOND_32_BITS
        fld     st(0)
        fabs
        fcomp   qword ptr [rip + .Ltwo_to_31]
        fnstsw  ax
        sahf
        .endm

# For ST(0) within 32 bits: ZF set when it is whole; stores it rounded into the dword
# at [rsp]. Changes ax.
        .macro TEST_INTEGRAL
        fist    dword ptr [rsp]
        ficom   dword ptr [rsp]
        fnstsw  ax
        sahf
        .endm

# For ST(0) beyond 32 bits: ZF set when it is whole. One register beyond ST(0);
# changes ax.
        .macro TEST_WHOLE
        fld     st(0)
        frndint
        fcomp   st(1)
        fnstsw  ax
        sahf
        .endm

# For a whole ST(0) of any size: ZF clear when it is odd (twice its half rounded is
# itself only when it is even). One register beyond ST(0); changes ax.
        .macro TEST_EVEN
        fld     st(0)
        fmul    qword ptr [rip + .Lhalf]
        frndint
        FDOUBLE
        fcomp   st(1)
        fnstsw  ax
        sahf
        .endm

ENTRY RtFPwr
        push    rcx
        push    rdx
        sub     rsp, 8
        fxch    st(1)                   # y, x
        TEST_BEYOND_32_BITS
        jae     .Lfpwr_beyond
        TEST_INTEGRAL
        jne     .Lfpwr_broken
        fstp    st(0)
        mov     eax, dword ptr [rsp]
        IPOWER
        jmp     .Lfpwr_done
.Lfpwr_beyond:
        TEST_WHOLE
        jne     .Lfpwr_broken
        TEST_EVEN
        setne   cl                      # an odd y keeps the sign of a negative x
        fxch    st(1)                   # x, y
        ftst
        fnstsw  ax
        sahf
        je      .Lfpwr_zero
        jb      1f
        xor     ecx, ecx                # a positive x has no sign to keep
1:      fabs
        fyl2x                           # y log2 |x|
        EXP2                            # beyond the Extended range: overflow; below: 0
        test    cl, cl
        jz      .Lfpwr_done
        fchs
        jmp     .Lfpwr_done
.Lfpwr_broken:
        fxch    st(1)                   # x, y
        ftst
        fnstsw  ax
        sahf
        je      .Lfpwr_zero
        fyl2x                           # y log2 x (a negative x is invalid)
        EXP2
        jmp     .Lfpwr_done
.Lfpwr_zero:                            # 0, y (y is not 0)
        fstp    st(0)
        ftst
        fnstsw  ax
        fstp    st(0)
        fldz
        sahf
        ja      .Lfpwr_done             # to a positive y: 0
        fdivr   qword ptr [rip + .Lone] # to a negative y, whole or not, the zero divide of 0^-1
.Lfpwr_done:
        add     rsp, 8
        pop     rdx
        pop     rcx
        ret
        .size RtFPwr, .-RtFPwr

ENTRY RtIRoot
        sub     rsp, 8
        mov     dword ptr [rsp], eax
        fild    dword ptr [rsp]
        fxch    st(1)                   # x, n
# x in ST(0), a whole degree n in ST(1), bit 0 of [rsp] set when n is odd.
.Lroot_whole:
        ftst
        fnstsw  ax
        sahf
        je      3f
        jb      1f
        call    .Lroot_of_positive
        add     rsp, 8
        ret
1:      test    byte ptr [rsp], 1
        jz      2f
        fabs
        call    .Lroot_of_positive
        fchs
        add     rsp, 8
        ret
# An even root of a negative number is the integer division by zero, where a fault
# window is open. A zero divide that the control word masks means a first run that
# may have none (a contained routine's): it raises the invalid-operation flag
# instead, so that the runner runs the routine again under the routines' own control
# word, where the division takes place.
2:      fnstcw  word ptr [rsp + 4]
        test    byte ptr [rsp + 4], 0x04
        jnz     4f
        xor     eax, eax
        div     eax
4:      fstp    st(0)
        fstp    st(0)
        RAISE_INVALID
        add     rsp, 8
        ret
3:      fstp    st(0)
        fstp    st(0)
        fldz
        add     rsp, 8
        ret
        .size RtIRoot, .-RtIRoot

# x > 0 in ST(0), the degree n in ST(1): 2^(log2 x / n).
.Lroot_of_positive:
        fxch    st(1)
        fdivr   qword ptr [rip + .Lone] # 1/n (n = 0 divides by zero), x
        fxch    st(1)
        fyl2x
        EXP2
        ret

ENTRY RtFRoot
        sub     rsp, 8
        fxch    st(1)                   # r, x
        TEST_BEYOND_32_BITS
        jae     1f
        TEST_INTEGRAL                   # a whole r is in [rsp] with its parity
        jne     2f
        fxch    st(1)
        jmp     .Lroot_whole
1:      TEST_WHOLE
        jne     2f
        TEST_EVEN
        setne   byte ptr [rsp]          # bit 0: r is odd
        fxch    st(1)
        jmp     .Lroot_whole
2:      fdivr   qword ptr [rip + .Lone] # 1/r, x
        fxch    st(1)
        fyl2x                           # x = 0 divides by zero, x < 0 is invalid
        EXP2
        add     rsp, 8
        ret
        .size RtFRoot, .-RtFRoot

# ---------------------------------------------------------------- logarithm to a base

ENTRY RtLogN
        fld1
        fxch    st(1)
        fyl2x                           # log2 b, x
        fxch    st(1)
        fld1
        fxch    st(1)
        fyl2x                           # log2 x, log2 b
        FDIVRP1
        ret
        .size RtLogN, .-RtLogN

# ---------------------------------------------------------------- factorials

# The tables hold packed 10-byte values; an n outside them is a fault, never a read.
ENTRY RtFactLookup
        cmp     eax, 1754
        ja      1f
        mov     eax, eax
        lea     rax, [rax + rax * 4]
        lea     rcx, [rip + exco_fact_table]
        fld     tbyte ptr [rcx + rax * 2]
        ret
1:      test    eax, eax
        js      2f
        RAISE_OVERFLOW                  # beyond 1754! the Extended range ends
        ret
2:      RAISE_INVALID
        ret
        .size RtFactLookup, .-RtFactLookup

ENTRY RtFact2Lookup
        cmp     eax, -1
        jl      2f
        cmp     eax, 3206
        jg      1f
        test    al, 1
        jnz     3f
        shr     eax, 1
        lea     rcx, [rip + exco_fact2_even_table]
        jmp     4f
3:      add     eax, 1
        shr     eax, 1
        lea     rcx, [rip + exco_fact2_odd_table]
4:      lea     rax, [rax + rax * 4]
        fld     tbyte ptr [rcx + rax * 2]
        ret
1:      RAISE_OVERFLOW
        ret
2:      RAISE_INVALID
        ret
        .size RtFact2Lookup, .-RtFact2Lookup

# ---------------------------------------------------------------- vector routines

# Element at index reg (zero-extended) of the array at rax, by element type
# (1 Single, 2 Double, 3 Extended, 4 Integer); Extended uses rsi.
        .macro LOAD_ELEMENT type, index
        .if \type == 1
        fld     dword ptr [rax + \index * 4]
        .elseif \type == 2
        fld     qword ptr [rax + \index * 8]
        .elseif \type == 3
        lea     rsi, [\index + \index * 4]
        fld     tbyte ptr [rax + rsi * 2]
        .else
        fild    dword ptr [rax + \index * 4]
        .endif
        .endm

        .macro LOAD_FIRST type
        .if \type == 1
        fld     dword ptr [rax]
        .elseif \type == 2
        fld     qword ptr [rax]
        .elseif \type == 3
        fld     tbyte ptr [rax]
        .else
        fild    dword ptr [rax]
        .endif
        .endm

# kind: 1 sum, 2 sum of squares, 3 average, 4 norm, 5 product
        .macro SQUARE_IF kind
        .if \kind == 2 || \kind == 4
        FSQUARE
        .endif
        .endm
        .macro COMBINE kind
        SQUARE_IF \kind
        .if \kind == 5
        FMULP1
        .else
        FADDP1
        .endif
        .endm

# Elements n-1, then 0, then n-2 down to 1. An empty array (no address, or a count
# of 0) gives 0 (1 for the product); its average is 0/0, the invalid operation.
        .macro VECTOR_FOLD name, type, kind
ENTRY \name
        push    rcx
        push    rsi
        test    rax, rax
        jz      8f
        mov     ecx, dword ptr [rax - 4]
        test    ecx, ecx
        jz      8f
        dec     ecx
        LOAD_ELEMENT \type, rcx
        SQUARE_IF \kind
        test    ecx, ecx
        jz      7f
        LOAD_FIRST \type
        COMBINE \kind
6:      dec     ecx
        jz      7f
        LOAD_ELEMENT \type, rcx
        COMBINE \kind
        jmp     6b
7:
        .if \kind == 3
        fidiv   dword ptr [rax - 4]
        .elseif \kind == 4
        fsqrt
        .endif
        pop     rsi
        pop     rcx
        ret
8:
        .if \kind == 5
        fld1
        .elseif \kind == 3
        RAISE_INVALID
        .else
        fldz
        .endif
        pop     rsi
        pop     rcx
        ret
        .size \name, .-\name
        .endm

# From element 0, an element not smaller (max) or not greater (min) replaces the
# current value. An empty array has no extreme: the invalid operation.
        .macro VECTOR_EXTREME name, type, largest
ENTRY \name
        push    rcx
        push    rdx
        push    rsi
        test    rax, rax
        jz      8f
        mov     edx, dword ptr [rax - 4]
        test    edx, edx
        jz      8f
        LOAD_FIRST \type
        mov     ecx, 1
1:      cmp     ecx, edx
        jae     7f
        LOAD_ELEMENT \type, rcx
        fcomi   st, st(1)               # element against the current value
        .if \largest
        jb      2f
        .else
        ja      2f
        .endif
        fstp    st(1)
        jmp     3f
2:      fstp    st(0)
3:      inc     ecx
        jmp     1b
7:      pop     rsi
        pop     rdx
        pop     rcx
        ret
8:      RAISE_INVALID
        pop     rsi
        pop     rdx
        pop     rcx
        ret
        .size \name, .-\name
        .endm

        .macro VECTOR_SET suffix, type
        VECTOR_FOLD RtVecSum\suffix, \type, 1
        VECTOR_FOLD RtVecSumSq\suffix, \type, 2
        VECTOR_FOLD RtVecAvr\suffix, \type, 3
        VECTOR_FOLD RtVecNorm\suffix, \type, 4
        VECTOR_FOLD RtVecProd\suffix, \type, 5
        VECTOR_EXTREME RtVecMax\suffix, \type, 1
        VECTOR_EXTREME RtVecMin\suffix, \type, 0
        .endm

        VECTOR_SET Single, 1
        VECTOR_SET Double, 2
        VECTOR_SET Extended, 3
        VECTOR_SET Integer, 4

ENTRY RtVecLen
        test    rax, rax
        jz      1f
        push    rcx
        mov     ecx, dword ptr [rax - 4]  # the whole 32-bit count
        push    rcx
        fild    qword ptr [rsp]
        add     rsp, 8
        pop     rcx
        ret
1:      fldz
        ret
        .size RtVecLen, .-RtVecLen

# ---------------------------------------------------------------- list routines

# A list of no values: the integer overflow of forming count - 1.
        .macro LIST_CHECK
        test    esi, esi
        jnz     9f
        mov     edi, 24
        and     rsp, -16
        call    ExcoRaiseFault@PLT
9:
        .endm

        .macro LIST_FOLD name, kind
ENTRY \name
        LIST_CHECK
        .if \kind == 5
        fld1
        .else
        fldz
        .endif
        xor     ecx, ecx
1:      cmp     ecx, esi
        jae     2f
        lea     rdx, [rcx + rcx * 4]
        fld     tbyte ptr [rdi + rdx * 2]
        COMBINE \kind
        inc     ecx
        jmp     1b
2:
        .if \kind == 3
        mov     ecx, esi
        push    rcx
        fild    qword ptr [rsp]
        add     rsp, 8
        FDIVP1
        .elseif \kind == 4
        fsqrt
        .endif
        ret
        .size \name, .-\name
        .endm

# Only a strictly greater (max) or smaller (min) value replaces the current one.
        .macro LIST_EXTREME name, largest
ENTRY \name
        LIST_CHECK
        fld     tbyte ptr [rdi]
        mov     ecx, 1
1:      cmp     ecx, esi
        jae     3f
        lea     rdx, [rcx + rcx * 4]
        fld     tbyte ptr [rdi + rdx * 2]
        fcomi   st, st(1)
        .if \largest
        jbe     2f
        .else
        jae     2f
        .endif
        fstp    st(1)
        inc     ecx
        jmp     1b
2:      fstp    st(0)
        inc     ecx
        jmp     1b
3:      ret
        .size \name, .-\name
        .endm

        LIST_FOLD RtListSum, 1
        LIST_FOLD RtListSumSq, 2
        LIST_FOLD RtListAvr, 3
        LIST_FOLD RtListNorm, 4
        LIST_FOLD RtListProd, 5
        LIST_EXTREME RtListMax, 1
        LIST_EXTREME RtListMin, 0

        .section .rodata
        .p2align 4
.Lmax_extended:
        .quad   0xFFFFFFFFFFFFFFFF
        .short  0x7FFE
        .p2align 3
.Lone:  .double 1.0
.Lhalf: .double 0.5
.Ltwo_to_31:
        .double 2147483648.0
.Ltwo:  .long   2

        .section .note.GNU-stack, "", @progbits
