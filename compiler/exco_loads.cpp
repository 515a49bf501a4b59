// Operand loads, fused linear forms, sums, products, array elements and the calls of
// built-in functions.
#include "compiler/exco_compilator_state.h"
#include "compiler/exco_runtime.h"
#include "compiler/native_call.h"

#include <algorithm>
#include <array>
#include <bit>
#include <utility>

using State = TCompiler::State;

namespace {

constexpr int kEax = 0, kEbx = 3;  // register fields of the x86 encoding

// x87 register forms: ST(k) is added to the second byte.
using RegisterForm = std::array<uint8_t, 2>;
constexpr RegisterForm kFxch{0xD9, 0xC8};
constexpr RegisterForm kFaddp{0xDE, 0xC0};     // faddp st(k), st
constexpr RegisterForm kFmulp{0xDE, 0xC8};     // fmulp st(k), st
constexpr RegisterForm kFcomi{0xDB, 0xF0};     // fcomi st, st(k)
constexpr RegisterForm kFcmovb{0xDA, 0xC0};    // fcmovb st, st(k)
constexpr RegisterForm kFcmovbe{0xDA, 0xD0};   // fcmovbe st, st(k)
constexpr RegisterForm kFcmovnb{0xDB, 0xC0};   // fcmovnb st, st(k)
constexpr RegisterForm kFcmovnbe{0xDB, 0xD0};  // fcmovnbe st, st(k)
constexpr RegisterForm kFstp{0xDD, 0xD8};      // fstp st(k)

// Lists up to the size of the x87 stack are combined inline: all their values may
// stand in registers at once. A longer list gains little more from inline code than
// it costs in code size.
constexpr std::size_t kInlineListLimit = 8;

}  // namespace

// Where the values of a list stand in the x87 registers while inline code combines
// them, from the deepest register up: each holds the list position of its value,
// kRunning for the running result, or kSpent for a value no longer needed.
class ListRegisters {
 public:
    static constexpr int32_t kRunning = -1;
    static constexpr int32_t kSpent = -2;

    std::size_t count() const { return count_; }
    void push(int32_t value) { held_[count_++] = value; }
    void pop() { --count_; }
    // k of the register ST(k) that holds value (a list position or kRunning).
    uint8_t registerOf(int32_t value) const
    {
        for (std::size_t k = 0; k < count_; ++k)
            if (held_[k] == value)
                return static_cast<uint8_t>(count_ - 1 - k);
        throw std::logic_error("list value in no x87 register");
    }
    void rename(int32_t from, int32_t to) { held_[count_ - 1 - registerOf(from)] = to; }
    void exchangeWithTop(uint8_t k) { std::swap(held_[count_ - 1], held_[count_ - 1 - k]); }

 private:
    std::array<int32_t, kInlineListLimit + 1> held_{};
    std::size_t count_ = 0;
};

// a*v + b of a real variable; a = 0 (or no variable) loads b alone.
void State::linearForm(Extended a, Extended b, const void* variable)
{
    if (a == 0 || variable == nullptr) {
        loadConst(b);
        return;
    }
    load(variable, varType(variable));
    if (a != 1 && a != -1)
        mulConst(a);
    if (b == 0) {
        if (a == -1)
            fchs();
    } else if (a == -1) {
        constArith(Arith::SubR, b);  // b - v without fchs
    } else {
        addConst(b);
    }
}

// a*v + b of an Integer variable, computed in eax (edx is overwritten by imul).
void State::integerFormToEax(const void* variable, int32_t a, int32_t b)
{
    markUsed(1);
    if (variable == nullptr || a == 0) {
        bytes({0xB8});
        imm32(static_cast<uint32_t>(b));
        return;
    }
    mem({0x8B}, kEax, variable);
    if (a == -1) {
        bytes({0xF7, 0xD8});
    } else if (a != 1) {
        mem({0xF7}, 5, intCell(a));
        markUsed(4);
    }
    if (b != 0)
        mem({0x03}, kEax, intCell(b));
}

