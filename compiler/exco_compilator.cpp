#include "compiler/exco_compilator.h"

#include "compiler/exco_compilator_state.h"
#include "compiler/exec_arena.h"
#include "compiler/native_call.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace exco {

namespace {
constexpr std::size_t kChunkBytes = 4096;
constexpr std::size_t kCellAlignment = 16;
}  // namespace

uint8_t* CellPool::take(const void* value, std::size_t size)
{
    const std::size_t bytes = (std::max<std::size_t>(size, 1) + kCellAlignment - 1) / kCellAlignment * kCellAlignment;
    while (inUse_ == 0 || chunks_[inUse_ - 1].size - chunks_[inUse_ - 1].used < bytes) {
        const std::size_t offset = inUse_ == 0 ? 0 : chunks_[inUse_ - 1].offset + chunks_[inUse_ - 1].used;
        if (inUse_ == chunks_.size() || chunks_[inUse_].size < bytes) {
            // A chunk too small for this cell gives way to one that holds it.
            const std::size_t chunkSize = std::max(bytes, kChunkBytes);
            Chunk fresh{std::make_unique_for_overwrite<uint8_t[]>(chunkSize), chunkSize, 0, 0};
            if (inUse_ == chunks_.size())
                chunks_.push_back(std::move(fresh));
            else
                chunks_[inUse_] = std::move(fresh);
        }
        Chunk& next = chunks_[inUse_++];
        next.used = 0;
        next.offset = offset;
    }
    Chunk& chunk = chunks_[inUse_ - 1];
    uint8_t* cell = chunk.bytes.get() + chunk.used;
    chunk.used += bytes;
    // Most cells are one 16-byte slot holding a Double or an Extended: those are
    // written without a call of the library.
    if (bytes == kCellAlignment)
        std::memset(cell, 0, kCellAlignment);
    else
        std::memset(cell, 0, bytes);
    if (value == nullptr)
        return cell;
    if (size == sizeof(double))
        std::memcpy(cell, value, sizeof(double));
    else if (size == 10)
        std::memcpy(cell, value, 10);
    else
        std::memcpy(cell, value, size);
    return cell;
}

void CellPool::reset() { inUse_ = 0; }

std::ptrdiff_t CellPool::offsetOf(const void* p) const
{
    const auto at = reinterpret_cast<uintptr_t>(p);
    for (std::size_t k = 0; k < inUse_; ++k) {
        const auto start = reinterpret_cast<uintptr_t>(chunks_[k].bytes.get());
        if (at >= start && at < start + chunks_[k].used)
            return static_cast<std::ptrdiff_t>(chunks_[k].offset + (at - start));
    }
    return -1;
}

std::size_t CellPool::used() const { return inUse_ == 0 ? 0 : chunks_[inUse_ - 1].offset + chunks_[inUse_ - 1].used; }

void CellPool::copyTo(uint8_t* out) const
{
    for (std::size_t k = 0; k < inUse_; ++k)
        std::memcpy(out + chunks_[k].offset, chunks_[k].bytes.get(), chunks_[k].used);
}

void CellPool::trim(std::size_t bytes)
{
    std::size_t held = 0;
    for (const Chunk& chunk : chunks_)
        held += chunk.size;
    if (held > bytes) {
        chunks_.clear();
        inUse_ = 0;
    }
}

void CodeBuffer::grow(std::size_t atLeast)
{
    const std::size_t size = std::max({atLeast, 2 * capacity_, std::size_t{256}});
    auto bytes = std::make_unique_for_overwrite<uint8_t[]>(size);
    if (size_ > 0)
        std::memcpy(bytes.get(), bytes_.get(), size_);
    bytes_ = std::move(bytes);
    capacity_ = size;
}

void CodeBuffer::rewind(std::size_t n)
{
    if (capacity_ < n)
        grow(n);
    size_ = n;
}

void CodeBuffer::release()
{
    bytes_.reset();
    size_ = 0;
    capacity_ = 0;
}

}  // namespace exco

using State = TCompiler::State;

// ---------------------------------------------------------------------------------
// Emit primitives

// Out of movR11's way: most routines address no data cell, and movR11 needs fewer
// registers without the growth of the fix list.
[[gnu::noinline]] void State::addDataFix(std::size_t at, std::size_t cell) { dataFixes.push_back({at, cell}); }

uint8_t* State::movR11(const void* address, std::size_t more)
{
    const std::ptrdiff_t cell = data.offsetOf(address);
    if (cell >= 0)
        addDataFix(code.size() + 2, static_cast<std::size_t>(cell));
    uint8_t* const out = code.extend(10 + more);
    out[0] = 0x49;
    out[1] = 0xBB;
    const uint64_t value = reinterpret_cast<uint64_t>(address);
    std::memcpy(out + 2, &value, sizeof value);
    return out + 10;
}

void State::loadR11(const void* address)
{
    if (emitting())
        movR11(address, 0);
}

