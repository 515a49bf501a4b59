// From the parse tree to a routine: numbering, depth measurement and operand
// reordering on the tree, lowering to the code list, keeping results in memory where
// the list would overflow the x87 stack, and code generation.
#include "compiler/exco_compilator.h"
#include "compiler/exco_h.h"
#include "compiler/exec_arena.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

namespace {

// Post-order over first-child / next-sibling / parent links, without recursion.
template <class Visit>
void postOrder(TNode* root, Visit&& visit)
{
    if (root == nullptr)
        return;
    TNode* node = root;
    while (node->FirstChild != nullptr)
        node = node->FirstChild;
    for (;;) {
        visit(node);
        if (node == root)
            return;
        if (node->NextSibling != nullptr) {
            node = node->NextSibling;
            while (node->FirstChild != nullptr)
                node = node->FirstChild;
        } else {
            node = node->Parent;
        }
    }
}

int32_t childCount(const TNode* node)
{
    int32_t count = 0;
    for (const TNode* child = node->FirstChild; child != nullptr; child = child->NextSibling)
        ++count;
    return count;
}

// One walk for the numbering passes: every child's operand position (1, 2, ... in
// sibling order) and parent index (its parent's visit number, which is the parent's
// later code-list index), the root's both 0; nodes receives the nodes in that
// post-order after an unfilled element 0. freshStates also gives every node result
// state 1 and a clear swapped flag, which the first walk of a compile does; after
// reordering the states stay.
void numberTree(TNode* root, std::vector<TNode*>& nodes, bool freshStates)
{
    nodes.assign(1, nullptr);
    root->OperandPos = 0;
    root->ParentIndex = 0;
    postOrder(root, [&](TNode* node) {
        const int32_t visit = static_cast<int32_t>(nodes.size());
        nodes.push_back(node);
        int32_t pos = 1;
        for (TNode* child = node->FirstChild; child != nullptr; child = child->NextSibling) {
            child->OperandPos = pos++;
            child->ParentIndex = visit;
        }
        if (freshStates) {
            node->ResultState = 1;
            node->Swapped = 0;
        }
    });
}

// Levels again after reordering: a first child shares its parent's level, each later
// sibling has the previous one's level + 1.
void renumberLevels(TNode* root, std::vector<TNode*>& pending)
{
    pending.assign(1, root);
    while (!pending.empty()) {
        TNode* node = pending.back();
        pending.pop_back();
        int32_t level = node->Level;
        for (TNode* child = node->FirstChild; child != nullptr; child = child->NextSibling) {
            child->Level = level++;
            pending.push_back(child);
        }
    }
}

// The address of variable index of a table of size entries, null for none.
void* addressOf(const TVariable* table, std::size_t size, int32_t index)
{
    // A negative index converts to a size beyond any table's: one comparison.
    const auto at = static_cast<std::size_t>(index);
    return at < size ? table[at].Address : nullptr;
}

}  // namespace

