// Numeric differentiation of a compiled function with respect to one variable: the
// variable is set to the points of a symmetric stencil around its value, the function
// is run at each, and the weighted sum of its values is divided by a power of the step.
#pragma once

#include "compiler/exco_types.h"

#include <array>
#include <cstdint>
#include <vector>

class TDiffNumeric {
 public:
  using Runner = Extended (*)(intptr_t entry);

  // Builds the factorial and weight tables; the step becomes 0.001. runner runs a
  // compiled function and returns its value.
  void Init(Runner runner);

  // Derivative of order 1 to 4 of function f at the value of the variable at v (type
  // t: 1 Single, 2 Double, 3 Extended) by the stencil with the current step. The
  // variable holds its value bit for bit afterwards, also when f fails.
  Extended Diff(int order, intptr_t f, void* v, int32_t t);
  // Derivative of any order from 1 with the step 0.1; the step is restored afterwards.
  Extended DiffN(intptr_t f, void* v, int32_t t, int32_t n);

  Extended Step() const { return h_; }
  // Weight of stencil point j (0..N) for the derivative of order m (1..4).
  Extended Weight(int m, int j) const { return weights_[static_cast<size_t>(m - 1)][static_cast<size_t>(j)]; }
  static constexpr int N = 14;

 private:
  Extended DerivativeAt(intptr_t f, void* v, int32_t t, int32_t n);

  Runner run_ = nullptr;
  Extended h_ = 0.001L;
  std::vector<Extended> factorial_;
  std::array<std::array<Extended, N + 1>, 4> weights_{};
};
