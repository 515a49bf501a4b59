// Functions added at run time: defined by text, native routines of the host under each
// calling class, inline templates, auxiliary routines and aliases.
#include "compiler/exco.h"
#include "compiler/exco_faults.h"
#include "tests/compiler/exco_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

class UserFunctions : public ExcoTest {};

// Adds a function; returns its id, or -1 (the error is read by the caller).
intptr_t add(const std::string& definition, ExcoFuncDescriptor d) {
  intptr_t id = -1;
  ExcoAddFunction(definition, &d, id);
  return id;
}

ExcoFuncDescriptor textDescriptor(intptr_t typeCode = 29) {
  ExcoFuncDescriptor d;
  InitFuncDescriptor(d);
  d.word[2] = 119;
  d.word[3] = typeCode;
  return d;
}

ExcoFuncDescriptor nativeDescriptor(intptr_t kind, intptr_t count, intptr_t typeCode, const void* routine) {
  ExcoFuncDescriptor d;
  InitFuncDescriptor(d);
  d.word[0] = reinterpret_cast<intptr_t>(routine);
  d.word[1] = count;
  d.word[2] = kind;
  d.word[3] = typeCode;
  return d;
}

int lastError() {
  int code = 0;
  ExcoGetError(code);
  return code;
}

long double run(const std::string& text) {
  const CompileOutcome out = compileText(text);
  EXPECT_NE(out.handle, 0) << text << ": error " << out.code << " at " << out.item;
  if (out.handle == 0) return NAN;
  return ExcoRunRoutine(out.handle);
}

// ------------------------------------------------------------ functions defined by text

TEST_F(UserFunctions, TextDefinedFunctionsGiveTheValuesOfTheirBodies) {
  HostVariables host;
  host.bind();
  for (const char* definition : {"f(x)=x*x+1", "g(x,y)=x*y+x-y", "k(a,b,c)=(a+b)*c", "h(t)=sin(t)^2+cos(t)^2",
                                 "m(x)=|x|-1", "P(X,Y) = X^3/Y", "deep(a,b)=a+b*(a+b*(a+b*(a+b*(a+b*(a+b*(a+b*(a+b)))))))"}) {
    ASSERT_GE(add(definition, textDescriptor()), fx::BuiltInCount) << definition;
  }
  const long double x = host.x;
  const struct {
    const char* text;
    long double expected;
  } cases[] = {
      {"f(3)", 10},
      {"g(3,4)", 11},
      {"g(2,-1)", 1},
      {"k(1,2,3)", 9},
      {"h(0.7)", 1},
      {"m(-3)", 2},
      {"p(2,4)", 2},  // names are case-insensitive
      {"f(f(2))", 26},
      {"f(x)", x * x + 1},
      {"2*f(x)+1", 2 * (x * x + 1) + 1},
      {"x-g(x,y)*k(x,1,y)", x - (x * 2.5L + x - 2.5L) * ((x + 1) * 2.5L)},
      {"1+x*(2+x*(3+x*(4+x*(5+x*(6+f(x+g(x,y)))))))", 0},  // reference below
      {"deep(1,2)+deep(x,0.5)", 0},
  };
  const auto fv = [](long double v) { return v * v + 1; };
  const auto gv = [](long double a, long double b) { return a * b + a - b; };
  const auto deepv = [](long double a, long double b) {
    long double r = a + b;
    for (int i = 0; i < 7; ++i) r = a + b * r;
    return r;
  };
  const long double nested = 1 + x * (2 + x * (3 + x * (4 + x * (5 + x * (6 + fv(x + gv(x, 2.5L)))))));
  for (const auto& c : cases) {
    long double expected = c.expected;
    if (std::string(c.text).rfind("1+x*", 0) == 0) expected = nested;
    if (std::string(c.text).rfind("deep", 0) == 0) expected = deepv(1, 2) + deepv(x, 0.5L);
    EXPECT_NEAR(static_cast<double>(run(c.text)), static_cast<double>(expected), 1e-12 * (1 + std::fabs(static_cast<double>(expected)))) << c.text;
  }
}

