#include "data/formula_compiler.h"

#include "compiler/exco.h"

namespace kelvo {

namespace {

TExco* programCompiler = nullptr;

}  // namespace

TExco& FormulaCompiler()
{
    if (programCompiler)
        return *programCompiler;
    static TExco standIn;
    return standIn;
}

void SetFormulaCompiler(TExco* compiler) { programCompiler = compiler; }

}  // namespace kelvo