// The instruction is written with one bounds check of the buffer. Opcodes are one or
// two bytes: they are stored one by one, which costs less than a call of the library.
void State::mem(std::initializer_list<uint8_t> opcode, int reg, const void* address)
{
    if (!emitting())
        return;
    const std::size_t n = opcode.size();
    const uint8_t* const op = opcode.begin();
    if (address != nullptr) {
        const std::ptrdiff_t cell = constants.offsetOf(address);
        if (cell >= 0) {
            uint8_t* const out = code.extend(n + 5);
            for (std::size_t k = 0; k < n; ++k)
                out[k] = op[k];
            out[n] = static_cast<uint8_t>((reg << 3) | 5);  // [rip + disp32]
            std::memset(out + n + 1, 0, 4);
            ripFixes.push_back({code.size() - 4, static_cast<std::size_t>(cell)});
            return;
        }
    }
    uint8_t* const out = movR11(address, n + 2);
    out[0] = 0x41;
    for (std::size_t k = 0; k < n; ++k)
        out[1 + k] = op[k];
    out[n + 1] = static_cast<uint8_t>((reg << 3) | 3);
}

void State::load(const void* address, int32_t type)
{
    switch (type) {
    case vt::Single: mem({0xD9}, 0, address); break;
    case vt::Double: mem({0xDD}, 0, address); break;
    case vt::Extended: mem({0xDB}, 5, address); break;
    case kInt64: mem({0xDF}, 5, address); break;
    default: mem({0xDB}, 0, address); break;  // fild dword
    }
    adjust(+1);
}

void State::storePop(const void* address, int32_t type)
{
    switch (type) {
    case vt::Single: mem({0xD9}, 3, address); break;
    case vt::Double: mem({0xDD}, 3, address); break;
    case vt::Extended: mem({0xDB}, 7, address); break;
    default: mem({0xDB}, 3, address); break;  // fistp dword
    }
    adjust(-1);
}

void State::arith(Arith op, const void* address, int32_t type)
{
    if (type == vt::Single || type == vt::Double) {
        mem({static_cast<uint8_t>(type == vt::Single ? 0xD8 : 0xDC)}, static_cast<int>(op), address);
        return;
    }
    // Extended and Integer values have no memory form here: load, then the popping
    // register form.
    load(address, type);
    popOp(op);
}


// ---------------------------------------------------------------------------------
// Constants and cells

const void* State::newCell(const void* value, std::size_t size)
{
    if (!emitting())
        return nullptr;
    return data.take(value, std::min<std::size_t>(size, 16));
}

const void* State::dataBlock(std::size_t size)
{
    if (!emitting())
        return nullptr;
    return data.take(nullptr, size);
}

const void* State::constCell(const void* value, std::size_t size)
{
    if (!emitting())
        return nullptr;
    return constants.take(value, std::min<std::size_t>(size, 16));
}

const void* State::realCell(Extended value, int32_t& type)
{
    type = constType;
    if (type == vt::Double) {
        // A value that a Double cannot hold (beyond its range) is kept Extended.
        const double asDouble = static_cast<double>(value);
        if ((std::isinf(asDouble) && std::isfinite(value)) || (asDouble == 0 && value != 0))
            type = vt::Extended;
    }
    switch (type) {
    case vt::Single: {
        const float v = static_cast<float>(value);
        return constCell(&v, sizeof v);
    }
    case vt::Extended: return constCell(&value, 10);
    case vt::Integer: {
        const int64_t v = static_cast<int64_t>(std::nearbyint(value));
        return constCell(&v, sizeof v);
    }
    default: {
        const double v = static_cast<double>(value);
        return constCell(&v, sizeof v);
    }
    }
}

const void* State::intCell(int64_t value) { return constCell(&value, sizeof value); }
const void* State::scratchCell() { return newCell(nullptr, 0); }

void State::loadConst(Extended value)
{
    if (value == 0) {
        bytes({0xD9, 0xEE});
        adjust(+1);
    } else if (value == 1 || value == -1) {
        bytes({0xD9, 0xE8});
        adjust(+1);
        if (value == -1)
            fchs();
    } else {
        int32_t type = 0;
        const void* cell = realCell(value, type);
        load(cell, type);
    }
}

void State::constArith(Arith op, Extended value)
{
    int32_t type = 0;
    const void* cell = realCell(value, type);
    arith(op, cell, type);
}

// ---------------------------------------------------------------------------------
// Tables

int32_t State::varType(const void* address) const
{
    // Up to this many variables a scan costs less than a search of the index.
    constexpr std::size_t kScanned = 16;
    if (variables == nullptr)
        return vt::Double;
    if (variables->size() <= kScanned || variablesVersion == 0) {
        for (const TVariable& v : *variables)
            if (v.Address == address)
                return v.Type;
        return vt::Double;
    }
    const auto& entries = typesOfTable().entries;
    const auto at = std::lower_bound(entries.begin(), entries.end(), address, [](const auto& entry, const void* a) {
        return std::less<const void*>()(entry.first, a);
    });
    return at != entries.end() && at->first == address ? at->second : vt::Double;
}

