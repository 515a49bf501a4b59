// Every built-in function evaluated through the whole compiler and run: values against
// a long double reference, special values, faults at compile time and at run time,
// and the list functions over lists and over arrays of every element type.
#include "compiler/exco.h"
#include "compiler/host_array.h"
#include "compiler/native_call.h"
#include "tests/compiler/exco_test_support.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr Extended kPi = 3.14159265358979323846264338327950288L;

// Compiles text and runs it; a compile error fails the test and gives NaN.
Extended evaluate(const std::string& text)
{
    intptr_t handle = 0;
    ExcoCompile(text, nullptr, handle);
    int code = 0;
    ExcoGetError(code);
    ExcoSetOption(exco_option::Zero, exco_option::Errors);
    if (handle == 0) {
        ADD_FAILURE() << text << ": compile error " << code;
        return std::numeric_limits<Extended>::quiet_NaN();
    }
    struct Release {
        intptr_t handle;
        ~Release() { ExcoSetOption(exco_option::Clear, handle); }
    } release{handle};
    return TExco().Calc(reinterpret_cast<void*>(handle));
}

// The error code of compiling text (0 when it compiled).
int compileCode(const std::string& text)
{
    const CompileOutcome out = compileText(text);
    if (out.handle != 0)
        ExcoSetOption(exco_option::Clear, out.handle);
    return out.code;
}

// Distance from the reference in units of the last place of a Double: the precision
// that hosts keep of a result.
double doubleUlps(Extended got, Extended reference)
{
    if (std::isnan(got) || std::isnan(reference))
        return std::isnan(got) && std::isnan(reference) ? 0 : 1e30;
    if (reference == 0)
        return got == 0 ? 0 : static_cast<double>(std::fabs(got) / DBL_TRUE_MIN);
    const Extended unit = std::ldexp(1.0L, std::ilogb(reference) - 52);
    return static_cast<double>(std::fabs(got - reference) / unit);
}

class Functions : public ExcoTest {
 protected:
    void SetUp() override
    {
        ExcoTest::SetUp();
        ExcoDefineVariable("x", &x, 28);
        ExcoDefineVariable("y", &y, 28);
        ExcoDefineVariable("z", &z, 28);
    }
    double x = 0, y = 0, z = 0;
};

using Unary = std::function<Extended(Extended)>;
using Binary = std::function<Extended(Extended, Extended)>;

Extended factorial(Extended n)
{
    Extended r = 1;
    for (int k = 2; k <= static_cast<int>(n); ++k)
        r *= k;
    return r;
}

Extended doubleFactorial(Extended n)
{
    Extended r = 1;
    for (int k = static_cast<int>(n); k > 1; k -= 2)
        r *= k;
    return r;
}

struct UnaryCase {
    std::vector<const char*> names;  // the name and every alias
    Unary reference;
    std::vector<Extended> arguments;
};

const std::vector<UnaryCase>& unaryCases()
{
    static const std::vector<UnaryCase> cases = {
        {{"sqr"}, [](Extended v) { return v * v; }, {-3.5, 0.1, 7, 1e10}},
        {{"sqrt"}, [](Extended v) { return sqrtl(v); }, {0, 0.25, 2, 1e10}},
        {{"ln"}, [](Extended v) { return logl(v); }, {1e-5, 0.5, 1, 3, 1e100}},
        {{"exp"}, [](Extended v) { return expl(v); }, {-20, -1, 0, 0.5, 3, 30, 700}},
        {{"log2", "lg2"}, [](Extended v) { return log2l(v); }, {0.1, 3, 1024}},
        {{"log10", "lg"}, [](Extended v) { return log10l(v); }, {0.001, 3, 1000}},
        {{"sin"}, [](Extended v) { return sinl(v); }, {-2, 0.3, 1, 3}},
        {{"cos"}, [](Extended v) { return cosl(v); }, {-2, 0.3, 1, 3}},
        {{"tan", "tg"}, [](Extended v) { return tanl(v); }, {-2, 0.3, 1, 3}},
        {{"cotan", "ctg", "cot"}, [](Extended v) { return 1 / tanl(v); }, {-2, 0.3, 1, 3}},
        {{"arcsin", "asin"}, [](Extended v) { return asinl(v); }, {-1, -0.5, 0, 0.3, 0.9, 1}},
        {{"arccos", "acos"}, [](Extended v) { return acosl(v); }, {-1, -0.5, 0, 0.3, 0.9, 1}},
        {{"arctan", "arctg", "atan"}, [](Extended v) { return atanl(v); }, {-10, -1, 0, 0.5, 100}},
        {{"arccotan", "arcctg", "acot"}, [](Extended v) { return kPi / 2 - atanl(v); }, {-10, -1, 0.5, 100}},
        {{"sinh", "sh"}, [](Extended v) { return sinhl(v); }, {-5, -0.5, 0.5, 2, 20}},
        {{"cosh", "ch"}, [](Extended v) { return coshl(v); }, {-5, -0.5, 0, 0.5, 2, 20}},
        {{"tanh", "th"}, [](Extended v) { return tanhl(v); }, {-3, -0.5, 0.5, 2, 20}},
        {{"cotanh", "cth", "coth"}, [](Extended v) { return 1 / tanhl(v); }, {-3, -0.5, 0.5, 2}},
        {{"arcsinh", "arcsh", "asinh"}, [](Extended v) { return asinhl(v); }, {-3, -0.5, 0, 0.5, 2, 1000}},
        {{"arccosh", "arcch", "acosh"}, [](Extended v) { return acoshl(v); }, {1, 1.5, 10, 1000}},
        {{"arctanh", "arcth", "atanh"}, [](Extended v) { return atanhl(v); }, {-0.9, -0.3, 0, 0.3, 0.9}},
        {{"arccotanh", "arccth", "acoth"}, [](Extended v) { return atanhl(1 / v); }, {-10, -1.5, 1.5, 10}},
        {{"abs"}, [](Extended v) { return fabsl(v); }, {-2.5, 0, 3}},
        {{"trunc"}, [](Extended v) { return truncl(v); }, {-2.7, 2.7, 0.2}},
        {{"frac"}, [](Extended v) { return v - truncl(v); }, {-2.75, 2.75, 0.5}},
        {{"sign", "sgn"}, [](Extended v) { return Extended((v > 0) - (v < 0)); }, {-3.5, 0, 2}},
        {{"fact"}, [](Extended v) { return factorial(v); }, {0, 1, 3.9, 5, 20, 170}},
        {{"fact2"}, [](Extended v) { return doubleFactorial(v); }, {-1, 0, 1, 7, 8, 9, 30}},
    };
    return cases;
}

