// The list functions over values and sign, compiled and run, against an evaluator of
// their definitions written here: the same operations in the same order in long
// double, the first x87 fault of each step taken from the floating-point flags. Short
// lists and sign compile to code that calls nothing; their results must be bit for bit
// those of the list routines that long lists still call, their faults the same faults.
#include "compiler/exco.h"
#include "compiler/native_call.h"
#include "tests/compiler/exco_test_support.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

enum class Fault { None, Invalid, Overflow, ZeroDivide };

const char* faultName(Fault f)
{
    switch (f) {
    case Fault::None: return "none";
    case Fault::Invalid: return "invalid operation";
    case Fault::Overflow: return "overflow";
    case Fault::ZeroDivide: return "zero divide";
    }
    return "?";
}

struct Outcome {
    Extended value = 0;
    Fault fault = Fault::None;
};

// The bits of an Extended value, so that -0 differs from +0 and NaNs keep their payload.
std::string bits(Extended v)
{
    unsigned char b[10];
    std::memcpy(b, &v, sizeof b);
    std::string out;
    char hex[3];
    for (int k = 9; k >= 0; --k) {
        std::snprintf(hex, sizeof hex, "%02x", b[k]);
        out += hex;
    }
    return out;
}

std::string describe(const Outcome& o)
{
    return o.fault != Fault::None ? std::string("fault ").append(faultName(o.fault)) : bits(o.value);
}

// One x87 operation of the reference: its result, or the fault the routines' control
// word turns its flags into (underflow and precision are masked there).
class Reference {
 public:
    bool faulted() const { return fault_ != Fault::None; }
    Fault fault() const { return fault_; }

    // op of a and b, kept from being folded where the flags cannot see it.
    template <class Op>
    Extended step(Extended a, Extended b, Op op)
    {
        if (faulted())
            return 0;
        const volatile Extended left = a, right = b;
        std::feclearexcept(FE_ALL_EXCEPT);
        const volatile Extended r = op(left, right);
        if (std::fetestexcept(FE_INVALID))
            fault_ = Fault::Invalid;
        else if (std::fetestexcept(FE_DIVBYZERO))
            fault_ = Fault::ZeroDivide;
        else if (std::fetestexcept(FE_OVERFLOW))
            fault_ = Fault::Overflow;
        return r;
    }
    Extended add(Extended a, Extended b) { return step(a, b, [](Extended l, Extended r) { return l + r; }); }
    Extended sub(Extended a, Extended b) { return step(a, b, [](Extended l, Extended r) { return l - r; }); }
    Extended mul(Extended a, Extended b) { return step(a, b, [](Extended l, Extended r) { return l * r; }); }
    Extended div(Extended a, Extended b) { return step(a, b, [](Extended l, Extended r) { return l / r; }); }
    Extended root(Extended a) { return step(a, 0, [](Extended l, Extended) { return sqrtl(l); }); }
    // fcomi and ftst take a NaN for an invalid operation.
    bool compares(Extended a, Extended b)
    {
        if (!faulted() && (std::isnan(a) || std::isnan(b)))
            fault_ = Fault::Invalid;
        return !faulted();
    }

 private:
    Fault fault_ = Fault::None;
};

// A list function of variables and of further lists, in the text and in the reference.
struct List {
    std::string name;
    std::vector<int> variables;   // v0, v1, ... in argument order, where nested is empty
    std::vector<List> nested;     // appended after the variables
};

// Appended piece by piece: GCC 12 at -O3 warns falsely on "literal" + string.
std::string textOf(const List& l)
{
    std::string t = l.name;
    t.append("(");
    for (const int v : l.variables) {
        if (t.back() != '(')
            t.append(",");
        t.append("v").append(std::to_string(v));
    }
    for (const List& n : l.nested) {
        if (t.back() != '(')
            t.append(",");
        t.append(textOf(n));
    }
    return t.append(")");
}

