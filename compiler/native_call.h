// Running generated code, and how its x87 faults reach C++.
//
// ExcoRunRoutine (declared in compiler/exco_h.h) is the one way to run a routine: the
// component's Calc, the pre-evaluation of a compile and every other runner use it. It
// calls the routine through an assembler trampoline (native_call_x86_64.S) that
//   - loads the routines' x87 control word (kRoutineControlWord) only around the call,
//     and only when the caller's differs, and clears the caller's pending x87 flags
//     first, so that a flag left by host code cannot fire inside the routine;
//   - keeps the CPU stack 16-byte aligned at the call;
//   - waits for pending x87 faults (fwait) while the fault window is still open, then
//     restores the caller's control word;
//   - checks that the routine left exactly one more value on the x87 stack than it
//     found there, and hands that value back as the result.
//
// Fault window. A SIGFPE handler, installed once with SA_NODEFER, acts only while the
// calling thread is inside a routine. Its jump point is the trampoline's own: the
// trampoline stores its stack pointer and the caller's r12 to r15 in its frame before
// the call (a few stores, no library call, no system call), and the handler returns
// from the signal straight into the trampoline's fault landing by its signal context;
// a fault that a host routine raises jumps there with exco_unwind. The landing resets
// the x87 unit (fninit) to the caller's control word and returns as the trampoline
// would; the runner then restores the SSE control/status register and throws the
// exception that matches the fault. Outside the window, and for signals sent by other
// processes, the handler passes the signal on to the handler that was installed
// before it (or to the default action).
//
// Contained routines. A routine that may run twice, leaves the control word alone and
// calls nothing but runtime routines that fault only by x87 flags (marked with
// kContainedMark) cannot fault while every x87 exception is masked. When the caller's
// control word masks them all, it is called through a lean trampoline with no fault
// window: no runner, no jump point. When it raised a fault flag or did not plainly
// leave one value, it runs again through the full runner below, which reproduces the
// fault.
//
// Routines that may run twice. A routine whose only effect is its result (the code
// generator marks it by starting it with kRunTwiceMark, a nop) first runs with every
// x87 exception masked, through a second trampoline: loading a control word that
// unmasks exceptions costs far more than a short formula on some processors. When it
// raised a fault flag (or the caller had one pending), or did not plainly leave one
// value, it runs again under the routines' own control word, which reproduces its
// first fault exactly and counts the values exactly. Other routines always run under
// the routines' control word.
//
// C++ exceptions cannot unwind through generated code. A host routine that generated
// code calls must therefore not let an exception escape; it catches it, leaves its own
// scopes, and calls ExcoRaiseFault with the kind of what it caught
// (FaultKindOfCurrentException), which jumps straight to the innermost runner.
#pragma once

#include "compiler/exco_faults.h"

#include <array>
#include <cstdint>

namespace exco {

// The x87 control word of generated code: 64-bit precision, round to nearest,
// invalid operation, zero divide and overflow unmasked, the other exceptions masked.
constexpr uint16_t kRoutineControlWord = 0x1332;

// What a running routine can fail with. The numbers are the compile driver's fault
// codes; IntegerDivide is the integer division by zero that the driver does not map.
enum class FaultKind : int32_t {
    None = 0,
    ZeroDivide = 20,
    InvalidOp = 21,
    Overflow = 22,
    Underflow = 23,
    IntOverflow = 24,
    AccessViolation = 25,
    OutOfMemory = 26,
    StackOverflow = 27,
    IntegerDivide = 100,
};

// Installs the SIGFPE handler if it is not installed yet. ExcoRunRoutine does this
// itself; a host that installs SIGFPE handlers of its own calls it afterwards, so that
// signals outside the fault window reach them.
void InstallFaultHandler();

// Throws the exception of kind (kind None throws nothing).
void ThrowFault(FaultKind kind);

// The fault kind of the exception being handled: the matching kind for the compiler's
// fault classes, OutOfMemory for std::bad_alloc, InvalidOp for anything else.
FaultKind FaultKindOfCurrentException();

// Depth of nested runners on this thread (0 outside every routine).
int ActiveRoutineDepth();

// The first bytes of a routine that may run twice: nop dword [rax].
inline constexpr std::array<uint8_t, 3> kRunTwiceMark{0x0F, 0x1F, 0x00};
// The first bytes of a routine that may run twice and is contained besides: it leaves
// the control word alone and calls nothing that can trap with every exception masked
// (nop dword [rcx]).
inline constexpr std::array<uint8_t, 3> kContainedMark{0x0F, 0x1F, 0x01};
bool MayRunTwice(uintptr_t entry);
bool IsContained(uintptr_t entry);

}  // namespace exco

// Integer division by zero inside a runtime routine. It is none of the faults that the
// compile driver maps, so it passes through a compile to its caller.
struct EExcoDivByZero : std::runtime_error {
    EExcoDivByZero() : std::runtime_error("Division by zero") {}
};

// The routine did not leave exactly one result on the x87 stack: a fault of the
// generated code itself, reported as an invalid operation.
struct EExcoUnbalancedStack : EExcoInvalidOp {
    const char* what() const noexcept override
    {
        return "Compiled code left the x87 register stack unbalanced";
    }
};

extern "C" {
// Called by generated code and runtime routines to fail the innermost running routine
// with a fault of the given kind (a FaultKind value). Outside every routine it throws.
[[noreturn]] void ExcoRaiseFault(int32_t kind);
}
