#include "compiler/native_call.h"

#include "compiler/exco_h.h"

#include <csignal>
#include <cstring>
#include <ucontext.h>
#include <mutex>
#include <new>

#include <atomic>

namespace {

// The trampolines' frame (layout in native_call_x86_64.S), which also holds the jump
// point that a fault returns to: the trampoline's stack pointer and the caller's r12
// to r15, stored by a few instructions of the trampoline itself.
struct ExcoCallFrame {
    uint16_t callerControlWord = 0;
    uint16_t routineControlWord = exco::kRoutineControlWord;
    uint32_t callerMxcsr = 0;
    uint16_t statusBefore = 0;
    uint16_t statusAfter = 0;
    uint32_t unbalanced = 0;  // 3: a fault left the routine
    uint64_t jumpPoint = 0;
    uint64_t savedRegisters[4] = {};
};
static_assert(sizeof(ExcoCallFrame) == 56);
constexpr uint32_t kFaulted = 3;

// One routine being run on this thread; runners nest when a routine calls a host
// routine that runs compiled code in turn.
struct Runner {
    ExcoCallFrame frame;
    volatile int32_t fault = 0;
    volatile uint16_t statusAtFault = 0;  // x87 status word when the fault arrived
    Runner* outer = nullptr;
};

// x87 status flags of the faults that the routines' control word unmasks.
constexpr uint16_t kUnmaskedFaultFlags = 0x0D;  // invalid operation, zero divide, overflow
// 64-bit precision, to nearest, every exception masked.
constexpr uint16_t kMaskedControlWord = 0x133F;
// The MXCSR a thread starts with, for a fault whose signal frame carries none.
constexpr uint32_t kDefaultMxcsr = 0x1F80;

// Constant-initialised and in the executable's static TLS block, so that the signal
// handler may read them.
__attribute__((tls_model("initial-exec"))) thread_local Runner* tInnermost = nullptr;
__attribute__((tls_model("initial-exec"))) thread_local int tDepth = 0;

// The SIGFPE disposition found when ours was installed, to pass other signals on to.
struct sigaction gPrevious {};
std::atomic<bool> gInstalled{false};
std::mutex gInstallMutex;

exco::FaultKind kindOfSignal(int code)
{
    using exco::FaultKind;
    switch (code) {
    case FPE_FLTDIV: return FaultKind::ZeroDivide;
    case FPE_FLTOVF: return FaultKind::Overflow;
    case FPE_FLTUND: return FaultKind::Underflow;
    case FPE_INTDIV: return FaultKind::IntegerDivide;
    case FPE_INTOVF: return FaultKind::IntOverflow;
    case FPE_FLTSUB: return FaultKind::AccessViolation;
    default: return FaultKind::InvalidOp;  // invalid operation, x87 stack fault, precision
    }
}

void passOn(int sig, siginfo_t* info, void* context)
{
    const struct sigaction& previous = gPrevious;
    if ((previous.sa_flags & SA_SIGINFO) != 0) {
        if (previous.sa_sigaction != nullptr) {
            previous.sa_sigaction(sig, info, context);
            return;
        }
    } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
        previous.sa_handler(sig);
        return;
    }
    const bool sentByProcess = info == nullptr || info->si_code <= 0;
    if (sentByProcess && previous.sa_handler == SIG_IGN)
        return;
    // Default action. A fault raised by an instruction happens again when the handler
    // returns, now with the default action; a sent signal is raised again.
    signal(sig, SIG_DFL);
    if (sentByProcess)
        raise(sig);
}

extern "C" void exco_fault_landing();
extern "C" [[noreturn]] void exco_unwind(ExcoCallFrame* frame);