const State::TypesByAddress& State::typesOfTable() const
{
    TypesByAddress& index = typesByAddress;
    const TVarList& table = *variables;
    if (index.table == table.data() && index.count == table.size() && index.version == variablesVersion)
        return index;
    index.entries.clear();
    for (const TVariable& v : table)
        index.entries.emplace_back(v.Address, v.Type);
    // Stable, so that of the variables at one address the first in the table stays.
    std::stable_sort(index.entries.begin(), index.entries.end(), [](const auto& a, const auto& b) {
        return std::less<const void*>()(a.first, b.first);
    });
    index.entries.erase(std::unique(index.entries.begin(), index.entries.end(),
                                    [](const auto& a, const auto& b) { return a.first == b.first; }),
                        index.entries.end());
    index.table = table.data();
    index.count = table.size();
    index.version = variablesVersion;
    return index;
}

int32_t State::classOf(int32_t funcIndex) const
{
    if (funcIndex < 0 || static_cast<std::size_t>(funcIndex) >= table.size())
        return 0;
    return table[static_cast<std::size_t>(funcIndex)].Class;
}

const void* State::levelTemp(int32_t level)
{
    if (!emitting())
        return nullptr;
    if (levelBase == nullptr)
        levelBase = data.take(nullptr, kTempBytes * levelSlots);
    const std::size_t slot = static_cast<std::size_t>(std::max(level, 0));
    return levelBase + kTempBytes * std::min(slot, levelSlots - 1);
}

void State::loadOperandIfStored(int32_t child)
{
    if (!onStack[static_cast<std::size_t>(child)])
        load(levelTemp(node(child).Level), vt::Extended);
}

// ---------------------------------------------------------------------------------
// Combining a node's result with its parent's running value

int32_t State::effectiveOperator(int32_t i) const
{
    const TFunc& n = node(i);
    if (n.Operator != op::First || n.ParentIndex <= 0)
        return n.Operator;
    const TFunc& parent = node(n.ParentIndex);
    const std::size_t pos = static_cast<std::size_t>(n.OperandPos);
    if (pos >= 1 && pos <= parent.OperandOps.size())
        return parent.OperandOps[pos - 1];
    return op::First;
}

bool State::isDivisor(int32_t i) const { return effectiveOperator(i) == op::Div; }

bool State::isNegativeTerm(int32_t i) const { return effectiveOperator(i) == op::Sub; }

void State::joinTop(int32_t parent, bool negativeOrDivisor)
{
    const std::size_t p = static_cast<std::size_t>(parent);
    if (node(parent).FuncIndex == fx::ADD) {
        if (!started[p]) {
            if (negativeOrDivisor)
                fchs();
            started[p] = 1;
        } else {
            popOp(negativeOrDivisor ? Arith::Sub : Arith::Add);
        }
        return;
    }
    if (!started[p]) {
        started[p] = 1;
        inverted[p] = negativeOrDivisor ? 1 : 0;
    } else if (!inverted[p]) {
        popOp(negativeOrDivisor ? Arith::Div : Arith::Mul);
    } else if (negativeOrDivisor) {
        popOp(Arith::Mul);
    } else {
        popOp(Arith::DivR);
        inverted[p] = 0;
    }
}

void State::joinMemory(int32_t parent, const void* address, int32_t type, bool negativeOrDivisor)
{
    const std::size_t p = static_cast<std::size_t>(parent);
    if (!started[p]) {
        load(address, type);
        joinTop(parent, negativeOrDivisor);
        return;
    }
    if (node(parent).FuncIndex == fx::ADD) {
        arith(negativeOrDivisor ? Arith::Sub : Arith::Add, address, type);
    } else if (!inverted[p]) {
        arith(negativeOrDivisor ? Arith::Div : Arith::Mul, address, type);
    } else if (negativeOrDivisor) {
        arith(Arith::Mul, address, type);
    } else {
        arith(Arith::DivR, address, type);
        inverted[p] = 0;
    }
}

bool State::keepsResultOnStack(int32_t i) const
{
    const TFunc& n = node(i);
    if (stackMode != 0)
        return n.ResultState != 2;
    if (i == last())
        return true;
    const TFunc& next = node(i + 1);
    return next.Level == n.Level && childCount(i + 1) <= 1 && classOf(next.FuncIndex) >= 0;
}