TEST_F(UserFunctions, RedefinitionReplacesTheFunctionAndKeepsEarlierRoutinesWorking) {
  ASSERT_GE(add("f(x)=x*x+1", textDescriptor()), 0);
  HostVariables host;
  host.bind();
  const CompileOutcome early = compileText("f(x)");
  ASSERT_NE(early.handle, 0);
  ASSERT_GE(add("f(x)=x+1", textDescriptor()), 0);
  EXPECT_EQ(run("f(3)"), 4);
  // The routine compiled before the redefinition still runs the old body.
  EXPECT_EQ(ExcoRunRoutine(early.handle), 1.5L * 1.5L + 1);
  // Freeing every compiled routine leaves the bodies that functions call.
  ExcoSetOption(exco_option::Clear, exco_option::AllRoutines);
  EXPECT_EQ(run("f(3)"), 4);
}

TEST_F(UserFunctions, ArgumentTypesOfTheDescriptorRoundTheStoredValues) {
  ASSERT_GE(add("twice(i)=i*2", textDescriptor(27)), 0);
  EXPECT_EQ(run("twice(3)"), 6);
  EXPECT_EQ(run("twice(3.9)"), 6);  // truncated, as for a routine of the host
  EXPECT_EQ(run("twice(-3.9)"), -6);
  int32_t types[] = {26, 28};
  ExcoFuncDescriptor d = textDescriptor(30);
  d.word[4] = reinterpret_cast<intptr_t>(types);
  ASSERT_GE(add("mixed(s,d)=s-d", d), 0);
  double x = 0.1;
  ExcoDefineVariable("x", &x, 28);
  EXPECT_EQ(run("mixed(x,x)"), static_cast<long double>(0.1f) - static_cast<long double>(0.1));
}

TEST_F(UserFunctions, FaultyDefinitionsAreRefusedWithTheirCodes) {
  const struct {
    const char* definition;
    int code;
    const char* item;
  } cases[] = {
      {"f(x)", 215, "f(x)"},          // no "="
      {"=x", 215, "=x"},              // empty head
      {"f(x)=", 215, "f(x)="},        // empty body
      {"fx=x", 215, "fx=x"},          // no "("
      {"(x)=x", 215, "(x)=x"},        // no name
      {"f(x,)=x", 215, "f(x,)=x"},    // an empty argument name
      {"g(x,y)=x*y+xy", 208, "xy"},   // xy is no argument: a name of its own
      {"f(x)=x+", 213, "0#x+"},       // the body's own error
  };
  for (const auto& c : cases) {
    const intptr_t id = add(c.definition, textDescriptor());
    EXPECT_EQ(id, -1) << c.definition;
    EXPECT_EQ(lastError(), c.code) << c.definition;
    std::string item;
    ExcoGetErrorText(item);
    if (c.code == 215) {
      EXPECT_EQ(item, c.item) << c.definition;
    }
    ExcoSetOption(exco_option::Zero, exco_option::Errors);
  }
  // Array and address arguments cannot be held in an argument cell.
  for (intptr_t type : {38, 70}) {
    EXPECT_EQ(add("arr(a)=a", textDescriptor(type)), -1);
    EXPECT_EQ(lastError(), 215);
    ExcoSetOption(exco_option::Zero, exco_option::Errors);
  }
  EXPECT_EQ(compileText("g(1,2)").code, 214);
}

// A body that reads a host variable is run afresh by every call, never replaced by its
// value when the calling text is compiled.
TEST_F(UserFunctions, BodyReadingAHostVariableSeesEveryChange) {
  double k = 2;
  ExcoDefineVariable("k", &k, 28);
  ASSERT_GE(add("rate(x)=x*k", textDescriptor()), 0);
  ASSERT_GE(add("wrap(x)=rate(x)+1", textDescriptor()), 0);
  ASSERT_GE(add("pure(x)=x*3", textDescriptor()), 0);
  TExco exco;
  void* rate = nullptr;
  void* wrap = nullptr;
  exco.Compile("rate(5)", nullptr, rate);
  intptr_t usesVariable = 0;
  ExcoGetInfo(76, 0, usesVariable);
  EXPECT_EQ(usesVariable, 4);
  exco.Compile("wrap(5)", nullptr, wrap);
  ASSERT_NE(rate, nullptr);
  ASSERT_NE(wrap, nullptr);
  EXPECT_EQ(exco.Calc(rate), 10);
  EXPECT_EQ(exco.Calc(wrap), 11);
  k = -0.5;
  EXPECT_EQ(exco.Calc(rate), -2.5);
  EXPECT_EQ(exco.Calc(wrap), -1.5);

  // A body of its arguments only is computed once at compile time.
  void* pure = nullptr;
  exco.Compile("pure(5)", nullptr, pure);
  ExcoGetInfo(76, 0, usesVariable);
  EXPECT_EQ(usesVariable, 3);
  EXPECT_EQ(exco.Calc(pure), 15);
}