Extended evaluate(const List& l, const std::vector<Extended>& values, Reference& ref)
{
    std::vector<Extended> args;
    for (const int v : l.variables)
        args.push_back(values[static_cast<std::size_t>(v)]);
    for (const List& n : l.nested)
        args.push_back(evaluate(n, values, ref));
    if (ref.faulted())
        return 0;
    const std::string& f = l.name;
    if (f == "len")
        return static_cast<Extended>(args.size());
    if (f == "max" || f == "min") {
        Extended r = args.front();
        for (std::size_t k = 1; k < args.size(); ++k) {
            if (!ref.compares(args[k], r))
                return 0;
            if (f == "max" ? args[k] > r : args[k] < r)
                r = args[k];
        }
        return r;
    }
    Extended acc = f == "prod" ? 1 : 0;
    for (const Extended a : args) {
        if (f == "prod")
            acc = ref.mul(acc, a);
        else if (f == "sumq" || f == "norm")
            acc = ref.add(acc, ref.mul(a, a));
        else
            acc = ref.add(acc, a);
    }
    if (f == "avr")
        acc = ref.div(acc, static_cast<Extended>(args.size()));
    if (f == "norm")
        acc = ref.root(acc);
    return acc;
}

Extended signOf(Extended v, Reference& ref)
{
    if (!ref.compares(v, 0))
        return 0;
    return v > 0 ? 1 : v < 0 ? -1 : 0;
}

// How a whole text wraps its list, and the reference of the wrapping.
struct Shape {
    const char* before;
    const char* after;
    Extended (*apply)(Extended, Reference&);
};

const Shape kShapes[] = {
    {"", "", [](Extended r, Reference&) { return r; }},
    {"-", "", [](Extended r, Reference&) { return -r; }},
    {"sign(", ")", signOf},
    {"sign(", ")*2", [](Extended r, Reference& ref) { return ref.mul(signOf(r, ref), 2); }},
};

Extended quietNaN()
{
    // A negative quiet NaN with a payload of its own, to be told from the default NaN.
    Extended v = 0;
    const uint64_t mantissa = 0xC000000000001234ull;
    const uint16_t signExponent = 0xFFFF;
    std::memcpy(&v, &mantissa, sizeof mantissa);
    std::memcpy(reinterpret_cast<char*>(&v) + 8, &signExponent, sizeof signExponent);
    return v;
}

class ListFunctions : public ExcoTest {
 protected:
    static constexpr int kVariables = 9;

    void SetUp() override
    {
        ExcoTest::SetUp();
        for (int k = 0; k < kVariables; ++k)
            ExcoDefineVariable(std::string("v").append(std::to_string(k)), &values_[static_cast<std::size_t>(k)], 29);
    }
    void TearDown() override
    {
        ExcoLibraryCompiler().Optimise = true;
        ExcoLibraryCompiler().CodeListOptimisation = true;
        ExcoTest::TearDown();
    }

    // The compiled text's outcome under the host's control word and under one that
    // unmasks the faults (the lean run of a contained routine, and the guarded one).
    std::vector<Outcome> run(void* routine)
    {
        std::vector<Outcome> outcomes;
        uint16_t host = 0;
        asm volatile("fnstcw %0" : "=m"(host));
        for (const uint16_t word : {host, uint16_t{0x1332}}) {
            asm volatile("fldcw %0" : : "m"(word));
            Outcome o;
            try {
                o.value = TExco().Calc(routine);
            } catch (const EExcoInvalidOp&) {
                o.fault = Fault::Invalid;
            } catch (const EExcoOverflow&) {
                o.fault = Fault::Overflow;
            } catch (const EExcoZeroDivide&) {
                o.fault = Fault::ZeroDivide;
            }
            asm volatile("fldcw %0" : : "m"(host));
            outcomes.push_back(o);
        }
        return outcomes;
    }

    // Compiles shape around list with the optimiser on and off and runs it over rounds
    // of values drawn from the special ones; each outcome must be the reference's.
    void check(const List& list, const Shape& shape, std::optional<bool> contained, int rounds)
    {
        std::string text = shape.before;
        text.append(textOf(list)).append(shape.after);
        check(text, contained, rounds, [&](Reference& ref) {
            return shape.apply(evaluate(list, values_, ref), ref);
        });
    }

    void check(const std::string& text, std::optional<bool> contained, int rounds,
               const std::function<Extended(Reference&)>& reference)
    {
        SCOPED_TRACE(text);
        for (const bool optimise : {true, false}) {
            ExcoLibraryCompiler().Optimise = optimise;
            ExcoLibraryCompiler().CodeListOptimisation = optimise;
            TExco exco;
            void* routine = nullptr;
            exco.Compile(text, nullptr, routine);
            ASSERT_NE(routine, nullptr);
            if (contained) {
                EXPECT_EQ(exco::IsContained(reinterpret_cast<uintptr_t>(routine)), *contained);
            }
            for (int round = 0; round < rounds; ++round) {
                for (Extended& v : values_)
                    v = kSpecial[pick_(rng_)];
                Reference ref;
                Outcome want;
                want.value = reference(ref);
                want.fault = ref.fault();
                if (want.fault != Fault::None)
                    want.value = 0;
                for (const Outcome& got : run(routine)) {
                    std::string values;
                    for (const Extended v : values_)
                        values.append(" ").append(bits(v));
                    EXPECT_EQ(describe(got), describe(want)) << (optimise ? "optimised," : "plain,") << values;
                }
            }
            exco.SetOption(exco_option::Clear, reinterpret_cast<intptr_t>(routine));
        }
    }

