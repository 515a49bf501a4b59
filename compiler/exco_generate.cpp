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
    request.functions = &FuncTable;
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
    exco::BuildRoutine(request, Function);
    SkipDepthPasses = request.skipDepthPasses;
    CodeList = std::move(request.codeList);
    ResultWords[5] = request.maxDepth;
    ResultWords[6] = request.spilled ? 1 : 0;
    UsedRegisters = request.usedRegisters;
}