// Sum of whole multiples of Integer variables plus a whole constant, in eax.
void State::integerCombinationToEax(const TArrayP& vars, const TArrayI& coefs)
{
    const std::size_t n = vars.empty() ? 0 : vars.size() - 1;
    const auto coef = [&](std::size_t k) { return k < coefs.size() ? coefs[k] : 0; };
    if (n == 0) {
        integerFormToEax(nullptr, 0, coef(1));
        return;
    }
    integerFormToEax(vars[1], coef(1), 0);
    for (std::size_t k = 2; k <= n; ++k) {
        const int32_t c = coef(k);
        if (c == 1) {
            mem({0x03}, kEax, vars[k]);
        } else if (c == -1) {
            mem({0x2B}, kEax, vars[k]);
        } else if (c != 0) {
            mem({0x8B}, kEbx, vars[k]);
            markUsed(2);
            mem({0x0F, 0xAF}, kEbx, intCell(c));
            bytes({0x01, 0xD8});
        }
    }
    const int32_t constant = coef(n + 1);
    if (constant != 0)
        mem({0x03}, kEax, intCell(constant));
}

void State::eaxToX87()
{
    const void* cell = scratchCell();
    mem({0x89}, kEax, cell);
    load(cell, vt::Integer);
}

// ST(0) truncated toward zero into eax (or, wide, all of rax), popped.
void State::truncateToEax(bool wide)
{
    const void* cell = scratchCell();
    mem({static_cast<uint8_t>(wide ? 0xDD : 0xDB)}, 1, cell);  // fisttp qword / dword
    adjust(-1);
    loadR11(cell);
    if (wide)
        bytes({0x49, 0x8B, 0x03});  // mov rax, [r11]
    else
        bytes({0x41, 0x8B, 0x03});  // mov eax, [r11]
    markUsed(1);
}

// (i*x)*a1 + b1 for an Integer variable i and a real variable x.
void State::scaledProductForm(const TFunc& n)
{
    const void* integer = n.Var3 != nullptr ? n.Var3 : n.Var2;
    load(integer, vt::Integer);
    arith(Arith::Mul, n.Var1, varType(n.Var1));
    if (n.a1 == -1)
        fchs();
    else
        mulConst(n.a1);
    addConst(n.b1);
}

// b + sum of c_k * x_k over real variables; coefs[1..n] and the constant last.
void State::realCombination(const TArrayP& vars, const std::vector<Extended>& coefs)
{
    const std::size_t n = vars.empty() ? 0 : vars.size() - 1;
    const auto coef = [&](std::size_t k) { return k < coefs.size() ? coefs[k] : Extended(0); };
    const Extended b = coef(n + 1);
    if (n == 0) {
        loadConst(b);
        return;
    }
    load(vars[1], varType(vars[1]));
    const Extended c1 = coef(1);
    if (b == 0) {
        mulConst(c1);
    } else if (c1 == -1) {
        constArith(Arith::SubR, b);
    } else {
        mulConst(c1);
        addConst(b);
    }
    for (std::size_t k = 2; k <= n; ++k) {
        const Extended c = coef(k);
        if (c == -1) {
            arith(Arith::Sub, vars[k], varType(vars[k]));
        } else if (c == 1) {
            arith(Arith::Add, vars[k], varType(vars[k]));
        } else {
            load(vars[k], varType(vars[k]));
            mulConst(c);
            popOp(Arith::Add);
        }
    }
}

// b + sum of c_k * i_k over Integer variables with real coefficients.
void State::integerRealCombination(const TArrayP& vars, const std::vector<Extended>& coefs)
{
    const std::size_t n = vars.empty() ? 0 : vars.size() - 1;
    const auto coef = [&](std::size_t k) { return k < coefs.size() ? coefs[k] : Extended(0); };
    if (n == 0) {
        loadConst(coef(1));
        return;
    }
    for (std::size_t k = 1; k <= n; ++k) {
        load(vars[k], vt::Integer);
        mulConst(coef(k));
        if (k > 1)
            popOp(Arith::Add);
    }
    addConst(coef(n + 1));
}