TEST_F(Functions, EveryOneArgumentNameAndAliasMatchesTheLongDoubleReference)
{
    for (const UnaryCase& c : unaryCases())
        for (const char* name : c.names)
            for (const Extended argument : c.arguments) {
                x = static_cast<double>(argument);
                const Extended reference = c.reference(static_cast<Extended>(x));
                const std::string call = std::string(name) + "(x)";
                const Extended got = evaluate(call);
                EXPECT_LE(doubleUlps(got, reference), 2) << call << " at " << x << ": " << got << " vs " << reference;
                // A constant text is computed once by the compile and kept as the number
                // it prints to, with 15 significant digits.
                const std::string constant = std::string(name) + "(" + std::to_string(x) + ")";
                const Extended folded = c.reference(std::stold(std::to_string(x)));
                EXPECT_LE(std::fabs(evaluate(constant) - folded), 1e-14L * std::fabs(folded)) << constant;
            }
}

// A routine's first run goes without a fault window only when nothing in it can trap
// with every exception masked or reach a host routine: trunc and frac load control
// words, and a long list raises its empty-list fault through the host. The other
// runtime routines (fact, powers, roots, exp and the hyperbolic functions) fault
// only by x87 flags while the zero divide is masked; a root's integer division by
// zero then waits for the run under the routines' own control word.
// Each still gives its value under a host control word that masks everything and
// under one that unmasks the faults.
TEST_F(Functions, OnlyRoutinesThatCannotTrapMaskedAndKeepTheControlWordRunWithoutAFaultWindow)
{
    struct ContainedCase {
        const char* text;
        bool contained;
        Extended expected;  // at x = -1.75, y = 4
    };
    const std::vector<ContainedCase> cases{
        {"x*y/3+1", true, -1.75L * 4 / 3 + 1},
        {"sin(x)+sqrt(y)", true, sinl(-1.75L) + 2},
        {"if(x<y,x*2,y)", true, -3.5L},
        {"trunc(x)*y", false, -4},
        {"frac(x)", false, -0.75L},
        {"sign(x)+1", true, 0},
        {"max(x,y,1)-sum(x,y)", true, 4 - (-1.75L + 4)},
        {"sum(x,y,x,y,x,y,x,y,x)", false, 5 * -1.75L + 16},
        {"fact(y)", true, 24},
        {"power(y,x)", true, powl(4, -1.75L)},
        {"sinh(x)*exp(y)", true, sinhl(-1.75L) * expl(4)},
        {"arcsin(x/y)+log(y,2)", true, asinl(-1.75L / 4) + 0.5L},
        {"root(y,3)", true, cbrtl(4)},
        {"root(y,x)", true, powl(4, 1 / -1.75L)},
        {"root(x,3)+root(y,2)", true, cbrtl(-1.75L) + 2},
    };
    x = -1.75;
    y = 4;
    for (const ContainedCase& c : cases) {
        SCOPED_TRACE(c.text);
        const CompileOutcome out = compileText(c.text);
        ASSERT_NE(out.handle, 0);
        const auto entry = static_cast<uintptr_t>(out.handle);
        EXPECT_TRUE(exco::MayRunTwice(entry));
        EXPECT_EQ(exco::IsContained(entry), c.contained);
        uint16_t hostWord = 0;
        asm volatile("fnstcw %0" : "=m"(hostWord));
        for (const uint16_t word : {hostWord, uint16_t{0x0372}}) {
            asm volatile("fldcw %0" : : "m"(word));
            const Extended got = TExco().Calc(reinterpret_cast<void*>(out.handle));
            uint16_t after = 0;
            asm volatile("fnstcw %0\n\tfldcw %1" : "=m"(after) : "m"(hostWord));
            EXPECT_LE(doubleUlps(got, c.expected), 2) << got;
            EXPECT_EQ(after, word);
        }
        ExcoSetOption(exco_option::Clear, out.handle);
    }
}