// ------------------------------------------------------------ native routines of the host

long double mix(int32_t i, float s, double d, long double e) { return i * 1000.0L + s * 100.0L + d * 10.0L + e; }

long double weighted8(int64_t a, int64_t b, int64_t c, int64_t d, int64_t e, int64_t f, int64_t g, int64_t h) {
  return a + 2 * b + 3 * c + 4 * d + 5 * e + 6 * f + 7 * g + 8 * h;
}

long double weightedExt(long double a, long double b, long double c, double d, double e, double f, double g, double h) {
  return a - 2 * b + 3 * c - 4 * d + 5 * e - 6 * f + 7 * g - 8 * h;
}

long double bySlots(const uint8_t* slots) {
  double first = 0;
  long double second = 0;
  std::memcpy(&first, slots, sizeof first);
  std::memcpy(&second, slots + 10, 10);
  return first / second;
}

// Slots lie 10 bytes apart: a value in one need not be aligned.
long double slotAddresses(const void* a, const void* b) {
  double first = 0, second = 0;
  std::memcpy(&first, a, sizeof first);
  std::memcpy(&second, b, sizeof second);
  return first - second;
}

long double listSum(const uint8_t* slots, int32_t count) {
  long double sum = 0;
  for (int32_t k = 0; k < count; ++k) {
    double v = 0;
    std::memcpy(&v, slots + 10 * k, sizeof v);
    sum += v * (k + 1);
  }
  return sum;
}

