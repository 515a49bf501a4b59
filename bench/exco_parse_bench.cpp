// Compile (parse) time per text for typical formulas: every run of a test compiles
// its formulas afresh, so this is paid once per formula per run.
#include "bench_support.h"
#include "compiler/exco_lib.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Compiles text repeats times, freeing the routines every clearEvery compiles: the
// nanoseconds per compile, and whether the text was refused.
struct CompileTime {
  double ns;
  bool error;
};
CompileTime timeCompiles(const std::string& text, int repeats, int clearEvery) {
  intptr_t handle = 0;
  int code = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int r = 0; r < repeats; ++r) {
    ExcoCompile(text, nullptr, handle);
    if (r % clearEvery == clearEvery - 1) ExcoSetOption(exco_option::Clear, exco_option::AllRoutines);
  }
  const auto end = std::chrono::steady_clock::now();
  ExcoGetError(code);
  ExcoSetOption(exco_option::Clear, exco_option::AllRoutines);
  return {std::chrono::duration<double, std::nano>(end - start).count() / repeats, code != 0};
}

}  // namespace

int main() {
  static double vars[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  static double* varsRef = vars;
  static double data[4] = {1, 0, 2, 0};
  static double* dataRef = data;
  ExcoDefineVariable("vars", &varsRef, 70);
  ExcoDefineVariable("data", &dataRef, 70);
  static double x = 0.5, y = 1.5;
  ExcoDefineVariable("x", &x, 28);
  ExcoDefineVariable("y", &y, 28);

  const std::vector<std::string> formulas = {
      "1",
      "2*3+1",
      "vars[0]+vars[1]*2",
      "if(vars[2]>1,10,20)",
      "if(vars[0]+vars[1]+vars[2]>0,1,0)",
      "sum(vars)/len(vars)",
      "2*x+3*y+1",
      "sin(x)^2+cos(x)^2",
      "exp(-x^2/2)/sqrt(2*3.14159265358979)",
      "max(vars[0],vars[1],vars[2],vars[3])-min(data)",
      "|x-1|*[y]+{x}+5!",
      "power(x,y)+root(x,3)+logn(2,y)",
      "(vars[0]*data[0]+vars[1]*data[1]+vars[2]*data[2])/(1+vars[3])",
  };
  const int kRepeats = kelvo::bench::sized(20000, 100);
  std::printf("%-64s %12s\n", "formula", "ns/compile");
  for (const std::string& f : formulas) {
    const CompileTime t = timeCompiles(f, kRepeats, 1000);
    std::printf("%-64s %12.0f%s\n", f.c_str(), t.ns, t.error ? "  (error)" : "");
  }

  // Nested texts up to the nesting limit: compile time should grow with the text, so
  // the time per character stays about the same from one depth to the next (a
  // doubling of the depth about doubles the time). Nested brackets, which the
  // parser strips level by level, are the comparison for nested calls.
  struct Nesting {
    const char* name;
    std::string open, close;
  };
  const std::vector<Nesting> nestings = {
      {"sin(sin(...x...))", "sin(", ")"},
      {"sqrt(abs(...x...))", "sqrt(abs(", "))"},
      {"x+(x+(...x...))", "x+(", ")"},
      // Values wait on the x87 stack at every level, so values go to memory one
      // after another.
      {"max(1,max(1,...x...))", "max(1,", ")"},
      {"min(x,y,1+min(...x...))", "min(x,y,1+", ")"},
  };
  std::printf("\n%-22s %6s %8s %12s %12s %14s\n", "nested text", "depth", "chars", "us/compile", "ns/char",
              "x per doubling");
  for (const Nesting& n : nestings) {
    double previous = 0;
    for (const int depth : {32, 64, 128, 256}) {
      // sqrt(abs( opens two levels at a time.
      const int steps = n.open == "sqrt(abs(" ? depth / 2 : depth;
      std::string text;
      for (int k = 0; k < steps; ++k) text += n.open;
      text += "x";
      for (int k = 0; k < steps; ++k) text += n.close;
      const CompileTime t = timeCompiles(text, kelvo::bench::sized(200000 / depth, 2), 100);
      const double us = t.ns / 1000;
      char growth[32] = "";
      if (previous > 0) std::snprintf(growth, sizeof growth, "%.2f", us / previous);
      std::printf("%-22s %6d %8zu %12.1f %12.0f %14s%s\n", n.name, depth, text.size(), us,
                  t.ns / static_cast<double>(text.size()), growth, t.error ? "  (error)" : "");
      previous = us;
    }
  }
  std::printf("goal: linear in depth up to the nesting limit (about 2x per doubling)\n");
  return 0;
}
