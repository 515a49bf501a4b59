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

    const uintptr_t entry = arena.place(returnsOne);
    const long kCalls = kelvo::bench::sized(10000000L, 1000L);
    volatile long double sink = 0;
    const double call = nanosecondsPer(kCalls, [&] {
        for (long i = 0; i < kCalls; ++i)
            sink = sink + ExcoRunRoutine(static_cast<intptr_t>(entry));
    });
    std::vector<uint8_t> marked(exco::kRunTwiceMark.begin(), exco::kRunTwiceMark.end());
    marked.insert(marked.end(), returnsOne.begin(), returnsOne.end());
    const uintptr_t markedEntry = arena.place(marked);
    const double masked = nanosecondsPer(kCalls, [&] {
        for (long i = 0; i < kCalls; ++i)
            sink = sink + ExcoRunRoutine(static_cast<intptr_t>(markedEntry));
    });
    arena.release(markedEntry);
    using Routine = long double (*)();
    const auto direct = reinterpret_cast<Routine>(entry);
    const double bare = nanosecondsPer(kCalls, [&] {
        for (long i = 0; i < kCalls; ++i)
            sink = sink + direct();
    });
    arena.release(entry);

    std::printf("place + free of a 183-byte routine: %.1f ns\n", place);
    std::printf("guarded run of fld1; ret:           %.1f ns (control word switched)\n", call);
    std::printf("guarded run, may run twice:         %.1f ns (faults masked first)\n", masked);
    std::printf("bare call of fld1; ret:             %.1f ns\n", bare);
    std::printf("guard overhead:                     %.1f ns / %.1f ns\n", call - bare, masked - bare);
    return 0;
}