extern "C" void onSigFpe(int sig, siginfo_t* info, void* context)
{
    Runner* const runner = tInnermost;
    if (runner != nullptr && info != nullptr && info->si_code > 0) {
        runner->fault = static_cast<int32_t>(kindOfSignal(info->si_code));
        const auto* user = static_cast<const ucontext_t*>(context);
        const bool hasState = user != nullptr && user->uc_mcontext.fpregs != nullptr;
        runner->statusAtFault = hasState ? user->uc_mcontext.fpregs->swd : 0;
        // Generated code never changes the MXCSR: what the fault found is the caller's.
        runner->frame.callerMxcsr = hasState ? user->uc_mcontext.fpregs->mxcsr : kDefaultMxcsr;
        // Return from the handler straight into the trampoline's fault landing.
        auto* resumed = static_cast<ucontext_t*>(context);
        resumed->uc_mcontext.gregs[REG_RSP] = static_cast<greg_t>(runner->frame.jumpPoint);
        resumed->uc_mcontext.gregs[REG_RBX] = reinterpret_cast<greg_t>(&runner->frame);
        resumed->uc_mcontext.gregs[REG_RIP] = reinterpret_cast<greg_t>(&exco_fault_landing);
        return;
    }
    passOn(sig, info, context);
}

void ensureFaultHandler()
{
    if (!gInstalled.load(std::memory_order_acquire))
        exco::InstallFaultHandler();
}

// After a fault the x87 unit holds whatever the signal handler was given; start it
// afresh with the caller's control words.
void restoreCallerUnit(const ExcoCallFrame& frame)
{
    const uint16_t controlWord = frame.callerControlWord;
    const uint32_t mxcsr = frame.callerMxcsr;
    asm volatile("fninit\n\tfldcw %0\n\tldmxcsr %1" : : "m"(controlWord), "m"(mxcsr));
}

}  // namespace

extern "C" long double exco_call_trampoline(uintptr_t entry, ExcoCallFrame* frame);
extern "C" long double exco_call_masked(uintptr_t entry, ExcoCallFrame* frame);
extern "C" long double exco_call_contained(uintptr_t entry, uint32_t* again);

namespace exco {

void InstallFaultHandler()
{
    const std::lock_guard lock(gInstallMutex);
    struct sigaction current {};
    sigaction(SIGFPE, nullptr, &current);
    const bool ours = (current.sa_flags & SA_SIGINFO) != 0 && current.sa_sigaction == onSigFpe;
    if (!ours) {
        struct sigaction handler {};
        handler.sa_sigaction = onSigFpe;
        handler.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&handler.sa_mask);
        sigaction(SIGFPE, &handler, &gPrevious);
    }
    gInstalled.store(true, std::memory_order_release);
}

void ThrowFault(FaultKind kind)
{
    switch (kind) {
    case FaultKind::None: return;
    case FaultKind::ZeroDivide: throw EExcoZeroDivide();
    case FaultKind::InvalidOp: throw EExcoInvalidOp();
    case FaultKind::Overflow: throw EExcoOverflow();
    case FaultKind::Underflow: throw EExcoUnderflow();
    case FaultKind::IntOverflow: throw EExcoIntOverflow();
    case FaultKind::AccessViolation: throw EExcoAccessViolation();
    case FaultKind::OutOfMemory: throw EExcoOutOfMemory();
    case FaultKind::StackOverflow: throw EExcoStackOverflow();
    case FaultKind::IntegerDivide: throw EExcoDivByZero();
    }
    throw EExcoInvalidOp();
}

FaultKind FaultKindOfCurrentException()
{
    try {
        throw;
    } catch (const EExcoZeroDivide&) {
        return FaultKind::ZeroDivide;
    } catch (const EExcoInvalidOp&) {
        return FaultKind::InvalidOp;
    } catch (const EExcoOverflow&) {
        return FaultKind::Overflow;
    } catch (const EExcoUnderflow&) {
        return FaultKind::Underflow;
    } catch (const EExcoIntOverflow&) {
        return FaultKind::IntOverflow;
    } catch (const EExcoAccessViolation&) {
        return FaultKind::AccessViolation;
    } catch (const EExcoOutOfMemory&) {
        return FaultKind::OutOfMemory;
    } catch (const std::bad_alloc&) {
        return FaultKind::OutOfMemory;
    } catch (const EExcoStackOverflow&) {
        return FaultKind::StackOverflow;
    } catch (const EExcoDivByZero&) {
        return FaultKind::IntegerDivide;
    } catch (...) {
        return FaultKind::InvalidOp;
    }
}

