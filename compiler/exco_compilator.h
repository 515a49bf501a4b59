// The code generator: turns one code list into one native x87 routine.
//
// Addressing. Generated code reaches every writable memory operand, wherever it lives
// (host variables on the heap, the stack or in static storage, the routine's scratch
// cells and temporaries), by one scheme: the 64-bit address is loaded into r11
// (movabs r11, imm64) and the instruction addresses [r11]. r11 is a scratch register
// of the System V ABI that no runtime routine relies on, so nothing saves it; it is
// loaded afresh before every memory operand. The x87 encodings keep their opcode and
// register field; the ModRM byte selects [r11] (with a REX.B prefix) instead of an
// absolute disp32. Constants are read-only and travel with the code: they follow the
// ret and are addressed [rip + disp32] (the same ModRM 05 encoding), so a text
// compiles to the same bytes wherever its routine is placed.
//
// The routine: pushes of the registers it uses (rax..rdi in the order eax, ebx, ecx,
// edx, esp, ebp, esi, edi of the 32-bit numbering), an 8-byte pad when the body calls
// anything and the pushes left the stack misaligned, the body, the pops, the optional
// result store, ret. It returns its value in ST(0); with a destination it stores the
// value and loads back what was stored, so the caller sees the stored value.
//
// Writable data of a routine (scratch cells, level and shared temporaries, argument
// blocks) lives in one heap block attached to the routine's code in the executable
// arena and freed with it; a routine that needs none has none. Temporaries are
// Extended, 10 bytes each, slot s at base + 10 s.
//
// Combining. Each operand of a sum or product joins the running value of its parent
// by its own combine operator (falling back to the parent's per-operand list), with
// the instruction chosen from the running state: the first value that reaches the
// stack starts it, and a product whose first value is a divisor keeps a pending
// division that the next multiplier resolves (fdivrp), so that reordering operands
// never changes the value.
#pragma once

#include "compiler/exco_types.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class TCompiler;

namespace exco {

// What one compile keeps for the next, so that a compile allocates nothing once its
// buffers have grown: the generator with its buffers, the code-list entries with the
// arrays they hold, and the per-entry lists of the passes.
class Workspace {
 public:
    Workspace();
    ~Workspace();
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    // The generator for the function table (made again when the table is another).
    TCompiler& compiler(const TArrayFuncList& table);
    // A second one, for the routines that fold constant calls while the list is built.
    TCompiler& folder(const TArrayFuncList& table);

    TArrayOfTFunc list;            // the code list between compiles
    const TFunc* freshFirst = nullptr;  // the storage of the list whose entry 0 was last reset
    std::vector<TNode*> nodes;     // the tree node of every code-list entry
    std::vector<int32_t> growth;   // depth growth of every entry
    std::vector<TNode*> siblings;  // children of the node being reordered, or pending levels
    // The optimiser's: operand entries per entry (all, and those not "@@NOP"), the
    // operands of one entry and their constant values, and the calls of the list.
    std::vector<int32_t> allOperands, liveOperands, operands;
    std::vector<int32_t> calls;  // the entries that call a function
    std::vector<int32_t> sharing;  // pairs of positions in calls whose results may be shared
    std::vector<uint64_t> operandKeys;  // a key of each call's operands
    std::vector<int32_t> candidates;   // positions in calls that end a chain the window holds
    std::vector<int32_t> chainWindows;  // the window of the chain each entry ends, or 0
    std::vector<Extended> arguments;
    TArrayOfTFunc folded;  // the code list of a constant call being folded

 private:
    std::unique_ptr<TCompiler> compiler_, folder_;
};

// Optimises a code list after lowering; true when it changed the list.
class ListOptimiser {
 public:
    virtual bool optimise(TArrayOfTFunc& list) = 0;

