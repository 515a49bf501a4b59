// The optimiser of the code list: constant calls folded at compile time, and calls
// of the same argument (the same function, or partners of the pair matrix) computed
// once. Every text must give the value it gives without the optimiser.
#include "compiler/exco_h.h"
#include "compiler/host_array.h"
#include "compiler/native_call.h"
#include "tests/compiler/exco_fuzz.h"
#include "tests/compiler/exco_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <exception>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr Extended kPi = 3.14159265358979323846264338327950288L;
constexpr int32_t kThrown = -1;  // the compile passed on an exception that is no fault
constexpr int32_t kIntegerDivide = static_cast<int32_t>(exco::FaultKind::IntegerDivide);

// What one compile and one run of a text gave.
struct Outcome {
    int32_t error = 0;  // the compiler's error code, fault codes 20 to 27 included
    int32_t fault = 0;  // the run's fault code (or kThrown, kIntegerDivide); 0 for a value
    Extended value = 0;
    TResultWords words{};
    TCode code;

    bool compiled() const { return error == 0 && fault != kThrown; }
    bool faulted() const { return (error >= ec::ZeroDivide && error <= ec::StackOverflow) || fault > 0; }
};

// Runs the routine; the fault code of what it raised, 0 when it gave a value.
int32_t run(intptr_t entry, Extended& value)
{
    try {
        value = ExcoRunRoutine(entry);
        return 0;
    } catch (const EExcoUnbalancedStack&) {
        ADD_FAILURE() << "unbalanced x87 stack";
        return kThrown;
    } catch (...) {
        return static_cast<int32_t>(exco::FaultKindOfCurrentException());
    }
}

int count(const TCode& code, uint8_t first, uint8_t second)
{
    int n = 0;
    for (std::size_t k = 0; k + 1 < code.size(); ++k)
        n += code[k] == first && code[k + 1] == second;
    return n;
}

bool near(Extended got, Extended expected, Extended relative)
{
    return std::fabs(got - expected) <= relative * std::max<Extended>(1, std::fabs(expected));
}

class Optimiser : public ::testing::Test {
 protected:
    double x = 0.7, y = -1.3;
    int32_t i = 3, j = 4;
    THostArray<double> a{0.25, -0.5, 1.5, 2.0};
    TExcoH h;

    void SetUp() override
    {
        h.SetVariable("x", &x, vt::Double);
        h.SetVariable("y", &y, vt::Double);
        h.SetVariable("i", &i, vt::Integer);
        h.SetVariable("j", &j, vt::Integer);
        h.SetVariable("a", a.reference(), vt::DoubleArray);
    }

    Outcome compile(const std::string& text, bool optimise = true)
    {
        h.CodeListOptimisation = optimise;
        Outcome out;
        TFunction func;
        try {
            h.Compile(text, TDestination{}, func);
        } catch (const EExcoDivByZero&) {
            out.fault = kIntegerDivide;
            return out;
        } catch (const std::exception&) {
            out.fault = kThrown;
            return out;
        }
        out.error = h.ErrorCode;
        out.words = h.ResultWords;
        if (func.Entry == 0)
            return out;
        out.code.assign(func.Code.begin(), func.Code.end());
        out.fault = run(func.Entry, out.value);
        TExcoH::FreeCode(func);
        return out;
    }

    // The text gives the same outcome with the optimiser as without: the same error,
    // the same value, or a fault. Folding finds a fault at compile time that the
    // plain routine raises when it runs, maybe after a fault of an earlier entry.
    void expectSameOutcome(const std::string& text, Extended relative)
    {
        const Outcome plain = compile(text, false);
        const Outcome optimised = compile(text, true);
        if (!plain.compiled() && !plain.faulted()) {
            EXPECT_EQ(optimised.error, plain.error) << text;
            EXPECT_EQ(optimised.fault == kThrown, plain.fault == kThrown) << text;
            return;
        }
        if (optimised.faulted() || plain.faulted()) {
            EXPECT_TRUE(plain.faulted()) << text;
            if (optimised.error == 0) {
                EXPECT_EQ(optimised.fault, plain.fault) << text;
            }
            return;
        }
        EXPECT_EQ(optimised.fault, plain.fault) << text;
        EXPECT_TRUE(near(optimised.value, plain.value, relative))
            << text << ": " << static_cast<double>(optimised.value) << " against " << static_cast<double>(plain.value);
    }
};

