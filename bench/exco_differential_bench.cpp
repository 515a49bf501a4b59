// The long run of the differential test: a million random texts (or the count given
// as the first argument, from the seed given as the second) through the compiler with
// the optimiser on and off, against the generator's long double interpreter. Run it
// before a compiler change lands; it prints what it compared and every disagreement.
#include "bench_support.h"
#include "tests/compiler/exco_expression_generator.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  const size_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : kelvo::bench::sized<size_t>(1000000, 2000);
  const uint32_t seed = argc > 2 ? static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 20261210u;
  excotest::GeneratorHost host;
  host.bind();
  const auto start = std::chrono::steady_clock::now();
  size_t failures = 0, compared = 0, undecidable = 0, faults = 0;
  // In slices, so that freed routines are reused and progress shows.
  constexpr size_t kSlice = 10000;
  for (size_t done = 0, slice = 0; done < count; done += kSlice, ++slice) {
    const size_t n = std::min(kSlice, count - done);
    const excotest::DifferentialReport r = excotest::RunDifferential(seed + static_cast<uint32_t>(slice), n, 4, 1000);
    compared += r.compared;
    undecidable += r.undecidable;
    faults += r.faults;
    failures += r.failures.size();
    for (const std::string& f : r.failures) std::printf("%s\n", f.c_str());
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("texts %zu, compared %zu (of them %zu faults), undecidable %zu, disagreements %zu, %.1f s\n", count,
              compared, faults, undecidable, failures, seconds);
  return failures == 0 ? 0 : 1;
}