// a1 * (x1 * x2 * ... * xn) + b1 over real variables.
void State::productForm(const TFunc& n)
{
    const std::size_t count = n.FormVars.empty() ? 0 : n.FormVars.size() - 1;
    if (count == 0) {
        loadConst(n.b1);
        return;
    }
    load(n.FormVars[1], varType(n.FormVars[1]));
    for (std::size_t k = 2; k <= count; ++k)
        arith(Arith::Mul, n.FormVars[k], varType(n.FormVars[k]));
    mulConst(n.a1);
    addConst(n.b1);
}

// A sum: the terms that reached the stack joined as they finished; now the stored
// terms, the node's own term A*v or inline combination, and its constant B.
void State::sum(int32_t i)
{
    const TFunc& n = node(i);
    const std::size_t at = static_cast<std::size_t>(i);
    for (const int32_t child : children[at])
        if (!onStack[static_cast<std::size_t>(child)])
            joinMemory(i, levelTemp(node(child).Level), vt::Extended, isNegativeTerm(child));
    if (n.OperandKind == 3) {
        realCombination(n.FormVars, n.FormCoefs);
        joinTop(i, false);
    } else if (n.OperandKind == 0 && n.Var1 != nullptr && n.A != 0) {
        const int32_t type = varType(n.Var1);
        if ((n.A == 1 || n.A == -1) && (type == vt::Single || type == vt::Double)) {
            joinMemory(i, n.Var1, type, n.A == -1);
        } else {
            load(n.Var1, type);
            mulConst(n.A);
            joinTop(i, false);
        }
    }
    if (started[at]) {
        addConst(n.B);
    } else {
        loadConst(n.B);
        started[at] = 1;
    }
}

// A product: A * (product and quotient of the terms) + B.
void State::product(int32_t i)
{
    const TFunc& n = node(i);
    const std::size_t at = static_cast<std::size_t>(i);
    for (const int32_t child : children[at])
        if (!onStack[static_cast<std::size_t>(child)])
            joinMemory(i, levelTemp(node(child).Level), vt::Extended, isDivisor(child));
    for (const TScaledVar& factor : n.ScaledVars) {
        if (factor.B == 0) {
            joinMemory(i, factor.Address, varType(factor.Address), false);
            mulConst(factor.A);
        } else {
            linearForm(factor.A, factor.B, factor.Address);
            joinTop(i, false);
        }
    }
    if (n.OperandKind == 3) {
        realCombination(n.FormVars, n.FormCoefs);
        joinTop(i, false);
    } else if (n.OperandKind == 4) {
        productForm(n);
        joinTop(i, false);
    }
    if (!started[at]) {
        loadConst(n.A);
        started[at] = 1;
    } else if (inverted[at]) {
        if (n.A == 1) {
            bytes({0xD9, 0xE8});
            adjust(+1);
            popOp(Arith::DivR);
        } else {
            constArith(Arith::DivR, n.A);
        }
        inverted[at] = 0;
    } else {
        mulConst(n.A);
    }
    addConst(n.B);
}