struct Case {
    std::string text;
    int32_t folded;
    int32_t shared;
    std::function<Extended(Extended x, Extended y)> reference;
};

// With x = 0.7, y = -1.3, i = 3 and a = {0.25, -0.5, 1.5, 2}.
const std::vector<Case> kCases = {
    // One function computed twice, every coefficient kept.
    {"sin(x)+2*sin(x)+1", 0, 1, [](Extended x, Extended) { return 3 * sinl(x) + 1; }},
    {"sqrt(x)*sqrt(x)", 0, 1, [](Extended x, Extended) { return x; }},
    {"sqrt(x)+sqrt(x)-3*sqrt(x)", 0, 2, [](Extended x, Extended) { return -sqrtl(x); }},
    {"fact(i)+fact(i)*2", 0, 1, [](Extended, Extended) { return 18; }},
    {"sum(a)+sum(a)/2", 0, 1, [](Extended, Extended) { return 3.25L * 1.5L; }},
    {"-sin(x)*sin(x)", 0, 1, [](Extended x, Extended) { return -sinl(x) * sinl(x); }},
    // Chains: a function of a function, a form as argument.
    {"sqrt(abs(y))+sqrt(abs(y))", 0, 1, [](Extended, Extended y) { return 2 * sqrtl(fabsl(y)); }},
    {"sqrt(2*sin(x))+sqrt(sin(x))", 0, 1,
     [](Extended x, Extended) { return sqrtl(2 * sinl(x)) + sqrtl(sinl(x)); }},
    {"sin(2*x+1)+cos(2*x+1)", 0, 1, [](Extended x, Extended) { return sinl(2 * x + 1) + cosl(2 * x + 1); }},
    {"sin(a[1])+cos(a[1])+sin(a[2])", 0, 1, [](Extended, Extended) { return sinl(-0.5L) + cosl(-0.5L) + sinl(1.5L); }},
    // Chains inside deeper nests of calls: the part that the window holds is shared,
    // a call is paired with the call that ends a chain as long as its own.
    {"sin(sqrt(abs(y)))+sqrt(abs(y))", 0, 1, [](Extended, Extended y) { return sinl(sqrtl(fabsl(y))) + sqrtl(fabsl(y)); }},
    {"sqrt(x)+sqrt(sqrt(x))", 0, 1, [](Extended x, Extended) { return sqrtl(x) + sqrtl(sqrtl(x)); }},
    {"sin(sin(sin(sin(sin(x)))))+sin(sin(sin(sin(sin(x)))))", 0, 1,
     [](Extended x, Extended) { return 2 * sinl(sinl(sinl(sinl(sinl(x))))); }},
    {"cos(sin(sin(sin(x))))*sin(sin(sin(x)))", 0, 1,
     [](Extended x, Extended) { return cosl(sinl(sinl(sinl(x)))) * sinl(sinl(sinl(x))); }},
    // Partners of the pair matrix.
    {"sin(x)+cos(x)", 0, 1, [](Extended x, Extended) { return sinl(x) + cosl(x); }},
    {"sin(x)^2+cos(x)^2", 0, 1, [](Extended, Extended) { return 1; }},
    {"sin(x)*cos(x)+sin(y)*cos(y)", 0, 2, [](Extended x, Extended y) { return sinl(x) * cosl(x) + sinl(y) * cosl(y); }},
    {"tan(x)+cotan(x)+cotan(x)", 0, 2, [](Extended x, Extended) { return tanl(x) + 2 / tanl(x); }},
    {"cotan(y)*tan(y)", 0, 1, [](Extended, Extended) { return 1; }},
    {"tan(x)+cotan(x)+tan(y)+cotan(y)", 0, 2,
     [](Extended x, Extended y) { return tanl(x) + 1 / tanl(x) + tanl(y) + 1 / tanl(y); }},
    {"arcsin(x/2)+arccos(x/2)", 0, 1, [](Extended, Extended) { return kPi / 2; }},
    {"arccotan(x)-arctan(x)", 0, 1, [](Extended x, Extended) { return kPi / 2 - 2 * atanl(x); }},
    {"exp(x)+sinh(x)+cosh(x)+tanh(x)", 0, 3,
     [](Extended x, Extended) { return expl(x) + sinhl(x) + coshl(x) + tanhl(x); }},
    {"cotanh(y)*tanh(y)+exp(y)", 0, 2, [](Extended, Extended y) { return 1 + expl(y); }},
    // Nothing the same.
    {"sin(x)+sin(y)", 0, 0, [](Extended x, Extended y) { return sinl(x) + sinl(y); }},
    {"sin(x)+sin(-x)", 0, 0, [](Extended, Extended) { return 0; }},
    {"sin(x+1)+sin(x+2)", 0, 0, [](Extended x, Extended) { return sinl(x + 1) + sinl(x + 2); }},
    {"sin(a[1])+sin(a[2])", 0, 0, [](Extended, Extended) { return sinl(-0.5L) + sinl(1.5L); }},
    {"sqrt(abs(x))+sqrt(x)", 0, 0, [](Extended x, Extended) { return 2 * sqrtl(x); }},
    // Constant calls, folded.
    {"x*sin(1)+cos(1)", 2, 0, [](Extended x, Extended) { return x * sinl(1) + cosl(1); }},
    {"x-sin(1)", 1, 0, [](Extended x, Extended) { return x - sinl(1); }},
    {"-sin(1)*x", 1, 0, [](Extended x, Extended) { return -sinl(1) * x; }},
    {"x*-3*sin(0.5)+1", 1, 0, [](Extended x, Extended) { return -3 * x * sinl(0.5L) + 1; }},
    {"x+sqrt(sin(0.5))", 2, 0, [](Extended x, Extended) { return x + sqrtl(sinl(0.5L)); }},
    {"fact(5)*x", 1, 0, [](Extended x, Extended) { return 120 * x; }},
    {"x^2+logn(2,8)", 1, 0, [](Extended x, Extended) { return x * x + 3; }},
    {"x+root(27,3)", 1, 0, [](Extended x, Extended) { return x + 3; }},
    {"x+power(2,10)", 1, 0, [](Extended x, Extended) { return x + 1024; }},
    {"sin(1)*sin(x)+sin(x)", 1, 1, [](Extended x, Extended) { return (sinl(1) + 1) * sinl(x); }},
};