// A contained routine's first run has no fault window, so an even root of a negative
// number must not divide there: the run under the routines' own control word does,
// and its fault reaches the caller as before, wherever the root stands in the
// routine and whichever control word the host runs under.
TEST_F(Functions, AnEvenRootOfANegativeNumberFaultsFromAContainedRoutine)
{
    x = -16;
    y = 2;
    uint16_t hostWord = 0;
    asm volatile("fnstcw %0" : "=m"(hostWord));
    for (const char* text : {"root(x,2)", "root(x,y)", "root(x,2)+sin(x)*3", "if(root(x,4)>0,1,2)",
                             "root(x,y)*0+x", "sqrt(-x)+root(x+0.5,2)"}) {
        SCOPED_TRACE(text);
        const CompileOutcome out = compileText(text);
        ASSERT_NE(out.handle, 0);
        EXPECT_TRUE(exco::IsContained(static_cast<uintptr_t>(out.handle)));
        for (const uint16_t word : {hostWord, uint16_t{0x037F}, uint16_t{0x0372}}) {
            asm volatile("fldcw %0" : : "m"(word));
            EXPECT_THROW(TExco().Calc(reinterpret_cast<void*>(out.handle)), EExcoDivByZero);
            uint16_t after = 0;
            asm volatile("fnstcw %0\n\tfldcw %1" : "=m"(after) : "m"(hostWord));
            EXPECT_EQ(after, word);
        }
        ExcoSetOption(exco_option::Clear, out.handle);
    }
}

struct BinaryCase {
    std::vector<const char*> forms;  // texts over x and y
    Binary reference;
    std::vector<std::pair<Extended, Extended>> arguments;
};

Extended realRoot(Extended v, Extended degree)
{
    if (v < 0)
        return -powl(-v, 1 / degree);
    return powl(v, 1 / degree);
}

TEST_F(Functions, EveryTwoArgumentFunctionMatchesTheLongDoubleReference)
{
    const std::vector<BinaryCase> cases = {
        {{"power(x,y)", "x^y"},
         [](Extended a, Extended b) { return powl(a, b); },
         {{2, 10}, {2, 0.5}, {1.5, 2.5}, {-2, 3}, {3, -2}, {10, -0.3}, {0, 0}, {0, 2.5}, {7, 1},
          // a result below the Extended range is 0; a whole exponent beyond 32 bits
          // gives a negative base the sign of its parity
          {3, -2147483648.0}, {1e10, -500}, {0.5, -16000}, {0.5, 2.5e10}, {3, -2.5e10},
          {-1.0000000001, 4294967297.0}, {-1.0000000001, 4294967296.0}, {0.9999999999, 1e10}}},
        {{"root(x,y)"},
         realRoot,
         {{27, 3}, {-27, 3}, {2, 2}, {10, 2.5}, {16, 4}, {-32, 5}, {0, 2}, {-27, 3e9 + 1}, {27, -1e10},
          {0, 3e9}}},
        {{"logn(x,y)", "log(x,y)"},
         [](Extended b, Extended v) { return logl(v) / logl(b); },
         {{10, 1000}, {2, 8}, {0.5, 3}, {3, 7}, {1e10, 1e-10}}},
    };
    for (const BinaryCase& c : cases)
        for (const char* form : c.forms)
            for (const auto& [a, b] : c.arguments) {
                x = static_cast<double>(a);
                y = static_cast<double>(b);
                const Extended reference = c.reference(x, y);
                const Extended got = evaluate(form);
                EXPECT_LE(doubleUlps(got, reference), 2) << form << " at " << x << ", " << y << ": " << got;
            }
    // Constant and Integer exponents and degrees take their own routes.
    x = 1.7;
    const Extended base = x;
    for (int k = -17; k <= 17; ++k) {
        const std::string power = "x^" + std::to_string(k);
        EXPECT_LE(doubleUlps(evaluate(power), powl(base, k)), 2) << power;
        EXPECT_LE(doubleUlps(evaluate("power(x," + std::to_string(k) + ")"), powl(base, k)), 2) << k;
        if (k != 0) {
            const std::string root = "root(x," + std::to_string(k) + ")";
            EXPECT_LE(doubleUlps(evaluate(root), realRoot(base, k)), 2) << root;
        }
    }
    int32_t n = 5;
    ExcoDefineVariable("n", &n, 27);
    EXPECT_LE(doubleUlps(evaluate("x^n"), powl(base, 5)), 2);
    EXPECT_LE(doubleUlps(evaluate("x^(n-7)"), powl(base, -2)), 2);
    EXPECT_LE(doubleUlps(evaluate("root(x,n)"), powl(base, 0.2L)), 2);
    EXPECT_EQ(evaluate("2^n"), 32);
    EXPECT_EQ(evaluate("(-1)^n"), -1);
}

