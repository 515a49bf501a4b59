#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test headless: once in a
# plain build, then again under AddressSanitizer and UndefinedBehaviorSanitizer; between
# the two, the Release build and a small run of every benchmark.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

cmake -S . -B build -G Ninja
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

# The Release configuration is built once and every benchmark run at a small size, so
# that neither the optimised build nor a benchmark can rot unseen.
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build-release -j "$jobs"
for bench in build-release/bench/*_bench; do
  [[ -f $bench && -x $bench ]] || continue
  echo "== ${bench##*/} (small size)"
  KELVO_BENCH_SMALL=1 "$bench"
done

cmake -S . -B build-asan -G Ninja -DKELVO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
cmake --build build-asan -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS="suppressions=$PWD/tests/support/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-asan --output-on-failure -j "$jobs"
