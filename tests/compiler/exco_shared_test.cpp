// Functions of the same argument that share one computation: code lists whose nodes
// carry keys (the earlier node keeps a value) and roles (the later node takes it),
// compiled by the code generator and run.
#include "compiler/exco_compilator.h"
#include "compiler/exco_h.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr Extended kPi = 3.14159265358979323846264338327950288L;

struct Call {
    int32_t func;
    std::vector<TSharedKey> keys;
    int32_t role = 0;
    int32_t slot = 0;
};

// A sum of calls, each of x (a linear form of the variable, no argument nodes), the
// k-th call multiplied by 10^k.
class SharedSum {
 public:
    explicit SharedSum(double value) : x_(value) { variables_.push_back({"x", &x_, vt::Double}); }
    ~SharedSum() { TExcoH::FreeCode(func_); }
    SharedSum(const SharedSum&) = delete;
    SharedSum& operator=(const SharedSum&) = delete;

    Extended run(const std::vector<Call>& calls)
    {
        TArrayOfTFunc list(1);
        const int32_t sum = static_cast<int32_t>(calls.size()) + 1;
        Extended scale = 1;
        for (std::size_t k = 0; k < calls.size(); ++k) {
            TFunc f;
            f.FuncIndex = calls[k].func;
            f.Level = 1 + static_cast<int32_t>(k);
            f.ParentIndex = sum;
            f.OperandPos = static_cast<int32_t>(k) + 1;
            f.OperandKind = 2;
            f.Var1 = &x_;
            f.SharedKeys = calls[k].keys;
            f.Role = calls[k].role;
            f.SharedTemp = calls[k].slot;
            if (scale != 1) {
                f.PostForm = 1;
                f.A = scale;
            }
            scale *= 10;
            list.push_back(f);
        }
        TFunc add;
        add.FuncIndex = fx::ADD;
        add.Level = 1;
        add.OperandCount = static_cast<int32_t>(calls.size());
        add.OperandOps.assign(calls.size(), op::Add);
        list.push_back(add);
        TExcoH::FreeCode(func_);
        TCompiler compiler(table_.FuncTable);
        compiler.InitEmit(variables_, TDestination{}, 0, 1, vt::Extended, vt::Double, 8);
        compiler.Compile(list, func_, calls.size() + 2, 0);
        return ExcoRunRoutine(func_.Entry);
    }
    // How often the byte pair occurs in the routine's code.
    int count(uint8_t first, uint8_t second) const
    {
        int n = 0;
        for (std::size_t k = 0; k + 1 < func_.Code.size(); ++k)
            n += func_.Code[k] == first && func_.Code[k + 1] == second;
        return n;
    }

 private:
    double x_;
    TVarList variables_;
    TExcoH table_;
    TFunction func_;
};

Extended referenceOf(int32_t func, Extended x)
{
    switch (func) {
    case fx::Sin: return sinl(x);
    case fx::Cos: return cosl(x);
    case fx::Tan: return tanl(x);
    case fx::Cotan: return 1 / tanl(x);
    case fx::ArcSin: return asinl(x);
    case fx::ArcCos: return acosl(x);
    case fx::ArcTan: return atanl(x);
    case fx::ArcCotan: return kPi / 2 - atanl(x);
    case fx::Sinh: return sinhl(x);
    case fx::Cosh: return coshl(x);
    case fx::Tanh: return tanhl(x);
    case fx::Cotanh: return 1 / tanhl(x);
    case fx::Exp: return expl(x);
    case fx::Sqrt: return sqrtl(x);
    default: return NAN;
    }
}

struct PairCase {
    int32_t earlier;
    int32_t key;
    int32_t later;
    int32_t role;
};

// Every marked pair of the trigonometric and hyperbolic groups, and a function
// computed twice.
const std::vector<PairCase> kPairs = {
    {fx::Sin, 2, fx::Cos, 1},         {fx::Cos, 2, fx::Sin, 1},       {fx::Tan, 1, fx::Cotan, 2},
    {fx::Cotan, 2, fx::Tan, 1},       {fx::ArcSin, 1, fx::ArcCos, 2}, {fx::ArcCos, 1, fx::ArcSin, 2},
    {fx::ArcTan, 1, fx::ArcCotan, 2}, {fx::ArcCotan, 2, fx::ArcTan, 1}, {fx::Sinh, 3, fx::Cosh, 3},
    {fx::Sinh, 3, fx::Tanh, 3},       {fx::Sinh, 3, fx::Cotanh, 3},   {fx::Sinh, 3, fx::Exp, 1},
    {fx::Cosh, 3, fx::Sinh, 3},       {fx::Cosh, 3, fx::Tanh, 3},     {fx::Cosh, 3, fx::Cotanh, 3},
    {fx::Cosh, 3, fx::Exp, 1},        {fx::Exp, 1, fx::Sinh, 3},      {fx::Exp, 1, fx::Cosh, 3},
    {fx::Exp, 1, fx::Tanh, 3},        {fx::Exp, 1, fx::Cotanh, 3},    {fx::Tanh, 2, fx::Sinh, 3},
    {fx::Tanh, 2, fx::Cosh, 3},       {fx::Tanh, 1, fx::Cotanh, 2},   {fx::Tanh, 2, fx::Exp, 1},
    {fx::Cotanh, 2, fx::Sinh, 3},     {fx::Cotanh, 2, fx::Cosh, 3},   {fx::Cotanh, 1, fx::Tanh, 2},
    {fx::Cotanh, 2, fx::Exp, 1},      {fx::Sqrt, 1, fx::Sqrt, 1},     {fx::Sin, 1, fx::Sin, 1},
};