TEST_F(Functions, SpecialValues)
{
    const std::vector<std::pair<const char*, Extended>> cases = {
        {"power(0,0)", 1},     {"power(-2,3)", -8},   {"root(-27,3)", -3},   {"fact(3.9)", 6},
        {"fact2(-1)", 1},      {"sign(-0)", 0},       {"sign(-3.5)", -1},    {"fact(0)", 1},
        {"fact2(0)", 1},       {"fact2(7)", 105},     {"fact2(8)", 384},     {"root(0,2)", 0},
        {"root(0,0)", 0},      {"power(0,2.5)", 0},   {"x^-20000", 0},       {"logn(10,1000)", 3},
        {"arccos(x-4)", kPi},  {"arccos(1)", 0},      {"arcsin(x-4)", -kPi / 2}, {"x!", 6},
        {"fact(x+0.9)", 6},    {"max(-2)", -2},       {"min(-2)", -2},       {"sum(-2)", -2},
        {"avr(-2)", -2},       {"prod(-2)", -2},      {"sumq(-2)", 4},       {"norm(-2)", 2},
        {"len(x,y,z,1)", 4},   {"sum(1,2,x)", 6},     {"max(1,x,2)", 3},     {"sin(x)+2*sin(x)+1", 3 * sinl(3) + 1},
        {"2*sum(x,1)-1", 7},   {"1-max(x,1)", -2},    {"-prod(x,2)", -6},    {"2*len(x,y)+1", 5},
        {"x^-2147483648", 0},  {"(-1)^4294967297", -1}, {"(-1)^4294967296", 1},
    };
    x = 3;
    for (const auto& [text, expected] : cases)
        EXPECT_LE(doubleUlps(evaluate(text), expected), 2) << text;
    x = 1754;
    EXPECT_EQ(evaluate("fact(x)"), static_cast<Extended>(ExcoFactTable()[1754]));
    x = 3206;
    EXPECT_EQ(evaluate("fact2(x)"), static_cast<Extended>(ExcoEvenFact2Table()[1603]));
    x = 3205;
    EXPECT_EQ(evaluate("fact2(x)"), static_cast<Extended>(ExcoOddFact2Table()[1603]));
    // 0^2.5 leaves nothing else on the x87 stack: it joins the rest of a sum.
    x = 0;
    EXPECT_EQ(evaluate("1+power(x,2.5)+2*power(x,2.5)"), 1);
}

TEST_F(Functions, ConstantTextsFaultAtCompileTimeWithTheirCodes)
{
    const std::vector<std::pair<const char*, int>> cases = {
        {"ln(0)", 203},          {"sqrt(-1)", 204},      {"exp(20000)", 205},   {"power(0,-1)", 203},
        {"power(-8,1/3)", 204},  {"power(2,3e9)", 205},  {"root(8,0)", 203},    {"root(0,2.5)", 203},
        {"logn(1,5)", 203},      {"tanh(6000)", 205},    {"cotanh(0)", 203},    {"arctanh(1)", 203},
        {"arccotanh(1)", 203},   {"arccosh(0.5)", 204},  {"arcsin(1.5)", 204},  {"arccos(-1.5)", 204},
        {"fact(-1)", 204},       {"fact(1755)", 205},    {"fact2(-2)", 204},    {"fact2(3207)", 205},
        {"x^-3+1/0", 203},       {"lg(-1)", 204},        {"sh(12000)", 205},    {"0^-3", 203},
        // 0 to every negative power divides by zero; a power beyond the Extended range
        // overflows, however large its exponent
        {"power(0,-0.5)", 203},  {"0^-0.5", 203},        {"0^-3e9", 203},       {"0^-20000", 203},
        {"0^(-1e10-0.5)", 203},  {"2^4294967296", 205},  {"(-2)^(3e9+1)", 205}, {"0.5^-3e9", 205},
        {"3^99999999999", 205},  {"0.5^-20000", 205},
    };
    for (const auto& [text, code] : cases)
        EXPECT_EQ(compileCode(text), code) << text;
    // The integer division by zero of an even root of a negative number is no fault
    // the compile maps: it reaches the caller of the compile.
    intptr_t handle = 0;
    EXPECT_THROW(ExcoCompile("root(-16,2)", nullptr, handle), EExcoDivByZero);
    EXPECT_EQ(handle, 0);
    ExcoSetOption(exco_option::Zero, exco_option::Errors);
    EXPECT_EQ(evaluate("root(16,2)"), 4);
}