TEST_F(Optimiser, EveryTextKeepsItsValueAndFoldsAndSharesWhatItShould)
{
    for (const Case& c : kCases) {
        const Outcome plain = compile(c.text, false);
        const Outcome optimised = compile(c.text, true);
        ASSERT_EQ(plain.error, 0) << c.text;
        ASSERT_EQ(optimised.error, 0) << c.text;
        ASSERT_EQ(optimised.fault, 0) << c.text;
        const Extended expected = c.reference(x, y);
        EXPECT_TRUE(near(optimised.value, expected, 1e-15L))
            << c.text << ": " << static_cast<double>(optimised.value) << " against " << static_cast<double>(expected);
        EXPECT_TRUE(near(optimised.value, plain.value, 1e-15L)) << c.text;
        EXPECT_EQ(optimised.words[0], c.folded) << c.text;
        EXPECT_EQ(optimised.words[1], c.shared) << c.text;
        EXPECT_EQ(plain.words[0] + plain.words[1], 0) << c.text;
    }
}

TEST_F(Optimiser, SharedComputationsRunOnce)
{
    const Outcome twice = compile("sin(x)+2*sin(x)+1", false);
    const Outcome once = compile("sin(x)+2*sin(x)+1");
    EXPECT_EQ(count(twice.code, 0xD9, 0xFE), 2);  // fsin
    EXPECT_EQ(count(once.code, 0xD9, 0xFE), 1);
    EXPECT_EQ(once.words[3], 1);                  // one shared temporary

    const Outcome pair = compile("sin(x)+cos(x)");
    EXPECT_EQ(count(pair.code, 0xD9, 0xFB), 1);  // fsincos
    EXPECT_EQ(count(pair.code, 0xD9, 0xFE) + count(pair.code, 0xD9, 0xFF), 0);

    const Outcome tangent = compile("tan(x)+cotan(x)");
    EXPECT_EQ(count(tangent.code, 0xD9, 0xF2), 1);  // fptan

    // The longest chain is taken whole: abs and sqrt once each.
    const Outcome chain = compile("sqrt(abs(y))+sqrt(abs(y))");
    EXPECT_EQ(chain.words[2], 3);
    EXPECT_EQ(count(chain.code, 0xD9, 0xFA), 1);  // fsqrt
    EXPECT_EQ(count(chain.code, 0xD9, 0xE1), 1);  // fabs

    const Outcome folded = compile("x*sin(1)+cos(1)");
    EXPECT_EQ(count(folded.code, 0xD9, 0xFE) + count(folded.code, 0xD9, 0xFF), 0);
}