TEST(SharedComputations, EveryPairGivesBothValuesAndKeepsTheLaterCoefficient)
{
    const Extended x = 0.7L;
    SharedSum sum(0.7);
    for (const PairCase& c : kPairs) {
        const Extended expected = referenceOf(c.earlier, x) + 10 * referenceOf(c.later, x);
        const Extended got = sum.run({{c.earlier, {{c.key, 0}}}, {c.later, {}, c.role, 0}});
        EXPECT_NEAR(static_cast<double>(got), static_cast<double>(expected), 1e-15 * std::fabs(expected))
            << c.earlier << " then " << c.later;
    }
}

TEST(SharedComputations, OneComputationServesBoth)
{
    SharedSum sum(0.7);
    sum.run({{fx::Sin, {{2, 0}}}, {fx::Cos, {}, 1, 0}});
    EXPECT_EQ(sum.count(0xD9, 0xFB), 1);  // fsincos
    EXPECT_EQ(sum.count(0xD9, 0xFE), 0);  // no fsin
    EXPECT_EQ(sum.count(0xD9, 0xFF), 0);  // no fcos

    sum.run({{fx::Tan, {{1, 0}}}, {fx::Cotan, {}, 2, 0}});
    EXPECT_EQ(sum.count(0xD9, 0xF2), 1);  // fptan once

    // exp, then sinh from the kept e^x: one call of the exponential routine.
    sum.run({{fx::Exp, {{1, 0}}}, {fx::Sinh, {}, 3, 0}});
    EXPECT_EQ(sum.count(0xFF, 0xD0), 1);

    // Alone, sin is its template.
    sum.run({{fx::Sin, {}}});
    EXPECT_EQ(sum.count(0xD9, 0xFE), 1);
    EXPECT_EQ(sum.count(0xD9, 0xFB), 0);
}

TEST(SharedComputations, AnEarlierNodeWithTwoKeysKeepsItsOwnValueToo)
{
    const Extended x = 0.7L;
    SharedSum sum(0.7);
    const std::vector<std::pair<int32_t, int32_t>> pairs = {
        {fx::Sin, fx::Cos}, {fx::Cos, fx::Sin}, {fx::Cotan, fx::Tan}, {fx::ArcCotan, fx::ArcTan},
        {fx::Sinh, fx::Cosh}, {fx::Cosh, fx::Sinh}, {fx::Tanh, fx::Sinh}, {fx::Cotanh, fx::Cosh},
    };
    for (const auto& [earlier, later] : pairs) {
        const int32_t role = later == fx::Tan || later == fx::ArcTan || later == fx::Sin || later == fx::Cos ? 1 : 3;
        // earlier (keeps a by-product in slot 0 and itself in slot 1), the later
        // function from slot 0, the earlier one again from slot 1.
        const Extended got =
            sum.run({{earlier, {{earlier == fx::Sinh || earlier == fx::Cosh ? 3 : 2, 0}, {1, 1}}},
                     {later, {}, role, 0},
                     {earlier, {}, 1, 1}});
        const Extended expected = 101 * referenceOf(earlier, x) + 10 * referenceOf(later, x);
        EXPECT_NEAR(static_cast<double>(got), static_cast<double>(expected), 1e-15 * std::fabs(expected))
            << earlier << " then " << later;
    }
}

TEST(SharedComputations, AValueTakenIsPassedOnToAStillLaterNode)
{
    const Extended x = 0.7L;
    const auto f = [&](int32_t func) { return referenceOf(func, x); };
    SharedSum sum(0.7);
    struct Chain {
        std::vector<Call> calls;
        Extended expected;
    };
    const std::vector<Chain> chains = {
        {{{fx::Sinh, {{3, 0}}}, {fx::Cosh, {{3, 1}}, 3, 0}, {fx::Tanh, {}, 3, 1}},
         f(fx::Sinh) + 10 * f(fx::Cosh) + 100 * f(fx::Tanh)},
        {{{fx::Tan, {{1, 0}}}, {fx::Cotan, {{1, 1}}, 2, 0}, {fx::Cotan, {}, 1, 1}},
         f(fx::Tan) + 110 * f(fx::Cotan)},
        {{{fx::Tan, {{1, 0}}}, {fx::Cotan, {{2, 1}}, 2, 0}, {fx::Tan, {}, 1, 1}},
         101 * f(fx::Tan) + 10 * f(fx::Cotan)},
        {{{fx::ArcTan, {{1, 0}}}, {fx::ArcCotan, {{2, 1}}, 2, 0}, {fx::ArcTan, {}, 1, 1}},
         101 * f(fx::ArcTan) + 10 * f(fx::ArcCotan)},
        {{{fx::Sqrt, {{1, 0}}}, {fx::Sqrt, {{1, 1}}, 1, 0}, {fx::Sqrt, {}, 1, 1}}, 111 * f(fx::Sqrt)},
    };
    for (const Chain& chain : chains) {
        const Extended got = sum.run(chain.calls);
        EXPECT_NEAR(static_cast<double>(got), static_cast<double>(chain.expected), 1e-15 * std::fabs(chain.expected))
            << chain.calls.front().func << " then " << chain.calls[1].func;
    }
}

}  // namespace