template <class Fault>
void expectFault(const char* text)
{
    intptr_t handle = 0;
    ExcoCompile(text, nullptr, handle);
    ExcoSetOption(exco_option::Zero, exco_option::Errors);
    ASSERT_NE(handle, 0) << text;
    EXPECT_THROW(TExco().Calc(reinterpret_cast<void*>(handle)), Fault) << text;
    ExcoSetOption(exco_option::Clear, handle);
}

TEST_F(Functions, FaultsOfTheRoutinesReachTheCallerOfCalcByKind)
{
    const auto with = [&](double a, double b = 0) {
        x = a;
        y = b;
    };
    with(0), expectFault<EExcoZeroDivide>("ln(x)");
    with(-1), expectFault<EExcoInvalidOp>("sqrt(x)");
    with(20000), expectFault<EExcoOverflow>("exp(x)");
    with(0, -1), expectFault<EExcoZeroDivide>("power(x,y)");
    with(-8, 1.0 / 3), expectFault<EExcoInvalidOp>("power(x,y)");
    for (const double exponent : {-0.5, -1e10, -3e9 - 0.5, -20000.0}) {
        with(0, exponent), expectFault<EExcoZeroDivide>("power(x,y)");
        expectFault<EExcoZeroDivide>("x^y");
    }
    with(0), expectFault<EExcoZeroDivide>("x^-0.5");
    expectFault<EExcoZeroDivide>("power(x,-0.5)");
    expectFault<EExcoZeroDivide>("x^-20000");
    with(2, 3e9), expectFault<EExcoOverflow>("power(x,y)");
    with(-2, 3e9 + 1), expectFault<EExcoOverflow>("x^y");
    with(0.5, -2147483648.0), expectFault<EExcoOverflow>("x^y");
    with(3), expectFault<EExcoOverflow>("x^99999999999");
    expectFault<EExcoOverflow>("x^2.5e10");
    expectFault<EExcoOverflow>("power(x,1e10)");
    with(0.5), expectFault<EExcoOverflow>("x^-20000");
    with(-16, 2), expectFault<EExcoDivByZero>("root(x,y)");
    with(-16), expectFault<EExcoDivByZero>("root(x,2)");
    with(-16, 3e9), expectFault<EExcoDivByZero>("root(x,y)");
    with(8, 0), expectFault<EExcoZeroDivide>("root(x,y)");
    with(0, 2.5), expectFault<EExcoZeroDivide>("root(x,y)");
    with(-1, 2.5), expectFault<EExcoInvalidOp>("root(x,y)");
    with(1, 5), expectFault<EExcoZeroDivide>("logn(x,y)");
    with(10, 0), expectFault<EExcoZeroDivide>("logn(x,y)");
    with(-10, 5), expectFault<EExcoInvalidOp>("logn(x,y)");
    with(6000), expectFault<EExcoOverflow>("tanh(x)");
    with(0), expectFault<EExcoZeroDivide>("cotanh(x)");
    with(1), expectFault<EExcoZeroDivide>("arctanh(x)");
    with(1), expectFault<EExcoZeroDivide>("arccotanh(x)");
    with(0.5), expectFault<EExcoInvalidOp>("arccosh(x)");
    with(-2), expectFault<EExcoInvalidOp>("arccosh(x)");
    with(1.5), expectFault<EExcoInvalidOp>("arcsin(x)");
    with(-1.5), expectFault<EExcoInvalidOp>("arccos(x)");
    // Outside the tables: a fault, never a read past them.
    for (const double n : {-1.0, -1e9, -2147483648.0})
        with(n), expectFault<EExcoInvalidOp>("fact(x)");
    for (const double n : {1755.0, 1e9, 2147483647.0})
        with(n), expectFault<EExcoOverflow>("fact(x)");
    with(3e9), expectFault<EExcoInvalidOp>("fact(x)");  // no 32-bit Integer
    for (const double n : {-2.0, -3.0, -2147483648.0})
        with(n), expectFault<EExcoInvalidOp>("fact2(x)");
    for (const double n : {3207.0, 3208.0, 2147483647.0})
        with(n), expectFault<EExcoOverflow>("fact2(x)");
    // A value that is not a number cannot be compared.
    with(std::numeric_limits<double>::quiet_NaN(), 1);
    expectFault<EExcoInvalidOp>("sign(x)");
    expectFault<EExcoInvalidOp>("max(x,y)");
    expectFault<EExcoInvalidOp>("min(y,x)");
    // A fault leaves nothing behind for the next run.
    with(2, 3);
    EXPECT_EQ(evaluate("power(x,y)+fact(y)"), 14);
}