TEST_F(Optimiser, OptionsAndTextsThatTurnItOff)
{
    const auto words = [&](const std::string& text) {
        const Outcome out = compile(text);
        EXPECT_EQ(out.error, 0) << text;
        EXPECT_EQ(out.fault, 0) << text;
        return std::vector<int32_t>{out.words[0], out.words[1], out.words[2]};
    };
    // A window shorter than the chain shares only its start: abs(y), not the root.
    h.CseWindow = 2;
    EXPECT_EQ(words("sqrt(abs(y))+sqrt(abs(y))"), (std::vector<int32_t>{0, 1, 2}));
    h.CseWindow = 1;
    EXPECT_EQ(words("sqrt(abs(y))+sqrt(abs(y))"), (std::vector<int32_t>{0, 0, 0}));
    h.CseWindow = 0;
    EXPECT_EQ(words("sin(x)+sin(x)+sin(1)*x"), (std::vector<int32_t>{1, 0, 0}));
    h.CseWindow = 3;
    // The constant-evaluation option also switches folding.
    h.PreEvaluate = false;
    EXPECT_EQ(words("sin(x)+sin(x)+sin(1)*x"), (std::vector<int32_t>{0, 1, 2}));
    h.PreEvaluate = true;
    // Without the pair group only the same function is shared.
    h.SetTrigonometricPairs(false);
    EXPECT_EQ(words("sin(x)+cos(x)+sin(x)"), (std::vector<int32_t>{0, 1, 2}));
    h.SetTrigonometricPairs(true);
    h.Optimise = false;
    EXPECT_EQ(words("sin(x)+sin(x)+sin(1)*x"), (std::vector<int32_t>{0, 0, 0}));
    h.Optimise = true;
    // A conditional or an early end: not optimised, and the value is kept.
    for (const std::string text : {"if(x>0,sin(x),1)+sin(x)+sin(1)*x", "sin(x)+sin(x)+compile(sin(1)*x)"}) {
        EXPECT_EQ(words(text), (std::vector<int32_t>{0, 0, 0})) << text;
        expectSameOutcome(text, 0);
    }
}

// A call that faults on its constant argument fails the compile with the fault's
// code, naming the whole text; without folding the routine raises it when it runs.
TEST_F(Optimiser, FoldingReportsTheFaultOfTheFunction)
{
    const std::vector<std::pair<std::string, int32_t>> faults = {
        {"x+ln(0)", ec::ZeroDivide},      {"x*sqrt(-1)", ec::InvalidOp}, {"x+exp(20000)", ec::Overflow},
        {"sin(x)+arcsin(2)", ec::InvalidOp}, {"x*fact(1755)", ec::Overflow},   {"x+fact(-1)", ec::InvalidOp},
    };
    for (const auto& [text, code] : faults) {
        const Outcome optimised = compile(text);
        EXPECT_EQ(optimised.error, code) << text;
        EXPECT_EQ(h.ItemText, text);
        const Outcome plain = compile(text, false);
        EXPECT_EQ(plain.error, 0) << text;
        EXPECT_EQ(plain.fault, code) << text;
        h.PreEvaluate = false;
        EXPECT_EQ(compile(text).fault, code) << text;
        h.PreEvaluate = true;
    }
    // The integer division by zero of an even root of a negative number is no fault
    // the driver maps: like pre-evaluation, folding passes it on to the caller.
    EXPECT_EQ(compile("x+root(-16,2)").fault, kIntegerDivide);
    EXPECT_EQ(compile("x+root(-16,2)", false).fault, kIntegerDivide);
    // The compiler goes on as before.
    const Outcome next = compile("sin(x)+sin(x)");
    EXPECT_EQ(next.error, 0);
    EXPECT_TRUE(near(next.value, 2 * sinl(x), 1e-15L));
}

