// Calls of added functions: routines of the host, and functions defined by text.
//
// How the calling classes of added routines meet the System V AMD64 ABI. A host routine
// is a plain C++ function that returns long double (Extended, in ST(0)); how it gets
// its arguments depends on the class:
//   by value (classes -8, -10, -15)  each argument by its declared type: Integer and
//       address arguments as 64-bit integers in rdi, rsi, rdx, rcx, r8, r9 (a routine
//       that declares int32_t reads the low half, one that takes an address the whole
//       register), Single as float and Double as double in xmm0..xmm7, Extended in
//       memory; what finds no register goes into memory too, in argument order.
//   by reference (classes -3 to -6)  rdi = the first of consecutive 10-byte slots, one
//       per argument, each holding its argument in the declared type.
//   slot addresses (class -7)  the address of every argument's slot, as pointer
//       arguments in argument order.
//   list (classes -11 to -14)  rdi = the slots as above, esi = their count.
// Integer values in slots are 64-bit; slots lie 10 bytes apart, so a value in one
// need not be aligned (read it with memcpy). A real value becomes an Integer by truncation
// toward zero, as for the built-ins that take an Integer.
//
// The ABI lets a routine use all eight x87 registers and expects them empty, so the
// call saves the whole x87 unit (fnsave, which also empties it), loads the routines'
// control word again, calls, and restores the unit under the result. This holds
// whatever lies on the x87 stack, also inside the body of a text-defined function
// called with values of its caller below.
//
// A function defined by text (class -16) gets its argument values stored into its
// argument cells (an Integer truncated likewise), then its compiled body is called directly: it is generated code,
// keeps the registers it uses and leaves one value in ST(0).
#include "compiler/exco_compilator_state.h"

#include <algorithm>

using State = TCompiler::State;