// Inlined into generateEntry, its one caller, as generateNode is.
[[gnu::always_inline]] inline void State::finishNode(int32_t i)
{
    TFunc& n = node(i);
    const std::size_t at = static_cast<std::size_t>(i);
    n.ResultState = std::max(n.ResultState, 1);
    if (n.FuncIndex == fx::JMP || n.FuncIndex == fx::NOP) {
        onStack[at] = 0;
        return;
    }
    const int32_t parent = n.ParentIndex;
    // Read once: generating changes no entry's function.
    const int32_t parentFunction = parent > 0 ? node(parent).FuncIndex : fx::NOP;
    const bool parentIsIf = parentFunction == fx::IFNOP;
    if (parentIsIf && (n.OperandPos == 4 || n.OperandPos == 6)) {
        // A value of the conditional: whichever branch runs leaves it for the parent.
        if (n.Negate != 0)
            fchs();
        onStack[at] = 1;
        return;
    }
    // In stack mode 1 (nearly every compile) only the list pass keeps a result in memory.
    if (stackMode != 0 ? n.ResultState == 2 : !keepsResultOnStack(i)) {
        if (n.Negate != 0)
            fchs();
        storePop(levelTemp(n.Level), vt::Extended);
        onStack[at] = 0;
        n.GeneratedState = 2;
        return;
    }
    onStack[at] = 1;
    n.GeneratedState = 1;
    const bool sumOrProduct = parentFunction == fx::ADD || parentFunction == fx::MUL;
    if (!sumOrProduct) {
        if (n.Negate != 0)
            fchs();
        return;
    }
    if (parentFunction == fx::ADD) {
        joinTop(parent, isNegativeTerm(i) != (n.Negate != 0));
    } else {
        if (n.Negate != 0)
            fchs();
        joinTop(parent, isDivisor(i));
    }
}

// ---------------------------------------------------------------------------------
// Jumps of the conditional

void State::generateJump(int32_t i)
{
    const TFunc& n = node(i);
    const std::span<const int32_t> operands = children[static_cast<std::size_t>(n.ParentIndex)];
    if (operands.size() != 6)
        throw std::logic_error("conditional without its six operands");
    if (n.OperandKind == jr::Always) {
        bytes({0xE9});
        imm32(0);
        jumps.push_back({code.size(), operands[5]});
        // Only one of the two values is ever on the stack.
        adjust(-1);
        return;
    }
    const int32_t left = operands[0];
    const int32_t right = operands[1];
    const bool leftStored = !onStack[static_cast<std::size_t>(left)];
    const bool rightStored = !onStack[static_cast<std::size_t>(right)];
    if (leftStored && rightStored) {
        load(levelTemp(node(left).Level), vt::Extended);
        load(levelTemp(node(right).Level), vt::Extended);
    } else if (leftStored) {
        load(levelTemp(node(left).Level), vt::Extended);
        fxch();
    } else if (rightStored) {
        load(levelTemp(node(right).Level), vt::Extended);
    }
    bytes({0xDE, 0xD9, 0xDF, 0xE0, 0x9E});  // fcompp; fnstsw ax; sahf
    adjust(-2);
    markUsed(1);
    uint8_t condition = 0x85;
    switch (n.OperandKind) {
    case jr::E: condition = 0x84; break;
    case jr::EL: condition = 0x83; break;
    case jr::EB: condition = 0x86; break;
    case jr::B: condition = 0x82; break;
    case jr::L: condition = 0x87; break;
    default: condition = 0x85; break;
    }
    bytes({0x0F, condition});
    imm32(0);
    jumps.push_back({code.size(), operands[4]});
}

void State::patchJumps()
{
    if (!emitting())
        return;
    for (const Jump& jump : jumps) {
        const TFunc& target = node(jump.targetEntry);
        const int64_t end = static_cast<int64_t>(kHeader) + target.CodeOffset + target.CodeLength;
        const int32_t displacement = static_cast<int32_t>(end - static_cast<int64_t>(jump.end));
        std::memcpy(code.data() + jump.end - 4, &displacement, 4);
    }
}

// ---------------------------------------------------------------------------------
// Dispatch

[[gnu::always_inline]] inline void State::generateNode(int32_t i)
{
    TFunc& n = node(i);
    switch (n.FuncIndex) {
    case fx::NOP:
    case fx::PACKAGE:
    case fx::Compile:
        return;
    case fx::JMP: generateJump(i); return;
    case fx::FLD:
        bytes({0xD9, static_cast<uint8_t>(n.OperandKind == 1 ? 0xE8 : 0xEE)});
        adjust(+1);
        return;
    case fx::LDA: {
        const void* cell = intCell(static_cast<int64_t>(reinterpret_cast<intptr_t>(n.Var1)));
        load(cell, kInt64);
        return;
    }
    case fx::LDSC: loadConst(n.b1); return;
    case fx::LDSF: load(n.Var1, varType(n.Var1)); return;
    case fx::LDSI: load(n.Var1 != nullptr ? n.Var1 : n.Var3, vt::Integer); return;
    case fx::FAVB: linearForm(n.a1, n.b1, n.Var1); return;
    case fx::IAVB: integerFormToEax(n.Var3 != nullptr ? n.Var3 : n.Var1, n.IntCoef, n.IntAddend); eaxToX87(); return;
    case fx::AIFB: scaledProductForm(n); return;
    case fx::AAI: integerCombinationToEax(n.IntFormVars, n.IntFormCoefs); eaxToX87(); return;
    case fx::AAF: realCombination(n.FormVars, n.FormCoefs); return;
    case fx::AFI: integerRealCombination(n.IntFormVars, n.FormCoefs); return;
    case fx::MAF: productForm(n); return;
    case fx::MUL: product(i); return;
    case fx::ADD: sum(i); return;
    case fx::LDSV: arrayElement(i); return;
    default: break;
    }
    const int32_t cls = classOf(n.FuncIndex);
    if (cls >= 1 && cls <= 5)
        function(i);
    else if (cls == fc::ListRoutine)
        listCall(i);
    else if (cls != fc::FrontEnd && cls != fc::Internal)
        userCall(i);
}