 protected:
    ~ListOptimiser() = default;
};

// One compile from the parse tree on: tree passes, lowering, keeping results in
// memory, code generation and placement. TExcoH::GenerateCode fills it from its
// fields.
struct RoutineRequest {
    TNode* root = nullptr;
    const TVarList* variables = nullptr;
    uint64_t variablesVersion = 0;  // of the variables' contents, 0 when unknown
    const TArrayFuncList* functions = nullptr;
    bool optimise = true;
    bool skipDepthPasses = false;  // may be set by reordering
    int32_t passSwitch1 = 2;
    int32_t passSwitch2 = 2;
    int32_t depthLimit = 8;
    int32_t constType = vt::Double;
    uint8_t stackMode = 1;
    uint8_t generatorOption = 0;
    TDestination dest;
    std::array<int32_t, 8> reservedRegisters{};
    // Kept between compiles by the caller; a compile without one uses its own.
    Workspace* workspace = nullptr;
    // Optimises the code list after lowering when set.
    ListOptimiser* optimiseList = nullptr;
    // results; the entries the list holds on entry are reused for their storage
    TArrayOfTFunc codeList;
    int32_t maxDepth = 0;
    bool spilled = false;
    std::array<int32_t, 8> usedRegisters{};
};

// Builds the routine of request.root into func (func.Entry is its handle).
void BuildRoutine(RoutineRequest& request, TFunction& func);

// Makes entry a fresh one, keeping the storage of its text and arrays.
void ResetKeepingStorage(TFunc& entry);
}  // namespace exco

class TCompiler {
 public:
    static constexpr int32_t kEmit = 1;
    static constexpr int32_t kMeasure = 2;

    explicit TCompiler(const TArrayFuncList& table);
    ~TCompiler();
    TCompiler(const TCompiler&) = delete;
    TCompiler& operator=(const TCompiler&) = delete;

    void InitEmit(const TVarList& variables, const TDestination& dest, uint8_t option, uint8_t stackMode,
                  int32_t tempType, int32_t constType, int32_t depthLimit);
    void InitMeasure(const TVarList& variables, int32_t tempType, int32_t constType, int32_t depthLimit);
    // The version of the variable table's contents, which lets the loads find types
    // through an index of a long table; 0 (the default) when the caller keeps none.
    void SetVariablesVersion(uint64_t version);

    // Runs the generators over the list in measuring mode (nothing is written) and
    // fills growth, per entry, with the highest depth reached while the entry was
    // generated minus the depth at its start. overallMax receives the deepest point.
    void MeasureGrowth(TArrayOfTFunc& list, int32_t& overallMax, std::vector<int32_t>& growth);
    // Index of the first entry during which the depth goes above the limit, 0 when
    // none does.
    // resumeAt: an entry at or after which the list changed since the last call, which
    // stopped after it (only entries' own results kept in memory may change between
    // the calls): the run then goes on from the state it had when it reached that
    // entry, instead of measuring the entries before it again. 0 measures from the
    // start.
    int32_t FirstEntryAboveLimit(TArrayOfTFunc& list, int32_t resumeAt = 0);

    // Compiles the list into func: code into the executable arena, func.Entry set.
    // levelSlots and sharedSlots size the temporaries (levelSlots 0: enough for the
    // list's highest level). The same as Generate, then Place.
    void Compile(TArrayOfTFunc& list, TFunction& func, std::size_t levelSlots, std::size_t sharedSlots);
    // One emitting run over the list (prepared by InitEmit). In stack mode 1 its depths
    // are those a measuring run finds: growth (when given) receives each entry's, and
    // it returns the deepest point.
    // unmarked: the list is as lowered from the tree (before the optimiser): no entry
    // holds a shared-result mark, so that with levelSlots given the list is not walked
    // for them, and its entries are in post-order, each with the count of its operands.
    int32_t Generate(TArrayOfTFunc& list, std::size_t levelSlots, std::size_t sharedSlots,
                     std::vector<int32_t>* growth = nullptr, bool unmarked = false);
    // Places what the last Generate made into func, generated again first with every
    // result in memory when it went deeper than the limit in stack mode 1.
    void Place(TFunction& func);

    // Whether it generates with this function table.
    bool Uses(const TArrayFuncList& table) const;
    int32_t MaxDepth() const { return maxDepth_; }
    bool Recompiled() const { return recompiled_; }
    // All eight at once, register 1 first: 1 for used or reserved, else 0.
    std::array<int32_t, 8> UsedRegisters() const;
    // All eight at once, register 1 first: non-zero reserves it.
    void SetReservedRegisters(const std::array<int32_t, 8>& reserved);

    // The generator's working state (compiler/exco_compilator_state.h).
    struct State;

 private:
    std::unique_ptr<State> s_;
    int32_t maxDepth_ = 0;
    bool recompiled_ = false;
};
