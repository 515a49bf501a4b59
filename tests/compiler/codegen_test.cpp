#include "compiler/exco_compilator.h"
#include "compiler/exco_h.h"
#include "compiler/exec_arena.h"
#include "compiler/host_array.h"
#include "compiler/native_call.h"
#include "tests/compiler/codegen_tree.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cmath>
#include <functional>
#include <string>

using testtree::Tree;

namespace {

// Host variables of every type; their table indices are the enum below.
struct Host {
    float s = 1.5f;
    int32_t i = 7;
    double d = -2.25;
    long double e = 3.1L;
    double x = 0.3;
    double y = 4.0;
    double z = -1.75;
    double w = 2.0;
    THostDoubleArray da{1.5, -2.0, 3.25, 8.0};
    THostExtendedArray ea{PackedExtended(0.1L), PackedExtended(-7.0L), PackedExtended(1.0L / 3)};
    THostSingleArray sa{0.5f, 2.5f, -4.0f};
    THostIntArray na{10, -20, 30, 40, 50};
    int32_t j = 2;

    TVarList table()
    {
        return {{"s", &s, vt::Single},           {"i", &i, vt::Integer},           {"d", &d, vt::Double},
                {"e", &e, vt::Extended},         {"x", &x, vt::Double},            {"y", &y, vt::Double},
                {"z", &z, vt::Double},           {"w", &w, vt::Double},            {"da", da.reference(), vt::DoubleArray},
                {"ea", ea.reference(), vt::ExtendedArray}, {"sa", sa.reference(), vt::SingleArray},
                {"na", na.reference(), vt::IntegerArray},  {"j", &j, vt::Integer}};
    }
};
enum : int32_t { S, I, D, E, X, Y, Z, W, DA, EA, SA, NA, J, VarCount };

struct Case {
    std::string name;
    std::function<TNode*(Tree&)> build;
    std::function<long double(const Host&)> reference;
};

bool close(long double a, long double b) { return std::fabs(a - b) <= 1e-15L * std::max(1.0L, std::fabs(b)); }

TNode* form(Tree& t, int32_t func)
{
    TNode* node = t.make(func);
    node->Data.RealCoefs.assign(VarCount, 0);
    node->Data.IntRealCoefs.assign(VarCount, 0);
    node->Data.IntCoefs.assign(VarCount, 0);
    return node;
}

TNode* element(Tree& t, int32_t array, int32_t kind)
{
    TNode* node = t.make(fx::LDSV);
    node->Data.VarIndex[0] = array;
    node->Data.OperandKind = kind;
    return node;
}

std::vector<Case> arithmeticCases()
{
    using H = const Host&;
    return {
        {"s+i+d+e",
         [](Tree& t) { return t.sum({{op::First, t.var(S)}, {op::Add, t.ivar(I)}, {op::Add, t.var(D)}, {op::Add, t.var(E)}}); },
         [](H h) { return h.s + h.i + h.d + h.e; }},
        {"s*i/d-e",
         [](Tree& t) {
             return t.sum({{op::First, t.product({{op::First, t.var(S)}, {op::Mul, t.ivar(I)}, {op::Div, t.var(D)}})},
                           {op::Sub, t.var(E)}});
         },
         [](H h) { return h.s * h.i / h.d - h.e; }},
        {"-(x-y)*z",
         [](Tree& t) {
             TNode* inner = t.sum({{op::First, t.var(X)}, {op::Sub, t.var(Y)}});
             inner->Data.Negate = 1;
             return t.product({{op::First, inner}, {op::Mul, t.var(Z)}});
         },
         [](H h) { return -(h.x - h.y) * h.z; }},
        {"-x-(-y)+e*2.5-7",
         [](Tree& t) {
             TNode* sum = t.sum({{op::First, t.var(X, true)},
                                 {op::Sub, t.var(Y, true)},
                                 {op::Add, t.product({{op::First, t.var(E)}, {op::Mul, t.num(2.5)}})}});
             sum->Data.B = -7;
             return sum;
         },
         [](H h) { return -h.x + h.y + h.e * 2.5L - 7; }},
        {"2.5*d+1",
         [](Tree& t) {
             TNode* n = t.make(fx::FAVB);
             n->Data.VarIndex[0] = D;
             n->Data.a1 = 2.5;
             n->Data.b1 = 1;
             return n;
         },
         [](H h) { return 2.5L * h.d + 1; }},
        {"3-e",
         [](Tree& t) {
             TNode* n = t.make(fx::FAVB);
             n->Data.VarIndex[0] = E;
             n->Data.a1 = -1;
             n->Data.b1 = 3;
             return n;
         },
         [](H h) { return 3 - h.e; }},
        {"3*i-7",
         [](Tree& t) {
             TNode* n = t.make(fx::IAVB);
             n->Data.VarIndex[2] = I;
             n->Data.IntCoef = 3;
             n->Data.IntAddend = -7;
             return n;
         },
         [](H h) { return 3.0L * h.i - 7; }},
        {"2x-y+3z+s+0.5e+1",
         [](Tree& t) {
             TNode* n = form(t, fx::AAF);
             n->Data.RealFormKind = 3;
             n->Data.RealCoefs[X] = 2;
             n->Data.RealCoefs[Y] = -1;
             n->Data.RealCoefs[Z] = 3;
             n->Data.RealCoefs[S] = 1;
             n->Data.RealCoefs[E] = 0.5;
             n->Data.ConstTerm = 1;
             return n;
         },
         [](H h) { return h.s + 2.0L * h.x - h.y + 3.0L * h.z + 0.5L * h.e + 1; }},
        {"3i-j+5",
         [](Tree& t) {
             TNode* n = form(t, fx::AAI);
             n->Data.IntFormKind = 6;
             n->Data.IntCoefs[I] = 3;
             n->Data.IntCoefs[J] = -1;
             n->Data.IntConstTerm = 5;
             return n;
         },
         [](H h) { return 3.0L * h.i - h.j + 5; }},
        {"i-4j",
         [](Tree& t) {
             TNode* n = form(t, fx::AAI);
             n->Data.IntFormKind = 6;
             n->Data.IntCoefs[I] = 1;
             n->Data.IntCoefs[J] = -4;
             return n;
         },
         [](H h) { return h.i - 4.0L * h.j; }},
        {"0.5i-1.25j+2",
         [](Tree& t) {
             TNode* n = form(t, fx::AFI);
             n->Data.RealFormKind = 7;
             n->Data.IntRealCoefs[I] = 0.5;
             n->Data.IntRealCoefs[J] = -1.25;
             n->Data.ConstTerm = 2;
             return n;
         },
         [](H h) { return 0.5L * h.i - 1.25L * h.j + 2; }},
        {"1.5*x*y*e-2",
         [](Tree& t) {
             TNode* n = form(t, fx::MAF);
             n->Data.RealFormKind = 4;
             n->Data.RealCoefs[X] = 1;
             n->Data.RealCoefs[Y] = 1;
             n->Data.RealCoefs[E] = 1;
             n->Data.ConstTerm = 1.5;
             n->Data.b1 = -2;
             return n;
         },
         [](H h) { return 1.5L * (h.x * h.y * h.e) - 2; }},
        {"-(i*x)+0.5",
         [](Tree& t) {
             TNode* n = t.make(fx::AIFB);
             n->Data.VarIndex[2] = I;
             n->Data.VarIndex[0] = X;
             n->Data.a1 = -1;
             n->Data.b1 = 0.5;
             return n;
         },
         [](H h) { return -(h.i * h.x) + 0.5L; }},
        {"product with own factors 3*(2x+1)*y/4",
         [](Tree& t) {
             TNode* n = t.product({{op::First, t.var(Y)}});
             n->Data.ScaledVars = {{2, 1, X}, {1, 0, E}};
             n->Data.A = 0.75;
             return n;
         },
         [](H h) { return 0.75L * (h.y * (2 * h.x + 1) * h.e); }},
        {"|x-y|",
         [](Tree& t) { return t.call(fx::Abs, t.sum({{op::First, t.var(X)}, {op::Sub, t.var(Y)}})); },
         [](H h) { return std::fabs(h.x - h.y); }},
        {"sqr(z+1)-|d|",
         [](Tree& t) {
             TNode* z1 = t.sum({{op::First, t.var(Z)}});
             z1->Data.B = 1;
             return t.sum({{op::First, t.call(fx::Sqr, z1)}, {op::Sub, t.call(fx::Abs, t.var(D))}});
         },
         [](H h) { return (h.z + 1) * (h.z + 1) - std::fabs(h.d); }},
        {"d^3 by its form",
         [](Tree& t) {
             TNode* n = t.make(fx::IPWR3);
             n->Data.OperandKind = 2;
             n->Data.VarIndex[0] = D;
             return n;
         },
         [](H h) { return h.d * h.d * h.d; }},
        {"da[2]+ea[i-5]-sa[j]*na[y*0.75]",
         [](Tree& t) {
             TNode* d2 = element(t, DA, 1);
             d2->Data.IntAddend = 2;
             TNode* e = element(t, EA, 3);
             e->Data.VarIndex[2] = I;
             e->Data.IntAddend = -5;
             TNode* s = element(t, SA, 2);
             s->Data.VarIndex[2] = J;
             TNode* n = t.make(fx::LDSV, {t.product({{op::First, t.var(Y)}, {op::Mul, t.num(0.75)}})});
             n->Data.VarIndex[0] = NA;
             n->Data.OperandKind = 0;
             return t.sum({{op::First, d2}, {op::Add, e}, {op::Sub, t.product({{op::First, s}, {op::Mul, n}})}});
         },
         [](H h) {
             const auto index = static_cast<std::size_t>(h.y * 0.75L);
             return h.da[2] + static_cast<long double>(h.ea[static_cast<std::size_t>(h.i - 5)]) -
                    h.sa[2] * static_cast<long double>(h.na[index]);
         }},
        {"real index truncates toward zero: na[-0.5] + da[2.7]",
         [](Tree& t) {
             TNode* first = t.make(fx::LDSV, {t.num(-0.5)});
             first->Data.VarIndex[0] = NA;
             TNode* second = t.make(fx::LDSV, {t.num(2.7)});
             second->Data.VarIndex[0] = DA;
             return t.sum({{op::First, first}, {op::Add, second}});
         },
         [](H h) { return h.na[0] + h.da[2]; }},
    };
}

}  // namespace

