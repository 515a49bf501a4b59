#include "data/formula_routine_cache.h"

#include "compiler/exco.h"
#include "compiler/exco_codes.h"
#include "compiler/exco_lib.h"
#include "data/formula_compiler.h"

namespace kelvo {

FormulaRoutineCache::~FormulaRoutineCache() { freeAll(); }

void FormulaRoutineCache::freeAll()
{
    for (void* handle : std::as_const(routines_))
        ExcoSetOption(exco_option::Clear, reinterpret_cast<intptr_t>(handle));
    routines_.clear();
}

void FormulaRoutineCache::useBindings(const FormulaBindings& bindings)
{
    if (bindings == bindings_)
        return;
    freeAll();
    bindings_ = bindings;
}

void* FormulaRoutineCache::routineFor(const QString& prepared)
{
    if (void* const kept = routines_.value(prepared, nullptr))
        return kept;
    void* handle = nullptr;
    FormulaCompiler().Compile(prepared.toStdString(), nullptr, handle);
    if (handle == nullptr)
        return nullptr;
    if (routines_.size() >= maxRoutines_)
        freeAll();
    routines_.insert(prepared, handle);
    return handle;
}

}  // namespace kelvo
