// Functions of one argument that share a computation with another function of the
// same argument: the earlier node keeps a by-product (key) in a shared temporary, the
// later node (role) computes its value from it instead of from its argument.
#include "compiler/exco_compilator_state.h"
#include "compiler/exco_h.h"
#include "compiler/exco_runtime.h"

#include <algorithm>

using State = TCompiler::State;

const void* State::sharedTemp(int32_t slot)
{
    if (!emitting())
        return nullptr;
    if (sharedBase == nullptr)
        sharedBase = data.take(nullptr, kTempBytes * sharedSlots);
    const std::size_t at = std::min(static_cast<std::size_t>(std::max(slot, 0)), sharedSlots - 1);
    return sharedBase + kTempBytes * at;
}

// ST(0) into the slot, kept on the stack.
void State::saveShared(int32_t slot)
{
    bytes({0xD9, 0xC0});  // fld st(0)
    adjust(+1);
    storePop(sharedTemp(slot), vt::Extended);
}

void State::loadShared(int32_t slot) { load(sharedTemp(slot), vt::Extended); }

void State::loadPiHalf()
{
    TExcoConstants& k = ExcoConstants();
    if (tempType == vt::Single || tempType == vt::Double)
        load(&k.PiHalfDouble, vt::Double);
    else
        load(&k.PiHalf, vt::Extended);
}

// From e^x in ST(0): e^x and e^-x combined for sinh and cosh, the chain for tanh
// and cotanh.
void State::hyperbolicFromExp(int32_t funcIndex)
{
    TExcoConstants& k = ExcoConstants();
    if (funcIndex == fx::Tanh || funcIndex == fx::Cotanh) {
        tanhChain(funcIndex == fx::Cotanh);
        return;
    }
    bytes({0xD9, 0xC0});  // fld st(0)
    adjust(+1);
    arith(Arith::DivR, &k.One, vt::Double);  // e^-x
    popOp(funcIndex == fx::Sinh ? Arith::Sub : Arith::Add);
    arith(Arith::Mul, &k.Half, vt::Double);
}

// (E - 1) / (E + 1) for tanh, its reciprocal for cotanh, E = (e^x)^2.
void State::tanhChain(bool cotangent)
{
    bytes({0xD8, 0xC8,    // fmul st(0),st(0): E
           0xD9, 0xC0,    // fld st(0)
           0xD9, 0xE8,    // fld1
           0xDE, 0xE9,    // fsubp st(1),st(0): E - 1, E
           0xD9, 0xE8,    // fld1
           0xD8, 0xC2});  // fadd st(0),st(2): E + 1, E - 1, E
    adjust(+2);
    adjust(-1);
    adjust(+1);
    bytes({0xDE, static_cast<uint8_t>(cotangent ? 0xF1 : 0xF9)});  // fdivrp / fdivp st(1),st(0)
    adjust(-1);
    bytes({0xDD, 0xD9});  // fstp st(1)
    adjust(-1);
}

// The dedicated generators of the one-argument built-ins, for a node with a role 2
// or 3, a key 2 or 3, or two keys. The argument, if any, is in ST(0).
void State::sharedFunction(int32_t i)
{
    const TFunc& n = node(i);
    const int32_t f = n.FuncIndex;
    TExcoConstants& k = ExcoConstants();
    const intptr_t exponential = ExcoRuntimeRoutine(fx::Exp);

    int32_t byproduct = -1;  // slot of key 2 or 3
    int32_t own = -1;        // slot of key 1
    for (const TSharedKey& key : n.SharedKeys) {
        if (key.Key == 1)
            own = key.Temp;
        else
            byproduct = key.Temp;
    }
    const auto saveOwn = [&] {
        if (own >= 0)
            saveShared(own);
    };

    if (n.Role == 2 || n.Role == 3) {
        loadShared(n.SharedTemp);
        // The value taken is the by-product a still later node wants (the tangent,
        // the arctangent, e^x): it is passed on as it is.
        if (byproduct >= 0)
            saveShared(byproduct);
        switch (f) {
        case fx::Cotan:  // 1 / tangent
            bytes({0xD9, 0xE8});
            adjust(+1);
            bytes({0xD9, 0xC9});
            popOp(Arith::Div);
            break;
        case fx::ArcSin:
        case fx::ArcCos:
        case fx::ArcCotan:  // pi/2 - the other angle
            loadPiHalf();
            popOp(Arith::SubR);
            break;
        case fx::Sinh:
        case fx::Cosh:
        case fx::Tanh:
        case fx::Cotanh:
            if (n.Role == 3)
                hyperbolicFromExp(f);
            else
                arith(Arith::DivR, &k.One, vt::Double);  // reciprocal of the partner
            break;
        default: throw std::logic_error("no shared computation for this function");
        }
        saveOwn();
        return;
    }

    if (byproduct < 0) {
        // Two keys 1 cannot occur; plain code with its own value kept.
        genericCode(i, table[static_cast<std::size_t>(f)]);
        saveOwn();
        return;
    }
    switch (f) {
    case fx::Sin:
    case fx::Cos:
        bytes({0xD9, 0xFB});  // fsincos: cosine over sine
        adjust(+1);
        if (f == fx::Cos)
            fxch();
        storePop(sharedTemp(byproduct), vt::Extended);
        saveOwn();
        return;
    case fx::Cotan:
        bytes({0xD9, 0xF2});  // fptan: 1 over the tangent
        adjust(+1);
        fxch();
        saveShared(byproduct);
        fxch();
        popOp(Arith::DivR);
        saveOwn();
        return;
    case fx::ArcCotan:
        bytes({0xD9, 0xE8, 0xD9, 0xF3});  // fld1; fpatan
        adjust(+1);
        adjust(-1);
        saveShared(byproduct);
        loadPiHalf();
        popOp(Arith::SubR);
        saveOwn();
        return;
    case fx::Sinh:
    case fx::Cosh:
    case fx::Tanh:
    case fx::Cotanh:
        adjust(+2);
        adjust(-2);
        tracking = false;
        callRoutine(exponential, 1);
        tracking = true;
        saveShared(byproduct);
        hyperbolicFromExp(f);
        saveOwn();
        return;
    default: throw std::logic_error("no shared computation for this function");
    }
}
