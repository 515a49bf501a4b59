// Host variables that compiler tests and benchmarks bind.
#pragma once

#include "compiler/exco_lib.h"

#include <cstdint>

// Host variables the tests bind: two Doubles, two Integers and a Double array.
struct HostVariables {
  double x = 1.5, y = 2.5;
  int32_t i = 3, j = 4;
  struct {
    int32_t pad = 0;
    int32_t count = 4;
    double elements[4] = {10, 11, 12, 13};
  } storage;
  double* a = storage.elements;

  void bind() {
    ExcoDefineVariable("x", &x, 28);
    ExcoDefineVariable("y", &y, 28);
    ExcoDefineVariable("i", &i, 27);
    ExcoDefineVariable("j", &j, 27);
    ExcoDefineVariable("a", &a, 70);
  }
};
