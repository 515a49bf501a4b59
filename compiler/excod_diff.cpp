#include "compiler/excod_diff.h"

#include <cstring>
#include <stdexcept>

namespace {

size_t sizeOfType(int32_t t) {
  switch (t) {
    case vt::Single: return 4;
    case vt::Double: return 8;
    case vt::Extended: return 10;
    default: return 0;
  }
}

Extended readValue(const void* v, int32_t t) {
  switch (t) {
    case vt::Single: {
      float f = 0;
      std::memcpy(&f, v, sizeof f);
      return f;
    }
    case vt::Double: {
      double d = 0;
      std::memcpy(&d, v, sizeof d);
      return d;
    }
    default: {
      Extended e = 0;
      std::memcpy(&e, v, 10);
      return e;
    }
  }
}

void writeValue(void* v, int32_t t, Extended value) {
  switch (t) {
    case vt::Single: {
      const float f = static_cast<float>(value);
      std::memcpy(v, &f, sizeof f);
      return;
    }
    case vt::Double: {
      const double d = static_cast<double>(value);
      std::memcpy(v, &d, sizeof d);
      return;
    }
    default: std::memcpy(v, &value, 10); return;
  }
}

Extended integerPower(Extended base, int p) {
  Extended r = 1;
  for (int k = 0; k < p; ++k) r *= base;
  return r;
}

// Puts the variable's bytes back when it leaves scope, whatever happened meanwhile.
class VariableRestorer {
 public:
  VariableRestorer(void* v, int32_t t) : v_(v), size_(sizeOfType(t)) { std::memcpy(saved_.data(), v, size_); }
  ~VariableRestorer() { std::memcpy(v_, saved_.data(), size_); }
  VariableRestorer(const VariableRestorer&) = delete;
  VariableRestorer& operator=(const VariableRestorer&) = delete;

 private:
  void* v_;
  size_t size_;
  std::array<uint8_t, 10> saved_{};
};

}  // namespace

void TDiffNumeric::Init(Runner runner) {
  run_ = runner;
  h_ = 0.001L;
  factorial_.assign(1755, 1);
  for (size_t n = 1; n < factorial_.size(); ++n) factorial_[n] = static_cast<Extended>(n) * factorial_[n - 1];

  const Extended t0 = N / 2;
  for (int j = 0; j <= N; ++j) {
    // Elementary symmetric sums of the other points' values -i.
    std::array<Extended, N + 1> e{};
    e[0] = 1;
    int used = 0;
    for (int i = 0; i <= N; ++i) {
      if (i == j) continue;
      ++used;
      for (int k = used; k >= 1; --k) e[static_cast<size_t>(k)] += static_cast<Extended>(-i) * e[static_cast<size_t>(k - 1)];
    }
    const Extended binomial = factorial_[N] / (factorial_[static_cast<size_t>(N - j)] * factorial_[static_cast<size_t>(j)]);
    const Extended scale = binomial / factorial_[N] * ((N + j) % 2 == 0 ? 1 : -1);
    for (int m = 1; m <= 4; ++m) {
      Extended derivative = 0;
      for (int k = 0; k <= N - 1; ++k) {
        const int p = N - k - m;
        if (p < 0) continue;
        derivative += e[static_cast<size_t>(k)] * (factorial_[static_cast<size_t>(N - k)] / factorial_[static_cast<size_t>(p)]) *
                      integerPower(t0, p);
      }
      weights_[static_cast<size_t>(m - 1)][static_cast<size_t>(j)] = derivative * scale;
    }
  }
}

Extended TDiffNumeric::Diff(int order, intptr_t f, void* v, int32_t t) {
  if (order < 1 || order > 4 || sizeOfType(t) == 0) throw std::invalid_argument("differentiation of no variable");
  const VariableRestorer restore(v, t);
  const Extended x0 = readValue(v, t);
  Extended point = x0 - (static_cast<Extended>(N) * h_) * 0.5L;
  Extended sum = 0;
  const auto& weights = weights_[static_cast<size_t>(order - 1)];
  for (int k = 0; k <= N; ++k) {
    writeValue(v, t, point);
    sum = run_(f) * weights[static_cast<size_t>(k)] + sum;
    point = point + h_;
  }
  Extended power = h_;
  if (order == 2) power = h_ * h_;
  if (order == 3) power = (h_ * h_) * h_;
  if (order == 4) power = (h_ * h_) * (h_ * h_);
  return sum / power;
}

Extended TDiffNumeric::DiffN(intptr_t f, void* v, int32_t t, int32_t n) {
  if (n < 1 || sizeOfType(t) == 0) throw std::invalid_argument("differentiation of no order or no variable");
  struct StepRestorer {
    Extended& step;
    Extended saved;
    ~StepRestorer() { step = saved; }
  } restoreStep{h_, h_};
  h_ = 0.1L;
  const VariableRestorer restore(v, t);
  return DerivativeAt(f, v, t, n);
}

// The eleven-point central difference of the derivative of order n - 1.
Extended TDiffNumeric::DerivativeAt(intptr_t f, void* v, int32_t t, int32_t n) {
  if (n <= 3) return Diff(n, f, v, t);
  const Extended g = h_;
  const Extended x0 = readValue(v, t);
  std::array<Extended, 11> d{};
  Extended point = x0 - 5 * g;
  for (size_t k = 0; k < d.size(); ++k) {
    writeValue(v, t, point);
    d[k] = DerivativeAt(f, v, t, n - 1);
    point = point + g;
  }
  const Extended sum = -3.6L * d[0] + 45 * d[1] - 270 * d[2] + 1080 * d[3] - 3780 * d[4] + 3780 * d[6] -
                       1080 * d[7] + 270 * d[8] - 45 * d[9] + 3.6L * d[10];
  return (1 / (g * 4536)) * sum;
}