TEST(CodeGenerator, ArithmeticMatchesLongDoubleReference)
{
    const TArrayFuncList table = testtree::functionTable();
    Host host;
    const TVarList vars = host.table();
    for (const Case& c : arithmeticCases()) {
        SCOPED_TRACE(c.name);
        Tree tree;
        const auto routine = testtree::compile(c.build(tree), vars, table);
        ASSERT_NE(routine->function.Entry, 0);
        const long double expected = c.reference(host);
        EXPECT_TRUE(close(routine->run(), expected)) << static_cast<double>(routine->run()) << " vs "
                                                       << static_cast<double>(expected);
        // The routine reads the variables afresh on every run.
        host.x += 1;
        host.i -= 1;
        host.e *= -2;
        EXPECT_TRUE(close(routine->run(), c.reference(host)));
        host.x = 0.3;
        host.i = 7;
        host.e = 3.1L;
    }
}

namespace {

long double choose(int32_t relationWhenFalse, long double left, long double right)
{
    switch (relationWhenFalse) {
    case jr::NE: return left == right;
    case jr::E: return left != right;
    case jr::EL: return left > right;
    case jr::EB: return left < right;
    case jr::B: return left <= right;
    case jr::L: return left >= right;
    default: return 0;
    }
}

}  // namespace

