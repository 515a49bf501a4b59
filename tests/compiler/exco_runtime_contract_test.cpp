// The runtime routines called the way generated code calls them, from a small routine
// written here: every other register holds a known value, the x87 stack is filled so
// that only the registers of the arguments and the table entry's extra depth are
// free, and afterwards each register is compared. A routine that changes a register
// its entry does not list, or needs one x87 register more than its entry says (an x87
// stack overflow, the invalid operation), fails.
#include "compiler/exco_h.h"
#include "compiler/exco_runtime.h"
#include "compiler/exec_arena.h"
#include "compiler/native_call.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <cmath>
#include <string>
#include <vector>

namespace {

enum class Args { OneReal, TwoReals, RealAndInteger, Integer, Array, List };

// x86-64 register numbers.
constexpr int kRax = 0, kRcx = 1, kRdx = 2, kRbx = 3, kRbp = 5, kRsi = 6, kRdi = 7, kR11 = 11;
constexpr std::array<int, 14> kChecked = {0, 1, 2, 3, 5, 6, 7, 8, 9, 10, 12, 13, 14, 15};

uint64_t sentinel(int reg) { return 0x5A5A000000000000ull + 0x0101010101ull * static_cast<uint64_t>(reg + 1); }

class Stub {
 public:
    void bytes(std::initializer_list<uint8_t> b) { code_.insert(code_.end(), b); }
    void imm32(uint32_t v)
    {
        for (int k = 0; k < 4; ++k)
            code_.push_back(static_cast<uint8_t>(v >> (8 * k)));
    }
    void movabs(int reg, uint64_t value)
    {
        bytes({static_cast<uint8_t>(0x48 | (reg >= 8 ? 1 : 0)), static_cast<uint8_t>(0xB8 + (reg & 7))});
        for (int k = 0; k < 8; ++k)
            code_.push_back(static_cast<uint8_t>(value >> (8 * k)));
    }
    void movabs(int reg, const void* address) { movabs(reg, reinterpret_cast<uint64_t>(address)); }
    void store(int reg, int slot)  // mov [r11 + 8 slot], reg
    {
        bytes({static_cast<uint8_t>(0x49 | (reg >= 8 ? 4 : 0)), 0x89,
               static_cast<uint8_t>(0x40 | ((reg & 7) << 3) | 3), static_cast<uint8_t>(8 * slot)});
    }
    void fldTbyte(const void* cell) { movabs(kR11, cell), bytes({0x41, 0xDB, 0x2B}); }
    void fstpTbyte(const void* cell) { movabs(kR11, cell), bytes({0x41, 0xDB, 0x3B}); }
    const std::vector<uint8_t>& code() const { return code_; }

 private:
    std::vector<uint8_t> code_;
};

struct Call {
    const char* name;
    int32_t entry;      // function-table entry: register mask and extra depth
    intptr_t routine;
    Args args;
    std::vector<Extended> reals;  // ST(0) first
    int32_t integer = 0;
    Extended expected = 0;
};

struct Outcome {
    Extended value = 0;
    std::array<uint64_t, 16> registers{};
};

class RuntimeContract : public ::testing::Test {
 protected:
    TExcoH h;
    THostArray<double> doubles{3, -1, 4, 1, 5};
    THostArray<float> singles{3, -1, 4, 1, 5};
    THostArray<PackedExtended> extendeds{3, -1, 4, 1, 5};
    THostArray<int32_t> integers{3, -1, 4, 1, 5};
    std::array<PackedExtended, 5> block{3, -1, 4, 1, 5};