// The coefficient and addend that the front end took from around a node (2*f(x)+1,
// 10-if(...)) apply to the node's value however it was obtained, whatever its kind:
// a call, a shared result, a conditional, a list or an added routine.
void State::applyPostForm(int32_t i)
{
    const TFunc& n = node(i);
    if (n.PostForm != 1 || n.FuncIndex == fx::ADD || n.FuncIndex == fx::MUL)
        return;
    mulConst(n.A);
    addConst(n.B);
}

// ---------------------------------------------------------------------------------
// Runs

void State::resetRun()
{
    const std::size_t n = list != nullptr ? list->size() : 0;
    // The header is room for the prologue, which assemble writes; nothing reads it before.
    code.rewind(kHeader);
    used.fill(false);
    hasCalls = false;
    foreignCall = false;
    hasEffects = false;
    foreignTemplate = false;
    depth = 0;
    measureMax = 0;
    overflow = false;
    jumps.clear();
    constants.reset();
    ripFixes.clear();
    data.reset();
    dataFixes.clear();
    levelBase = nullptr;
    sharedBase = nullptr;
    // Grown when needed and cleared in one fill (assign may fill twice).
    if (flags.size() < 3 * n)
        flags.resize(3 * n);
    if (n > 0)
        std::memset(flags.data(), 0, 3 * n);
    onStack = std::span<uint8_t>(flags.data(), n);
    started = std::span<uint8_t>(flags.data() + n, n);
    inverted = std::span<uint8_t>(flags.data() + 2 * n, n);
    if (list == nullptr)
        children.build({});
    else if (listAsLowered)
        children.buildPostOrder(*list);
    else
        children.build(*list);
    listAsLowered = false;  // for this run only
    recordedEnd = 0;
}

void State::recordEntryStart(int32_t i)
{
    const std::size_t at = static_cast<std::size_t>(i);
    if (entryStarts.size() < list->size())
        entryStarts.resize(list->size());
    EntryStart& e = entryStarts[at];
    e.depth = depth;
    e.overflow = overflow;
    e.tracking = tracking;
    e.hasCalls = hasCalls;
    e.foreignCall = foreignCall;
    e.hasEffects = hasEffects;
    e.foreignTemplate = foreignTemplate;
    e.used = used;
    e.jumps = jumps.size();
    e.codeSize = code.size();
    const int32_t parent = node(i).ParentIndex;
    e.parent = parent > 0 && parent <= last() ? parent : 0;
    const std::size_t p = static_cast<std::size_t>(e.parent);
    e.flagBytes = {onStack[at], started[at], inverted[at], started[p], inverted[p]};
    recordedEnd = i + 1;
}

void State::rewindTo(int32_t i)
{
    // Undone from the last entry back, each to the flags it found, which leaves every
    // flag as it was when the run reached entry i.
    for (int32_t k = recordedEnd - 1; k >= i; --k) {
        const std::size_t at = static_cast<std::size_t>(k);
        const EntryStart& e = entryStarts[at];
        const std::size_t p = static_cast<std::size_t>(e.parent);
        if (e.parent != 0) {
            started[p] = e.flagBytes[3];
            inverted[p] = e.flagBytes[4];
        }
        onStack[at] = e.flagBytes[0];
        started[at] = e.flagBytes[1];
        inverted[at] = e.flagBytes[2];
    }
    // The deepest point stays that of every run, as it does over runs from the start.
    const EntryStart& e = entryStarts[static_cast<std::size_t>(i)];
    depth = e.depth;
    overflow = e.overflow;
    tracking = e.tracking;
    hasCalls = e.hasCalls;
    foreignCall = e.foreignCall;
    hasEffects = e.hasEffects;
    foreignTemplate = e.foreignTemplate;
    used = e.used;
    jumps.resize(e.jumps);
    code.rewind(e.codeSize);
    recordedEnd = i;
}

