// Compile (parse) time per text for typical formulas: every run of a test compiles
// its formulas afresh, so this is paid once per formula per run.
#include "bench_support.h"
#include "compiler/exco_lib.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

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
    intptr_t handle = 0;
    int code = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < kRepeats; ++r) {
      ExcoCompile(f, nullptr, handle);
      if (r % 1000 == 999) ExcoSetOption(exco_option::Clear, exco_option::AllRoutines);
    }
    const auto end = std::chrono::steady_clock::now();
    ExcoGetError(code);
    ExcoSetOption(exco_option::Clear, exco_option::AllRoutines);
    const double ns = std::chrono::duration<double, std::nano>(end - start).count() / kRepeats;
    std::printf("%-64s %12.0f%s\n", f.c_str(), ns, code ? "  (error)" : "");
  }
  return 0;
}
