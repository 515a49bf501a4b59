#include "compiler/exco_h.h"
#include "compiler/exec_arena.h"
#include "compiler/native_call.h"
#include "tests/compiler/machine_code.h"

#include <gtest/gtest.h>

#include <csetjmp>
#include <csignal>
#include <functional>
#include <limits>

using testcode::Code;

namespace {

// Places a routine, runs it once through the runner and frees it.
long double runOnce(const Code& code)
{
    const uintptr_t entry = code.place();
    struct Free {
        uintptr_t entry;
        ~Free() { exco::ExecArena::instance().release(entry); }
    } freeAfter{entry};
    return ExcoRunRoutine(static_cast<intptr_t>(entry));
}

const long double kHuge = 1e4000L;
const long double kTiny = 1e-4000L;

Code oneOverZero() { return Code().add(testcode::kFld1).add(testcode::kFldz).add(testcode::kFdivp).ret(); }

}  // namespace

TEST(NativeCall, ReturnsTheExtendedResultOfTheRoutine)
{
    const long double third = 1.0L / 3.0L;
    EXPECT_EQ(runOnce(Code().add(testcode::kFld1).ret()), 1.0L);
    EXPECT_EQ(runOnce(Code().add(testcode::kFld1).add(testcode::kFld1).add(testcode::kFaddp).ret()), 2.0L);
    // The full 64-bit mantissa comes back: the value is not rounded to double.
    EXPECT_EQ(runOnce(Code().fldExtendedAt(&third).ret()), third);
    EXPECT_NE(static_cast<long double>(static_cast<double>(third)), third);
}

struct FaultCase {
    const char* name;
    std::function<Code()> routine;
    exco::FaultKind kind;
};

TEST(NativeCall, X87FaultsBecomeExceptionsOfTheirKind)
{
    const std::vector<FaultCase> cases{
        {"1/0", oneOverZero, exco::FaultKind::ZeroDivide},
        {"0/0", [] { return Code().add(testcode::kFldz).add(testcode::kFldz).add(testcode::kFdivp).ret(); },
         exco::FaultKind::InvalidOp},
        {"sqrt(-1)", [] { return Code().add(testcode::kFld1).add(testcode::kFchs).add(testcode::kFsqrt).ret(); },
         exco::FaultKind::InvalidOp},
        {"huge*huge", [] { return Code().fldExtendedAt(&kHuge).add({0xD8, 0xC8}).ret(); },  // fmul st0,st0
         exco::FaultKind::Overflow},
        {"ninth push", [] {
             Code code;
             for (int i = 0; i < 9; ++i)
                 code.add(testcode::kFld1);
             return code.ret();
         },
         exco::FaultKind::InvalidOp},
    };
    const uint16_t controlWord = testcode::hostControlWord();
    const uint32_t mxcsr = testcode::hostMxcsr();
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        exco::FaultKind caught = exco::FaultKind::None;
        try {
            runOnce(c.routine());
        } catch (const EExcoFault&) {
            caught = exco::FaultKindOfCurrentException();
        }
        EXPECT_EQ(caught, c.kind);
        EXPECT_EQ(testcode::hostControlWord(), controlWord);
        EXPECT_EQ(testcode::hostMxcsr(), mxcsr);
        EXPECT_EQ(exco::ActiveRoutineDepth(), 0);
        // The next call works, and so does the host's own x87 arithmetic.
        EXPECT_EQ(runOnce(Code().add(testcode::kFld1).ret()), 1.0L);
        volatile long double a = 3.0L;
        EXPECT_EQ(a * a + 1.0L, 10.0L);
    }
}

TEST(NativeCall, DivideByZeroThrowsAndLeavesTheProgramRunning)
{
    const uintptr_t entry = oneOverZero().place();
    for (int round = 0; round < 3; ++round)
        EXPECT_THROW(ExcoRunRoutine(static_cast<intptr_t>(entry)), EExcoZeroDivide);
    exco::ExecArena::instance().release(entry);
    // Underflow is masked: a tiny product is 0 or a denormal, not a fault.
    EXPECT_GE(runOnce(Code().fldExtendedAt(&kTiny).add({0xD8, 0xC8}).ret()), 0.0L);
}