TEST(CodeGenerator, ConditionalTakesTheRightBranchForEveryComparison)
{
    const TArrayFuncList table = testtree::functionTable();
    Host host;
    const TVarList vars = host.table();
    for (const int32_t relation : {jr::NE, jr::E, jr::EL, jr::EB, jr::B, jr::L}) {
        for (const double right : {-1.0, 0.3, 5.0}) {
            SCOPED_TRACE(std::to_string(relation) + " right " + std::to_string(right));
            Tree tree;
            // if(x REL y, 10*x, z - 1) with y set to right
            TNode* yes = tree.product({{op::First, tree.num(10)}, {op::Mul, tree.var(X)}});
            TNode* no = tree.sum({{op::First, tree.var(Z)}});
            no->Data.B = -1;
            const auto routine =
                testtree::compile(tree.conditional(tree.var(X), tree.var(Y), relation, yes, no), vars, table);
            host.y = right;
            const bool taken = choose(relation, host.x, host.y) != 0;
            EXPECT_EQ(routine->run(), taken ? 10 * static_cast<long double>(host.x) : host.z - 1);
            // The one-argument form gives 1 or 0, and the conditional joins a sum.
            Tree flags;
            TNode* sum = flags.sum(
                {{op::First, flags.var(W)},
                 {op::Add, flags.conditional(flags.var(X), flags.var(Y), relation, flags.fld(true), flags.fld(false))}});
            const auto flag = testtree::compile(sum, vars, table);
            EXPECT_EQ(flag->run(), host.w + (taken ? 1 : 0));
        }
    }
}

