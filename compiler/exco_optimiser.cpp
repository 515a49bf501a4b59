// The optimiser of the code list: constant folding and common-subexpression sharing.
//
// The front end keeps the arguments of a call as entries of their own (a variable,
// a constant or a linear form is a load entry right before the call) rather than as
// operand fields of the call entry. Both passes therefore look at the load entries
// too: a call whose operand entries are all constant loads is folded, and a chain of
// entries that may be shared starts either with a call whose operands are all inline
// or with a load entry. Entries turned into "@@NOP" no longer count as operands.
#include "compiler/exco_compilator.h"
#include "compiler/exco_h.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace {

bool isNop(const TFunc& f) { return f.FuncIndex == fx::NOP; }

// How many operand entries every entry has (those whose parent index is the entry),
// all of them and those that are not "@@NOP".
void countOperands(const TArrayOfTFunc& list, exco::Workspace& w)
{
    std::vector<int32_t>& all = w.allOperands;
    std::vector<int32_t>& live = w.liveOperands;
    all.assign(list.size(), 0);
    live.assign(list.size(), 0);
    for (std::size_t k = 1; k < list.size(); ++k) {
        const int32_t parent = list[k].ParentIndex;
        if (parent <= 0 || static_cast<std::size_t>(parent) >= list.size())
            continue;
        ++all[static_cast<std::size_t>(parent)];
        if (!isNop(list[k]))
            ++live[static_cast<std::size_t>(parent)];
    }
}

// The operand entries of entry i that are not "@@NOP", in list order, into out. They
// lie in the entries just before i (its subtree), so the search stops once all are
// found.
void liveOperands(const TArrayOfTFunc& list, int32_t i, int32_t count, std::vector<int32_t>& out)
{
    out.clear();
    for (int32_t k = i - 1; k >= 1 && count > 0; --k) {
        if (list[static_cast<std::size_t>(k)].ParentIndex != i)
            continue;
        --count;
        if (!isNop(list[static_cast<std::size_t>(k)]))
            out.push_back(k);
    }
    std::reverse(out.begin(), out.end());
}

void makeNop(TFunc& f)
{
    f.FuncIndex = fx::NOP;
    f.OperandCount = 0;
    f.A = 1;
    f.B = 0;
}

// Equal as values, and -0 apart from 0: a shared value must be the very same.
bool same(Extended a, Extended b) { return a == b && std::signbit(a) == std::signbit(b); }

bool sameList(const std::vector<Extended>& a, const std::vector<Extended>& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), same);
}

bool sameScaled(const std::vector<TScaledVar>& a, const std::vector<TScaledVar>& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const TScaledVar& x, const TScaledVar& y) {
               return same(x.A, y.A) && same(x.B, y.B) && x.Address == y.Address;
           });
}

// Every field from which a generator takes an entry's inline operand or its load.
// Comparing them all is stricter than comparing only those its operand kind reads,
// and so never takes one value for another.
bool sameOperandFields(const TFunc& a, const TFunc& b)
{
    return a.OperandKind == b.OperandKind && a.RealFormKind == b.RealFormKind && a.IntFormKind == b.IntFormKind &&
           same(a.a1, b.a1) && same(a.b1, b.b1) && same(a.a2, b.a2) && same(a.b2, b.b2) && a.IntCoef == b.IntCoef &&
           a.IntAddend == b.IntAddend && a.Var1 == b.Var1 && a.Var2 == b.Var2 && a.Var3 == b.Var3 &&
           a.Var4 == b.Var4 && a.FormVars == b.FormVars && sameList(a.FormCoefs, b.FormCoefs) &&
           a.IntFormVars == b.IntFormVars && a.IntFormCoefs == b.IntFormCoefs && sameScaled(a.ScaledVars, b.ScaledVars) &&
           a.PowerKey == b.PowerKey && a.Swapped == b.Swapped;
}

// The post-form a value leaves its entry with: A·r + B when the flag is set.
Extended postMultiplier(const TFunc& f) { return f.PostForm == 1 ? f.A : 1; }
Extended postAddend(const TFunc& f) { return f.PostForm == 1 ? f.B : 0; }

