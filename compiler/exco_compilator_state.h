// Internal state of the code generator, shared by its source files (the core in
// exco_compilator.cpp, the operand loads and fused forms in exco_loads.cpp).
#pragma once

#include "compiler/exco_compilator.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <span>
#include <stdexcept>
#include <vector>

namespace exco {

// Cells a run hands out at addresses that stay fixed until the next run starts, in
// chunks kept from one run to the next. An address handed out is found again as an
// offset: the cells in the order they were taken, laid end to end.
class CellPool {
 public:
    // size bytes holding value (zeros when value is null), 16-byte aligned.
    uint8_t* take(const void* value, std::size_t size);
    void reset();
    // Offset of p among the cells taken, or -1 when p lies in none of them.
    std::ptrdiff_t offsetOf(const void* p) const;
    std::size_t used() const;
    // The cells taken, end to end, into out (used() bytes).
    void copyTo(uint8_t* out) const;
    // Gives its chunks back when they hold more than bytes; only between runs.
    void trim(std::size_t bytes);

 private:
    struct Chunk {
        std::unique_ptr<uint8_t[]> bytes;
        std::size_t size = 0;
        std::size_t used = 0;
        std::size_t offset = 0;  // of its first byte among all cells taken
    };
    std::vector<Chunk> chunks_;
    std::size_t inUse_ = 0;  // chunks [0, inUse_) hold cells of this run
};

// The routine's bytes while they are generated. Appending a few bytes is a bounds
// check and the stores, without the range copy or the zero fill of a vector.
class CodeBuffer {
 public:
    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }
    uint8_t* data() { return bytes_.get(); }
    const uint8_t* data() const { return bytes_.get(); }
    uint8_t* begin() { return bytes_.get(); }
    uint8_t* end() { return bytes_.get() + size_; }

    // Room for n more bytes at the end, returned for writing.
    uint8_t* extend(std::size_t n)
    {
        if (capacity_ - size_ < n)
            grow(size_ + n);
        uint8_t* const out = bytes_.get() + size_;
        size_ += n;
        return out;
    }
    void append(const uint8_t* values, std::size_t n)
    {
        uint8_t* const out = extend(n);
        for (std::size_t k = 0; k < n; ++k)
            out[k] = values[k];
    }
    void push_back(uint8_t value) { *extend(1) = value; }
    // Appends [first, last); the buffer only grows at its end.
    template <class It>
    void insert(const uint8_t* at, It first, It last)
    {
        if (at != end())
            throw std::logic_error("code is only appended");
        uint8_t* out = extend(static_cast<std::size_t>(std::distance(first, last)));
        for (; first != last; ++first)
            *out++ = *first;
    }
    // Makes it n bytes long; bytes it did not hold before are left unwritten.
    void rewind(std::size_t n);
    // Gives its storage back.
    void release();

 private:
    void grow(std::size_t atLeast);
    std::unique_ptr<uint8_t[]> bytes_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace exco

// The operand entries of every code-list entry, in list order, kept in one block so
// that a pass over the list allocates nothing once the block has grown.
class ChildLists {
 public:
    // From the parent indices of the list's entries.
    void build(const TArrayOfTFunc& list);
    // The same lists, in one pass, for a list as lowered from the tree: in post-order
    // and each entry's operand count that of its operands, the last of which then
    // stands just before it.
    void buildPostOrder(const TArrayOfTFunc& list);
    std::span<const int32_t> operator[](std::size_t entry) const
    {
        return {flat_.data() + start_[entry], start_[entry + 1] - start_[entry]};
    }

 private:
    std::vector<std::size_t> start_;  // entry k's operands are flat_[start_[k], start_[k + 1])
    std::vector<int32_t> flat_;
    std::vector<std::size_t> subtree_;  // buildPostOrder's: entries of each entry's subtree
};

class ListRegisters;

struct TCompiler::State {
    static constexpr std::size_t kTempBytes = 10;
    static constexpr int32_t kInt64 = 100;  // load type of a 64-bit integer cell

    enum class Arith { Add = 0, Mul = 1, Sub = 4, SubR = 5, Div = 6, DivR = 7 };

    struct Jump {
        std::size_t end = 0;      // code offset just past the rel32
        int32_t targetEntry = 0;  // the jump lands after this entry's code
    };

    explicit State(const TArrayFuncList& functions) : table(functions) {}

    const TArrayFuncList& table;
    const TVarList* variables = nullptr;
    uint64_t variablesVersion = 0;  // of the table's contents; 0 when unknown
    // A long table's types by address (its first variable of each address), for the
    // loads; built for the table storage, length and version it records.
    struct TypesByAddress {
        std::vector<std::pair<const void*, int32_t>> entries;
        const TVariable* table = nullptr;
        std::size_t count = 0;
        uint64_t version = 0;
    };
    mutable TypesByAddress typesByAddress;
    const TypesByAddress& typesOfTable() const;
    TDestination dest;
    uint8_t option = 0;
    uint8_t stackMode = 1;
    int32_t tempType = vt::Extended;
    int32_t constType = vt::Double;
    int32_t depthLimit = 8;
    int32_t key = kEmit;
    bool tracking = true;

