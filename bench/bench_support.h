#pragma once
// What the benchmarks share. Every benchmark runs at its full size by hand; with KELVO_BENCH_SMALL set (as the test
// script sets it) it runs at a small size, so that the build and the run of each
// benchmark are checked without the time the figures need.

#include <QByteArray>
#include <QtGlobal>

namespace kelvo::bench {

inline bool smallRun() { return !qEnvironmentVariableIsEmpty("KELVO_BENCH_SMALL"); }

// `full` normally, `small` in a small run.
template <class Number>
Number sized(Number full, Number small)
{
    return smallRun() ? small : full;
}

// Windows are measured without a display unless one is asked for.
inline void preferOffscreen()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

}  // namespace kelvo::bench
