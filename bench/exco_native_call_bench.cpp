// Cost of placing compiled routines and of running one through the guarded runner.
#include "bench_support.h"
#include "compiler/exco.h"
#include "compiler/exco_h.h"
#include "compiler/exec_arena.h"
#include "compiler/native_call.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

double nanosecondsPer(long count, const auto& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    return std::chrono::duration<double, std::nano>(elapsed).count() / static_cast<double>(count);
}

}  // namespace

int main()
{
    exco::ExecArena& arena = exco::ExecArena::instance();
    const std::vector<uint8_t> returnsOne{0xD9, 0xE8, 0xC3};  // fld1; ret
    std::vector<uint8_t> typical(183, 0x90);  // about the size of a formula of a few terms
    std::copy(returnsOne.begin(), returnsOne.end(), typical.end() - 3);

    const long kPlacements = kelvo::bench::sized(1000000L, 1000L);
    const double place = nanosecondsPer(kPlacements, [&] {
        for (long i = 0; i < kPlacements; ++i)
            arena.release(arena.place(typical));
    });

    const long kCalls = kelvo::bench::sized(10000000L, 1000L);
    volatile double sink = 0;
    // fld1; ret after the given marker, run through the guarded runner.
    const auto guardedRun = [&](const std::vector<uint8_t>& marker) {
        std::vector<uint8_t> code = marker;
        code.insert(code.end(), returnsOne.begin(), returnsOne.end());
        const uintptr_t placed = arena.place(code);
        const double ns = nanosecondsPer(kCalls, [&] {
            for (long i = 0; i < kCalls; ++i)
                sink = sink + static_cast<double>(ExcoRunRoutine(static_cast<intptr_t>(placed)));
        });
        arena.release(placed);
        return ns;
    };
    const double call = guardedRun({});
    const double masked = guardedRun({exco::kRunTwiceMark.begin(), exco::kRunTwiceMark.end()});
    const double lean = guardedRun({exco::kContainedMark.begin(), exco::kContainedMark.end()});
    const uintptr_t entry = arena.place(returnsOne);
    using Routine = long double (*)();
    const auto direct = reinterpret_cast<Routine>(entry);
    const double bare = nanosecondsPer(kCalls, [&] {
        for (long i = 0; i < kCalls; ++i)
            sink = sink + static_cast<double>(direct());
    });
    arena.release(entry);

    std::printf("place + free of a 183-byte routine: %.1f ns\n", place);
    std::printf("guarded run of fld1; ret:           %.1f ns (control word switched)\n", call);
    std::printf("guarded run, may run twice:         %.1f ns (faults masked first)\n", masked);
    std::printf("guarded run, contained:             %.1f ns (no fault window)\n", lean);
    std::printf("bare call of fld1; ret:             %.1f ns\n", bare);
    std::printf("guard overhead:                     %.1f ns / %.1f ns / %.1f ns\n", call - bare, masked - bare,
                lean - bare);

    // Calc's fixed cost per kind of routine: the same compiled formula through Calc
    // and called bare, each value kept in a double as a host keeps its variable.
    static double x = 2.75, y = 1.25;
    static struct {
        int32_t pad = 0;
        int32_t count = 4;
        double elements[4] = {1, 2, 3, 4};
    } storage;
    static double* a = storage.elements;
    ExcoDefineVariable("x", &x, 28);
    ExcoDefineVariable("y", &y, 28);
    ExcoDefineVariable("a", &a, 70);
    struct Kind {
        const char* name;
        const char* text;
    };
    const std::vector<Kind> kinds = {
        {"arithmetic (contained)", "x*y+1"},
        {"sin, sqrt (contained)", "sin(x)+sqrt(y)"},
        {"exp, power (contained)", "exp(y)+power(x,y)"},
        {"root (contained)", "root(x,3)+y"},
        {"list of 8 (contained)", "max(x,y,1,2,3,4,5,6)"},
        {"list of 9", "sum(x,y,x,y,x,y,x,y,x)"},
        {"array function", "sum(a)+y"},
        {"trunc, frac", "trunc(x)+frac(y)"},
    };
    TExco exco;
    uint16_t hostControlWord = 0;
    asm volatile("fnstcw %0" : "=m"(hostControlWord));
    const long kFormulaCalls = kelvo::bench::sized(5000000L, 1000L);
    std::printf("\n%-26s %-26s %10s %10s %10s %8s\n", "kind of routine", "formula", "Calc ns", "bare ns",
                "fixed ns", "goal ns");
    for (const Kind& kind : kinds) {
        void* routine = nullptr;
        exco.Compile(kind.text, nullptr, routine);
        if (routine == nullptr) {
            std::printf("%-26s %-26s (error)\n", kind.name, kind.text);
            continue;
        }
        const auto bareRoutine = reinterpret_cast<long double (*)()>(routine);
        double throughCalc = 0, calledBare = 0;
        // The better of three rounds each, interleaved, so that a busy moment of the
        // machine does not fall on one side only.
        for (int round = 0; round < 3; ++round) {
            const double c = nanosecondsPer(kFormulaCalls, [&] {
                for (long i = 0; i < kFormulaCalls; ++i)
                    sink = sink + static_cast<double>(exco.Calc(routine));
            });
            const double b = nanosecondsPer(kFormulaCalls, [&] {
                for (long i = 0; i < kFormulaCalls; ++i)
                    sink = sink + static_cast<double>(bareRoutine());
            });
            // Called bare, trunc and frac leave the routines' control word behind.
            asm volatile("fldcw %0" : : "m"(hostControlWord));
            throughCalc = round == 0 ? c : std::min(throughCalc, c);
            calledBare = round == 0 ? b : std::min(calledBare, b);
        }
        std::printf("%-26s %-26s %10.2f %10.2f %10.2f %8.1f\n", kind.name, kind.text, throughCalc, calledBare,
                    throughCalc - calledBare, 2.0);
        exco.SetOption(exco_option::Clear, reinterpret_cast<intptr_t>(routine));
    }
    return 0;
}