TEST(NativeCall, ControlWordOfRoutinesAppliesOnlyInsideThem)
{
    uint16_t inside = 0;
    const Code storesItsControlWord = Code().r11(&inside).add({0x41, 0xD9, 0x3B}).add(testcode::kFld1).ret();
    const uint16_t hostWord = testcode::hostControlWord();
    EXPECT_EQ(runOnce(storesItsControlWord), 1.0L);
    // Bit 6 is reserved and reads as 1 on current processors.
    EXPECT_EQ(inside & ~0x40, exco::kRoutineControlWord);
    EXPECT_EQ(testcode::hostControlWord(), hostWord);

    // A host with another control word (53-bit precision) gets it back.
    testcode::setHostControlWord(0x027F);
    EXPECT_EQ(runOnce(storesItsControlWord), 1.0L);
    EXPECT_EQ(testcode::hostControlWord(), 0x027F);
    EXPECT_THROW(runOnce(oneOverZero()), EExcoZeroDivide);
    EXPECT_EQ(testcode::hostControlWord(), 0x027F);
    testcode::setHostControlWord(hostWord);
}

TEST(NativeCall, FlagsLeftByHostArithmeticDoNotFireInsideARoutine)
{
    // A masked invalid operation of the host leaves its sticky flag set.
    volatile long double zero = 0.0L;
    volatile long double nan = zero / zero;
    uint16_t status = 0;
    asm volatile("fnstsw %0" : "=m"(status));
    ASSERT_NE(status & 1, 0) << "host division should have set the invalid flag";
    EXPECT_TRUE(nan != nan);
    EXPECT_EQ(runOnce(Code().add(testcode::kFld1).ret()), 1.0L);
}

TEST(NativeCall, UnbalancedX87StackIsDetected)
{
    const std::vector<std::pair<const char*, Code>> cases{
        {"two values", Code().add(testcode::kFld1).add(testcode::kFld1).ret()},
        {"no value", Code().ret()},
        {"popped below", Code().add(testcode::kFld1).add({0xDD, 0xD8}).ret()},  // fstp st0
    };
    const uint16_t controlWord = testcode::hostControlWord();
    for (const auto& [name, code] : cases) {
        SCOPED_TRACE(name);
        EXPECT_THROW(runOnce(code), EExcoUnbalancedStack);
        EXPECT_EQ(testcode::hostControlWord(), controlWord);
        EXPECT_EQ(runOnce(Code().add(testcode::kFld1).ret()), 1.0L);
        volatile long double a = 2.0L;
        EXPECT_EQ(a * a, 4.0L);
    }
}

TEST(NativeCall, StackIsSixteenByteAlignedAtTheCall)
{
    uint64_t stack = 0;
    // mov [r11], rsp
    EXPECT_EQ(runOnce(Code().r11(&stack).add({0x49, 0x89, 0x23}).add(testcode::kFld1).ret()), 1.0L);
    EXPECT_EQ((stack + 8) % 16, 0u) << "rsp at entry holds the return address above an aligned stack";
}

TEST(NativeCall, NullHandleRunsNothing)
{
    EXPECT_THROW(ExcoRunRoutine(0), EExcoAccessViolation);
}