// Element of an array variable. The index goes to rax; an index outside the array,
// or an empty array, fails the routine with an access violation instead of reading.
void State::arrayElement(int32_t i)
{
    const TFunc& n = node(i);
    switch (n.OperandKind) {
    case 1:
        markUsed(1);
        bytes({0xB8});
        imm32(static_cast<uint32_t>(n.IntAddend));
        break;
    case 2:
        markUsed(1);
        mem({0x8B}, kEax, n.Var3);
        break;
    case 3: integerFormToEax(n.Var3, n.IntCoef, n.IntAddend); break;
    case 4: integerCombinationToEax(n.IntFormVars, n.IntFormCoefs); break;
    case 5: load(n.Var3, vt::Integer); return;
    default: {
        const std::span<const int32_t> operands = children[static_cast<std::size_t>(i)];
        if (operands.empty())
            throw std::logic_error("array element without an index");
        loadOperandIfStored(operands.front());
        truncateToEax(true);
        break;
    }
    }
    markUsed(1);
    markUsed(2);
    markUsed(8);
    hasCalls = true;
    foreignCall = true;  // an index out of range raises its fault through the host
    bytes({0x48, 0xBB});
    imm64(reinterpret_cast<uint64_t>(n.Var1));  // movabs rbx, array reference
    bytes({0x48, 0x8B, 0x1B,                    // mov rbx, [rbx]: element 0
           0x48, 0x85, 0xDB,                    // test rbx, rbx
           0x74, 0x09,                          // jz fault
           0x44, 0x8B, 0x53, 0xFC,              // mov r10d, [rbx-4]: count
           0x4C, 0x39, 0xD0,                    // cmp rax, r10
           0x72, 0x11,                          // jb element
           0xBF});                              // fault: mov edi, kind
    imm32(static_cast<uint32_t>(exco::FaultKind::AccessViolation));
    bytes({0x48, 0xB8});
    imm64(reinterpret_cast<uint64_t>(&ExcoRaiseFault));
    bytes({0xFF, 0xD0});  // call rax (does not return)
    switch (varType(n.Var1)) {
    case vt::DoubleArray: bytes({0xDD, 0x04, 0xC3}); break;
    case vt::ExtendedArray: bytes({0x48, 0x8D, 0x04, 0x80, 0xDB, 0x2C, 0x43}); break;
    case vt::SingleArray: bytes({0xD9, 0x04, 0x83}); break;
    default: bytes({0xDB, 0x04, 0x83}); break;
    }
    adjust(+1);
}

// ---------------------------------------------------------------------------------
// Built-in functions of classes 1 to 5

void State::pushRealArgument(int32_t i, int32_t kind)
{
    const TFunc& n = node(i);
    switch (kind) {
    case 2: linearForm(n.a1, n.b1, n.Var1); break;
    case 3: realCombination(n.FormVars, n.FormCoefs); break;
    case 4: productForm(n); break;
    case 5: scaledProductForm(n); break;
    default: {
        const std::span<const int32_t> operands = children[static_cast<std::size_t>(i)];
        if (operands.empty())
            throw std::logic_error("function without its argument");
        loadOperandIfStored(operands.front());
        break;
    }
    }
}

void State::integerArgumentToEax(int32_t i, int32_t kind)
{
    const TFunc& n = node(i);
    switch (kind) {
    case 2: integerFormToEax(n.Var3, n.IntCoef, n.IntAddend); break;
    case 3: integerCombinationToEax(n.IntFormVars, n.IntFormCoefs); break;
    default:
        pushRealArgument(i, 1);
        truncateToEax(false);
        break;
    }
}

void State::callRoutine(intptr_t routine, int32_t reg)
{
    // movabs reg, routine; call reg (rax, rbx or rcx)
    const uint8_t field = reg == 2 ? 3 : reg == 3 ? 1 : 0;
    bytes({0x48, static_cast<uint8_t>(0xB8 + field)});
    imm64(static_cast<uint64_t>(routine));
    bytes({0xFF, static_cast<uint8_t>(0xD0 + field)});
    markUsed(reg);
    hasCalls = true;
    foreignCall = foreignCall || !ExcoRoutineIsContained(routine);
}