namespace {

// A balanced tree of sums and products, depth levels deep: it needs levels + 1 x87
// registers in any operand order.
TNode* balanced(Tree& t, int levels, int& leaf)
{
    if (levels == 0) {
        const int32_t vars[] = {X, Y, Z, W, D, E, S};
        TNode* v = t.var(vars[leaf % 7]);
        ++leaf;
        return v;
    }
    TNode* left = balanced(t, levels - 1, leaf);
    TNode* right = balanced(t, levels - 1, leaf);
    if (levels % 2 == 0)
        return t.sum({{op::First, left}, {op::Sub, right}});
    return t.product({{op::First, left}, {op::Div, right}});
}

long double balancedValue(const Host& h, int levels, int& leaf)
{
    if (levels == 0) {
        const long double vars[] = {h.x, h.y, h.z, h.w, h.d, h.e, h.s};
        return vars[leaf++ % 7];
    }
    const long double left = balancedValue(h, levels - 1, leaf);
    const long double right = balancedValue(h, levels - 1, leaf);
    return levels % 2 == 0 ? left - right : left / right;
}

}  // namespace

TEST(CodeGenerator, ExpressionDeeperThanTheX87StackUsesTemporaries)
{
    const TArrayFuncList table = testtree::functionTable();
    Host host;
    const TVarList vars = host.table();
    int leaf = 0;
    const long double expected = balancedValue(host, 10, leaf);
    // Every depth pass on, and every one off: the recompile that keeps every result
    // in memory.
    for (const int32_t passes : {2, 0}) {
        SCOPED_TRACE(passes);
        Tree tree;
        leaf = 0;
        const auto routine = testtree::compile(balanced(tree, 10, leaf), vars, table, {}, passes);
        EXPECT_TRUE(close(routine->run(), expected));
        EXPECT_TRUE(routine->request.spilled);
        EXPECT_LE(routine->request.maxDepth, 8);
    }
    // A shallow one keeps everything on the stack.
    Tree tree;
    leaf = 0;
    const auto shallow = testtree::compile(balanced(tree, 3, leaf), vars, table);
    leaf = 0;
    EXPECT_TRUE(close(shallow->run(), balancedValue(host, 3, leaf)));
    EXPECT_FALSE(shallow->request.spilled);
    EXPECT_EQ(shallow->request.maxDepth, 4);
}