int ActiveRoutineDepth() { return tDepth; }

}  // namespace exco

extern "C" void ExcoRaiseFault(int32_t kind)
{
    Runner* const runner = tInnermost;
    if (runner != nullptr) {
        runner->fault = kind;
        uint16_t status = 0;
        uint32_t mxcsr = 0;
        asm volatile("fnstsw %0\n\tstmxcsr %1" : "=m"(status), "=m"(mxcsr));
        runner->statusAtFault = status;
        runner->frame.callerMxcsr = mxcsr;
        exco_unwind(&runner->frame);
    }
    exco::ThrowFault(static_cast<exco::FaultKind>(kind));
    throw EExcoInvalidOp();
}

namespace {

// Runs a routine that may run twice with every x87 exception masked. False when it
// has to run again with the faults unmasked: it raised an x87 fault flag (before any
// other fault), the caller had one pending, or the stack it left did not show one
// value at a glance (the exact count is the unmasked run's).
bool runMasked(intptr_t entry, Extended& result)
{
    Runner runner;
    runner.outer = tInnermost;
    runner.frame.routineControlWord = kMaskedControlWord;
    tInnermost = &runner;
    ++tDepth;
    result = exco_call_masked(static_cast<uintptr_t>(entry), &runner.frame);
    tInnermost = runner.outer;
    --tDepth;
    if (runner.frame.unbalanced == kFaulted) {
        restoreCallerUnit(runner.frame);
        if ((runner.statusAtFault & kUnmaskedFaultFlags) != 0)
            return false;
        exco::ThrowFault(static_cast<exco::FaultKind>(runner.fault));
        throw EExcoInvalidOp();
    }
    if (runner.frame.unbalanced == 1)
        throw EExcoUnbalancedStack();
    return runner.frame.unbalanced == 0;
}

Extended runUnmasked(intptr_t entry)
{
    Runner runner;
    runner.outer = tInnermost;
    tInnermost = &runner;
    ++tDepth;
    const Extended result = exco_call_trampoline(static_cast<uintptr_t>(entry), &runner.frame);
    tInnermost = runner.outer;
    --tDepth;
    if (runner.frame.unbalanced == kFaulted) {
        restoreCallerUnit(runner.frame);
        exco::ThrowFault(static_cast<exco::FaultKind>(runner.fault));
        throw EExcoInvalidOp();
    }
    if (runner.frame.unbalanced != 0)
        throw EExcoUnbalancedStack();
    return result;
}

}  // namespace

bool exco::MayRunTwice(uintptr_t entry)
{
    const void* start = reinterpret_cast<const void*>(entry);
    return std::memcmp(start, kRunTwiceMark.data(), kRunTwiceMark.size()) == 0 ||
           std::memcmp(start, kContainedMark.data(), kContainedMark.size()) == 0;
}

bool exco::IsContained(uintptr_t entry)
{
    return std::memcmp(reinterpret_cast<const void*>(entry), kContainedMark.data(), kContainedMark.size()) == 0;
}

Extended ExcoRunRoutine(intptr_t entry)
{
    if (entry == 0)
        throw EExcoAccessViolation();
    if (exco::IsContained(static_cast<uintptr_t>(entry))) {
        uint32_t again = 1;
        const Extended result = exco_call_contained(static_cast<uintptr_t>(entry), &again);
        if (again == 0)
            return result;
    }
    ensureFaultHandler();
    Extended result = 0;
    if (exco::MayRunTwice(static_cast<uintptr_t>(entry)) && runMasked(entry, result))
        return result;
    return runUnmasked(entry);
}