namespace {

int32_t argumentType(const TFuncList& entry, std::size_t k)
{
    return k < entry.ArgTypes.size() ? entry.ArgTypes[k] : entry.ArgType;
}

// Integer, address and array arguments are Integers to the call.
int32_t passedType(int32_t type)
{
    return vt::isReal(type) ? type : vt::Integer;
}

// fisttp qword [address]: a value truncated to a 64-bit integer.
void storeInt64(State& s, const void* address)
{
    s.mem({0xDD}, 1, address);
    s.adjust(-1);
}

// Pops ST(0) into address in the given type (Integers 64-bit).
void storeArgument(State& s, const void* address, int32_t type)
{
    if (passedType(type) == vt::Integer)
        storeInt64(s, address);
    else
        s.storePop(address, type);
}

// Pops every argument of node i (those still on the x87 stack from the last back)
// into store(k, type).
template <class Store>
void popArguments(State& s, int32_t i, const TFuncList& entry, Store&& store)
{
    const std::span<const int32_t> operands = s.children[static_cast<std::size_t>(i)];
    for (std::size_t k = operands.size(); k-- > 0;) {
        s.loadOperandIfStored(operands[k]);
        store(k, argumentType(entry, k));
    }
}

// One argument of a System V call: where its value lies and how it travels.
struct AbiArgument {
    enum class Kind { Integer, Pointer, Single, Double, Extended } kind;
    const void* address;  // the value, or (Pointer) the address passed itself
};

// Loads the System V argument registers and builds the memory arguments; returns the
// bytes of memory arguments to release after the call.
uint32_t placeAbiArguments(State& s, const std::vector<AbiArgument>& args)
{
    static constexpr uint8_t kIntegerRegs[6] = {7, 6, 2, 1, 8, 9};  // rdi rsi rdx rcx r8 r9
    struct MemoryArgument {
        const AbiArgument* arg;
        uint32_t offset;
    };
    std::vector<MemoryArgument> memory;
    std::vector<std::pair<const AbiArgument*, uint8_t>> inRegisters;
    std::size_t nextInteger = 0;
    uint8_t nextVector = 0;
    uint32_t size = 0;
    for (const AbiArgument& a : args) {
        using K = AbiArgument::Kind;
        const bool integer = a.kind == K::Integer || a.kind == K::Pointer;
        if (integer && nextInteger < 6) {
            inRegisters.emplace_back(&a, kIntegerRegs[nextInteger++]);
        } else if ((a.kind == K::Single || a.kind == K::Double) && nextVector < 8) {
            inRegisters.emplace_back(&a, nextVector++);
        } else {
            if (a.kind == K::Extended)
                size = (size + 15) / 16 * 16;
            memory.push_back({&a, size});
            size += a.kind == K::Extended ? 16 : 8;
        }
    }
    size = (size + 15) / 16 * 16;
    if (size > 0) {
        s.bytes({0x48, 0x81, 0xEC});  // sub rsp, size
        s.imm32(size);
    }
    for (const MemoryArgument& m : memory) {
        const int words = m.arg->kind == AbiArgument::Kind::Extended ? 2 : 1;
        for (int w = 0; w < words; ++w) {
            if (m.arg->kind == AbiArgument::Kind::Pointer) {
                s.loadR11(m.arg->address);
                s.bytes({0x4C, 0x89, 0x9C, 0x24});  // mov [rsp + disp32], r11
            } else {
                s.loadR11(m.arg->address);
                s.bytes({0x49, 0x8B, static_cast<uint8_t>(w == 0 ? 0x03 : 0x43)});  // mov rax, [r11 (+8)]
                if (w == 1)
                    s.bytes({0x08});
                s.bytes({0x48, 0x89, 0x84, 0x24});  // mov [rsp + disp32], rax
            }
            s.imm32(m.offset + 8u * static_cast<uint32_t>(w));
        }
    }
    for (const auto& [a, reg] : inRegisters) {
        s.loadR11(a->address);
        const uint8_t field = static_cast<uint8_t>((reg & 7) << 3);
        switch (a->kind) {
        case AbiArgument::Kind::Pointer:  // mov reg, r11
            s.bytes({static_cast<uint8_t>(reg < 8 ? 0x4C : 0x4D), 0x89, static_cast<uint8_t>(0xC0 | (3 << 3) | (reg & 7))});
            break;
        case AbiArgument::Kind::Integer:  // mov reg, [r11]
            s.bytes({static_cast<uint8_t>(reg < 8 ? 0x49 : 0x4D), 0x8B, static_cast<uint8_t>(field | 3)});
            break;
        case AbiArgument::Kind::Single:  // movss xmm, [r11]
            s.bytes({0xF3, 0x41, 0x0F, 0x10, static_cast<uint8_t>(field | 3)});
            break;
        default:  // movsd xmm, [r11]
            s.bytes({0xF2, 0x41, 0x0F, 0x10, static_cast<uint8_t>(field | 3)});
            break;
        }
    }
    return size;
}

// Calls a host routine with the x87 unit saved and emptied around it (its control
// word kept), and counts its result as one push.
void callHostRoutine(State& s, const TFuncList& entry, const std::vector<AbiArgument>& args)
{
    s.bytes({0x48, 0x81, 0xEC, 0x80, 0x00, 0x00, 0x00});  // sub rsp, 128
    s.bytes({0xDD, 0x34, 0x24});                          // fnsave [rsp]
    s.bytes({0xD9, 0x2C, 0x24});                          // fldcw [rsp]: the saved control word
    const uint32_t memory = placeAbiArguments(s, args);
    s.callRoutine(entry.Routine, 1);
    if (memory > 0) {
        s.bytes({0x48, 0x81, 0xC4});  // add rsp, memory
        s.imm32(memory);
    }
    // The routine's exception flags go into the saved status word, so that a routine
    // run with its faults masked shows them afterwards as if computed in place.
    s.bytes({0xDF, 0xE0});                                // fnstsw ax
    s.bytes({0x83, 0xE0, 0x3F});                          // and eax, 3Fh
    s.bytes({0x66, 0x09, 0x44, 0x24, 0x04});              // or [rsp + 4], ax
    s.bytes({0xDB, 0xBC, 0x24, 0x70, 0x00, 0x00, 0x00});  // fstp tbyte [rsp + 112]
    s.bytes({0xDD, 0x24, 0x24});                          // frstor [rsp]
    s.bytes({0xDB, 0xAC, 0x24, 0x70, 0x00, 0x00, 0x00});  // fld tbyte [rsp + 112]
    s.bytes({0x48, 0x81, 0xC4, 0x80, 0x00, 0x00, 0x00});  // add rsp, 128
    if (entry.ExtraDepth < 0)
        s.overflow = true;
    s.adjust(+1);
    // Registers the ABI lets the routine change.
    for (const int32_t reg : {1, 3, 4, 7, 8})
        s.markUsed(reg);
}

AbiArgument::Kind kindOf(int32_t type)
{
    switch (passedType(type)) {
    case vt::Single: return AbiArgument::Kind::Single;
    case vt::Double: return AbiArgument::Kind::Double;
    case vt::Extended: return AbiArgument::Kind::Extended;
    default: return AbiArgument::Kind::Integer;
    }
}

void textFunctionCall(State& s, int32_t i, const TFuncList& entry)
{
    popArguments(s, i, entry, [&](std::size_t k, int32_t type) {
        const void* cell = k < entry.ArgCells.size() ? reinterpret_cast<const void*>(entry.ArgCells[k]) : nullptr;
        if (cell == nullptr)
            throw std::logic_error("text-defined function without its argument cells");
        if (type == vt::Integer) {
            s.mem({0xDB}, 1, cell);  // fisttp dword: truncated, as every Integer argument
            s.adjust(-1);
        } else {
            s.storePop(cell, type);
        }
    });
    if (entry.Routine == 0)
        throw std::logic_error("text-defined function without its body");
    s.callRoutine(entry.Routine, 1);
    if (entry.ExtraDepth < 0) {
        s.overflow = true;
        s.adjust(+1);
    } else {
        s.adjust(entry.ExtraDepth);
        s.adjust(-(entry.ExtraDepth - 1));
    }
}

}  // namespace