    Outcome run(const Call& c, const void* array, int32_t listCount = 5)
    {
        const TFuncList& entry = h.FuncTable[static_cast<std::size_t>(c.entry)];
        const int realArgs = static_cast<int>(c.reals.size());
        const int fillers = 8 - realArgs - std::max(entry.ExtraDepth, 1 - realArgs);
        auto cells = std::make_shared<std::vector<PackedExtended>>(realArgs + 1);
        auto saved = std::make_shared<std::array<uint64_t, 16>>();
        for (int k = 0; k < realArgs; ++k)
            (*cells)[static_cast<std::size_t>(k)] = c.reals[static_cast<std::size_t>(k)];
        PackedExtended* result = &cells->back();

        Stub s;
        s.bytes({0x53, 0x55, 0x41, 0x54, 0x41, 0x55, 0x41, 0x56, 0x41, 0x57});  // push rbx rbp r12..r15
        s.bytes({0x48, 0x83, 0xEC, 0x08});                                      // aligned at the call
        for (const int reg : kChecked)
            s.movabs(reg, sentinel(reg));
        for (int k = 0; k < fillers; ++k)
            s.bytes({0xD9, 0xEE});  // fldz
        for (int k = realArgs - 1; k >= 0; --k)
            s.fldTbyte(&(*cells)[static_cast<std::size_t>(k)]);
        switch (c.args) {
        case Args::RealAndInteger:
        case Args::Integer: s.bytes({0xB8}), s.imm32(static_cast<uint32_t>(c.integer)); break;
        case Args::Array: s.movabs(kRax, array); break;
        case Args::List:
            s.movabs(kRdi, block.data());
            s.bytes({0xBE}), s.imm32(static_cast<uint32_t>(listCount));
            break;
        default: break;
        }
        s.movabs(kR11, reinterpret_cast<const void*>(c.routine));
        s.bytes({0x41, 0xFF, 0xD3});  // call r11
        s.fstpTbyte(result);
        for (int k = 0; k < fillers; ++k)
            s.bytes({0xDD, 0xD8});  // fstp st(0)
        s.movabs(kR11, saved->data());
        for (const int reg : kChecked)
            s.store(reg, reg);
        s.fldTbyte(result);
        s.bytes({0x48, 0x83, 0xC4, 0x08, 0x41, 0x5F, 0x41, 0x5E, 0x41, 0x5D, 0x41, 0x5C, 0x5D, 0x5B, 0xC3});

        auto data = std::make_shared<std::pair<decltype(cells), decltype(saved)>>(cells, saved);
        const uintptr_t handle = exco::ExecArena::instance().place(s.code(), data);
        struct Release {
            uintptr_t handle;
            ~Release() { exco::ExecArena::instance().release(handle); }
        } release{handle};
        Outcome out;
        out.value = ExcoRunRoutine(static_cast<intptr_t>(handle));
        out.registers = *saved;
        return out;
    }

    // Registers the routine may change: its entry's mask and its argument registers.
    std::vector<int> allowed(const Call& c) const
    {
        const int32_t mask = h.FuncTable[static_cast<std::size_t>(c.entry)].RegisterMask;
        std::vector<int> regs;
        static constexpr int kByBit[4] = {kRax, kRbx, kRcx, kRdx};
        for (int bit = 0; bit < 4; ++bit)
            if ((mask & (1 << bit)) != 0)
                regs.push_back(kByBit[bit]);
        if (c.args == Args::Integer || c.args == Args::RealAndInteger || c.args == Args::Array)
            regs.push_back(kRax);
        if (c.args == Args::List)
            regs.insert(regs.end(), {kRax, kRcx, kRdx, kRsi, kRdi});
        return regs;
    }