void State::placeArguments(int32_t i, int32_t cls)
{
    const TFunc& n = node(i);
    const int32_t kind = n.OperandKind == 0 ? 1 : n.OperandKind;
    const std::span<const int32_t> operands = children[static_cast<std::size_t>(i)];
    switch (cls) {
    case fc::IntArg: integerArgumentToEax(i, kind); break;
    case fc::RealArg: pushRealArgument(i, kind); break;
    case fc::RealIntArg:
        if (kind == 1 && operands.size() >= 2) {
            // Both computed before: the real first, the Integer (a whole value) second.
            const int32_t real = operands[0];
            const int32_t integer = operands[1];
            const bool realStored = !onStack[static_cast<std::size_t>(real)];
            loadOperandIfStored(integer);
            truncateToEax(false);
            if (realStored)
                load(levelTemp(node(real).Level), vt::Extended);
            break;
        }
        pushRealArgument(i, kind);
        if (n.IntFormKind == 6)
            integerCombinationToEax(n.IntFormVars, n.IntFormCoefs);
        else
            integerFormToEax(n.Var3, n.IntCoef, n.IntAddend);
        break;
    case fc::TwoReals: {
        const auto computedFirst = [&] {
            if (operands.empty())
                throw std::logic_error("function without its arguments");
            loadOperandIfStored(operands.front());
        };
        switch (kind) {
        case 2: computedFirst(); linearForm(n.a1, n.b1, n.Var1); break;
        case 3: computedFirst(); realCombination(n.FormVars, n.FormCoefs); break;
        case 4: computedFirst(); productForm(n); break;
        case 5:
            computedFirst();
            linearForm(n.a2, n.b2, n.Var2);
            fxch();
            break;
        case 6: linearForm(n.a2, n.b2, n.Var2); linearForm(n.a1, n.b1, n.Var1); break;
        case 7: linearForm(n.a2, n.b2, n.Var2); realCombination(n.FormVars, n.FormCoefs); break;
        case 8: linearForm(n.a2, n.b2, n.Var2); productForm(n); break;
        case 10: realCombination(n.FormVars, n.FormCoefs); linearForm(n.a2, n.b2, n.Var2); break;
        default: {
            if (operands.size() < 2)
                throw std::logic_error("function without its two arguments");
            const int32_t first = operands[0];
            const int32_t second = operands[1];
            const bool firstOnStack = onStack[static_cast<std::size_t>(first)] != 0;
            const bool secondOnStack = onStack[static_cast<std::size_t>(second)] != 0;
            if (!firstOnStack && secondOnStack) {
                load(levelTemp(node(first).Level), vt::Extended);
                fxch();
            } else if (firstOnStack && !secondOnStack) {
                load(levelTemp(node(second).Level), vt::Extended);
            } else if (!firstOnStack && !secondOnStack) {
                load(levelTemp(node(first).Level), vt::Extended);
                load(levelTemp(node(second).Level), vt::Extended);
            }
            if (n.Swapped != 0)
                fxch();
            break;
        }
        }
        break;
    }
    case fc::Vector: {
        markUsed(1);
        loadR11(n.Var3 != nullptr ? n.Var3 : n.Var1);
        bytes({0x49, 0x8B, 0x03});  // mov rax, [r11]: address of element 0
        break;
    }
    default: break;
    }
}

// The entry's template or routine call; the depth counts the routine's peak and then
// one result in place of the x87 arguments.
void State::genericCode(int32_t i, const TFuncList& entry)
{
    if (node(i).FuncIndex == fx::Sign && entry.Routine == ExcoRuntimeRoutine(fx::Sign)) {
        inlineSign();
        return;
    }
    const int32_t cls = entry.Class;
    int32_t extra = entry.ExtraDepth;
    if (extra < 0) {
        overflow = true;
        extra = 0;
    }
    adjust(extra);
    switch (cls) {
    case fc::IntArg:
    case fc::Vector: adjust(-(extra - 1)); break;
    case fc::TwoReals: adjust(-(extra + 1)); break;
    default: adjust(-extra); break;
    }
    tracking = false;
    if (cls == fc::Vector) {
        vectorCall(i);
    } else if (entry.Inline == 1 && !entry.Template.empty()) {
        if (emitting())
            code.insert(code.end(), entry.Template.begin(), entry.Template.end());
        if (entry.Routine != 0) {
            hasCalls = true;  // the template falls back to its routine (fact)
            foreignCall = foreignCall || !ExcoRoutineIsContained(entry.Routine);
        }
        foreignTemplate = foreignTemplate || !entry.ContainedTemplate;
    } else if (entry.Routine != 0) {
        callRoutine(entry.Routine, cls == fc::IntArg || cls == fc::RealIntArg ? 2 : 1);
    } else {
        tracking = true;
        throw std::logic_error("function without code: " + (entry.Names.size() > 1 ? entry.Names[1] : ""));
    }
    tracking = true;
    for (uint32_t mask = static_cast<uint32_t>(entry.RegisterMask) & 0xFFu; mask != 0; mask &= mask - 1)
        markUsed(std::countr_zero(mask) + 1);
}