void exco::ResetKeepingStorage(TFunc& f)
{
    // Field by field, so that the lists keep their storage without being moved out
    // and back; fillCodeList's assertion keeps the two in step with TFunc.
    static const TFunc fresh;
    f.Level = fresh.Level;
    f.OperandCount = fresh.OperandCount;
    f.Operator = fresh.Operator;
    f.Negate = fresh.Negate;
    f.OperandPos = fresh.OperandPos;
    f.ParentIndex = fresh.ParentIndex;
    f.BranchId = fresh.BranchId;
    f.BranchLink = fresh.BranchLink;
    f.FuncIndex = fresh.FuncIndex;
    f.StoreType = fresh.StoreType;
    f.StoreAdjust = fresh.StoreAdjust;
    f.OperandOps.clear();
    f.OperandStates.clear();
    f.OperandStoreAdjust.clear();
    f.ResultState = fresh.ResultState;
    f.GeneratedState = fresh.GeneratedState;
    f.DestWhere = fresh.DestWhere;
    f.DestDisp = fresh.DestDisp;
    f.DestType = fresh.DestType;
    f.Text = fresh.Text;
    f.Swapped = fresh.Swapped;
    f.PostForm = fresh.PostForm;
    f.PowerKey = fresh.PowerKey;
    f.IntFormKind = fresh.IntFormKind;
    f.RealFormKind = fresh.RealFormKind;
    f.OperandKind = fresh.OperandKind;
    f.Word27 = fresh.Word27;
    f.A = fresh.A;
    f.B = fresh.B;
    f.a1 = fresh.a1;
    f.b1 = fresh.b1;
    f.a2 = fresh.a2;
    f.b2 = fresh.b2;
    f.IntCoef = fresh.IntCoef;
    f.IntAddend = fresh.IntAddend;
    f.Word36 = fresh.Word36;
    f.Var1 = fresh.Var1;
    f.Var2 = fresh.Var2;
    f.Word38 = fresh.Word38;
    f.CodeOffset = fresh.CodeOffset;
    f.CodeLength = fresh.CodeLength;
    f.Var3 = fresh.Var3;
    f.Var4 = fresh.Var4;
    f.SharedKeys.clear();
    f.Role = fresh.Role;
    f.SharedTemp = fresh.SharedTemp;
    f.FormVars.clear();
    f.FormCoefs.clear();
    f.IntFormVars.clear();
    f.IntFormCoefs.clear();
    f.ScaledVars.clear();
}