// A key of some of the fields SameOperands compares exactly, those that tell most
// operands apart: entries whose operands are the same have the same key.
uint64_t operandKey(const TFunc& f)
{
    const auto word = [](int32_t low, int32_t high) {
        return uint64_t{static_cast<uint32_t>(low)} | uint64_t{static_cast<uint32_t>(high)} << 32;
    };
    const auto address = [](const void* p) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)); };
    uint64_t key = (static_cast<uint64_t>(static_cast<uint32_t>(f.OperandKind)) ^ address(f.Var1)) * 0x9E3779B97F4A7C15ull;
    key = (key ^ word(f.IntAddend, f.OperandCount) ^ address(f.Var2)) * 0xC2B2AE3D27D4EB4Full;
    return key ^ (key >> 29);
}

// Entries that load a value and need nothing computed before them.
bool isLoad(int32_t funcIndex)
{
    switch (funcIndex) {
    case fx::LDSC:
    case fx::LDSF:
    case fx::LDSI:
    case fx::FAVB:
    case fx::IAVB:
    case fx::AIFB:
    case fx::AAI:
    case fx::AAF:
    case fx::AFI:
    case fx::MAF:
    case fx::LDSV:
        return true;
    default:
        return false;
    }
}

// The operands that call entry f of class cls holds inline, into args, when they are
// all constant.
bool inlineConstants(const TFunc& f, int32_t cls, std::vector<Extended>& args)
{
    switch (cls) {
    case fc::RealArg:
        if (f.OperandKind != 2 || f.a1 != 0)
            return false;
        args = {f.b1};
        return true;
    case fc::TwoReals:
        if (f.OperandKind != 6 || f.a1 != 0 || f.a2 != 0)
            return false;
        args = {f.b2, f.b1};
        return true;
    case fc::IntArg:
        if (f.OperandKind != 2 || f.IntCoef != 0)
            return false;
        args = {static_cast<Extended>(f.IntAddend)};
        return true;
    case fc::RealIntArg:
        if (f.OperandKind != 2 || f.a1 != 0 || f.IntCoef != 0)
            return false;
        args = {f.b1, static_cast<Extended>(f.IntAddend)};
        return true;
    default:
        return false;
    }
}

// Whether one of the operand entries of entry i that lie right before it is live and
// no constant load (folding takes every operand entry before i that is live).
bool variableOperandBefore(const TArrayOfTFunc& list, int32_t i)
{
    for (int32_t k = i - 1; k >= 1 && list[static_cast<std::size_t>(k)].ParentIndex == i; --k) {
        const TFunc& operand = list[static_cast<std::size_t>(k)];
        if (!isNop(operand) && operand.FuncIndex != fx::LDSC)
            return true;
    }
    return false;
}

// A routine of the code generator, released however its run ends.
class ScratchRoutine {
 public:
    ScratchRoutine() = default;
    ~ScratchRoutine() { TExcoH::FreeCode(function_); }
    ScratchRoutine(const ScratchRoutine&) = delete;
    ScratchRoutine& operator=(const ScratchRoutine&) = delete;
    TFunction& function() { return function_; }

 private:
    TFunction function_;
};

}  // namespace

void TExcoH::ResetOptimiserCounters()
{
    FoldedEntries = 0;
    SharedChains = 0;
    LargestSharedWindow = 0;
    HighestSharedTemp = -1;
}

int32_t TExcoH::ClassOf(int32_t funcIndex) const
{
    // A negative index is out of range too.
    const std::size_t at = static_cast<std::size_t>(funcIndex);
    return at < FuncTable.size() ? FuncTable[at].Class : 0;
}

// One walk over the list finds its calls, whether it may be optimised at all and
// whether folding has a constant load to take.
bool TExcoH::CollectCalls(const TArrayOfTFunc& list)
{
    // Taken at the first call: most lists have none.
    std::vector<int32_t>* calls = nullptr;
    ConstantLoads = false;
    const TFuncList* const table = FuncTable.Entries().data();
    const std::size_t functions = FuncTable.size();
    const std::size_t n = list.size();
    for (std::size_t e = 0; e < n; ++e) {
        const int32_t funcIndex = list[e].FuncIndex;
        if (funcIndex >= fx::IFNOP && (funcIndex == fx::IFNOP || funcIndex == fx::LDA || funcIndex == fx::Compile))
            return false;
        if (funcIndex == fx::LDSC && e > 0)
            ConstantLoads = true;
        const int32_t cls = static_cast<std::size_t>(funcIndex) < functions ? table[funcIndex].Class : 0;
        if (cls < fc::IntArg || cls > fc::Vector)
            continue;
        if (calls == nullptr) {
            calls = &Codegen().calls;
            calls->clear();
        }
        // Entry 0 heads the list; neither pass looks at it.
        if (e > 0)
            calls->push_back(static_cast<int32_t>(e));
    }
    return calls != nullptr;
}