// Arrays of each element type, bound under one name each.
struct Arrays {
    THostArray<float> single;
    THostArray<double> dbl;
    THostArray<PackedExtended> extended;
    THostArray<int32_t> integer;

    template <class Fill>
    void fill(std::size_t count, Fill&& value)
    {
        single.resize(count);
        dbl.resize(count);
        extended.resize(count);
        integer.resize(count);
        for (std::size_t k = 0; k < count; ++k) {
            single[k] = static_cast<float>(value(k));
            dbl[k] = static_cast<double>(value(k));
            extended[k] = static_cast<Extended>(value(k));
            integer[k] = static_cast<int32_t>(value(k));
        }
    }
    void bind()
    {
        ExcoDefineVariable("as", single.reference(), THostArray<float>::kTypeCode);
        ExcoDefineVariable("ad", dbl.reference(), THostArray<double>::kTypeCode);
        ExcoDefineVariable("ae", extended.reference(), THostArray<PackedExtended>::kTypeCode);
        ExcoDefineVariable("ai", integer.reference(), THostArray<int32_t>::kTypeCode);
    }
};

const std::vector<const char*> kArrayNames = {"as", "ad", "ae", "ai"};

TEST_F(Functions, ListFunctionsOverArraysOfEveryElementType)
{
    Arrays arrays;
    arrays.bind();
    const std::vector<int> values = {3, -1, 4, 1, 5};
    arrays.fill(values.size(), [&](std::size_t k) { return values[k]; });
    const std::vector<std::pair<const char*, Extended>> expected = {
        {"sum", 12},  {"sumq", 52}, {"avr", 12.0L / 5},      {"avg", 12.0L / 5}, {"len", 5},
        {"max", 5},   {"min", -1},  {"norm", sqrtl(52.0L)}, {"prod", -60},
    };
    for (const char* array : kArrayNames)
        for (const auto& [function, value] : expected) {
            const std::string text = std::string(function) + "(" + array + ")";
            EXPECT_EQ(evaluate(text), value) << text;
            // The same values as a list of elements.
            const std::string list = std::string(function) + "(" + array + "[0]," + array + "[1]," + array +
                                     "[2]," + array + "[3]," + array + "[4])";
            EXPECT_EQ(evaluate(list), value) << list;
        }
    // An Integer array {1, 2, 3}.
    arrays.fill(3, [](std::size_t k) { return static_cast<int>(k) + 1; });
    const std::vector<std::pair<const char*, Extended>> small = {
        {"sum(ai)", 6}, {"sumq(ai)", 14}, {"avr(ai)", 2}, {"prod(ai)", 6},
        {"max(ai)", 3}, {"min(ai)", 1},   {"len(ai)", 3}, {"2*sum(ai)+len(ai)-1", 14},
    };
    for (const auto& [text, value] : small)
        EXPECT_EQ(evaluate(text), value) << text;
}

TEST_F(Functions, ListFunctionsOverSeventyThousandElements)
{
    Arrays arrays;
    arrays.bind();
    constexpr std::size_t kCount = 70000;
    const auto value = [](std::size_t k) { return static_cast<int>(k % 97) - 48; };
    arrays.fill(kCount, value);
    // The order the routines add in: element n-1, then 0, then n-2 down to 1.
    Extended sum = value(kCount - 1), sumq = Extended(value(kCount - 1)) * value(kCount - 1);
    for (std::size_t k = 0; k + 1 < kCount; ++k) {
        sum += value(k);
        sumq += Extended(value(k)) * value(k);
    }
    for (const char* array : kArrayNames) {
        const std::string a = array;
        EXPECT_EQ(evaluate("len(" + a + ")"), kCount) << a;
        EXPECT_EQ(evaluate("sum(" + a + ")"), sum) << a;
        EXPECT_EQ(evaluate("sumq(" + a + ")"), sumq) << a;
        EXPECT_EQ(evaluate("avr(" + a + ")"), sum / Extended(kCount)) << a;
        EXPECT_EQ(evaluate("norm(" + a + ")"), sqrtl(sumq)) << a;
        EXPECT_EQ(evaluate("max(" + a + ")"), 48) << a;
        EXPECT_EQ(evaluate("min(" + a + ")"), -48) << a;
        EXPECT_EQ(evaluate(a + "[69999]"), value(69999)) << a;
    }
    EXPECT_EQ(evaluate("prod(ad)"), 0);  // one element in 97 is 0
}