namespace {

// Whether a coefficient is not 0. Most of a long table's are +0, which their bits
// tell without an x87 comparison; any other value is compared.
[[gnu::always_inline]] inline bool nonZero(const Extended& coef)
{
    uint64_t mantissa = 0;
    uint16_t signAndExponent = 0;
    std::memcpy(&mantissa, &coef, sizeof mantissa);
    std::memcpy(&signAndExponent, reinterpret_cast<const unsigned char*>(&coef) + sizeof mantissa,
                sizeof signAndExponent);
    if (mantissa == 0 && (signAndExponent & 0x7FFF) == 0)
        return false;
    return coef != 0;
}

// Coefficient vectors hold one coefficient per variable of the table; the code list
// keeps only the variables whose coefficient is not 0, from element 1 on, and (when
// kept is given) their coefficients the same way with the constant last. One walk
// over the vector, which is as long as the table.
template <class Coef>
void keepTerms(const std::vector<Extended>& coefs, const TVarList& vars, TArrayP& addresses,
               std::vector<Coef>* kept, Extended constant)
{
    addresses.assign(1, nullptr);
    if (kept != nullptr)
        kept->assign(1, 0);
    const std::size_t n = std::min(coefs.size(), vars.size());
    for (std::size_t v = 0; v < n; ++v) {
        if (!nonZero(coefs[v]))
            continue;
        addresses.push_back(vars[v].Address);
        if (kept != nullptr)
            kept->push_back(static_cast<Coef>(coefs[v]));
    }
    if (kept != nullptr)
        kept->push_back(static_cast<Coef>(constant));
}

// Every field of an entry is set below, from the node or to its fresh value; a field
// added to TFunc must be added there too.
static_assert(sizeof(TFunc) == 512, "fillCodeList and ResetKeepingStorage set every field of TFunc");

// A copy that keeps the target's storage; most entries' lists are empty, and then it
// costs a store instead of a call.
template <class T>
[[gnu::always_inline]] inline void copyKeepingStorage(std::vector<T>& to, const std::vector<T>& from)
{
    if (from.empty())
        to.clear();
    else
        to.assign(from.begin(), from.end());
}

// Runs of fields that TDataNode and TFunc declare alike, in the same order with
// nothing between: each run is copied as one block of bytes, which moves its Extendeds
// without the x87 loads and stores of a field by field copy.
struct FieldRun {
    std::size_t inFunc;
    std::size_t inNode;
    std::size_t bytes;
};

template <std::size_t N>
constexpr FieldRun alikeRun(const std::array<std::size_t, N>& inFunc, const std::array<std::size_t, N>& inNode,
                            std::size_t lastBytes)
{
    for (std::size_t k = 0; k < N; ++k)
        if (inFunc[k] - inFunc[0] != inNode[k] - inNode[0])
            return {0, 0, 0};
    return {inFunc[0], inNode[0], inFunc[N - 1] - inFunc[0] + lastBytes};
}

constexpr FieldRun kDestination = alikeRun<3>({offsetof(TFunc, DestWhere), offsetof(TFunc, DestDisp), offsetof(TFunc, DestType)},
                                              {offsetof(TDataNode, DestWhere), offsetof(TDataNode, DestDisp),
                                               offsetof(TDataNode, DestType)},
                                              sizeof(int32_t));
constexpr FieldRun kKinds = alikeRun<6>(
    {offsetof(TFunc, PostForm), offsetof(TFunc, PowerKey), offsetof(TFunc, IntFormKind), offsetof(TFunc, RealFormKind),
     offsetof(TFunc, OperandKind), offsetof(TFunc, Word27)},
    {offsetof(TDataNode, PostForm), offsetof(TDataNode, PowerKey), offsetof(TDataNode, IntFormKind),
     offsetof(TDataNode, RealFormKind), offsetof(TDataNode, OperandKind), offsetof(TDataNode, Word27)},
    sizeof(int32_t));
constexpr FieldRun kForms = alikeRun<9>(
    {offsetof(TFunc, A), offsetof(TFunc, B), offsetof(TFunc, a1), offsetof(TFunc, b1), offsetof(TFunc, a2),
     offsetof(TFunc, b2), offsetof(TFunc, IntCoef), offsetof(TFunc, IntAddend), offsetof(TFunc, Word36)},
    {offsetof(TDataNode, A), offsetof(TDataNode, B), offsetof(TDataNode, a1), offsetof(TDataNode, b1),
     offsetof(TDataNode, a2), offsetof(TDataNode, b2), offsetof(TDataNode, IntCoef), offsetof(TDataNode, IntAddend),
     offsetof(TDataNode, Word36)},
    sizeof(int32_t));
static_assert(kDestination.bytes == 3 * sizeof(int32_t) && kKinds.bytes == 6 * sizeof(int32_t) &&
                  kForms.bytes == offsetof(TFunc, IntCoef) - offsetof(TFunc, A) + 3 * sizeof(int32_t),
              "the runs copied as blocks are declared alike in TDataNode and TFunc");
static_assert(std::is_same_v<decltype(TFunc::A), decltype(TDataNode::A)> &&
                  std::is_same_v<decltype(TFunc::b2), decltype(TDataNode::b2)> &&
                  std::is_same_v<decltype(TFunc::IntCoef), decltype(TDataNode::IntCoef)>,
              "the runs copied as blocks hold the same types in TDataNode and TFunc");

[[gnu::always_inline]] inline void copyRun(TFunc& f, const TDataNode& d, const FieldRun& run)
{
    std::memcpy(reinterpret_cast<unsigned char*>(&f) + run.inFunc, reinterpret_cast<const unsigned char*>(&d) + run.inNode,
                run.bytes);
}

// table and tableSize: the storage and length of vars, read once for the whole list.
void fillCodeList(TFunc& f, const TNode& node, const TVarList& vars, const TVariable* table, std::size_t tableSize)
{
    const TDataNode& d = node.Data;
    f.GeneratedState = 0;
    f.CodeOffset = 0;
    f.CodeLength = 0;
    f.SharedKeys.clear();
    f.Role = 0;
    f.SharedTemp = 0;
    f.FormVars.clear();
    f.FormCoefs.clear();
    f.IntFormVars.clear();
    f.IntFormCoefs.clear();
    f.ScaledVars.clear();
    f.Text = node.Text;
    f.Level = node.Level;
    const int32_t operands = childCount(&node);
    f.OperandCount = operands;
    f.Operator = d.Operator;
    f.Negate = d.Negate;
    f.OperandPos = node.OperandPos;
    f.ParentIndex = node.ParentIndex;
    f.BranchId = d.BranchId;
    f.BranchLink = d.BranchLink;
    f.FuncIndex = d.FuncIndex;
    f.StoreType = d.StoreType;
    f.StoreAdjust = d.StoreAdjust;
    copyKeepingStorage(f.OperandOps, d.OperandOps);
    // Every operand starts on the x87 stack; keeping results in memory marks some.
    if (operands == 0)
        f.OperandStates.clear();
    else
        f.OperandStates.assign(static_cast<std::size_t>(operands), 1);
    copyKeepingStorage(f.OperandStoreAdjust, d.OperandStoreAdjust);
    f.ResultState = node.ResultState;
    copyRun(f, d, kDestination);  // DestWhere, DestDisp, DestType
    f.Swapped = node.Swapped;
    copyRun(f, d, kKinds);  // PostForm to Word27
    copyRun(f, d, kForms);  // A, B, a1, b1, a2, b2, IntCoef, IntAddend, Word36
    f.Var1 = addressOf(table, tableSize, d.VarIndex[0]);
    f.Var2 = addressOf(table, tableSize, d.VarIndex[1]);
    f.Var3 = addressOf(table, tableSize, d.VarIndex[2]);
    f.Var4 = addressOf(table, tableSize, d.VarIndex[3]);
    f.Word38 = d.Word38;

    if (d.RealFormKind == 3) {
        keepTerms(d.RealCoefs, vars, f.FormVars, &f.FormCoefs, d.ConstTerm);
    } else if (d.RealFormKind == 4) {
        f.a1 = d.ConstTerm;
        keepTerms<Extended>(d.RealCoefs, vars, f.FormVars, nullptr, 0);
    } else if (d.RealFormKind == 7) {
        keepTerms(d.IntRealCoefs, vars, f.IntFormVars, &f.FormCoefs, d.ConstTerm);
    }
    if (d.IntFormKind == 6)
        keepTerms(d.IntCoefs, vars, f.IntFormVars, &f.IntFormCoefs, d.IntConstTerm);
    for (const TScaledVarIndex& s : d.ScaledVars)
        f.ScaledVars.push_back(TScaledVar{s.A, s.B, addressOf(table, tableSize, s.VarIndex)});
}

// Lowers the tree into list from the nodes numberTree left in w.nodes, after the
// unfilled entry 0. Returns the highest level of the list's entries.
int32_t buildCodeList(const TVarList& vars, TArrayOfTFunc& list, exco::Workspace& w)
{
    const std::vector<TNode*>& nodes = w.nodes;
    // Nothing writes entry 0, so the one reset for the last compile is still fresh when
    // the list comes back in the same storage.
    const bool firstFresh = !list.empty() && list.data() == w.freshFirst;
    list.resizeKeepingEntries(nodes.size());
    if (!firstFresh || list.data() != w.freshFirst)
        exco::ResetKeepingStorage(list[0]);
    w.freshFirst = list.data();
    // Read once: filling an entry stores through pointers that might alias the vectors.
    TFunc* const entries = list.data();
    TNode* const* const tree = nodes.data();
    const std::size_t count = nodes.size();
    const TVariable* const table = vars.data();
    const std::size_t tableSize = vars.size();
    int32_t highestLevel = 0;
    for (std::size_t k = 1; k < count; ++k) {
        fillCodeList(entries[k], *tree[k], vars, table, tableSize);
        highestLevel = std::max(highestLevel, entries[k].Level);
    }
    return highestLevel;
}

int32_t functionClass(const TArrayFuncList& table, int32_t index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= table.size())
        return 0;
    return table[static_cast<std::size_t>(index)].Class;
}