// The routine of a vector function is the one for the array's element type.
void State::vectorCall(int32_t i)
{
    const TFunc& n = node(i);
    const void* array = n.Var3 != nullptr ? n.Var3 : n.Var1;
    const intptr_t routine = ExcoVectorRoutine(n.FuncIndex, varType(array));
    if (routine == 0)
        throw std::logic_error("vector function of something that is not an array");
    callRoutine(routine, 3);
}

// A list function: every argument goes into the node's block of consecutive 10-byte
// slots (those still on the x87 stack popped from the last back), then the routine
// gets the block in rdi and the count in esi. A short list of the built-in routine is
// computed in place instead (inlineList).
void State::listCall(int32_t i)
{
    const TFunc& n = node(i);
    const TFuncList& entry = table[static_cast<std::size_t>(n.FuncIndex)];
    const std::span<const int32_t> operands = children[static_cast<std::size_t>(i)];
    if (operands.empty())
        throw std::logic_error("list function without arguments");
    if (operands.size() <= kInlineListLimit && entry.Routine != 0 && entry.Routine == ExcoRuntimeRoutine(n.FuncIndex)) {
        const ListDepths depths = listDepths(i);
        if (depths.inlined <= depths.call) {
            inlineList(i, depths.call);
            return;
        }
    }
    const void* block = dataBlock(State::kTempBytes * operands.size());
    const auto slot = [&](std::size_t k) {
        return block == nullptr ? nullptr : static_cast<const uint8_t*>(block) + State::kTempBytes * k;
    };
    for (std::size_t k = operands.size(); k-- > 0;) {
        const int32_t child = operands[k];
        if (!onStack[static_cast<std::size_t>(child)])
            load(levelTemp(node(child).Level), vt::Extended);
        storePop(slot(k), vt::Extended);
    }
    loadR11(block);
    bytes({0x4C, 0x89, 0xDF});  // mov rdi, r11
    bytes({0xBE});              // mov esi, count
    imm32(static_cast<uint32_t>(operands.size()));
    const int32_t extra = std::max(entry.ExtraDepth, 0);
    adjust(extra);
    adjust(-(extra - 1));
    tracking = false;
    if (entry.Routine == 0) {
        tracking = true;
        throw std::logic_error("list function without a routine");
    }
    callRoutine(entry.Routine, 1);
    tracking = true;
    for (const int32_t reg : {1, 3, 4, 7, 8})
        markUsed(reg);
}