void ChildLists::build(const TArrayOfTFunc& list)
{
    const std::size_t n = list.size();
    // Both arrays only grow: a list no longer than an earlier one is indexed without
    // a call to size them.
    if (start_.size() < n + 2)
        start_.resize(n + 2);
    std::size_t* const start = start_.data();
    // Counted two places ahead, summed, then filled through the places one ahead,
    // which leaves start[k] at entry k's first operand.
    for (std::size_t k = 0; k < n + 2; ++k)
        start[k] = 0;
    for (std::size_t i = 1; i < n; ++i) {
        const int32_t parent = list[i].ParentIndex;
        if (parent > 0 && static_cast<std::size_t>(parent) < n)
            ++start[static_cast<std::size_t>(parent) + 2];
    }
    for (std::size_t k = 2; k <= n + 1; ++k)
        start[k] += start[k - 1];
    if (flat_.size() < start[n + 1])
        flat_.resize(start[n + 1]);
    for (std::size_t i = 1; i < n; ++i) {
        const int32_t parent = list[i].ParentIndex;
        if (parent > 0 && static_cast<std::size_t>(parent) < n)
            flat_[start[static_cast<std::size_t>(parent) + 1]++] = static_cast<int32_t>(i);
    }
}

void ChildLists::buildPostOrder(const TArrayOfTFunc& list)
{
    const std::size_t n = list.size();
    // The arrays only grow; every entry is at most one operand.
    if (start_.size() < n + 2)
        start_.resize(n + 2);
    if (flat_.size() < n)
        flat_.resize(n);
    if (subtree_.size() < n)
        subtree_.resize(n);
    std::size_t* const start = start_.data();
    int32_t* const flat = flat_.data();
    std::size_t* const subtree = subtree_.data();
    std::size_t taken = 0;
    start[0] = 0;
    for (std::size_t i = 1; i < n; ++i) {
        start[i] = taken;
        // The last operand stands just before the entry, each earlier one just
        // before the entries of the operand after it.
        const auto operands = static_cast<std::size_t>(list[i].OperandCount);
        std::size_t before = i - 1;
        for (std::size_t k = operands; k-- > 0;) {
            if (before == 0) {
                build(list);  // not a list as lowered after all
                return;
            }
            flat[taken + k] = static_cast<int32_t>(before);
            before -= subtree[before];
        }
        subtree[i] = i - before;
        taken += operands;
    }
    start[n] = taken;
}

void State::generateEntry(int32_t i)
{
    generateNode(i);
    if (node(i).PostForm == 1)
        applyPostForm(i);
    finishNode(i);
}

template <bool Recorded, class AfterEntry>
void State::runList(AfterEntry&& afterEntry, int32_t first)
{
    const int32_t n = static_cast<int32_t>(list->size());
    for (int32_t i = first; i < n; ++i) {
        if constexpr (Recorded)
            recordEntryStart(i);
        const std::size_t start = code.size();
        const int32_t before = depth;
        measureMax = depth;
        if (node(i).FuncIndex != fx::NOP)
            generateEntry(i);
        node(i).CodeOffset = static_cast<int32_t>(start - kHeader);
        node(i).CodeLength = static_cast<int32_t>(code.size() - start);
        if (!afterEntry(i, measureMax - before))
            return;
    }
}

void State::trim()
{
    // Enough for any usual formula stays for the next compile.
    constexpr std::size_t kKeptBytes = 256 * 1024;
    if (code.capacity() > kKeptBytes)
        code.release();
    constants.trim(kKeptBytes);
    data.trim(kKeptBytes);
}

uint64_t State::savedRegisters() const
{
    static_assert(sizeof used == 8 && sizeof reserved == 8, "one byte per register");
    uint64_t usedBytes = 0;
    uint64_t reservedBytes = 0;
    std::memcpy(&usedBytes, used.data(), 8);
    std::memcpy(&reservedBytes, reserved.data(), 8);
    return usedBytes | reservedBytes;
}

