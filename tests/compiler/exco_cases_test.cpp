// Texts whose values were once wrong, each with its value worked out by hand, run with
// the optimiser on and off. Faults that the differential test finds land here as rows.
#include "compiler/exco.h"
#include "compiler/exco_faults.h"
#include "compiler/exco_h.h"
#include "tests/compiler/exco_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

struct ValueCase {
  const char* text;
  double x, y;
  long double expected;
};

// x and y are Doubles; i = 3 and j = 4 are Integers; a is a Double array 10, 11, 12, 13.
const std::vector<ValueCase>& valueCases() {
  static const std::vector<ValueCase> cases = {
      // A coefficient or an addend around a conditional.
      {"if(x>y,x-y,y-x)*2", 0.7, 1.3, 1.2L},
      {"2*if(x>y,x-y,y-x)", 0.7, 1.3, 1.2L},
      {"if(x<y,1,0)*10+1", 0.7, 1.3, 11},
      {"if(x<y,1,0)-1", 0.7, 1.3, 0},
      {"if(x<y,1,0)/2", 0.7, 1.3, 0.5L},
      {"if(x<y,1,0)+if(x<y,2,0)*3", 0.7, 1.3, 7},
      {"10-if(x=y,3)", 2, 2, 7},
      {"(if(x>y,x-y,y-x))*2", 0.7, 1.3, 1.2L},
      {"x+if(x>=y,4,5)*x", 0.7, 1.3, 0.7L + 5 * 0.7L},
      {"-if(x<y,2,5)+1", 0.7, 1.3, -1},
      {"3*if(x<y,if(y>1,2,0),1)-1", 0.7, 1.3, 5},
      {"sin(if(x<y,0,1)*2+1)", 0.7, 1.3, std::sin(1.0L)},
      {"if(2*if(x<y,1,0)+1=3,4,5)", 0.7, 1.3, 4},
      // The same around every other kind of call.
      {"2*sum(x,y)+1", 0.7, 1.3, 5},
      {"10-max(x,y,1)", 0.7, 1.3, 10 - 1.3L},
      {"min(a)*2-20", 0.7, 1.3, 0},
      {"3*sum(a)/2", 0.7, 1.3, 69},
      {"2*len(1,2,3)+1", 0.7, 1.3, 7},
      {"4*sqr(x)+1", 0.5, 0, 2},
      {"2*x^5+1", 0.5, 0, 1.0625L},
      {"2*power(x,y)-1", 4, 0.5, 3},
      {"2*root(x,3)+1", 8, 0, 5},
      {"-2*abs(x-y)+1", 0.5, 1.5, -1},
      {"2*fact(i)+1", 0, 0, 13},
      {"2*a[i]-1", 0, 0, 25},
      {"10-prod(x,y,2)", 0.5, 1.5, 8.5L},
      {"2*norm(x,y)", 3, 4, 10},
      // A relation starts an operand for the bar, truncation and factorial notations.
      {"if(1<|x|,2)", -1.5, 0, 2},
      {"if(x>[y],1)", 1.2, 1.3, 1},
      {"if(y<>(3)!*2,1)", 0, 12, 0},
      {"if(x>=|y|-1,{x}+y!)", 0.25, -3, 0},
      // Inverse hyperbolics of large negative arguments.
      {"arcsinh(-x*1e11)", 0.7, 0, -asinhl(7e10L)},
      {"arcsinh(x)+arcsinh(-x)", 123.25, 0, 0},
      {"arccosh(x*1e11)", 0.7, 0, acoshl(7e10L)},
      // Hyperbolics of tiny arguments keep their digits.
      {"tanh(x*1e-29)*1e29", 0.7, 0, 0.7L},
      {"cotanh(x*1e-29)*1e-29", 0.7, 0, 1 / 0.7L},
      {"sinh(x*1e-12)*1e12", 0.7, 0, 0.7L},
  };
  return cases;
}

class Cases : public ExcoTest {
 protected:
  void SetUp() override {
    ExcoTest::SetUp();
    vars.bind();
  }
  void TearDown() override {
    ExcoLibraryCompiler().Optimise = true;
    ExcoLibraryCompiler().CodeListOptimisation = true;
    ExcoTest::TearDown();
  }
  HostVariables vars;
};

TEST_F(Cases, ValuesWithTheOptimiserOnAndOff) {
  for (const bool optimise : {true, false}) {
    ExcoLibraryCompiler().Optimise = optimise;
    ExcoLibraryCompiler().CodeListOptimisation = optimise;
    for (const ValueCase& c : valueCases()) {
      vars.x = c.x;
      vars.y = c.y;
      const CompileOutcome out = compileText(c.text);
      ASSERT_NE(out.handle, 0) << c.text << " optimise " << optimise << ": error " << out.code;
      const long double got = TExco().Calc(reinterpret_cast<void*>(out.handle));
      EXPECT_NEAR(static_cast<double>(got), static_cast<double>(c.expected), 1e-12)
          << c.text << " optimise " << optimise;
      ExcoSetOption(exco_option::Clear, out.handle);
    }
  }
}

struct FaultCase {
  const char* text;
  double x;
  bool zeroDivide;  // else an invalid operation
};