bool TExcoH::Optimize()
{
    if (ErrorCode != 0)
        return false;
    HighestSharedTemp = -1;
    if (PreEvaluate)
        FoldConstants();
    EliminateCommonSubexpressions();
    return FoldedEntries > 0 || SharedChains > 0;
}

// ------------------------------------------------------------------ constant folding

// The constant arguments of entry i in the order of its operand entries, or false
// when some argument is not constant.
bool TExcoH::ConstantArguments(int32_t i, const std::vector<int32_t>& operands, std::vector<Extended>& args) const
{
    const TFunc& f = CodeList[static_cast<std::size_t>(i)];
    const int32_t cls = ClassOf(f.FuncIndex);
    args.clear();
    if (!operands.empty()) {
        const std::size_t wanted = cls == fc::RealIntArg || cls == fc::TwoReals ? 2 : 1;
        if (operands.size() != wanted)
            return false;
        for (const int32_t k : operands) {
            const TFunc& load = CodeList[static_cast<std::size_t>(k)];
            if (load.FuncIndex != fx::LDSC)
                return false;
            args.push_back(load.Negate != 0 ? -load.b1 : load.b1);
        }
        return true;
    }
    return inlineConstants(f, cls, args);
}

// Runs the function of entry i once on constant arguments, through the code generator
// so that the very code the routine would run computes the value, post-form included.
Extended TExcoH::RunFolded(int32_t i, const std::vector<Extended>& args, bool swapped)
{
    const TFunc& source = CodeList[static_cast<std::size_t>(i)];
    const int32_t call = static_cast<int32_t>(args.size()) + 1;
    TArrayOfTFunc& list = Codegen().folded;
    list.resize(args.size() + 2);
    for (TFunc& entry : list)
        exco::ResetKeepingStorage(entry);
    for (std::size_t k = 0; k < args.size(); ++k) {
        TFunc& load = list[k + 1];
        load.FuncIndex = fx::LDSC;
        load.b1 = args[k];
        load.Level = 1 + static_cast<int32_t>(k);
        load.ParentIndex = call;
        load.OperandPos = static_cast<int32_t>(k) + 1;
    }
    TFunc& f = list[static_cast<std::size_t>(call)];
    f.FuncIndex = source.FuncIndex;
    f.Text = source.Text;
    f.Level = 1;
    f.OperandCount = static_cast<int32_t>(args.size());
    f.OperandStates.assign(args.size(), 1);
    f.Swapped = swapped ? 1 : 0;
    f.PowerKey = source.PowerKey;
    f.PostForm = source.PostForm;
    f.A = source.A;
    f.B = source.B;

    TCompiler& compiler = Codegen().folder(FuncTable.Entries());
    compiler.SetReservedRegisters({});
    compiler.InitEmit(Variables, TDestination{}, 0, 1, vt::Extended, ConstType, DepthLimit);
    compiler.SetVariablesVersion(variablesVersion_);
    ScratchRoutine routine;
    compiler.Compile(list, routine.function(), args.size() + 2, 0);
    return ExcoRunRoutine(routine.function().Entry);
}