std::size_t State::assemble(const uint8_t* dataBlock)
{
    for (const Fix& fix : dataFixes) {
        const uint64_t address = reinterpret_cast<uint64_t>(dataBlock + fix.offset);
        std::memcpy(code.data() + fix.at, &address, 8);
    }
    uint8_t pushes[8];
    std::size_t pushCount = 0;
    static constexpr uint8_t kPush[8] = {0x50, 0x53, 0x51, 0x52, 0x54, 0x55, 0x56, 0x57};
    // One byte per register, lowest first: most routines save none.
    for (uint64_t saved = savedRegisters(); saved != 0; saved &= saved - 1)
        pushes[pushCount++] = kPush[std::countr_zero(saved) / 8];
    // Entered with rsp = 8 mod 16; every push moves it by 8.
    const bool pad = hasCalls && pushCount % 2 == 0;
    static constexpr uint8_t kPadDown[4] = {0x48, 0x83, 0xEC, 0x08};
    static constexpr uint8_t kPadUp[4] = {0x48, 0x83, 0xC4, 0x08};

    // The prologue, just before the body.
    std::size_t start = kHeader;
    if (pad) {
        start -= sizeof kPadDown;
        std::memcpy(code.data() + start, kPadDown, sizeof kPadDown);
    }
    start -= pushCount;
    std::memcpy(code.data() + start, pushes, pushCount);
    // Without a destination the routine's only effect is its result: it may run twice.
    const bool storesResult = dest.Where != 0 && dest.Type != 0 && dest.Where != 5;
    if (!storesResult && !hasEffects) {
        // Code that calls nothing that could trap otherwise and leaves the control word
        // alone cannot fault with every exception masked, so it needs no fault window
        // on its first run.
        const auto& mark = foreignCall || foreignTemplate ? exco::kRunTwiceMark : exco::kContainedMark;
        start -= mark.size();
        std::memcpy(code.data() + start, mark.data(), mark.size());
    }

    if (pad)
        code.append(kPadUp, sizeof kPadUp);
    for (std::size_t k = pushCount; k-- > 0;)
        code.push_back(static_cast<uint8_t>(pushes[k] + 8));
    appendResultStore();
    code.push_back(0xC3);
    if (constants.used() > 0) {
        // The constants start 16-byte aligned, as the routine does. The fewer than 16
        // bytes before them are int3: 16 are written at once and the buffer keeps those
        // it needs.
        const std::size_t poolStart = start + (code.size() - start + 15) / 16 * 16;
        std::memset(code.extend(16), 0xCC, 16);
        code.rewind(poolStart);
        // Every byte of the pool is copied in.
        constants.copyTo(code.extend(constants.used()));
        for (const Fix& fix : ripFixes) {
            const int64_t target = static_cast<int64_t>(poolStart + fix.offset);
            const int32_t displacement = static_cast<int32_t>(target - static_cast<int64_t>(fix.at + 4));
            std::memcpy(code.data() + fix.at, &displacement, 4);
        }
    }
    return start;
}

void State::appendResultStore()
{
    exco::CodeBuffer& out = code;
    if (dest.Where == 0 || dest.Type == 0 || dest.Where == 5)
        return;
    int32_t type = dest.Type;
    if (type != vt::Single && type != vt::Double && type != vt::Extended)
        type = vt::Integer;
    uint8_t opcode = 0xDB;
    uint8_t storeReg = 3;
    uint8_t loadReg = 0;
    switch (type) {
    case vt::Single: opcode = 0xD9; storeReg = 3; loadReg = 0; break;
    case vt::Double: opcode = 0xDD; storeReg = 3; loadReg = 0; break;
    case vt::Extended: opcode = 0xDB; storeReg = 7; loadReg = 5; break;
    default: opcode = 0xDB; storeReg = 3; loadReg = 0; break;
    }
    const auto append32 = [&out](uint32_t v) {
        for (int k = 0; k < 4; ++k)
            out.push_back(static_cast<uint8_t>(v >> (8 * k)));
    };
    if (dest.Where >= 1 && dest.Where <= 4) {
        // [reg + disp32] with the caller's register; eax, ebx, ecx, edx are x86 0, 3, 1, 2.
        static constexpr uint8_t kBase[4] = {0, 3, 1, 2};
        const uint8_t base = kBase[dest.Where - 1];
        for (const uint8_t reg : {storeReg, loadReg}) {
            out.push_back(opcode);
            out.push_back(static_cast<uint8_t>(0x80 | (reg << 3) | base));
            append32(static_cast<uint32_t>(dest.Disp));
        }
        return;
    }
    // An absolute address, through r11; what was stored is loaded back as the result.
    for (const uint8_t reg : {storeReg, loadReg}) {
        out.push_back(0x49);
        out.push_back(0xBB);
        const uint64_t address = static_cast<uint64_t>(dest.Where);
        for (int k = 0; k < 8; ++k)
            out.push_back(static_cast<uint8_t>(address >> (8 * k)));
        out.push_back(0x41);
        out.push_back(opcode);
        out.push_back(static_cast<uint8_t>((reg << 3) | 3));
    }
}

// ---------------------------------------------------------------------------------
// TCompiler

TCompiler::TCompiler(const TArrayFuncList& table) : s_(std::make_unique<State>(table)) {}

TCompiler::~TCompiler() = default;

void TCompiler::InitEmit(const TVarList& variables, const TDestination& dest, uint8_t option, uint8_t stackMode,
                         int32_t tempType, int32_t constType, int32_t depthLimit)
{
    s_->variables = &variables;
    s_->dest = dest;
    s_->option = option;
    s_->stackMode = stackMode;
    s_->tempType = tempType;
    s_->constType = constType;
    s_->depthLimit = depthLimit;
    s_->key = kEmit;
    s_->tracking = true;
}

void TCompiler::SetVariablesVersion(uint64_t version) { s_->variablesVersion = version; }

void TCompiler::InitMeasure(const TVarList& variables, int32_t tempType, int32_t constType, int32_t depthLimit)
{
    s_->variables = &variables;
    s_->stackMode = 1;
    s_->tempType = tempType;
    s_->constType = constType;
    s_->depthLimit = depthLimit;
    s_->key = kMeasure;
    s_->tracking = true;
    s_->recordedEnd = 0;
}