TEST(CodeGenerator, ReorderingAProductKeepsItsValue)
{
    // x / (y + z*(w - d)) / (e - s*(y + x*(z - w))): the divisors are deeper than x.
    const TArrayFuncList table = testtree::functionTable();
    Host host;
    const TVarList vars = host.table();
    Tree t;
    TNode* b = t.sum({{op::First, t.var(Y)},
                      {op::Add, t.product({{op::First, t.var(Z)}, {op::Mul, t.sum({{op::First, t.var(W)}, {op::Sub, t.var(D)}})}})}});
    TNode* c = t.sum(
        {{op::First, t.var(E)},
         {op::Sub, t.product({{op::First, t.var(S)},
                              {op::Mul, t.sum({{op::First, t.var(Y)},
                                               {op::Add, t.product({{op::First, t.var(X)},
                                                                    {op::Mul, t.sum({{op::First, t.var(Z)}, {op::Sub, t.var(W)}})}})}})}})}});
    TNode* root = t.product({{op::First, t.var(X)}, {op::Div, b}, {op::Div, c}});
    const auto routine = testtree::compile(root, vars, table, {}, 1);
    EXPECT_NE(root->FirstChild->Data.FuncIndex, fx::LDSF) << "the deeper divisors come first";
    const long double h_b = host.y + host.z * (host.w - host.d);
    const long double h_c = host.e - host.s * (host.y + host.x * (host.z - host.w));
    EXPECT_TRUE(close(routine->run(), host.x / (h_b * h_c)));

    // A sum whose subtracted term is deeper than the first keeps its value as well.
    Tree u;
    TNode* deep = u.product({{op::First, u.var(Y)}, {op::Mul, u.sum({{op::First, u.var(Z)}, {op::Add, u.var(W)}})}});
    const auto difference = testtree::compile(u.sum({{op::First, u.var(X)}, {op::Sub, deep}}), vars, table, {}, 1);
    EXPECT_TRUE(close(difference->run(), host.x - host.y * (host.z + host.w)));
}

TEST(CodeGenerator, DivisionByZeroThrowsAndTheNextRunWorks)
{
    const TArrayFuncList table = testtree::functionTable();
    Host host;
    const TVarList vars = host.table();
    Tree t;
    const auto routine = testtree::compile(t.product({{op::First, t.var(X)}, {op::Div, t.var(W)}}), vars, table);
    host.w = 0;
    EXPECT_THROW(routine->run(), EExcoZeroDivide);
    host.w = 2;
    EXPECT_TRUE(close(routine->run(), host.x / 2));
}

TEST(CodeGenerator, ArrayIndexOutsideTheArrayIsAnAccessViolation)
{
    const TArrayFuncList table = testtree::functionTable();
    Host host;
    const TVarList vars = host.table();
    Tree t;
    TNode* n = element(t, DA, 3);
    n->Data.VarIndex[2] = I;
    n->Data.IntCoef = 1;
    n->Data.IntAddend = 0;
    const auto routine = testtree::compile(n, vars, table);
    for (const int32_t index : {4, 5, -1, 1000000, INT32_MIN}) {
        SCOPED_TRACE(index);
        host.i = index;
        EXPECT_THROW(routine->run(), EExcoAccessViolation);
    }
    host.i = 3;
    EXPECT_EQ(routine->run(), 8.0L);
    host.da.clear();
    host.i = 0;
    EXPECT_THROW(routine->run(), EExcoAccessViolation) << "an empty array holds no address";
    host.da.assign({4.5});
    EXPECT_EQ(routine->run(), 4.5L);

    // A real index far outside is refused the same way.
    Tree u;
    TNode* real = u.make(fx::LDSV, {u.var(Y)});
    real->Data.VarIndex[0] = SA;
    const auto byReal = testtree::compile(real, vars, table);
    host.y = -3e9;
    EXPECT_THROW(byReal->run(), EExcoAccessViolation);
    host.y = 1.9;
    EXPECT_EQ(byReal->run(), 2.5L);
}