// Uses the whole x87 stack, as a routine of the host may.
long double fullStack(long double x) {
  volatile long double v[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  long double r = 0;
  asm volatile("fldt %1\n\tfldt %2\n\tfldt %3\n\tfldt %4\n\tfldt %5\n\tfldt %6\n\tfldt %7\n\tfldt %8\n\t"
               "faddp\n\tfaddp\n\tfaddp\n\tfaddp\n\tfaddp\n\tfaddp\n\tfaddp\n\tfstpt %0"
               : "=m"(r)
               : "m"(v[0]), "m"(v[1]), "m"(v[2]), "m"(v[3]), "m"(v[4]), "m"(v[5]), "m"(v[6]), "m"(v[7]));
  return r + x;
}

long double divide(long double a, long double b) { return a / b; }

long double half(long double x) { return x / 2; }
long double third(long double x) { return x / 3; }

TEST_F(UserFunctions, NativeRoutinesGetTheirArgumentsByTheirCallingClass) {
  HostVariables host;
  host.bind();
  int32_t mixTypes[] = {27, 26, 28, 29};
  ExcoFuncDescriptor d = nativeDescriptor(110, 4, 30, reinterpret_cast<const void*>(&mix));
  d.word[4] = reinterpret_cast<intptr_t>(mixTypes);
  ASSERT_GE(add("mix", d), 0);
  ASSERT_GE(add("w8", nativeDescriptor(109, 8, 27, reinterpret_cast<const void*>(&weighted8))), 0);
  int32_t extTypes[] = {29, 29, 29, 28, 28, 28, 28, 28};
  d = nativeDescriptor(118, 8, 30, reinterpret_cast<const void*>(&weightedExt));
  d.word[4] = reinterpret_cast<intptr_t>(extTypes);
  ASSERT_GE(add("wext", d), 0);
  int32_t slotTypes[] = {28, 29};
  d = nativeDescriptor(100, 2, 30, reinterpret_cast<const void*>(&bySlots));
  d.word[4] = reinterpret_cast<intptr_t>(slotTypes);
  ASSERT_GE(add("byslots", d), 0);
  ASSERT_GE(add("addrs", nativeDescriptor(104, 2, 28, reinterpret_cast<const void*>(&slotAddresses))), 0);
  ASSERT_GE(add("lsum", nativeDescriptor(111, 0, 28, reinterpret_cast<const void*>(&listSum))), 0);
  ASSERT_GE(add("full", nativeDescriptor(110, 1, 29, reinterpret_cast<const void*>(&fullStack))), 0);

  const long double x = host.x, y = host.y;
  const struct {
    const char* text;
    long double expected;
  } cases[] = {
      {"mix(3,0.5,2.25,7)", 3000 + 50 + 22.5L + 7},
      {"mix(3.9,x,y,x*y)", 3000 + 150 + 25 + x * y},  // an Integer argument is truncated
      {"w8(1,2,3,4,5,6,7,8)", 204},
      {"wext(1,2,3,4,5,6,7,8)", 1 - 4 + 9 - 16 + 25 - 36 + 49 - 64},
      {"byslots(3,4)", 0.75L},
      {"addrs(x,y)", x - y},
      {"lsum(1,2,3,4)", 1 + 4 + 9 + 16},
      {"lsum(x)", x},
      {"full(x)", 36 + x},
      // Values of the formula lie on the x87 stack while the routines run.
      {"1+x*(2+y*(3+x*(4+full(y)*(5+mix(1,1,1,1)))))", 1 + x * (2 + y * (3 + x * (4 + (36 + y) * (5 + 1111))))},
      {"x-(y-(x-(y-(x-(y-(x-full(1)))))))", 0},
  };
  for (const auto& c : cases) {
    long double expected = c.expected;
    if (std::string(c.text).rfind("x-(", 0) == 0) expected = x - (y - (x - (y - (x - (y - (x - 37))))));
    EXPECT_NEAR(static_cast<double>(run(c.text)), static_cast<double>(expected), 1e-9) << c.text;
  }

  // A routine keeps the count it passes to a list routine while other texts are
  // compiled after it.
  const CompileOutcome three = compileText("lsum(x,y,x)");
  ASSERT_NE(three.handle, 0);
  EXPECT_EQ(run("lsum(y)+lsum(x,x)"), y + x + 2 * x);
  EXPECT_EQ(ExcoRunRoutine(three.handle), x + 2 * y + 3 * x);

  // A text-defined function whose body calls a routine of the host, called with
  // values of its caller on the x87 stack.
  ASSERT_GE(add("viahost(a)=a*full(a)", textDescriptor()), 0);
  EXPECT_EQ(run("x+y*(x+viahost(2))"), x + y * (x + 2 * 38));
}

// A fault inside a routine of the host reaches the caller of Calc, also when the
// formula first runs with its faults masked; in a constant text it is found at compile
// time.
TEST_F(UserFunctions, FaultsInsideARoutineOfTheHostReachTheCaller) {
  HostVariables host;
  host.bind();
  ASSERT_GE(add("hdiv", nativeDescriptor(110, 2, 29, reinterpret_cast<const void*>(&divide))), 0);
  EXPECT_EQ(run("hdiv(x,y)"), 1.5L / 2.5L);
  TExco exco;
  void* routine = nullptr;
  exco.Compile("1+hdiv(x,x-x)", nullptr, routine);
  ASSERT_NE(routine, nullptr);
  EXPECT_THROW(exco.Calc(routine), EExcoZeroDivide);
  EXPECT_EQ(run("hdiv(y,x)"), 2.5L / 1.5L);
  EXPECT_EQ(compileText("hdiv(1,0)").code, 203);
}

TEST_F(UserFunctions, InlineTemplatesAndRoutinesOfTheBuiltInClasses) {
  HostVariables host;
  host.bind();
  const uint8_t negate[] = {0xD9, 0xE0};  // fchs
  ExcoFuncDescriptor d = nativeDescriptor(106, 0, 29, nullptr);
  d.word[7] = 0;
  d.word[11] = reinterpret_cast<intptr_t>(negate);
  d.word[12] = sizeof negate;
  const intptr_t id = add("neg", d);
  ASSERT_GE(id, 0);
  EXPECT_EQ(run("neg(x)+1"), -0.5L);
  intptr_t value = 0;
  ExcoGetInfo(47, id, value);
  EXPECT_EQ(value, 106);
  ExcoGetInfo(39, id, value);
  EXPECT_EQ(value, 1);
  ExcoGetInfo(42, id, value);
  EXPECT_EQ(value, 1);
}

TEST_F(UserFunctions, AuxiliaryRoutinesFollowTheirFunctionAndItsAliases) {
  HostVariables host;
  host.bind();
  const intptr_t routines[] = {reinterpret_cast<intptr_t>(&half), 0, reinterpret_cast<intptr_t>(&third)};
  ExcoFuncDescriptor d = nativeDescriptor(110, 1, 29, reinterpret_cast<const void*>(&fullStack));
  d.word[13] = reinterpret_cast<intptr_t>(routines);
  d.word[14] = 3;
  const intptr_t id = add("base", d);
  ASSERT_GE(id, 0);
  EXPECT_EQ(run("1$base(3)"), 1.5L);
  EXPECT_EQ(run("3$base(3)"), 1);
  EXPECT_EQ(compileText("2$base(3)").code, 214);
  ExcoAddAlias(static_cast<int>(id), "alt");
  EXPECT_EQ(run("alt(1)"), 37);
  EXPECT_EQ(run("3$alt(6)"), 2);
}

TEST_F(UserFunctions, AliasesNameTheSameFunction) {
  HostVariables host;
  host.bind();
  // Start-up aliases.
  EXPECT_EQ(run("cot(x)"), run("cotan(x)"));
  EXPECT_EQ(run("atan(x)+asinh(x)"), run("arctan(x)+arcsinh(x)"));
  EXPECT_EQ(ExcoLibraryCompiler().FindFunction("cot"), ExcoLibraryCompiler().FindFunction("cotan"));
  const size_t entries = ExcoLibraryCompiler().FuncTable.size();
  const TArrayFuncList before = ExcoLibraryCompiler().FuncTable;
  ExcoAddAlias(static_cast<int>(entries), "nowhere");
  ExcoAddAlias(-1, "nowhere");
  EXPECT_EQ(ExcoLibraryCompiler().FuncTable.size(), entries);
  EXPECT_EQ(compileText("nowhere(1)").code, 214);
  ExcoAddAlias(fx::Sqrt, "root2");
  EXPECT_EQ(run("root2(x)"), std::sqrt(1.5L));
}

TEST_F(UserFunctions, FaultyDescriptorsAreRefused) {
  const auto routine = reinterpret_cast<const void*>(&half);
  const uint8_t code[] = {0xD9, 0xE0};
  struct Case {
    const char* what;
    ExcoFuncDescriptor d;
  };
  std::vector<Case> refused;
  auto with = [&](const char* what, intptr_t kind, intptr_t count, intptr_t type, const void* r, int word, intptr_t value) {
    ExcoFuncDescriptor d = nativeDescriptor(kind, count, type, r);
    if (word >= 0) d.word[word] = value;
    refused.push_back({what, d});
  };
  with("unknown kind", 99, 1, 29, routine, -1, 0);
  with("kind 115", 115, 1, 29, routine, -1, 0);
  with("no routine", 110, 1, 29, nullptr, -1, 0);
  with("more than 8 extra registers", 110, 1, 29, routine, 7, 9);
  with("unknown extra registers of a built-in class", 106, 1, 29, routine, 7, 117);
  with("9 arguments by value", 109, 9, 29, routine, -1, 0);
  with("no argument by value", 109, 0, 29, routine, -1, 0);
  with("unknown type", 110, 1, 31, routine, -1, 0);
  with("address in a list", 111, 1, 38, routine, -1, 0);
  with("types one by one without their list", 110, 1, 30, routine, -1, 0);
  with("flag word 5", 110, 1, 29, routine, 5, 2);
  with("word 6 with two arguments", 110, 2, 29, routine, 6, 0);
  with("flag word 8", 110, 1, 29, routine, 8, 2);
  with("inline code outside the built-in classes", 110, 1, 29, nullptr, 11, reinterpret_cast<intptr_t>(code));
  refused.back().d.word[12] = 2;
  for (const Case& c : refused) {
    EXPECT_EQ(add("refused", c.d), -1) << c.what;
    EXPECT_EQ(lastError(), 215) << c.what;
    std::string item;
    ExcoGetErrorText(item);
    EXPECT_EQ(item, "refused") << c.what;
    ExcoSetOption(exco_option::Zero, exco_option::Errors);
  }
  EXPECT_EQ(compileText("refused(1)").code, 214);

  // What the same words allow elsewhere.
  ExcoFuncDescriptor d = nativeDescriptor(109, 1, 29, routine);
  d.word[5] = 2;
  EXPECT_GE(add("flag5", d), 0);
  d = nativeDescriptor(110, 1, 29, routine);
  d.word[6] = 0;
  EXPECT_GE(add("word6", d), 0);
  EXPECT_EQ(lastError(), 0);

  // A name that a function already has adds nothing, silently.
  intptr_t id = 77;
  d = nativeDescriptor(110, 1, 29, routine);
  ExcoAddFunction("tg", &d, id);
  EXPECT_EQ(id, 77);
  EXPECT_EQ(lastError(), 0);
  ExcoAddFunction("nothing", nullptr, id);
  EXPECT_EQ(lastError(), 215);
}

}  // namespace
