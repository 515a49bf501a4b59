// Cost of placing compiled routines and of running one through the guarded runner.
#include "bench_support.h"
#include "compiler/exco_h.h"
#include "compiler/exec_arena.h"
#include "compiler/native_call.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
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
    return 0;
}