// The operator with which a child joins its sum or product, taken along when the
// children are reordered. The first term of a sum is added, of a product multiplied.
int32_t joiningOperator(const TNode& parent, const TNode& child)
{
    int32_t op = child.Data.Operator;
    const std::size_t pos = static_cast<std::size_t>(child.OperandPos);
    if (op == op::First && pos >= 1 && pos <= parent.Data.OperandOps.size())
        op = parent.Data.OperandOps[pos - 1];
    if (op == op::First || op == op::DivReversed)
        op = parent.Data.FuncIndex == fx::ADD ? op::Add : op::Mul;
    return op;
}

// Sorts the children by required depth, deepest first (the earliest wins ties). The
// operators of a sum or product travel with their terms, and the generator picks the
// instructions from the order it meets them in, so the value stays the same.
bool reorderOperands(exco::RoutineRequest& exco, TNode* node, std::vector<TNode*>& kids)
{
    kids.clear();
    for (TNode* child = node->FirstChild; child != nullptr; child = child->NextSibling)
        kids.push_back(child);
    if (kids.size() < 2)
        return false;
    bool later = false;
    for (std::size_t k = 1; k < kids.size(); ++k)
        later = later || kids[k]->RequiredDepth > kids[0]->RequiredDepth;
    if (!later)
        return false;
    const int32_t func = node->Data.FuncIndex;
    const bool sumOrProduct = func == fx::ADD || func == fx::MUL;
    if (sumOrProduct)
        for (TNode* kid : kids)
            kid->Data.Operator = joiningOperator(*node, *kid);
    std::stable_sort(kids.begin(), kids.end(),
                     [](const TNode* a, const TNode* b) { return a->RequiredDepth > b->RequiredDepth; });
    node->FirstChild = kids.front();
    for (std::size_t k = 0; k < kids.size(); ++k) {
        kids[k]->NextSibling = k + 1 < kids.size() ? kids[k + 1] : nullptr;
        kids[k]->OperandPos = static_cast<int32_t>(k + 1);
    }
    if (sumOrProduct) {
        node->Data.OperandOps.clear();
        for (const TNode* kid : kids)
            node->Data.OperandOps.push_back(kid->Data.Operator);
    } else if (functionClass(*exco.functions, func) == fc::TwoReals) {
        node->Swapped = 1;
    }
    const std::size_t index = static_cast<std::size_t>(func);
    if (index < exco.functions->size() && (*exco.functions)[index].ExtraDepth < 0)
        exco.skipDepthPasses = true;
    return true;
}