TEST(CodeGenerator, RoutineWithADestinationReturnsTheStoredValue)
{
    const TArrayFuncList table = testtree::functionTable();
    Host host;
    const TVarList vars = host.table();
    float single = 0;
    int32_t integer = 0;
    long double extended = 0;
    const auto third = [&](Tree& t) { return t.product({{op::First, t.var(E)}, {op::Div, t.num(3)}}); };
    {
        Tree t;
        const auto r = testtree::compile(third(t), vars, table, TDestination{reinterpret_cast<intptr_t>(&single), vt::Single, 0});
        const long double value = r->run();
        EXPECT_EQ(value, static_cast<long double>(single));
        EXPECT_EQ(single, static_cast<float>(host.e / 3));
    }
    {
        Tree t;
        const auto r = testtree::compile(third(t), vars, table, TDestination{reinterpret_cast<intptr_t>(&extended), vt::Extended, 0});
        EXPECT_EQ(r->run(), host.e / 3);
        EXPECT_EQ(extended, host.e / 3);
    }
    {
        Tree t;
        TNode* n = t.sum({{op::First, t.var(E)}});
        n->Data.B = 0.4L;  // 3.5, rounded to nearest even: 4
        const auto r = testtree::compile(n, vars, table, TDestination{reinterpret_cast<intptr_t>(&integer), vt::Integer, 0});
        EXPECT_EQ(r->run(), 4.0L);
        EXPECT_EQ(integer, 4);
    }
}

namespace {

double gStaticValue = 0.125;

}  // namespace