namespace {

// mov edi, kind; movabs rax, ExcoRaiseFault; sub rsp, 8; call rax
Code raisesFault(exco::FaultKind kind)
{
    return Code()
        .add({0xBF})
        .imm32(static_cast<uint32_t>(kind))
        .rax(reinterpret_cast<const void*>(&ExcoRaiseFault))
        .add({0x48, 0x83, 0xEC, 0x08, 0xFF, 0xD0});
}

// sub rsp, 8; movabs rax, host; call rax; add rsp, 8; ret
Code callsHost(long double (*host)())
{
    return Code()
        .add({0x48, 0x83, 0xEC, 0x08})
        .rax(reinterpret_cast<const void*>(host))
        .add({0xFF, 0xD0, 0x48, 0x83, 0xC4, 0x08})
        .ret();
}

// Runs an inner routine from host code; what it throws becomes kind.
long double runInner(Code (*routine)(), exco::FaultKind& kind)
{
    try {
        return runOnce(routine()) * 10;
    } catch (...) {
        kind = exco::FaultKindOfCurrentException();
        return 0;
    }
}

// Host routines that generated code calls. They run compiled code in turn and turn
// what it throws into a fault of the outer routine, raised once no scope with a
// destructor is left open.
long double hostInnerOne()
{
    exco::FaultKind kind = exco::FaultKind::None;
    const long double value = runInner([] { return Code().add(testcode::kFld1).ret(); }, kind);
    if (kind != exco::FaultKind::None)
        ExcoRaiseFault(static_cast<int32_t>(kind));
    return value;
}

long double hostInnerDivides()
{
    exco::FaultKind kind = exco::FaultKind::None;
    const long double value = runInner(oneOverZero, kind);
    if (kind != exco::FaultKind::None)
        ExcoRaiseFault(static_cast<int32_t>(kind));
    return value;
}

}  // namespace

TEST(NativeCall, RuntimeRoutinesRaiseFaultsThatReachTheRunner)
{
    EXPECT_THROW(runOnce(raisesFault(exco::FaultKind::AccessViolation)), EExcoAccessViolation);
    EXPECT_THROW(runOnce(raisesFault(exco::FaultKind::IntOverflow)), EExcoIntOverflow);
    EXPECT_THROW(runOnce(raisesFault(exco::FaultKind::IntegerDivide)), EExcoDivByZero);
    EXPECT_EQ(exco::ActiveRoutineDepth(), 0);
    EXPECT_EQ(runOnce(Code().add(testcode::kFld1).ret()), 1.0L);
    // Outside every routine the fault is a plain throw.
    EXPECT_THROW(ExcoRaiseFault(static_cast<int32_t>(exco::FaultKind::Overflow)), EExcoOverflow);
}

TEST(NativeCall, RoutinesNestThroughHostRoutines)
{
    // The outer routine keeps a value on the x87 stack while the inner one runs.
    Code sum = Code().add(testcode::kFld1);
    {
        std::vector<uint8_t> call = callsHost(hostInnerOne).bytes();
        call.pop_back();  // no ret yet
        sum.add(call).add(testcode::kFaddp).ret();
    }
    EXPECT_EQ(runOnce(callsHost(hostInnerOne)), 10.0L);
    EXPECT_EQ(runOnce(sum), 11.0L);
    const uint16_t controlWord = testcode::hostControlWord();
    EXPECT_THROW(runOnce(callsHost(hostInnerDivides)), EExcoZeroDivide);
    EXPECT_EQ(exco::ActiveRoutineDepth(), 0);
    EXPECT_EQ(testcode::hostControlWord(), controlWord);
    EXPECT_EQ(runOnce(callsHost(hostInnerOne)), 10.0L);
}

namespace {

sigjmp_buf gHostJump;
volatile sig_atomic_t gHostSignals = 0;

void hostSigFpe(int, siginfo_t*, void*)
{
    gHostSignals = gHostSignals + 1;
    siglongjmp(gHostJump, 1);
}

void integerDivideByZero()
{
    int divisor = 0;
    asm volatile("movl $1, %%eax\n\txorl %%edx, %%edx\n\tidivl %0" : : "r"(divisor) : "eax", "edx");
}

}  // namespace