// The routine's generator, which also measures lists for the passes. An emitting run
// in stack mode 1 finds the very depths a measuring run finds, so the list is
// measured by generating it there; when the passes then leave the list as it was,
// that run already is the routine.
class Generation {
 public:
    Generation(exco::RoutineRequest& request, exco::Workspace& w, TFunction& func)
        : request_(request), w_(w), func_(func), compiler_(w.compiler(*request.functions))
    {
        compiler_.SetVariablesVersion(request.variablesVersion);
    }

    // Measures the list as it stands: w.growth receives each entry's depth growth
    // when growth is set; returns the deepest point.
    int32_t measure(bool growth)
    {
        if (request_.stackMode == 1)
            return generate(growth ? &w_.growth : nullptr);
        generated_ = false;
        compiler_.InitMeasure(*request_.variables, vt::Extended, request_.constType, request_.depthLimit);
        int32_t overallMax = 0;
        compiler_.MeasureGrowth(request_.codeList, overallMax, w_.growth);
        return overallMax;
    }

    // The list changed, or the generator ran for something else, since it was measured.
    void changed() { generated_ = false; }
    // The list was lowered again, its entries' highest level highestLevel.
    void lowered(int32_t highestLevel)
    {
        asLowered_ = true;
        highestLevel_ = highestLevel;
    }
    // The optimiser changed the list: it may hold shared-result marks, and its levels
    // are found again.
    void optimised()
    {
        asLowered_ = false;
        changed();
    }

    TCompiler& compiler() { return compiler_; }

    // Places the routine of the list as it stands into func.
    void place()
    {
        // Only lowering writes the entries' levels, and a list lowered after a run of
        // the generator came with changed(), so a generated list still has the level
        // slots it was generated with.
        if (!generated_)
            generate(nullptr);
        compiler_.Place(func_);
    }