    int32_t depth = 0;
    int32_t maxDepth = 0;
    int32_t measureMax = 0;
    bool overflow = false;

    // The routine is assembled in place: the body from kHeader on, the prologue
    // written just before it once the registers it saves are known, the epilogue and
    // the constants after it. Offsets into the code (jumps, fixes, entries' code
    // offsets) are counted from the buffer's start.
    static constexpr std::size_t kHeader = 16;
    exco::CodeBuffer code;
    std::array<bool, 8> used{};
    std::array<bool, 8> reserved{};
    bool hasCalls = false;
    bool foreignCall = false;  // a call of something that may fault otherwise than by x87 flags
    bool hasEffects = false;  // the routine writes host memory besides its result store
    bool foreignTemplate = false;  // a template copied in that is not ContainedTemplate

    TArrayOfTFunc* list = nullptr;
    ChildLists children;
    // The next run's list is as lowered (Generate's unmarked), so that its operand
    // lists are built in one pass.
    bool listAsLowered = false;
    // The three per-entry flags of a run, in one block cleared at once.
    std::vector<uint8_t> flags;
    std::span<uint8_t> onStack;   // per entry: its value was left on the x87 stack
    std::span<uint8_t> started;   // per sum or product: its running value is on the stack
    std::span<uint8_t> inverted;  // per product: the running value is a pending divisor
    std::vector<Jump> jumps;

    // Constants travel with the code, after its ret, and are addressed relative to
    // rip: the same text compiles to the same bytes wherever it is placed.
    struct Fix {
        std::size_t at = 0;      // offset of the disp32 or imm64 in the code
        std::size_t offset = 0;  // of the cell among the cells of its pool
    };
    exco::CellPool constants;
    std::vector<Fix> ripFixes;
    // Writable data (scratch cells, temporaries, argument blocks) is taken from a pool
    // while generating and goes into one block of its own when the routine is placed;
    // the addresses in the code are then moved to that block. A routine that uses none
    // has none.
    exco::CellPool data;
    std::vector<Fix> dataFixes;
    std::size_t levelSlots = 1, sharedSlots = 1;
    const uint8_t* levelBase = nullptr;
    const uint8_t* sharedBase = nullptr;

    bool emitting() const { return key == kEmit; }
    TFunc& node(int32_t i) { return (*list)[static_cast<std::size_t>(i)]; }
    const TFunc& node(int32_t i) const { return (*list)[static_cast<std::size_t>(i)]; }
    int32_t last() const { return static_cast<int32_t>(list->size()) - 1; }
    int32_t childCount(int32_t i) const
    {
        return static_cast<int32_t>(children[static_cast<std::size_t>(i)].size());
    }

    // emit primitives; the smallest are defined here, so that the generators' many
    // calls of them are inlined
    void bytes(std::initializer_list<uint8_t> values)
    {
        if (emitting())
            code.append(values.begin(), values.size());
    }
    // Little-endian, as x86 reads immediates (and as this machine stores them).
    void imm32(uint32_t value)
    {
        if (emitting())
            std::memcpy(code.extend(sizeof value), &value, sizeof value);
    }
    void imm64(uint64_t value)
    {
        if (emitting())
            std::memcpy(code.extend(sizeof value), &value, sizeof value);
    }
    void adjust(int32_t delta)
    {
        if (!tracking)
            return;
        depth += delta;
        if (depth > depthLimit)
            overflow = true;
        maxDepth = std::max(maxDepth, depth);
        measureMax = std::max(measureMax, depth);
    }
    void markUsed(int32_t reg)
    {
        if (reg >= 1 && reg <= 8)
            used[static_cast<std::size_t>(reg - 1)] = true;
    }
    void loadR11(const void* address);
    // Writes movabs r11, address (with its fix when address is a data cell) and room
    // for more bytes after it, which it returns; only when emitting.
    uint8_t* movR11(const void* address, std::size_t more);
    void addDataFix(std::size_t at, std::size_t cell);
    void mem(std::initializer_list<uint8_t> opcode, int reg, const void* address);
    void load(const void* address, int32_t type);
    void storePop(const void* address, int32_t type);
    // The popping register form: st(1) = st(1) op st(0), popped.
    void popOp(Arith op)
    {
        switch (op) {
        case Arith::Add: bytes({0xDE, 0xC1}); break;
        case Arith::Mul: bytes({0xDE, 0xC9}); break;
        case Arith::Sub: bytes({0xDE, 0xE9}); break;
        case Arith::SubR: bytes({0xDE, 0xE1}); break;
        case Arith::Div: bytes({0xDE, 0xF9}); break;
        case Arith::DivR: bytes({0xDE, 0xF1}); break;
        }
        adjust(-1);
    }
    void arith(Arith op, const void* address, int32_t type);
    void fchs() { bytes({0xD9, 0xE0}); }
    void fxch() { bytes({0xD9, 0xC9}); }

