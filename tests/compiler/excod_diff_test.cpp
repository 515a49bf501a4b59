// Numeric differentiation: the stencil weights, the language functions diff1 to diff4
// and diffn against analytic derivatives, the variable they vary, and their failures.
#include "compiler/exco.h"
#include "compiler/exco_faults.h"
#include "compiler/excod.h"
#include "tests/compiler/exco_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

namespace {

class Differentiation : public ExcoTest {};

intptr_t compiled(const std::string& text) {
  const CompileOutcome out = compileText(text);
  EXPECT_NE(out.handle, 0) << text << ": error " << out.code << " at " << out.item;
  return out.handle;
}

// The text that differentiates routine f with respect to the variable named var.
std::string diffText(const std::string& function, intptr_t f, const std::string& var, int type) {
  return function + "(" + std::to_string(f) + ",lda(" + var + ")," + std::to_string(type) + ")";
}

// The weights are those of the derivatives of the Lagrange basis at the centre: on the
// powers (j - 7)^p they give m! for p = m and 0 for every other p up to 14.
TEST_F(Differentiation, WeightsDifferentiatePolynomialsOfTheStencilExactly) {
  const TDiffNumeric& diff = ExcoLibraryEvaluator().DiffNumeric;
  for (int m = 1; m <= 4; ++m) {
    for (int p = 0; p <= 10; ++p) {
      long double sum = 0, scale = 0;
      for (int j = 0; j <= TDiffNumeric::N; ++j) {
        const long double term = diff.Weight(m, j) * std::pow(static_cast<long double>(j - 7), p);
        sum += term;
        scale += std::fabs(term);
      }
      const long double expected = p == m ? std::tgamma(m + 1.0L) : 0;
      EXPECT_NEAR(static_cast<double>(sum), static_cast<double>(expected), 1e-15 * static_cast<double>(scale) + 1e-15)
          << "order " << m << ", power " << p;
    }
    for (int j = 0; j <= TDiffNumeric::N; ++j) {
      const long double mirrored = diff.Weight(m, TDiffNumeric::N - j) * (m % 2 == 0 ? 1 : -1);
      EXPECT_NEAR(static_cast<double>(diff.Weight(m, j)), static_cast<double>(mirrored), 1e-12);
    }
  }
  EXPECT_EQ(diff.Step(), 0.001L);
}

TEST_F(Differentiation, DerivativesOfFunctionsMatchTheirAnalyticValues) {
  long double x = 0;
  ExcoDefineVariable("x", &x, 29);
  using F = std::function<long double(long double)>;
  const struct {
    const char* text;
    std::array<F, 4> derivatives;
  } functions[] = {
      {"x*x*x-2*x", {[](long double v) { return 3 * v * v - 2; }, [](long double v) { return 6 * v; },
                     [](long double) { return 6.0L; }, [](long double) { return 0.0L; }}},
      {"sin(x)", {[](long double v) { return std::cos(v); }, [](long double v) { return -std::sin(v); },
                  [](long double v) { return -std::cos(v); }, [](long double v) { return std::sin(v); }}},
      {"exp(x)", {[](long double v) { return std::exp(v); }, [](long double v) { return std::exp(v); },
                  [](long double v) { return std::exp(v); }, [](long double v) { return std::exp(v); }}},
      {"ln(x)", {[](long double v) { return 1 / v; }, [](long double v) { return -1 / (v * v); },
                 [](long double v) { return 2 / (v * v * v); }, [](long double v) { return -6 / (v * v * v * v); }}},
      {"1/(1+x*x)", {[](long double v) { return -2 * v / ((1 + v * v) * (1 + v * v)); },
                     [](long double v) { return (6 * v * v - 2) / std::pow(1 + v * v, 3); },
                     [](long double v) { return 24 * v * (1 - v * v) / std::pow(1 + v * v, 4); },
                     [](long double v) { return 24 * (5 * v * v * v * v - 10 * v * v + 1) / std::pow(1 + v * v, 5); }}},
  };
  // Rounding of the function's values grows with the order as 1 / h^m.
  const double tolerance[4] = {1e-12, 1e-9, 1e-6, 2e-3};
  TExco exco;
  for (const auto& fn : functions) {
    const intptr_t f = compiled(fn.text);
    for (int m = 1; m <= 4; ++m) {
      void* routine = nullptr;
      exco.Compile(diffText("diff" + std::to_string(m), f, "x", 3), nullptr, routine);
      ASSERT_NE(routine, nullptr);
      // The same routine follows the variable from run to run.
      for (long double at : {0.5L, 1.25L, 3.0L}) {
        x = at;
        const long double expected = fn.derivatives[static_cast<size_t>(m - 1)](at);
        EXPECT_NEAR(static_cast<double>(exco.Calc(routine)), static_cast<double>(expected),
                    tolerance[m - 1] * (1 + std::fabs(static_cast<double>(expected))))
            << "diff" << m << " of " << fn.text << " at " << static_cast<double>(at);
        EXPECT_EQ(x, at);
      }
      // diffn with the step 0.1; its fourth order comes from the third.
      for (long double at : {2.0L, 2.5L}) {
        x = at;
        void* n = nullptr;
        exco.Compile("diffn(" + std::to_string(f) + ",lda(x),3," + std::to_string(m) + ")", nullptr, n);
        ASSERT_NE(n, nullptr);
        const long double expected = fn.derivatives[static_cast<size_t>(m - 1)](at);
        EXPECT_NEAR(static_cast<double>(exco.Calc(n)), static_cast<double>(expected),
                    (m < 4 ? 1e-9 : 1e-5) * (1 + std::fabs(static_cast<double>(expected))))
            << "diffn " << m << " of " << fn.text << " at " << static_cast<double>(at);
        EXPECT_EQ(x, at);
      }
    }
  }
  EXPECT_EQ(ExcoLibraryEvaluator().DiffNumeric.Step(), 0.001L);
}

TEST_F(Differentiation, LowOrderPolynomialsAndHigherOrdersOfDiffn) {
  double x = 3;
  ExcoDefineVariable("x", &x, 28);
  TExco exco;
  void* d = nullptr;
  exco.Compile(diffText("diff1", compiled("x*x"), "x", 2), nullptr, d);
  ASSERT_NE(d, nullptr);
  EXPECT_NEAR(static_cast<double>(exco.Calc(d)), 6, 1e-12);

  x = 1;
  void* n4 = nullptr;
  void* n5 = nullptr;
  const intptr_t f = compiled("x^5");
  exco.Compile("diffn(" + std::to_string(f) + ",lda(x),2,4)", nullptr, n4);
  exco.Compile("diffn(" + std::to_string(f) + ",lda(x),2,5)+0", nullptr, n5);
  ASSERT_NE(n4, nullptr);
  ASSERT_NE(n5, nullptr);
  EXPECT_NEAR(static_cast<double>(exco.Calc(n4)), 120, 1e-4);
  EXPECT_NEAR(static_cast<double>(exco.Calc(n5)), 120, 1e-2);
  EXPECT_EQ(x, 1);
}

// After any of the routines the variable holds its value bit for bit, for every type.
TEST_F(Differentiation, TheVariedVariableIsRestoredExactly) {
  float s = 0.1f;
  double d = 0.1;
  long double e = 0.1L;
  ExcoDefineVariable("s", &s, 26);
  ExcoDefineVariable("d", &d, 28);
  ExcoDefineVariable("e", &e, 29);
  const struct {
    const char* var;
    int type;
    const void* address;
    size_t size;
  } variables[] = {{"s", 1, &s, 4}, {"d", 2, &d, 8}, {"e", 3, &e, 10}};
  TExco exco;
  for (const auto& v : variables) {
    const intptr_t f = compiled(std::string("sin(") + v.var + ")*3");
    uint8_t before[10] = {};
    std::memcpy(before, v.address, v.size);
    for (const std::string fn : {"diff1", "diff2", "diff3", "diff4"}) {
      void* routine = nullptr;
      exco.Compile(diffText(fn, f, v.var, v.type), nullptr, routine);
      ASSERT_NE(routine, nullptr);
      const long double value = exco.Calc(routine);
      if (fn == "diff1") {
        EXPECT_NEAR(static_cast<double>(value), 3 * std::cos(0.1), 1e-3) << v.var;
      }
      EXPECT_EQ(std::memcmp(before, v.address, v.size), 0) << fn << " of " << v.var;
    }
  }
}

// A fault of the differentiated function reaches the caller of Calc; the variable and
// the step are restored all the same.
TEST_F(Differentiation, FaultsOfTheFunctionReachTheCallerAndRestoreTheVariable) {
  long double x = 0.005L;
  ExcoDefineVariable("x", &x, 29);
  const intptr_t f = compiled("ln(x)");
  TExco exco;
  void* d1 = nullptr;
  void* dn = nullptr;
  exco.Compile(diffText("diff1", f, "x", 3), nullptr, d1);
  exco.Compile("diffn(" + std::to_string(f) + ",lda(x),3,1)", nullptr, dn);
  ASSERT_NE(d1, nullptr);
  ASSERT_NE(dn, nullptr);
  // The stencil of diff1 reaches 0.005 - 0.007 < 0, that of diffn far below 0.
  EXPECT_THROW(exco.Calc(d1), EExcoInvalidOp);
  EXPECT_EQ(x, 0.005L);
  EXPECT_THROW(exco.Calc(dn), EExcoInvalidOp);
  EXPECT_EQ(x, 0.005L);
  EXPECT_EQ(ExcoLibraryEvaluator().DiffNumeric.Step(), 0.001L);
  x = 2;
  EXPECT_NEAR(static_cast<double>(exco.Calc(d1)), 0.5, 1e-12);
}

// Arguments that do not name a live routine and a variable of the stated type fail the
// formula before anything is run or written.
TEST_F(Differentiation, ArgumentsThatNameNoRoutineOrVariableAreRefused) {
  long double x = 1;
  double y = 1;
  ExcoDefineVariable("x", &x, 29);
  ExcoDefineVariable("y", &y, 28);
  const intptr_t f = compiled("x*y");
  const intptr_t freed = compiled("x+1");
  ExcoSetOption(exco_option::Clear, freed);
  const struct {
    std::string text;
    bool accessViolation;
  } cases[] = {
      {diffText("diff1", 12345, "x", 3), true},             // no routine
      {diffText("diff1", freed, "x", 3), true},             // a freed routine
      {diffText("diff1", f, "y", 3), true},                 // y is a Double, not an Extended
      {diffText("diff1", f, "x", 4), true},                 // no real type
      {"diff1(" + std::to_string(f) + ",12345,3)", true},   // no variable there
      {"diffn(" + std::to_string(f) + ",lda(x),3,0)", false},  // no order
  };
  TExco exco;
  for (const auto& c : cases) {
    void* routine = nullptr;
    exco.Compile(c.text, nullptr, routine);
    ASSERT_NE(routine, nullptr) << c.text;
    if (c.accessViolation) {
      EXPECT_THROW(exco.Calc(routine), EExcoAccessViolation) << c.text;
    } else {
      EXPECT_THROW(exco.Calc(routine), EExcoInvalidOp) << c.text;
    }
    EXPECT_EQ(x, 1);
    EXPECT_EQ(y, 1);
  }
}

TEST_F(Differentiation, TheFunctionsAreRegisteredAtStartUp) {
  const TExcoH& h = ExcoLibraryCompiler();
  for (const char* name : {"diff1", "diff2", "diff3", "diff4", "diffn"}) {
    const int32_t id = h.FindFunction(name);
    ASSERT_GE(id, fx::BuiltInCount) << name;
    intptr_t value = 0;
    ExcoGetInfo(40, id, value);
    EXPECT_EQ(value, 117);
    ExcoGetInfo(42, id, value);
    EXPECT_EQ(value, std::string(name) == "diffn" ? 4 : 3);
    ExcoGetInfo(47, id, value);
    EXPECT_EQ(value, 110);
    ExcoGetInfo(44, id, value);
    EXPECT_EQ(value, 27);
  }
  EXPECT_EQ(compileText("diff1(1,2)").code, 212);
}

}  // namespace