TEST(NativeCall, SignalsOutsideRoutinesPassToTheHostsHandler)
{
    struct sigaction handler {};
    handler.sa_sigaction = hostSigFpe;
    handler.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&handler.sa_mask);
    ASSERT_EQ(sigaction(SIGFPE, &handler, nullptr), 0);
    exco::InstallFaultHandler();

    EXPECT_THROW(runOnce(oneOverZero()), EExcoZeroDivide);
    EXPECT_EQ(gHostSignals, 0);
    if (sigsetjmp(gHostJump, 0) == 0)
        integerDivideByZero();
    EXPECT_EQ(gHostSignals, 1) << "a fault in host code reaches the host's handler";
    if (sigsetjmp(gHostJump, 0) == 0)
        raise(SIGFPE);
    EXPECT_EQ(gHostSignals, 2) << "a sent signal reaches the host's handler";
    // Compiled code is still guarded afterwards.
    EXPECT_THROW(runOnce(oneOverZero()), EExcoZeroDivide);
    EXPECT_EQ(runOnce(Code().add(testcode::kFld1).ret()), 1.0L);
    EXPECT_EQ(gHostSignals, 2);
}

namespace {

Code marked(const std::array<uint8_t, 3>& mark) { return Code().add({mark.begin(), mark.end()}); }

}  // namespace

// A routine that may run twice is first run with a single look at the status word
// afterwards; whatever that look leaves in doubt is settled by the exact run. A
// contained routine's first run has no fault window at all, so the same doubts must
// reach the exact run through its lean trampoline too.
TEST(NativeCall, ARoutineThatMayRunTwiceIsCountedExactly)
{
    for (const auto& mark : {exco::kRunTwiceMark, exco::kContainedMark}) {
        SCOPED_TRACE(mark == exco::kContainedMark ? "contained" : "may run twice");
        const auto runTwice = [&] { return marked(mark); };
        const uintptr_t entry = runTwice().add(testcode::kFld1).ret().place();
        EXPECT_TRUE(exco::MayRunTwice(entry));
        EXPECT_EQ(exco::IsContained(entry), mark == exco::kContainedMark);
        exco::ExecArena::instance().release(entry);
        EXPECT_EQ(runOnce(runTwice().add(testcode::kFld1).ret()), 1.0L);
        EXPECT_THROW(runOnce(runTwice().add(testcode::kFld1).add(testcode::kFld1).ret()), EExcoUnbalancedStack);
        EXPECT_THROW(runOnce(runTwice().ret()), EExcoUnbalancedStack);
        EXPECT_THROW(runOnce(runTwice().add(oneOverZero().bytes())), EExcoZeroDivide);

        // The caller's empty stack at another TOP than 0.
        asm volatile("fldz\n\tffree %%st(0)" ::: "memory");
        const long double value = runOnce(runTwice().add(testcode::kFld1).ret());
        uint16_t controlWord = 0;
        asm volatile("fnstcw %0\n\tfninit\n\tfldcw %0" : "+m"(controlWord) : : "memory");  // TOP 0 again
        EXPECT_EQ(value, 1.0L);

        // A flag the caller left pending is no fault of the routine.
        volatile long double zero = 0;
        volatile long double nan = zero / zero;
        EXPECT_TRUE(nan != nan);
        EXPECT_EQ(runOnce(runTwice().add(testcode::kFld1).ret()), 1.0L);
        EXPECT_EQ(exco::ActiveRoutineDepth(), 0);

        // A host that unmasks faults, or rounds otherwise, gets the exact run, and its
        // control word back.
        const uint16_t hostWord = testcode::hostControlWord();
        for (const uint16_t word : {uint16_t{0x0372}, uint16_t{0x0F7F}}) {
            testcode::setHostControlWord(word);
            EXPECT_THROW(runOnce(runTwice().add(oneOverZero().bytes())), EExcoZeroDivide);
            EXPECT_EQ(testcode::hostControlWord(), word);
            EXPECT_EQ(runOnce(runTwice().add(testcode::kFld1).ret()), 1.0L);
            EXPECT_EQ(testcode::hostControlWord(), word);
        }
        testcode::setHostControlWord(hostWord);
    }
}