TEST(CodeGenerator, VariablesAnywhereInTheAddressSpaceAreReached)
{
    const TArrayFuncList table = testtree::functionTable();
    // A page more than 4 GiB away from the code and from the heap.
    void* far = mmap(reinterpret_cast<void*>(0x300000000000), 4096, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    ASSERT_NE(far, MAP_FAILED);
    auto* farValue = static_cast<double*>(far);
    *farValue = 1000.5;
    double onStack = -3.0;
    auto onHeap = std::make_unique<long double>(0.25L);
    const TVarList vars{{"far", farValue, vt::Double},
                        {"stack", &onStack, vt::Double},
                        {"heap", onHeap.get(), vt::Extended},
                        {"static", &gStaticValue, vt::Double}};
    Tree t;
    TNode* root = t.sum({{op::First, t.var(0)}, {op::Add, t.var(1)}, {op::Add, t.var(2)}, {op::Add, t.var(3)}});
    const auto routine = testtree::compile(root, vars, table);
    const auto distance = [](const void* a, intptr_t b) {
        const intptr_t d = reinterpret_cast<intptr_t>(a) - b;
        return d < 0 ? -d : d;
    };
    EXPECT_GT(distance(farValue, routine->function.Entry), intptr_t{1} << 32);
    EXPECT_EQ(routine->run(), 1000.5L - 3.0L + 0.25L + 0.125L);
    *farValue = 1.0;
    onStack = 2.0;
    EXPECT_EQ(routine->run(), 1.0L + 2.0L + 0.25L + 0.125L);
    munmap(far, 4096);
}

TEST(CodeGenerator, RoutineRunAgainAfterAMaskedFaultReportsItsFirstFault)
{
    const TArrayFuncList table = testtree::functionTable();
    Host host;
    const TVarList vars = host.table();
    const auto zeroOverZero = [](Tree& t) {
        return t.product({{op::First, t.sum({{op::First, t.var(X)}, {op::Sub, t.var(X)}})},
                          {op::Div, t.sum({{op::First, t.var(Y)}, {op::Sub, t.var(Y)}})}});
    };
    const auto wOverZero = [](Tree& t) { return t.product({{op::First, t.var(W)}, {op::Div, t.var(Z)}}); };
    host.z = 0;
    {
        Tree t;
        const auto r = testtree::compile(t.sum({{op::First, zeroOverZero(t)}, {op::Add, wOverZero(t)}}), vars, table);
        ASSERT_TRUE(exco::MayRunTwice(static_cast<uintptr_t>(r->function.Entry)));
        EXPECT_THROW(r->run(), EExcoInvalidOp);
    }
    {
        Tree t;
        const auto r = testtree::compile(t.sum({{op::First, wOverZero(t)}, {op::Add, zeroOverZero(t)}}), vars, table);
        EXPECT_THROW(r->run(), EExcoZeroDivide);
    }
    {
        // w/0 as an array index: the division faults before the index is checked.
        Tree t;
        TNode* n = t.make(fx::LDSV, {wOverZero(t)});
        n->Data.VarIndex[0] = DA;
        const auto r = testtree::compile(n, vars, table);
        EXPECT_THROW(r->run(), EExcoZeroDivide);
        host.z = 1;
        EXPECT_EQ(r->run(), 3.25L);
    }
}

TEST(CodeGenerator, RoutinesComputeAtFullPrecisionWhateverTheHostSet)
{
    const TArrayFuncList table = testtree::functionTable();
    Host host;
    const TVarList vars = host.table();
    Tree t;
    const auto r = testtree::compile(t.product({{op::First, t.var(E)}, {op::Div, t.var(D)}}), vars, table);
    const long double expected = host.e / host.d;
    uint16_t hostWord = 0;
    asm volatile("fnstcw %0" : "=m"(hostWord));
    const uint16_t doublePrecision = 0x027F;
    asm volatile("fldcw %0" : : "m"(doublePrecision));
    const long double value = r->run();
    uint16_t after = 0;
    asm volatile("fnstcw %0" : "=m"(after));
    asm volatile("fldcw %0" : : "m"(hostWord));
    EXPECT_EQ(value, expected);
    EXPECT_EQ(after, doublePrecision);

    // A host that unmasks the x87 faults gets the value or the routine's own fault, and
    // keeps its control word.
    const uint16_t allUnmasked = 0x0360;
    long double unmaskedValue = 0;
    bool zeroDivide = false;
    asm volatile("fldcw %0" : : "m"(allUnmasked));
    unmaskedValue = r->run();
    host.d = 0;
    try {
        r->run();
    } catch (const EExcoZeroDivide&) {
        zeroDivide = true;
    }
    asm volatile("fnstcw %0" : "=m"(after));
    asm volatile("fldcw %0" : : "m"(hostWord));
    host.d = -2.25;
    EXPECT_EQ(unmaskedValue, expected);
    EXPECT_TRUE(zeroDivide);
    EXPECT_EQ(after, allUnmasked);

    // A fault flag that host arithmetic left pending does not fail the routine.
    volatile long double zero = 0;
    volatile long double nan = zero / zero;
    EXPECT_TRUE(nan != nan);
    EXPECT_EQ(r->run(), expected);

    // A routine that stores its result runs once, under the routines' control word.
    double stored = 0;
    Tree u;
    const auto withDest = testtree::compile(u.var(E), vars, table, TDestination{reinterpret_cast<intptr_t>(&stored), vt::Double, 0});
    EXPECT_FALSE(exco::MayRunTwice(static_cast<uintptr_t>(withDest->function.Entry)));
}

TEST(CodeGenerator, TheSameTreeCompilesToTheSameBytes)
{
    const TArrayFuncList table = testtree::functionTable();
    Host host;
    const TVarList vars = host.table();
    const auto build = [](Tree& t) {
        return t.sum({{op::First, t.num(3)},
                      {op::Add, t.product({{op::First, t.var(X)}, {op::Mul, t.num(0.1)}, {op::Div, t.var(E)}})}});
    };
    Tree first;
    Tree second;
    const auto a = testtree::compile(build(first), vars, table);
    const auto b = testtree::compile(build(second), vars, table);
    EXPECT_NE(a->function.Entry, b->function.Entry);
    EXPECT_TRUE(std::ranges::equal(a->function.Code, b->function.Code));
    EXPECT_TRUE(close(a->run(), 3 + host.x * static_cast<double>(0.1L) / host.e));

    // A constant alone: the contained routine's marker, one load and ret, then the
    // constant itself.
    Tree constant;
    const auto c = testtree::compile(constant.num(2.5), vars, table);
    const std::vector<uint8_t> load{0x0F, 0x1F, 0x01, 0xDD, 0x05};
    ASSERT_GE(c->function.Code.size(), 16u + 8u);
    EXPECT_TRUE(std::equal(load.begin(), load.end(), c->function.Code.begin()));
    EXPECT_EQ(c->function.Code[load.size() + 4], 0xC3);
    EXPECT_EQ(c->run(), 2.5L);
}

// A compiler keeps its code list, its generator and their buffers from one compile to
// the next. Nothing of an earlier text may reach a later one, and a routine owns its
// cells: it gives its value after its compiler has compiled others, and after the
// compiler is gone.
TEST(CodeGenerator, ACompilerThatCompiledOtherTextsGivesEachTheRoutineAFreshOneGives)
{
    Host host;
    const auto bind = [&](TExcoH& h) {
        for (const TVariable& v : host.table())
            h.SetVariable(v.Name, v.Address, v.Type);
        h.DepthLimit = 4;  // temporaries for the deeper texts
    };
    const long double x = host.x, y = host.y, z = host.z, w = host.w, d = host.d;
    // Large enough that the compiler gives back the buffers it grew for it.
    std::string longSum = "x*y";
    for (int k = 1; k < 10000; ++k)
        longSum += "+x*y";
    const struct {
        std::string text;
        long double value;
    } cases[] = {
        {"sin(x)^2+cos(x)^2+sqrt(y)*sqrt(y)", 1 + y},  // shared computations
        {"x*(y+z*(w+x*(y+z*(w+x))))+sqrt(2)", x * (y + z * (w + x * (y + z * (w + x)))) + std::sqrt(2.0L)},
        {"max(x,y,z,w)-min(d,x)+sum(da)/len(da)", y - d + (1.5L - 2.0L + 3.25L + 8.0L) / 4},
        {"if(x>y,1,if(z<w,2*j+1,3))", 5},
        {"da[j]+na[3*j-5]+sa[x*5]", 3.25L - 20 + 2.5L},
        {"(x+y)*(z+w)/(x-y)/(z-w)+2^10", (x + y) * (z + w) / (x - y) / (z - w) + 1024},
        {"exp(-x^2/2)/sqrt(2*3.14159265358979)", std::exp(-x * x / 2) / std::sqrt(2 * 3.14159265358979L)},
        {longSum, 10000 * x * y},
    };
    struct Made {
        long double value;
        TResultWords words;
        std::size_t bytes;
    };
    std::vector<Made> fresh;
    for (const auto& c : cases) {
        TExcoH h;
        bind(h);
        TFunction f;
        h.Compile(c.text, TDestination{}, f);
        ASSERT_NE(f.Entry, 0) << c.text << ": error " << h.ErrorCode;
        fresh.push_back({ExcoRunRoutine(f.Entry), h.ResultWords, f.Code.size()});
        EXPECT_NEAR(static_cast<double>(fresh.back().value), static_cast<double>(c.value),
                    1e-12 * std::max(1.0, std::fabs(static_cast<double>(c.value))))
            << c.text;
        TExcoH::FreeCode(f);
    }
    std::vector<TFunction> kept(std::size(cases));
    {
        TExcoH h;
        bind(h);
        // Every text after all the others, in both orders; the routines of the second
        // round stay.
        for (const bool keep : {false, true}) {
            for (std::size_t n = 0; n < std::size(cases); ++n) {
                const std::size_t k = keep ? n : std::size(cases) - 1 - n;
                TFunction f;
                h.Compile(cases[k].text, TDestination{}, f);
                ASSERT_NE(f.Entry, 0) << cases[k].text;
                EXPECT_EQ(ExcoRunRoutine(f.Entry), fresh[k].value) << cases[k].text;
                EXPECT_EQ(h.ResultWords, fresh[k].words) << cases[k].text;
                EXPECT_EQ(f.Code.size(), fresh[k].bytes) << cases[k].text;
                if (keep)
                    kept[k] = f;
                else
                    TExcoH::FreeCode(f);
            }
        }
    }
    for (std::size_t k = 0; k < kept.size(); ++k) {
        EXPECT_EQ(ExcoRunRoutine(kept[k].Entry), fresh[k].value) << cases[k].text;
        TExcoH::FreeCode(kept[k]);
    }
}
