// The compiler object's step from its parse tree to a routine.
#include "compiler/exco_compilator.h"
#include "compiler/exco_h.h"

void TExcoH::GenerateCode()
{
    if (ErrorCode != 0 || Root == nullptr)
        return;
    exco::RoutineRequest request;
    request.root = Root;
    request.variables = &Variables;
    request.variablesVersion = variablesVersion_;
    request.functions = &FuncTable.Entries();
    request.optimise = Optimise;
    request.skipDepthPasses = SkipDepthPasses;
    request.passSwitch1 = PassSwitch1;
    request.passSwitch2 = PassSwitch2;
    request.depthLimit = DepthLimit;
    request.constType = ConstType;
    request.stackMode = StackMode;
    request.generatorOption = GeneratorOption;
    request.dest = Dest;
    request.reservedRegisters = ReservedRegisters;
    request.workspace = &Codegen();
    request.codeList = std::move(Codegen().list);
    struct Optimiser final : exco::ListOptimiser {
        explicit Optimiser(TExcoH& compiler) : h(compiler) {}
        TExcoH& h;
        bool optimise(TArrayOfTFunc& list) override
        {
            if (!h.CollectCalls(list))
                return false;
            // A fault while folding leaves the list here, where the driver finds the
            // text of the entry that faulted.
            h.CodeList = std::move(list);
            const bool changed = h.Optimize();
            list = std::move(h.CodeList);
            return changed;
        }
    };
    Optimiser optimiser(*this);
    if (Optimise && CodeListOptimisation)
        request.optimiseList = &optimiser;
    exco::BuildRoutine(request, Function);
    SkipDepthPasses = request.skipDepthPasses;
    CodeList = std::move(request.codeList);
    ResultWords[0] = FoldedEntries;
    ResultWords[1] = SharedChains;
    ResultWords[2] = LargestSharedWindow;
    ResultWords[3] = HighestSharedTemp + 1;
    ResultWords[5] = request.maxDepth;
    ResultWords[6] = request.spilled ? 1 : 0;
    UsedRegisters = request.usedRegisters;
}

exco::Workspace& TExcoH::MakeCodegen()
{
    codegen_ = std::make_unique<exco::Workspace>();
    return *codegen_;
}

void TExcoH::KeepCodeList()
{
    // Enough entries for any usual formula keep their storage for the next compile; a
    // huge text does not keep its list.
    constexpr size_t kKeptEntries = 256;
    exco::Workspace& w = Codegen();
    w.list = std::move(CodeList);
    w.list.keepAtMost(kKeptEntries);
}