// How deep the x87 stack goes during the list of node i, counted from below those of
// its values that are on the stack: for the routine's call, whose block takes a value
// kept in a temporary by loading it above the values before it, and for inline code.
State::ListDepths State::listDepths(int32_t i) const
{
    const std::span<const int32_t> operands = children[static_cast<std::size_t>(i)];
    const auto kept = [&](std::size_t k) { return onStack[static_cast<std::size_t>(operands[k])] == 0; };
    int32_t onTheStack = 0;
    ListDepths depths{2, 0};  // the routine's two registers
    for (std::size_t k = 0; k < operands.size(); ++k) {
        if (kept(k))
            depths.call = std::max(depths.call, onTheStack + 1);
        else
            ++onTheStack;
    }
    depths.call = std::max(depths.call, onTheStack);
    // Inline, a kept first value is loaded as the running value, and a later kept value
    // one register above: for a maximum or minimum above every value on the stack (the
    // ones compared stay until the end), for a sum or product above the running value
    // and the values after it.
    const int32_t running = onTheStack + (kept(0) ? 1 : 0);
    depths.inlined = running;
    const int32_t f = node(i).FuncIndex;
    int32_t after = 0;
    for (std::size_t k = operands.size(); k-- > 1;) {
        if (!kept(k)) {
            ++after;
        } else if (f == fx::MaxD || f == fx::MinD) {
            depths.inlined = running + 1;
        } else {
            depths.inlined = std::max(depths.inlined, after + 2);
        }
    }
    return depths;
}

// The list of node i combined in the x87 registers, to the bit what its routine gives.
// The depth passes see the depth of the routine's call (callDepth, never below the
// inline code's own), so that they take the decisions they took for the call.
void State::inlineList(int32_t i, int32_t callDepth)
{
    const int32_t f = node(i).FuncIndex;
    const std::span<const int32_t> operands = children[static_cast<std::size_t>(i)];
    ListRegisters regs;
    for (std::size_t k = 0; k < operands.size(); ++k)
        if (onStack[static_cast<std::size_t>(operands[k])])
            regs.push(static_cast<int32_t>(k));
    const int32_t raise = callDepth - static_cast<int32_t>(regs.count());
    adjust(raise);
    adjust(-raise);
    if (f == fx::MaxD || f == fx::MinD)
        inlineExtreme(operands, regs, f == fx::MaxD);
    else
        inlineFold(operands, regs, f);
}

void State::registerForm(const std::array<uint8_t, 2>& form, uint8_t k)
{
    bytes({form[0], static_cast<uint8_t>(form[1] + k)});
}

// List value k to ST(0): by fxch from its register, or loaded from its temporary.
void State::listValueToTop(ListRegisters& regs, std::span<const int32_t> operands, std::size_t k)
{
    const int32_t child = operands[k];
    const int32_t value = static_cast<int32_t>(k);
    if (!onStack[static_cast<std::size_t>(child)]) {
        load(levelTemp(node(child).Level), vt::Extended);
        regs.push(value);
        return;
    }
    const uint8_t at = regs.registerOf(value);
    if (at != 0) {
        registerForm(kFxch, at);
        regs.exchangeWithTop(at);
    }
}

// Sum, sum of squares, average, norm and product. The routine starts from 0 (1 for the
// product) and adds each value in list order, the running value being the first
// operand. Here the running value starts as the first value: 1 * v is v, 0 + v^2 is
// v^2, and 0 + v is v except for v = -0. A sum therefore adds +0 to its last value
// before adding it: that turns a result of -0 (every value -0) into the routine's +0,
// changes no other result, and is off the chain of additions.
void State::inlineFold(std::span<const int32_t> operands, ListRegisters& regs, int32_t f)
{
    const bool squares = f == fx::SumQD || f == fx::NormD;
    const bool sum = f == fx::SumD || f == fx::AvrD;
    const std::size_t last = operands.size() - 1;
    for (std::size_t k = 0; k <= last; ++k) {
        const int32_t value = static_cast<int32_t>(k);
        const bool changed = squares || (sum && k == last);
        if (k == 0 && !changed && onStack[static_cast<std::size_t>(operands[0])]) {
            regs.rename(value, ListRegisters::kRunning);  // stays in its register
            continue;
        }
        listValueToTop(regs, operands, k);
        if (squares)
            bytes({0xD8, 0xC8});  // fmul st, st
        if (sum && k == last) {
            const double zero = 0;
            arith(Arith::Add, constCell(&zero, sizeof zero), vt::Double);
        }
        if (k == 0) {
            regs.rename(value, ListRegisters::kRunning);
            continue;
        }
        registerForm(f == fx::ProdD ? kFmulp : kFaddp, regs.registerOf(ListRegisters::kRunning));
        regs.pop();
        adjust(-1);
    }
    if (f == fx::AvrD)
        constArith(Arith::Div, static_cast<Extended>(operands.size()));
    else if (f == fx::NormD)
        bytes({0xD9, 0xFA});  // fsqrt
}