void TCompiler::MeasureGrowth(TArrayOfTFunc& list, int32_t& overallMax, std::vector<int32_t>& growth)
{
    s_->list = &list;
    s_->resetRun();
    s_->maxDepth = 0;
    growth.assign(list.size(), 0);
    s_->runList([&](int32_t i, int32_t grew) {
        growth[static_cast<std::size_t>(i)] = grew;
        return true;
    });
    overallMax = s_->maxDepth;
}

int32_t TCompiler::FirstEntryAboveLimit(TArrayOfTFunc& list, int32_t resumeAt)
{
    State& s = *s_;
    // Only a run of this list that stopped after resumeAt is gone on with; the flags
    // were sized for its length.
    const bool resumes = resumeAt >= 1 && resumeAt < s.recordedEnd && s.list == &list &&
                         s.onStack.size() == list.size() && s.key == kMeasure;
    s.list = &list;
    if (resumes)
        s.rewindTo(resumeAt);
    else
        s.resetRun();
    int32_t found = 0;
    s.runList<true>(
        [&](int32_t i, int32_t) {
            if (s.measureMax > s.depthLimit) {
                found = i;
                return false;
            }
            return true;
        },
        resumes ? resumeAt : 1);
    return found;
}

void TCompiler::Compile(TArrayOfTFunc& list, TFunction& func, std::size_t levelSlots, std::size_t sharedSlots)
{
    Generate(list, levelSlots, sharedSlots);
    Place(func);
}

int32_t TCompiler::Generate(TArrayOfTFunc& list, std::size_t levelSlots, std::size_t sharedSlots,
                            std::vector<int32_t>* growth, bool unmarked)
{
    State& s = *s_;
    s.list = &list;
    s.key = kEmit;
    recompiled_ = false;
    s.maxDepth = 0;
    // Slots of computations shared between functions of the same argument, and the
    // highest level, in one pass.
    if (!unmarked || levelSlots == 0) {
        int32_t highestLevel = 0;
        for (const TFunc& f : list) {
            highestLevel = std::max(highestLevel, f.Level);
            if (f.Role != 0)
                sharedSlots = std::max(sharedSlots, static_cast<std::size_t>(std::max(f.SharedTemp, 0)) + 1);
            for (const TSharedKey& key : f.SharedKeys)
                sharedSlots = std::max(sharedSlots, static_cast<std::size_t>(std::max(key.Temp, 0)) + 1);
        }
        if (levelSlots == 0)
            levelSlots = static_cast<std::size_t>(highestLevel) + 2;
    }
    s.levelSlots = std::max<std::size_t>(levelSlots, 1);
    s.sharedSlots = std::max<std::size_t>(sharedSlots, 1);
    s.listAsLowered = unmarked;
    s.resetRun();
    if (growth != nullptr) {
        growth->assign(list.size(), 0);
        s.runList([&](int32_t i, int32_t grew) {
            (*growth)[static_cast<std::size_t>(i)] = grew;
            return true;
        });
    } else {
        s.runList([](int32_t, int32_t) { return true; });
    }
    s.patchJumps();
    return s.maxDepth;
}

void TCompiler::Place(TFunction& func)
{
    State& s = *s_;
    if (s.stackMode == 1 && s.overflow) {
        s.stackMode = 0;
        s.maxDepth = 0;
        recompiled_ = true;
        s.resetRun();
        s.runList([](int32_t, int32_t) { return true; });
        s.patchJumps();
    }
    maxDepth_ = s.maxDepth;
    std::shared_ptr<uint8_t[]> data;
    if (s.data.used() > 0) {
        data = std::make_shared<uint8_t[]>(s.data.used());
        s.data.copyTo(data.get());
    }
    const std::size_t start = s.assemble(data.get());
    const std::span<const uint8_t> routine(s.code.data() + start, s.code.size() - start);
    func.ConstHead = data.get();
    const uintptr_t entry = exco::ExecArena::instance().place(routine, std::move(data));
    func.Entry = static_cast<intptr_t>(entry);
    func.Code = std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(entry), routine.size());
    s.trim();
}

bool TCompiler::Uses(const TArrayFuncList& table) const { return &s_->table == &table; }

std::array<int32_t, 8> TCompiler::UsedRegisters() const
{
    const uint64_t saved = s_->savedRegisters();
    std::array<int32_t, 8> out{};
    for (std::size_t r = 0; r < out.size(); ++r)
        out[r] = static_cast<int32_t>((saved >> (8 * r)) & 1);
    return out;
}

void TCompiler::SetReservedRegisters(const std::array<int32_t, 8>& reserved)
{
    State& s = *s_;
    for (std::size_t r = 0; r < reserved.size(); ++r)
        s.reserved[r] = reserved[r] != 0;
}