 private:
    exco::RoutineRequest& request_;
    exco::Workspace& w_;
    TFunction& func_;
    TCompiler& compiler_;
    bool generated_ = false;
    bool asLowered_ = false;  // the list is as lowered, with highestLevel_
    int32_t highestLevel_ = 0;


    int32_t generate(std::vector<int32_t>* growth)
    {
        compiler_.SetReservedRegisters(request_.reservedRegisters);
        // Temporaries are Extended: a spilled intermediate keeps all 64 bits of its mantissa.
        compiler_.InitEmit(*request_.variables, request_.dest, request_.generatorOption, request_.stackMode,
                           vt::Extended, request_.constType, request_.depthLimit);
        generated_ = true;
        // Level temporaries by the list's highest level; shared ones by the keys the
        // optimiser handed out, of which a list as lowered has none.
        if (asLowered_)
            return compiler_.Generate(request_.codeList, static_cast<std::size_t>(highestLevel_) + 2, 0, growth, true);
        return compiler_.Generate(request_.codeList, 0, 0, growth);
    }
};

// Whether the tree pass reordered operands: then the list it measured is not that of
// the tree any more.
bool limitStackDepth(exco::RoutineRequest& exco, exco::Workspace& w, Generation& generation, int32_t& overallMax)
{
    generation.lowered(buildCodeList(*exco.variables, exco.codeList, w));
    // Each entry's depth growth is needed only for a reordering: when that depends on
    // the depth, the list is measured again for it (deep lists are few).
    const bool alwaysReorder = exco.passSwitch1 == 1;
    overallMax = generation.measure(alwaysReorder);
    if (!alwaysReorder) {
        if (!(exco.passSwitch1 == 2 && overallMax > exco.depthLimit))
            return false;
        generation.measure(true);
    }
    // The depth each node requires, which only the reordering reads.
    const std::vector<TNode*>& nodes = w.nodes;
    for (std::size_t i = 1; i < nodes.size(); ++i) {
        TNode* node = nodes[i];
        int32_t deepest = 0;
        const TNode* best = nullptr;
        for (const TNode* child = node->FirstChild; child != nullptr; child = child->NextSibling)
            if (best == nullptr || child->RequiredDepth + child->Level > best->RequiredDepth + best->Level)
                best = child;
        if (best != nullptr)
            deepest = best->RequiredDepth + best->Level - node->Level;
        node->RequiredDepth = w.growth[i] + deepest;
    }
    postOrder(exco.root, [&](TNode* node) {
        if (functionClass(*exco.functions, node->Data.FuncIndex) >= 0)
            reorderOperands(exco, node, w.siblings);
    });
    renumberLevels(exco.root, w.siblings);
    generation.changed();
    return true;
}

bool mayKeepInMemory(const TArrayOfTFunc& list, std::size_t i, const TArrayFuncList& table)
{
    const TFunc& f = list[i];
    if (f.FuncIndex == fx::NOP || f.FuncIndex == fx::JMP || f.ParentIndex <= 0 || f.ResultState == 2)
        return false;
    const TFunc& parent = list[static_cast<std::size_t>(f.ParentIndex)];
    if (parent.FuncIndex == fx::IFNOP && (f.OperandPos == 4 || f.OperandPos == 6))
        return false;  // the value of a branch must stay where the other branch leaves its own
    return functionClass(table, parent.FuncIndex) != -8;
}

