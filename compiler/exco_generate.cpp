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
    if (Optimise && CodeListOptimisation)
        request.optimiseList = [this](TArrayOfTFunc& list) {
            if (!MayOptimise(list))
                return false;
            // A fault while folding leaves the list here, where the driver finds the
            // text of the entry that faulted.
            CodeList = std::move(list);
            Optimize();
            list = std::move(CodeList);
            return FoldedEntries > 0 || SharedChains > 0;
        };
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