// Random texts made of calls that repeat and partner each other.
TEST_F(Optimiser, RandomTextsGiveTheSameValueWithAndWithoutIt)
{
    std::mt19937 rng(20261210u);
    const auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
    static const std::vector<std::string> leaves = {"x", "y", "-x", "2*x+1", "0.5", "3", "i", "a[1]", "1-y"};
    static const std::vector<std::string> functions = {
        "sin", "cos", "tan", "cotan", "sqrt", "abs", "exp", "sinh", "cosh", "tanh", "cotanh", "arctan",
        "arccotan", "arcsin", "arccos", "ln", "sqr", "fact", "trunc", "frac", "sign", "log10"};
    std::vector<std::string> pool;
    std::function<std::string(int)> expression = [&](int depth) -> std::string {
        if (!pool.empty() && pick(3) == 0)
            return pool[pick(pool.size())];
        if (depth == 0 || pick(4) == 0)
            return leaves[pick(leaves.size())];
        std::string text;
        switch (pick(4)) {
        case 0:
        case 1: text = functions[pick(functions.size())] + "(" + expression(depth - 1) + ")"; break;
        case 2: {
            // Appended piece by piece: the chain of + on temporaries trips a false
            // overlap warning of GCC 12 in Release.
            const std::string left = expression(depth - 1);
            const char operation = "+-*/"[pick(4)];
            const std::string right = expression(depth - 1);
            text.append("(").append(left).append(")").append(1, operation).append("(").append(right).append(")");
            break;
        }
        default: text = std::to_string(pick(5)) + "*" + expression(depth - 1) + "+" + expression(depth - 1); break;
        }
        pool.push_back(text);
        return text;
    };
    int shared = 0;
    for (int round = 0; round < 600; ++round) {
        // Also with every result stored, and with a depth limit that keeps results
        // in memory.
        h.StackMode = round % 3 == 1 ? 0 : 1;
        h.DepthLimit = round % 3 == 2 ? 3 : 8;
        pool.clear();
        const std::string text = expression(4);
        expectSameOutcome(text, 1e-9L);
        shared += h.ResultWords[1] > 0 ? 1 : 0;
    }
    EXPECT_GT(shared, 40);
}

// The flat interface reports what the optimiser did with a compiled function.
class OptimiserQueries : public ExcoTest {};

TEST_F(OptimiserQueries, ResultWordsCountFoldingAndSharing)
{
    HostVariables vars;
    vars.bind();
    const auto words = [](intptr_t handle) {
        std::vector<intptr_t> out;
        for (const int query : {316, 317, 318, 319}) {
            intptr_t value = -1;
            ExcoGetInfo(query, handle, value);
            out.push_back(value);
        }
        return out;
    };
    const CompileOutcome shared = compileText("sqrt(abs(y))*sin(x)+sqrt(abs(y))*cos(x)+sin(1)");
    ASSERT_NE(shared.handle, 0);
    // sin(1) folded; the root chain and the sine and cosine shared, one temporary each.
    EXPECT_EQ(words(shared.handle), (std::vector<intptr_t>{1, 2, 3, 2}));
    const CompileOutcome plain = compileText("x*y+1");
    ASSERT_NE(plain.handle, 0);
    EXPECT_EQ(words(plain.handle), (std::vector<intptr_t>{0, 0, 0, 0}));
    ExcoSetOption(exco_option::Clear, shared.handle);
    ExcoSetOption(exco_option::Clear, plain.handle);
}

// The fuzz driver's texts, many of them faulty: the optimiser changes no outcome.
TEST_F(Optimiser, FuzzTextsGiveTheSameOutcomeWithAndWithoutIt)
{
    ExcoFuzzer fuzzer(20261210u);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    for (int texts = 0; texts < 4000 && std::chrono::steady_clock::now() < end; ++texts)
        expectSameOutcome(fuzzer.next(), 1e-9L);
}

}  // namespace