void TExcoH::FoldConstants()
{
    if (ErrorCode != 0)
        return;
    exco::Workspace& w = Codegen();
    // Counted at the first call that may be folded: most lists have none.
    bool counted = false;
    std::vector<Extended>& args = w.arguments;
    std::vector<int32_t>& operands = w.operands;
    for (const int32_t call : w.calls) {
        const std::size_t i = static_cast<std::size_t>(call);
        // A call's function index lies in the table.
        const TFuncList& function = FuncTable.Entries()[static_cast<std::size_t>(CodeList[i].FuncIndex)];
        const int32_t cls = function.Class;
        // A function that reads host memory is never folded: its value is not its
        // arguments'.
        if (cls > fc::TwoReals || function.ReadsHost)
            continue;
        // Arguments in entries of their own must all be constant loads, and inline
        // ones constant: most calls fail one of these cheap tests before their
        // operands are looked for.
        if (!ConstantLoads && !inlineConstants(CodeList[i], cls, args))
            continue;
        if (variableOperandBefore(CodeList, call))
            continue;
        if (!counted)
            countOperands(CodeList, w);
        counted = true;
        if (w.liveOperands[i] > 2)
            continue;
        const int32_t entry = static_cast<int32_t>(i);
        liveOperands(CodeList, entry, w.allOperands[i], operands);
        if (!ConstantArguments(entry, operands, args))
            continue;
        // A fault of the function names this entry (the driver reports its text).
        FaultyNode = entry;
        const Extended value = RunFolded(entry, args, !operands.empty() && CodeList[i].Swapped != 0);
        FaultyNode = 0;
        // Its operands become "@@NOP" entries, which count for no parent.
        for (const int32_t k : operands)
            makeNop(CodeList[static_cast<std::size_t>(k)]);
        // Its negate flag, operator and place in the parent stay: they act on the value.
        TFunc& f = CodeList[i];
        f.FuncIndex = fx::LDSC;
        f.b1 = value;
        f.OperandCount = 0;
        f.OperandKind = 0;
        f.PostForm = 0;
        f.A = 1;
        f.B = 0;
        f.Swapped = 0;
        ++FoldedEntries;
        ConstantLoads = true;
    }
}

// ------------------------------------------------------------ common subexpressions

TPairCell TExcoH::PairCell(int32_t earlier, int32_t later) const
{
    if (earlier < 0 || later < 0 || static_cast<std::size_t>(earlier) >= PairMatrix.size())
        return {};
    const auto& row = PairMatrix[static_cast<std::size_t>(earlier)];
    if (static_cast<std::size_t>(later) >= row.size())
        return {};
    return row[static_cast<std::size_t>(later)];
}

bool TExcoH::SameOperands(int32_t i, int32_t j) const
{
    const TFunc& a = CodeList[static_cast<std::size_t>(i)];
    const TFunc& b = CodeList[static_cast<std::size_t>(j)];
    const int32_t cls = ClassOf(a.FuncIndex);
    if (a.OperandCount != b.OperandCount || a.OperandKind != b.OperandKind || cls != ClassOf(b.FuncIndex))
        return false;
    if (cls == fc::Internal)
        return a.FuncIndex == b.FuncIndex && isLoad(a.FuncIndex) && sameOperandFields(a, b);
    if (cls < fc::IntArg || cls > fc::Vector)
        return false;
    return sameOperandFields(a, b);
}

// Whether entries end - window + 1 to end form a chain: each entry but the first is a
// function whose one operand entry is the entry before it, all have the level of the
// end, none takes its value by role 1, and the first has no operand entry (a call
// with inline operands, or a load).
bool TExcoH::IsChain(int32_t end, int32_t window, const std::vector<int32_t>& all,
                     const std::vector<int32_t>& live) const
{
    const int32_t head = end - window + 1;
    if (head < 1)
        return false;
    const int32_t level = CodeList[static_cast<std::size_t>(end)].Level;
    for (int32_t m = end; m >= head; --m) {
        const TFunc& f = CodeList[static_cast<std::size_t>(m)];
        const std::size_t at = static_cast<std::size_t>(m);
        const int32_t cls = ClassOf(f.FuncIndex);
        const bool function = cls >= fc::IntArg && cls <= fc::Vector;
        if (f.Level != level || f.Role == 1)
            return false;
        if (m > head) {
            const TFunc& operand = CodeList[at - 1];
            if (!function || live[at] != 1 || operand.ParentIndex != m || isNop(operand))
                return false;
            continue;
        }
        // A call whose operand entries were taken over by sharing has lost what tells
        // its argument apart from another's: it never starts a chain.
        if (function)
            return all[at] == 0;
        return isLoad(f.FuncIndex) && live[at] == 0;
    }
    return false;
}