    // constants and cells
    const void* newCell(const void* value, std::size_t size);
    const void* dataBlock(std::size_t size);
    const void* constCell(const void* value, std::size_t size);
    const void* realCell(Extended value, int32_t& type);
    const void* intCell(int64_t value);
    const void* scratchCell();
    void loadConst(Extended value);
    void constArith(Arith op, Extended value);
    // Defined here: most factors are 1 and most addends 0, which then cost a comparison
    // in the caller.
    void mulConst(Extended a)
    {
        if (a == -1)
            fchs();
        else if (a != 1)
            constArith(Arith::Mul, a);
    }
    void addConst(Extended b)
    {
        if (b != 0)
            constArith(Arith::Add, b);
    }

    // tables
    int32_t varType(const void* address) const;
    int32_t classOf(int32_t funcIndex) const;
    const void* levelTemp(int32_t level);
    void loadOperandIfStored(int32_t child);

    // combining
    int32_t effectiveOperator(int32_t i) const;
    bool isDivisor(int32_t i) const;
    bool isNegativeTerm(int32_t i) const;
    void joinTop(int32_t parent, bool negativeOrDivisor);
    void joinMemory(int32_t parent, const void* address, int32_t type, bool negativeOrDivisor);
    bool keepsResultOnStack(int32_t i) const;
    void finishNode(int32_t i);

    // generators
    void generateNode(int32_t i);
    void applyPostForm(int32_t i);
    void generateJump(int32_t i);
    void patchJumps();
    void linearForm(Extended a, Extended b, const void* variable);
    void integerFormToEax(const void* variable, int32_t a, int32_t b);
    void integerCombinationToEax(const TArrayP& vars, const TArrayI& coefs);
    void eaxToX87();
    void truncateToEax(bool wide);
    void scaledProductForm(const TFunc& n);
    void realCombination(const TArrayP& vars, const std::vector<Extended>& coefs);
    void integerRealCombination(const TArrayP& vars, const std::vector<Extended>& coefs);
    void productForm(const TFunc& n);
    void product(int32_t i);
    void sum(int32_t i);
    void arrayElement(int32_t i);
    void function(int32_t i);
    void pushRealArgument(int32_t i, int32_t kind);
    void integerArgumentToEax(int32_t i, int32_t kind);
    void callRoutine(intptr_t routine, int32_t reg);
    void placeArguments(int32_t i, int32_t cls);
    void genericCode(int32_t i, const TFuncList& entry);
    void vectorCall(int32_t i);
    void listCall(int32_t i);
    struct ListDepths {
        int32_t call = 0;
        int32_t inlined = 0;
    };
    ListDepths listDepths(int32_t i) const;
    void inlineList(int32_t i, int32_t callDepth);
    void registerForm(const std::array<uint8_t, 2>& form, uint8_t k);
    void listValueToTop(ListRegisters& regs, std::span<const int32_t> operands, std::size_t k);
    void inlineFold(std::span<const int32_t> operands, ListRegisters& regs, int32_t f);
    void inlineExtreme(std::span<const int32_t> operands, ListRegisters& regs, bool largest);
    void inlineSign();
    // calls of added functions (compiler/exco_usercall.cpp)
    void userCall(int32_t i);

    // sharing one computation between functions of the same argument
    const void* sharedTemp(int32_t slot);
    void saveShared(int32_t slot);
    void loadShared(int32_t slot);
    void loadPiHalf();
    void sharedFunction(int32_t i);
    void hyperbolicFromExp(int32_t funcIndex);
    void tanhChain(bool cotangent);

    // What a measuring run held when it reached an entry, so that it can go on from
    // there once that entry's result is kept in memory: generating an entry writes
    // the flags of the entry and of its parent only, and in measuring mode no cell
    // or fix, which leaves these the whole of the run's state.
    struct EntryStart {
        int32_t depth = 0;
        bool overflow = false;
        bool tracking = true;
        bool hasCalls = false;
        bool foreignCall = false;
        bool hasEffects = false;
        bool foreignTemplate = false;
        std::array<bool, 8> used{};
        std::size_t jumps = 0;
        std::size_t codeSize = 0;
        int32_t parent = 0;                 // 0 when the entry has none in the list
        std::array<uint8_t, 5> flagBytes{};  // onStack, started, inverted of the entry; started, inverted of the parent
    };
    std::vector<EntryStart> entryStarts;  // per entry; recorded for [1, recordedEnd)
    int32_t recordedEnd = 0;              // 0: nothing recorded since the last reset
    void recordEntryStart(int32_t i);
    // Back to the state recorded when the run reached entry i.
    void rewindTo(int32_t i);

    // runs
    void resetRun();
    // The code of entry i (not "@@NOP"), its post form and its joining.
    void generateEntry(int32_t i);
    // Recorded: each entry's start is kept for rewindTo. first: where the run goes on.
    template <bool Recorded = false, class AfterEntry>
    void runList(AfterEntry&& afterEntry, int32_t first = 1);
    // Gives back the buffers of a huge text once its routine is placed.
    void trim();
    // The finished routine, in code from the returned offset to its end.
    std::size_t assemble(const uint8_t* dataBlock);
    // The registers the routine saves (used or reserved), register 1 in the lowest
    // byte: 1 for a saved one, else 0.
    uint64_t savedRegisters() const;
    void appendResultStore();
};