TEST_F(Functions, ListFunctionsOverEmptyArrays)
{
    Arrays arrays;
    arrays.bind();
    for (const char* array : kArrayNames) {
        const std::string a = array;
        EXPECT_EQ(evaluate("len(" + a + ")"), 0) << a;
        EXPECT_EQ(evaluate("sum(" + a + ")"), 0) << a;
        EXPECT_EQ(evaluate("sumq(" + a + ")"), 0) << a;
        EXPECT_EQ(evaluate("norm(" + a + ")"), 0) << a;
        EXPECT_EQ(evaluate("prod(" + a + ")"), 1) << a;
        for (const char* function : {"avr", "max", "min"}) {
            const std::string text = std::string(function) + "(" + a + ")";
            expectFault<EExcoInvalidOp>(text.c_str());
        }
    }
    // A value that is not a number inside an array cannot be compared either.
    arrays.fill(3, [](std::size_t k) { return static_cast<int>(k); });
    arrays.dbl[1] = std::numeric_limits<double>::quiet_NaN();
    expectFault<EExcoInvalidOp>("max(ad)");
    expectFault<EExcoInvalidOp>("min(ad)");
}

TEST_F(Functions, ListFunctionsOverListsOfAnyLength)
{
    x = 1.5;
    y = -2.25;
    z = 4;
    const std::vector<Extended> values = {1.5L, -2.25L, 4, 1.5L * 4, 0.125L};
    const std::string list = "x,y,z,x*z,0.125";
    Extended sum = 0, sumq = 0, prod = 1, largest = values[0], smallest = values[0];
    for (const Extended v : values) {
        sum += v;
        sumq += v * v;
        prod *= v;
        largest = std::max(largest, v);
        smallest = std::min(smallest, v);
    }
    const std::vector<std::pair<std::string, Extended>> cases = {
        {"sum", sum},   {"sumq", sumq},   {"avr", sum / 5},       {"avg", sum / 5}, {"len", 5},
        {"max", largest}, {"min", smallest}, {"norm", sqrtl(sumq)}, {"prod", prod},
    };
    for (const auto& [function, value] : cases)
        EXPECT_EQ(evaluate(function + "(" + list + ")"), value) << function;
    // Lists nested in lists and in other functions, deeper than the x87 stack.
    EXPECT_EQ(evaluate("sum(sum(1,2),x,max(x,7,2))"), 1 + 2 + 1.5L + 7);
    EXPECT_EQ(evaluate("1+sum(x,sum(y,sum(z,sum(x,sum(y,sum(z,sum(x,sum(y,sum(z,1)))))))))"),
              1 + 3 * (1.5L - 2.25L + 4) + 1);
    std::string wide = "sum(";
    Extended wideSum = 0;
    for (int k = 1; k <= 40; ++k) {
        wide += (k > 1 ? ",x*" : "x*") + std::to_string(k);
        wideSum += 1.5L * k;
    }
    EXPECT_EQ(evaluate(wide + ")"), wideSum);
}

TEST_F(Functions, RoutinesKeepTheRegistersAndTheStackOfTheirCaller)
{
    // Many calls in one formula, each with values waiting below it on the x87 stack.
    x = 0.5;
    y = 2;
    const std::string text =
        "exp(x)+y*(sinh(x)-cosh(x)*(tanh(x)+arcsin(x)*(arccos(x)-root(y,3)*(power(y,x)+logn(y,8)*"
        "(sign(x)+fact(y)*(fact2(y+3)-max(x,y,1)*(sum(x,y)+norm(x,y))))))))";
    const Extended X = 0.5L, Y = 2;
    const Extended reference =
        expl(X) +
        Y * (sinhl(X) -
             coshl(X) * (tanhl(X) + asinl(X) * (acosl(X) - cbrtl(Y) * (powl(Y, X) + 3 * (1 + 2 * (15 - 2 * (2.5L + sqrtl(4.25L))))))));
    EXPECT_LE(doubleUlps(evaluate(text), reference), 8);
}

TEST(FunctionTableCode, EveryEntryTheGeneratorReachesHasItsCode)
{
    const TExcoH& h = ExcoLibraryCompiler();
    for (int32_t i = 1; i < fx::BuiltInCount; ++i) {
        const TFuncList& entry = h.FuncTable[static_cast<std::size_t>(i)];
        if (i == fx::Power || i == fx::Root)
            continue;  // the parser replaces them
        if (entry.Class >= fc::IntArg && entry.Class <= fc::TwoReals) {
            EXPECT_TRUE((entry.Inline == 1 && !entry.Template.empty()) || entry.Routine != 0) << i;
        }
        if (entry.Class == fc::Vector) {
            for (const int32_t type : {vt::SingleArray, vt::DoubleArray, vt::ExtendedArray, vt::IntegerArray}) {
                EXPECT_NE(ExcoVectorRoutine(i, type), 0) << i << " of type " << type;
            }
        }
        if (entry.Class == fc::ListRoutine) {
            EXPECT_NE(entry.Routine, 0) << i;
        }
    }
}

}  // namespace