    inline static const std::vector<Extended> kSpecial = {
        0.0L, -0.0L, 1.0L, -2.5L, 7.25L, 1e-3L, 3e-4940L, -3e-4940L,
        std::numeric_limits<Extended>::infinity(), -std::numeric_limits<Extended>::infinity(),
        LDBL_MAX, -LDBL_MAX, quietNaN(),
    };
    std::vector<Extended> values_ = std::vector<Extended>(kVariables, 0);
    std::mt19937 rng_{20261211};
    std::uniform_int_distribution<std::size_t> pick_{0, kSpecial.size() - 1};
};

const char* const kNames[] = {"sum", "sumq", "avr", "norm", "prod", "max", "min"};

List flat(const std::string& name, int count, int firstVariable = 0)
{
    List l{name, {}, {}};
    for (int k = 0; k < count; ++k)
        l.variables.push_back((firstVariable + k) % 9);
    return l;
}

TEST_F(ListFunctions, ShortListsCallNothingAndGiveTheRoutinesResultsAndFaults)
{
    for (const char* name : kNames)
        for (const int count : {1, 2, 3, 5, 8})
            for (const Shape& shape : kShapes)
                check(flat(name, count), shape, true, 40);
}

TEST_F(ListFunctions, ListsLongerThanTheStackKeepTheirRoutines)
{
    for (const char* name : kNames)
        check(flat(name, 9), kShapes[0], false, 60);
    // A long list inside a short one: the outer one is inline, the routine stays.
    check(List{"max", {0, 1}, {flat("sum", 9, 2)}}, kShapes[0], false, 60);
}

// Values on the x87 stack while a later argument needs registers of its own are kept
// in temporaries by the depth passes; the lists then take them from there (or call
// their routine where inline code would need more registers than the call).
TEST_F(ListFunctions, ValuesKeptInTemporariesGiveTheSameResults)
{
    for (const char* outer : kNames)
        for (const char* inner : kNames) {
            check(List{outer, {0, 1, 2, 3, 4, 5}, {List{inner, {6, 7}, {flat(inner, 5, 3)}}}}, kShapes[0],
                  std::nullopt, 30);
            check(List{outer, {}, {flat(inner, 2, 1), flat(outer, 6, 3), flat(inner, 8)}}, kShapes[2],
                  std::nullopt, 30);
        }
}

TEST_F(ListFunctions, SignOfEveryKindOfValueAlsoWhenSharedOrRepeated)
{
    const auto v = [this](int k) { return values_[static_cast<std::size_t>(k)]; };
    check("sign(v0)", true, 80, [&](Reference& ref) { return signOf(v(0), ref); });
    check("sign(v0)+sign(v0)", true, 80, [&](Reference& ref) {
        const Extended s = signOf(v(0), ref);
        return ref.add(s, s);
    });
    check("sign(v0)-sign(v1)*sign(v0)", true, 80, [&](Reference& ref) {
        const Extended a = signOf(v(0), ref);
        const Extended b = signOf(v(1), ref);
        return ref.sub(a, ref.mul(b, a));
    });
    check("max(sign(v0),v1,sign(v2))", true, 80, [&](Reference& ref) {
        const Extended a = signOf(v(0), ref);
        const Extended c = signOf(v(2), ref);
        Extended r = a;
        for (const Extended x : {v(1), c}) {
            if (!ref.compares(x, r))
                return Extended(0);
            if (x > r)
                r = x;
        }
        return r;
    });
}

TEST_F(ListFunctions, LenCountsTheValuesAndComputesNone)
{
    check("len(v0,v1,v2)", true, 20, [](Reference&) { return Extended(3); });
    check("2*len(v0,max(v1,v2))+1", true, 20, [](Reference&) { return Extended(5); });
}

}  // namespace