TEST_F(Cases, FaultsOfTheirKind) {
  const std::vector<FaultCase> cases = {
      // Below 1 arccosh has no value, however its formula would cancel.
      {"arccosh(x)", -1e16, false},
      {"arccosh(x)", -2, false},
      {"arccosh(x)", 0.5, false},
      {"arcsinh(1/x)", 0, true},
  };
  for (const FaultCase& c : cases) {
    vars.x = c.x;
    const CompileOutcome out = compileText(c.text);
    ASSERT_NE(out.handle, 0) << c.text;
    void* routine = reinterpret_cast<void*>(out.handle);
    if (c.zeroDivide) EXPECT_THROW(TExco().Calc(routine), EExcoZeroDivide) << c.text << " at " << c.x;
    else EXPECT_THROW(TExco().Calc(routine), EExcoInvalidOp) << c.text << " at " << c.x;
    ExcoSetOption(exco_option::Clear, out.handle);
  }
}

}  // namespace

namespace {

std::string nested(const std::string& open, const std::string& inner, const std::string& close, int depth) {
  std::string t;
  for (int k = 0; k < depth; ++k) t += open;
  t += inner;
  for (int k = 0; k < depth; ++k) t += close;
  return t;
}

TEST_F(Cases, NestingWithinTheLimitCompilesAndBeyondItIsRefused) {
  vars.x = 0.7;
  // At the limit: the value of 200 nested calls, worked out by the same steps.
  long double sines = 0.7L;
  for (int k = 0; k < 200; ++k) sines = sinl(sines);
  const CompileOutcome deep = compileText(nested("sin(", "x", ")", 200));
  ASSERT_NE(deep.handle, 0) << deep.code;
  EXPECT_NEAR(static_cast<double>(TExco().Calc(reinterpret_cast<void*>(deep.handle))), static_cast<double>(sines), 1e-15);
  ExcoSetOption(exco_option::Clear, deep.handle);
  std::string chain = "x";
  for (int k = 0; k < 200; ++k) chain += "^1";
  const CompileOutcome powers = compileText(chain);
  ASSERT_NE(powers.handle, 0) << powers.code;
  EXPECT_DOUBLE_EQ(static_cast<double>(TExco().Calc(reinterpret_cast<void*>(powers.handle))), 0.7);
  ExcoSetOption(exco_option::Clear, powers.handle);

  // Far beyond it: refused with the stack overflow code, not run for minutes.
  std::string hats = "x";
  for (int k = 0; k < 30000; ++k) hats += "^x";
  const std::vector<std::string> refused = {
      nested("sin(", "x", ")", 100000), nested("power(", "x", ",1)", 30000), nested("(", "x", ")", 257),
      nested("-(", "x", ")", 50000),    nested("if(x>1,", "x", ",2)", 20000), nested("2*|", "x", "|", 20000),
      hats,
  };
  for (const std::string& text : refused) {
    const CompileOutcome out = compileText(text);
    EXPECT_EQ(out.handle, 0);
    EXPECT_EQ(out.code, 202) << text.substr(0, 40);
  }
}

TEST_F(Cases, NestsKeepingValuesOnTheX87StackGiveTheValueOfEveryLevel) {
  // Each level leaves a value waiting while the level under it is worked out, so from
  // the eighth level on values go to memory, one after another; the reference applies
  // the levels one by one from the innermost x.
  vars.x = 0.7;
  vars.y = 0.3;
  const long double x = 0.7, y = 0.3;
  struct Nest {
    const char* open;
    const char* close;
    long double (*level)(long double x, long double y, long double v);
    int bracketsPerLevel = 1;
  };
  const std::vector<Nest> nests = {
      {"sum(1,", ")", [](long double, long double, long double v) { return 1 + v; }},
      {"sum(y,x*", ")", [](long double x, long double y, long double v) { return y + x * v; }},
      {"max(y,x*", ")", [](long double x, long double y, long double v) { return std::max(y, x * v); }},
      {"min(x,y,1+", ")", [](long double x, long double y, long double v) { return std::min({x, y, 1 + v}); }},
      {"prod(x,2,", ")", [](long double x, long double, long double v) { return x * 2 * v; }},
      {"x*(y-", ")", [](long double x, long double y, long double v) { return x * (y - v); }},
      {"x/(2+", ")", [](long double x, long double, long double v) { return x / (2 + v); }},
      {"x-sin(", ")", [](long double x, long double, long double v) { return x - sinl(v); }},
      {"sum(x,y,max(1,", "))", [](long double x, long double y, long double v) { return x + y + std::max(1.0L, v); }, 2},
      {"if(x>0,y+", ",0)", [](long double, long double y, long double v) { return y + v; }},
  };
  for (const bool optimise : {true, false}) {
    ExcoLibraryCompiler().Optimise = optimise;
    ExcoLibraryCompiler().CodeListOptimisation = optimise;
    for (const Nest& n : nests) {
      for (const int depth : {7, 8, 9, 17, 100, 255}) {
        if (depth * n.bracketsPerLevel > 256) continue;  // beyond the nesting limit
        long double expected = x;
        for (int k = 0; k < depth; ++k) expected = n.level(x, y, expected);
        const std::string text = nested(n.open, "x", n.close, depth);
        const CompileOutcome out = compileText(text);
        ASSERT_NE(out.handle, 0) << n.open << " " << depth << ": error " << out.code;
        const long double got = TExco().Calc(reinterpret_cast<void*>(out.handle));
        EXPECT_NEAR(static_cast<double>(got), static_cast<double>(expected), 1e-12 * std::max(1.0L, fabsl(expected)))
            << n.open << " " << depth << " optimise " << optimise;
        ExcoSetOption(exco_option::Clear, out.handle);
      }
    }
  }
}

}  // namespace