void limitListDepth(const exco::RoutineRequest& exco, Generation& generation, TArrayOfTFunc& list,
                    const int32_t* measuredMax)
{
    if (exco.passSwitch2 == 2) {
        const int32_t overallMax = measuredMax != nullptr ? *measuredMax : generation.measure(false);
        if (overallMax <= exco.depthLimit)
            return;
    }
    generation.changed();
    TCompiler& measure = generation.compiler();
    measure.InitMeasure(*exco.variables, vt::Extended, exco.constType, exco.depthLimit);
    int32_t lastEntry = 0;
    std::size_t lastTaken = 0;
    // Keeping a result in memory changes nothing the generator reads before that
    // entry, so each measuring run goes on from the entry last taken.
    int32_t resumeAt = 0;
    for (std::size_t rounds = 0; rounds < list.size(); ++rounds) {
        const int32_t above = measure.FirstEntryAboveLimit(list, resumeAt);
        if (above <= 1)
            return;
        std::size_t taken = 0;
        const std::size_t before = static_cast<std::size_t>(above) - 1;
        if (mayKeepInMemory(list, before, *exco.functions) && !(lastEntry == above && lastTaken == before)) {
            taken = before;
        } else {
            for (std::size_t j = before; j >= 1 && taken == 0; --j)
                if (list[j].ResultState == 1 && mayKeepInMemory(list, j, *exco.functions))
                    taken = j;
        }
        if (taken == 0)
            return;
        list[taken].ResultState = 2;
        TFunc& parent = list[static_cast<std::size_t>(list[taken].ParentIndex)];
        const std::size_t pos = static_cast<std::size_t>(list[taken].OperandPos);
        if (pos >= 1 && pos <= parent.OperandStates.size())
            parent.OperandStates[pos - 1] = 2;
        lastEntry = above;
        lastTaken = taken;
        resumeAt = static_cast<int32_t>(taken);
    }
}

}  // namespace

exco::Workspace::Workspace() = default;

exco::Workspace::~Workspace() = default;

namespace {

TCompiler& generatorFor(std::unique_ptr<TCompiler>& generator, const TArrayFuncList& table)
{
    if (generator == nullptr || !generator->Uses(table))
        generator = std::make_unique<TCompiler>(table);
    return *generator;
}

}  // namespace

TCompiler& exco::Workspace::compiler(const TArrayFuncList& table) { return generatorFor(compiler_, table); }

TCompiler& exco::Workspace::folder(const TArrayFuncList& table) { return generatorFor(folder_, table); }

void exco::BuildRoutine(RoutineRequest& request, TFunction& func)
{
    std::unique_ptr<Workspace> own;
    if (request.workspace == nullptr)
        own = std::make_unique<Workspace>();
    Workspace& w = request.workspace != nullptr ? *request.workspace : *own;
    TNode* const root = request.root;
    TArrayOfTFunc& list = request.codeList;
    Generation generation(request, w, func);
    numberTree(root, w.nodes, true);
    // When the tree pass reorders nothing, the list it built and its depth are those
    // of the tree as it stands, and the list pass takes them.
    int32_t treeMax = 0;
    bool measured = false;
    if (request.passSwitch1 != 0 && !request.skipDepthPasses && request.optimise) {
        measured = !limitStackDepth(request, w, generation, treeMax);
        if (!measured)
            numberTree(root, w.nodes, false);
    }
    // A measured list is built already.
    if (!measured)
        generation.lowered(buildCodeList(*request.variables, list, w));
    // The depth the tree pass measured is not that of an optimised list.
    if (request.optimiseList != nullptr && request.optimiseList->optimise(list)) {
        measured = false;
        generation.optimised();
    }
    if (request.passSwitch2 != 0 && !request.skipDepthPasses && request.optimise)
        limitListDepth(request, generation, list, measured ? &treeMax : nullptr);

    generation.place();
    TCompiler& compiler = generation.compiler();
    request.maxDepth = compiler.MaxDepth();
    // Results were kept in temporaries, by the list pass or by the recompile.
    request.spilled = compiler.Recompiled() ||
                      std::any_of(list.begin(), list.end(), [](const TFunc& f) { return f.ResultState == 2; });
    request.usedRegisters = compiler.UsedRegisters();
}

bool TExcoH::CanRunCode() { return true; }

void TExcoH::FreeCode(TFunction& func)
{
    if (func.Entry != 0)
        exco::ExecArena::instance().release(static_cast<uintptr_t>(func.Entry));
    func.Entry = 0;
    func.ConstHead = nullptr;
    func.Code = {};
}