// The window of the chain that each entry ends (0 for none), in one walk up the
// list: an entry ends a chain of one when IsChain takes it as a head, and one more
// than the entry before it when it links to that entry's chain at the same level.
const std::vector<int32_t>& TExcoH::ChainWindows(const std::vector<int32_t>& all, const std::vector<int32_t>& live)
{
    std::vector<int32_t>& windows = Codegen().chainWindows;
    const std::size_t n = CodeList.size();
    windows.assign(n, 0);
    for (std::size_t m = 1; m < n; ++m) {
        const TFunc& f = CodeList[m];
        if (f.Role == 1)
            continue;
        const int32_t cls = ClassOf(f.FuncIndex);
        const bool function = cls >= fc::IntArg && cls <= fc::Vector;
        if (function ? all[m] == 0 : isLoad(f.FuncIndex) && live[m] == 0) {
            windows[m] = 1;
            continue;
        }
        const TFunc& operand = CodeList[m - 1];
        if (function && live[m] == 1 && operand.ParentIndex == static_cast<int32_t>(m) && !isNop(operand) &&
            windows[m - 1] > 0 && operand.Level == f.Level)
            windows[m] = windows[m - 1] + 1;
    }
    return windows;
}

// Entries i - k and j - k agree for every k from 1 to window - 1: the same function
// on the same operands leaving the same value.
bool TExcoH::SameChains(int32_t i, int32_t j, int32_t window) const
{
    for (int32_t k = 1; k < window; ++k) {
        const TFunc& a = CodeList[static_cast<std::size_t>(i - k)];
        const TFunc& b = CodeList[static_cast<std::size_t>(j - k)];
        if (a.FuncIndex != b.FuncIndex || a.Negate != b.Negate || !same(postMultiplier(a), postMultiplier(b)) ||
            !same(postAddend(a), postAddend(b)) || !SameOperands(i - k, j - k))
            return false;
    }
    return true;
}