namespace {

// Random nests of every built-in over variables and constants, run: each gives a
// value or a fault of its kind, and every routine leaves the x87 stack as it should,
// however deep the values waiting under it (an unbalanced stack is a fault of its
// own kind, never taken for a fault of the formula).
class NestedCalls : public ExcoTest {
 protected:
    std::mt19937 rng{20261210};
    std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); }

    std::string leaf()
    {
        static const std::vector<std::string> leaves = {"x", "y", "-x", "0.5", "3", "2.25", "-1.5", "ai[1]",
                                                        "ad[0]", "0"};
        return leaves[pick(leaves.size())];
    }
    std::string expression(int depth)
    {
        if (depth == 0 || pick(5) == 0)
            return leaf();
        static const std::vector<std::string> one = {
            "sqr", "sqrt", "ln", "exp", "log2", "log10", "sin", "cos", "tan", "cotan", "arcsin", "arccos",
            "arctan", "arccotan", "sinh", "cosh", "tanh", "cotanh", "arcsinh", "arccosh", "arctanh",
            "arccotanh", "abs", "trunc", "frac", "sign", "fact", "fact2"};
        static const std::vector<std::string> two = {"power", "root", "logn"};
        static const std::vector<std::string> lists = {"sum", "sumq", "avr", "len", "max", "min", "norm", "prod"};
        static const std::vector<std::string> vectors = {"sum(ad)", "max(ai)", "len(ae)", "norm(as)", "prod(ai)"};
        switch (pick(7)) {
        case 0:
        case 1: return one[pick(one.size())] + "(" + expression(depth - 1) + ")";
        case 2: return two[pick(two.size())] + "(" + expression(depth - 1) + "," + expression(depth - 1) + ")";
        case 3: {
            std::string text = lists[pick(lists.size())] + "(" + expression(depth - 1);
            for (std::size_t k = pick(4); k > 0; --k)
                text += "," + expression(depth - 1);
            return text + ")";
        }
        case 4: return vectors[pick(vectors.size())];
        case 5: return "(" + expression(depth - 1) + ")" + "+-*/^"[pick(5)] + "(" + expression(depth - 1) + ")";
        default:
            return "if(" + expression(depth - 1) + ">" + expression(depth - 1) + "," + expression(depth - 1) + "," +
                   expression(depth - 1) + ")";
        }
    }
};

TEST_F(NestedCalls, EveryRunGivesAValueOrAFaultOfItsKind)
{
    double x = 0.75, y = -2.5;
    Arrays arrays;
    arrays.fill(4, [](std::size_t k) { return static_cast<int>(k) + 1; });
    arrays.bind();
    ExcoDefineVariable("x", &x, 28);
    ExcoDefineVariable("y", &y, 28);
    int values = 0, faults = 0;
    for (int round = 0; round < 1500; ++round) {
        const std::string text = expression(5);
        intptr_t handle = 0;
        try {
            ExcoCompile(text, nullptr, handle);
        } catch (const EExcoDivByZero&) {
            ++faults;  // an even root of a negative constant
        }
        int code = 0;
        ExcoGetError(code);
        ExcoSetOption(exco_option::Zero, exco_option::Errors);
        if (handle == 0) {
            EXPECT_GE(code, 200) << text;
            continue;
        }
        try {
            TExco().Calc(reinterpret_cast<void*>(handle));
            ++values;
        } catch (const EExcoUnbalancedStack&) {
            ADD_FAILURE() << "unbalanced x87 stack: " << text;
        } catch (const EExcoFault&) {
            ++faults;
        } catch (const EExcoDivByZero&) {
            ++faults;
        }
        ExcoSetOption(exco_option::Clear, handle);
    }
    EXPECT_GT(values, 100);
    EXPECT_GT(faults, 10);
}

}  // namespace

namespace {

uint32_t readMxcsr()
{
    uint32_t value = 0;
    asm volatile("stmxcsr %0" : "=m"(value));
    return value;
}

void writeMxcsr(uint32_t value) { asm volatile("ldmxcsr %0" : : "m"(value)); }

// The caller's SSE control word survives every way a fault leaves a routine: an x87
// fault, the integer division by zero, and a fault raised by the routine itself.
TEST_F(Functions, AFaultRestoresTheCallersSseControlWord)
{
    const uint32_t original = readMxcsr();
    const uint32_t unusual = (original & ~0x6000u) | 0x6000u | 0x8040u;  // toward zero, flush to zero
    THostArray<double> small{1, 2};
    ExcoDefineVariable("a", small.reference(), THostArray<double>::kTypeCode);
    int32_t index = 5;
    ExcoDefineVariable("i", &index, 27);
    writeMxcsr(unusual);
    x = 0;
    y = -16;
    expectFault<EExcoZeroDivide>("ln(x)");
    EXPECT_EQ(readMxcsr(), unusual);
    expectFault<EExcoDivByZero>("root(y,2)");
    EXPECT_EQ(readMxcsr(), unusual);
    expectFault<EExcoAccessViolation>("a[i]");
    EXPECT_EQ(readMxcsr(), unusual);
    writeMxcsr(original);
}

}  // namespace