    void check(const Call& c, const void* array = nullptr)
    {
        SCOPED_TRACE(c.name);
        Outcome out;
        ASSERT_NO_THROW(out = run(c, array));
        EXPECT_LE(std::fabs(out.value - c.expected), 1e-17L * std::max<Extended>(1, std::fabs(c.expected)))
            << static_cast<double>(out.value);
        const std::vector<int> may = allowed(c);
        for (const int reg : kChecked) {
            if (std::find(may.begin(), may.end(), reg) == may.end()) {
                EXPECT_EQ(out.registers[static_cast<std::size_t>(reg)], sentinel(reg)) << "register " << reg;
            }
        }
    }
};

TEST_F(RuntimeContract, ScalarRoutinesKeepRegistersAndX87Depth)
{
    const Extended half = 0.5L;
    const auto addr = [](void (*routine)()) { return reinterpret_cast<intptr_t>(routine); };
    const std::vector<Call> calls = {
        {"exp", fx::Exp, addr(RtExp), Args::OneReal, {1}, 0, expl(1)},
        {"sinh", fx::Sinh, addr(RtSinh), Args::OneReal, {half}, 0, sinhl(half)},
        {"cosh", fx::Cosh, addr(RtCosh), Args::OneReal, {half}, 0, coshl(half)},
        {"tanh", fx::Tanh, addr(RtTanh), Args::OneReal, {half}, 0, tanhl(half)},
        {"cotanh", fx::Cotanh, addr(RtCoTanh), Args::OneReal, {half}, 0, 1 / tanhl(half)},
        {"arcsinh", fx::ArcSinh, addr(RtArcSinh), Args::OneReal, {half}, 0, asinhl(half)},
        {"arccosh", fx::ArcCosh, addr(RtArcCosh), Args::OneReal, {2}, 0, acoshl(2)},
        {"arctanh", fx::ArcTanh, addr(RtArcTanh), Args::OneReal, {half}, 0, atanhl(half)},
        {"arccotanh", fx::ArcCotanh, addr(RtArcCoTanh), Args::OneReal, {2}, 0, atanhl(half)},
        {"arcsin", fx::ArcSin, addr(RtArcSin), Args::OneReal, {half}, 0, asinl(half)},
        {"arccos", fx::ArcCos, addr(RtArcCos), Args::OneReal, {half}, 0, acosl(half)},
        {"sign", fx::Sign, addr(RtSign), Args::OneReal, {-2}, 0, -1},
        {"logn", fx::LogN, addr(RtLogN), Args::TwoReals, {10, 1000}, 0, 3},
        {"whole power", fx::FPWR, addr(RtFPwr), Args::TwoReals, {2, 10}, 0, 1024},
        {"broken power", fx::FPWR, addr(RtFPwr), Args::TwoReals, {2, half}, 0, sqrtl(2)},
        {"zero to a broken power", fx::FPWR, addr(RtFPwr), Args::TwoReals, {0, 2.5L}, 0, 0},
        {"odd power beyond 32 bits", fx::FPWR, addr(RtFPwr), Args::TwoReals, {-1, 4294967297.0L}, 0, -1},
        {"zero to a power beyond 32 bits", fx::FPWR, addr(RtFPwr), Args::TwoReals, {0, 3e9L}, 0, 0},
        {"integer power", fx::IPWR, addr(RtIPwr), Args::RealAndInteger, {3}, -2, 1 / 9.0L},
        {"largest integer power", fx::IPWR, addr(RtIPwr), Args::RealAndInteger, {1}, INT32_MIN, 1},
        {"integer root", fx::IROOT, addr(RtIRoot), Args::RealAndInteger, {-27}, 3, -3},
        {"whole root", fx::FROOT, addr(RtFRoot), Args::TwoReals, {-27, 3}, 0, -3},
        {"broken root", fx::FROOT, addr(RtFRoot), Args::TwoReals, {10, 2.5L}, 0, powl(10, 0.4L)},
        {"odd root beyond 32 bits", fx::FROOT, addr(RtFRoot), Args::TwoReals, {-8, 3e9L + 1}, 0,
         -powl(8, 1 / (3e9L + 1))},
        {"fact", fx::Fact, addr(RtFactLookup), Args::Integer, {}, 5, 120},
        {"fact2", fx::Fact2, addr(RtFact2Lookup), Args::Integer, {}, 7, 105},
    };
    for (const Call& c : calls)
        check(c);
}

TEST_F(RuntimeContract, VectorAndListRoutinesKeepRegistersAndX87Depth)
{
    const std::vector<std::pair<int32_t, Extended>> expected = {
        {fx::SumV, 12}, {fx::SumQV, 52}, {fx::AvrV, 12.0L / 5}, {fx::NormV, sqrtl(52.0L)},
        {fx::MaxV, 5},  {fx::MinV, -1},  {fx::ProdV, -60},       {fx::LenV, 5},
    };
    const std::vector<std::pair<int32_t, const void*>> arrays = {
        {vt::DoubleArray, doubles.data()},
        {vt::SingleArray, singles.data()},
        {vt::ExtendedArray, extendeds.data()},
        {vt::IntegerArray, integers.data()},
    };
    for (const auto& [type, array] : arrays)
        for (const auto& [func, value] : expected) {
            const std::string name = h.GetFunctionName(func) + " of type " + std::to_string(type);
            check({name.c_str(), func, ExcoVectorRoutine(func, type), Args::Array, {}, 0, value}, array);
        }
    const auto addr = [](void (*routine)()) { return reinterpret_cast<intptr_t>(routine); };
    const std::vector<Call> lists = {
        {"list sum", fx::SumD, addr(RtListSum), Args::List, {}, 0, 12},
        {"list sum of squares", fx::SumQD, addr(RtListSumSq), Args::List, {}, 0, 52},
        {"list average", fx::AvrD, addr(RtListAvr), Args::List, {}, 0, 12.0L / 5},
        {"list norm", fx::NormD, addr(RtListNorm), Args::List, {}, 0, sqrtl(52.0L)},
        {"list product", fx::ProdD, addr(RtListProd), Args::List, {}, 0, -60},
        {"list maximum", fx::MaxD, addr(RtListMax), Args::List, {}, 0, 5},
        {"list minimum", fx::MinD, addr(RtListMin), Args::List, {}, 0, -1},
    };
    for (const Call& c : lists)
        check(c);
}

TEST_F(RuntimeContract, AListOfNoValuesIsAnIntegerOverflow)
{
    const Call sum{"empty list", fx::SumD, reinterpret_cast<intptr_t>(&RtListSum), Args::List, {}, 0, 0};
    EXPECT_THROW(run(sum, nullptr, 0), EExcoIntOverflow);
    const Call max{"empty list", fx::MaxD, reinterpret_cast<intptr_t>(&RtListMax), Args::List, {}, 0, 0};
    EXPECT_THROW(run(max, nullptr, 0), EExcoIntOverflow);
    // The runner is whole again afterwards.
    EXPECT_NO_THROW(run(sum, nullptr, 5));
}

}  // namespace