void State::userCall(int32_t i)
{
    const TFunc& n = node(i);
    const TFuncList& entry = table[static_cast<std::size_t>(n.FuncIndex)];
    const std::size_t count = children[static_cast<std::size_t>(i)].size();
    if (entry.Class == fc::TextDefined) {
        textFunctionCall(*this, i, entry);
    } else {
        if (entry.Routine == 0)
            throw std::logic_error("added function without a routine");
        const bool byValue = entry.Class == -8 || entry.Class == -10 || entry.Class == -15;
        const std::size_t slotBytes = byValue ? 16 : kTempBytes;
        const void* block = dataBlock(slotBytes * std::max<std::size_t>(count, 1));
        const auto slot = [&](std::size_t k) -> const void* {
            return block == nullptr ? nullptr : static_cast<const uint8_t*>(block) + slotBytes * k;
        };
        std::vector<AbiArgument> args;
        if (byValue) {
            popArguments(*this, i, entry, [&](std::size_t k, int32_t type) { storeArgument(*this, slot(k), type); });
            for (std::size_t k = 0; k < count; ++k)
                args.push_back({kindOf(argumentType(entry, k)), slot(k)});
        } else {
            popArguments(*this, i, entry, [&](std::size_t k, int32_t type) { storeArgument(*this, slot(k), type); });
            if (entry.Class == -7) {
                for (std::size_t k = 0; k < count; ++k)
                    args.push_back({AbiArgument::Kind::Pointer, slot(k)});
            } else {
                args.push_back({AbiArgument::Kind::Pointer, slot(0)});
                if (entry.Class <= -11 && entry.Class >= -14) {
                    const int64_t value = static_cast<int64_t>(count);
                    const void* countCell = newCell(&value, sizeof value);
                    args.push_back({AbiArgument::Kind::Integer, countCell});
                }
            }
        }
        callHostRoutine(*this, entry, args);
        for (int32_t bit = 0; bit < 8; ++bit)
            if ((entry.RegisterMask & (1 << bit)) != 0)
                markUsed(bit + 1);
    }
}