// Maximum and minimum: from the first value, each later one in list order replaces the
// running value only when strictly greater (smaller), by fcomi as in the routine (a
// NaN raises the invalid operation). The running value stays in ST(0) and takes a
// value from its register by fcmov, compared the other way round from the routine
// (running value against the value), which gives the routine's decision for every
// pair of numbers; a pair with a NaN fails the routine at that fcomi whatever is kept
// (a first run with the exceptions masked runs again unmasked). A value loaded from
// its temporary comes above the running value and is compared the routine's way.
// The values compared stay in their registers until the end.
void State::inlineExtreme(std::span<const int32_t> operands, ListRegisters& regs, bool largest)
{
    listValueToTop(regs, operands, 0);
    regs.rename(0, ListRegisters::kRunning);
    for (std::size_t k = 1; k < operands.size(); ++k) {
        const int32_t value = static_cast<int32_t>(k);
        if (onStack[static_cast<std::size_t>(operands[k])]) {
            const uint8_t at = regs.registerOf(value);
            registerForm(kFcomi, at);
            registerForm(largest ? kFcmovb : kFcmovnbe, at);
            regs.rename(value, ListRegisters::kSpent);
            continue;
        }
        listValueToTop(regs, operands, k);
        registerForm(kFcomi, 1);
        registerForm(largest ? kFcmovbe : kFcmovnb, 1);  // the running value, when kept
        registerForm(kFstp, 1);
        regs.pop();
        adjust(-1);
    }
    const std::size_t spent = regs.count() - 1;
    if (spent == 0)
        return;
    registerForm(kFstp, static_cast<uint8_t>(spent));
    for (std::size_t k = 1; k < spent; ++k)
        registerForm(kFstp, 0);
    adjust(-static_cast<int32_t>(spent));
}

// sign inline: the routine's own instructions (ftst, so that a NaN raises the invalid
// operation, and either zero gives 0), with ax kept as the routine keeps it.
void State::inlineSign()
{
    bytes({0x50,         // push rax
           0xD9, 0xE4,   // ftst
           0xDF, 0xE0,   // fnstsw ax
           0xDD, 0xD8,   // fstp st(0)
           0x9E,         // sahf
           0x58,         // pop rax
           0x74, 0x08,   // je zero (a zero, or a NaN)
           0xD9, 0xE8,   // fld1
           0x73, 0x06,   // jae done
           0xD9, 0xE0,   // fchs
           0xEB, 0x02,   // jmp done
           0xD9, 0xEE}); // zero: fldz
}

void State::function(int32_t i)
{
    const TFunc& n = node(i);
    const TFuncList& entry = table[static_cast<std::size_t>(n.FuncIndex)];
    const int32_t cls = entry.Class;
    const std::vector<TSharedKey>& keys = n.SharedKeys;
    const bool ownKeyOnly = keys.size() == 1 && keys.front().Key == 1;
    if (n.Role == 1) {
        // The value an earlier node of the same argument kept; no argument code ran.
        // Kept again for a still later node when this one holds a key 1.
        loadShared(n.SharedTemp);
        for (const TSharedKey& key : keys)
            if (key.Key == 1)
                saveShared(key.Temp);
    } else if (n.Role == 0 && (keys.empty() || ownKeyOnly)) {
        placeArguments(i, cls);
        genericCode(i, entry);
        if (ownKeyOnly)
            saveShared(keys.front().Temp);
    } else {
        if (n.Role == 0)
            placeArguments(i, cls);
        sharedFunction(i);
    }
}