void TExcoH::EliminateCommonSubexpressions()
{
    if (ErrorCode != 0)
        return;
    const int32_t n = static_cast<int32_t>(CodeList.size());
    const auto isFunction = [&](int32_t e) {
        const int32_t cls = ClassOf(CodeList[static_cast<std::size_t>(e)].FuncIndex);
        return cls >= fc::IntArg && cls <= fc::Vector;
    };
    // Only calls end chains (folding made constants of some); sharing turns some of
    // them into "@@NOP" entries, which the chain test then refuses.
    exco::Workspace& w = Codegen();
    std::vector<int32_t>& calls = w.calls;
    if (FoldedEntries > 0)
        std::erase_if(calls, [&](int32_t e) { return !isFunction(e); });
    if (calls.size() < 2 || CseWindow < 1)
        return;
    // Sharing turns entries into "@@NOP"; the live counts follow.
    countOperands(CodeList, w);
    std::vector<int32_t>& all = w.allOperands;
    std::vector<int32_t>& live = w.liveOperands;
    // An entry ends a chain of one window at most (its head is the first entry below
    // it with no operand entry), and sharing only breaks chains: the entries it turns
    // into "@@NOP" and the later call, whose operand then is one, end none again, and
    // the live counts it lowers are theirs. So a call ends a chain it may share only
    // in the window it ends one in now, and two calls whose windows differ, or lie
    // beyond the widest window, never share: each level of a nested call would
    // otherwise be paired with every level below it.
    const std::vector<int32_t>& windows = ChainWindows(all, live);
    // A chain of one is a call without operand entries; a longer chain ends in a call
    // whose one live operand entry is the entry before it. Sharing lowers a live count
    // only at the later end of a chain it shares, and changes no field that tells
    // operands apart, so the pairs of calls that may ever end chains shared with each
    // other are found once: calls of a pair the matrix allows, with the same
    // operands, and for longer chains the same entry before them. A key of those
    // fields is compared first, the fields exactly only where keys agree.
    std::vector<uint64_t>& keys = w.operandKeys;
    std::vector<int32_t>& candidates = w.candidates;
    keys.resize(calls.size());
    candidates.clear();
    for (std::size_t a = 0; a < calls.size(); ++a) {
        const int32_t e = calls[a];
        const int32_t window = windows[static_cast<std::size_t>(e)];
        if (window < 1 || window > CseWindow) {
            keys[a] = 0;
            continue;
        }
        candidates.push_back(static_cast<int32_t>(a));
        const TFunc& operand = CodeList[static_cast<std::size_t>(e - 1)];
        const uint64_t key = operandKey(CodeList[static_cast<std::size_t>(e)]);
        if (operand.ParentIndex != e) {
            keys[a] = key | 1;
            continue;
        }
        // A dead operand before the call, or a second live one before that, and the
        // call never ends a chain (key 0).
        const bool secondOperand = e >= 2 && CodeList[static_cast<std::size_t>(e - 2)].ParentIndex == e &&
                                   !isNop(CodeList[static_cast<std::size_t>(e - 2)]);
        keys[a] = 0;
        if (isNop(operand) || secondOperand)
            continue;
        const uint64_t longer = (key ^ operandKey(operand) ^
                                 (uint64_t{static_cast<uint32_t>(operand.FuncIndex)} << 32 | static_cast<uint32_t>(operand.Negate))) *
                                1099511628211ull;
        keys[a] = (longer & ~uint64_t{3}) | 2;
    }
    std::vector<int32_t>& pairs = w.sharing;
    pairs.clear();
    for (std::size_t c = 0; c < candidates.size(); ++c) {
        const std::size_t a = static_cast<std::size_t>(candidates[c]);
        // A chain of one has an odd key, a longer chain an even key that is not 0.
        if (keys[a] == 0)
            continue;
        const int32_t earlierFunction = CodeList[static_cast<std::size_t>(calls[a])].FuncIndex;
        const int32_t window = windows[static_cast<std::size_t>(calls[a])];
        for (std::size_t d = c + 1; d < candidates.size(); ++d) {
            const std::size_t b = static_cast<std::size_t>(candidates[d]);
            if (keys[a] == keys[b] && windows[static_cast<std::size_t>(calls[b])] == window &&
                PairCell(earlierFunction, CodeList[static_cast<std::size_t>(calls[b])].FuncIndex).Role != 0 &&
                SameOperands(calls[a], calls[b])) {
                pairs.push_back(static_cast<int32_t>(a));
                pairs.push_back(static_cast<int32_t>(b));
            }
        }
    }
    if (pairs.empty())
        return;
    const auto endsChain = [&](int32_t e, int32_t window) {
        return isFunction(e) && CodeList[static_cast<std::size_t>(e)].Role != 1 &&
               IsChain(e, window, all, live);
    };
    for (int32_t window = CseWindow; window >= 1; --window) {
        for (std::size_t p = 0; p < pairs.size();) {
            // The pairs of one earlier call lie together, their later calls in order.
            const int32_t a = pairs[p];
            std::size_t last = p;
            while (last < pairs.size() && pairs[last] == a)
                last += 2;
            const int32_t i = calls[static_cast<std::size_t>(a)];
            // Sharing only changes entries after the earlier chain, so it stays one.
            if (i < window || i > (n - 1) - window || !endsChain(i, window)) {
                p = last;
                continue;
            }
            const int32_t earlierFunction = CodeList[static_cast<std::size_t>(i)].FuncIndex;
            for (; p < last; p += 2) {
                const int32_t j = calls[static_cast<std::size_t>(pairs[p + 1])];
                if (j < i + window)
                    continue;
                const TFunc& later = CodeList[static_cast<std::size_t>(j)];
                const TPairCell cell = PairCell(earlierFunction, later.FuncIndex);
                if (later.Role != 0 && cell.Role >= later.Role)
                    continue;
                if (!endsChain(j, window) || !SameChains(i, j, window))
                    continue;
                ShareResult(i, j, window);
                for (int32_t k = j - window + 1; k < j; ++k) {
                    const int32_t parent = CodeList[static_cast<std::size_t>(k)].ParentIndex;
                    if (parent > 0 && parent < n)
                        --live[static_cast<std::size_t>(parent)];
                }
            }
        }
    }
}

void TExcoH::ShareResult(int32_t i, int32_t j, int32_t window)
{
    TFunc& earlier = CodeList[static_cast<std::size_t>(i)];
    TFunc& later = CodeList[static_cast<std::size_t>(j)];
    const TPairCell cell = PairCell(earlier.FuncIndex, later.FuncIndex);
    const auto held = std::find_if(earlier.SharedKeys.begin(), earlier.SharedKeys.end(),
                                   [&](const TSharedKey& k) { return k.Key == cell.Key; });
    if (held != earlier.SharedKeys.end()) {
        later.SharedTemp = held->Temp;
    } else {
        HighestSharedTemp += cell.Temps;
        earlier.SharedKeys.push_back({cell.Key, HighestSharedTemp});
        later.SharedTemp = HighestSharedTemp;
    }
    later.Role = cell.Role;
    for (int32_t k = j - window + 1; k < j; ++k)
        makeNop(CodeList[static_cast<std::size_t>(k)]);
    ++SharedChains;
    LargestSharedWindow = std::max(LargestSharedWindow, window);
}
