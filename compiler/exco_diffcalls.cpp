#include "compiler/exco_diffcalls.h"

#include "compiler/exco_h.h"
#include "compiler/exco_library.h"
#include "compiler/exco_userfunc.h"
#include "compiler/excod.h"
#include "compiler/native_call.h"

namespace {

bool isVariableOfType(const TExcoH& compiler, intptr_t v, int32_t t) {
  for (const TVariable& var : compiler.Variables)
    if (reinterpret_cast<intptr_t>(var.Address) == v && var.Type == t) return true;
  return false;
}

// Runs one differentiation. No exception may cross the generated code that called
// it: a failure leaves this function's scopes first and then fails the formula.
long double callDiff(int order, intptr_t f, intptr_t v, int32_t t, int32_t n) {
  exco::FaultKind fault = exco::FaultKind::None;
  long double result = 0;
  {
    TExcoD_Custom& evaluator = ExcoLibraryEvaluator();
    if (!ExcoIsRoutine(f) || !vt::isReal(t) || !isVariableOfType(ExcoLibraryCompiler(), v, t)) {
      fault = exco::FaultKind::AccessViolation;
    } else if (order == 0 && n < 1) {
      fault = exco::FaultKind::InvalidOp;
    } else {
      try {
        void* variable = reinterpret_cast<void*>(v);
        switch (order) {
          case 1: result = evaluator.Diff1(f, variable, t); break;
          case 2: result = evaluator.Diff2(f, variable, t); break;
          case 3: result = evaluator.Diff3(f, variable, t); break;
          case 4: result = evaluator.Diff4(f, variable, t); break;
          default: result = evaluator.DiffN(f, variable, t, n); break;
        }
      } catch (...) {
        fault = exco::FaultKindOfCurrentException();
      }
    }
  }
  if (fault != exco::FaultKind::None) ExcoRaiseFault(static_cast<int32_t>(fault));
  return result;
}

}  // namespace

long double CallDiff1(intptr_t f, intptr_t v, int32_t t) { return callDiff(1, f, v, t, 1); }
long double CallDiff2(intptr_t f, intptr_t v, int32_t t) { return callDiff(2, f, v, t, 2); }
long double CallDiff3(intptr_t f, intptr_t v, int32_t t) { return callDiff(3, f, v, t, 3); }
long double CallDiff4(intptr_t f, intptr_t v, int32_t t) { return callDiff(4, f, v, t, 4); }
long double CallDiffN(intptr_t f, intptr_t v, int32_t t, int32_t n) { return callDiff(0, f, v, t, n); }

void AddDiffFunctions(TUserFunctions& functions, TExcoH& compiler) {
  ExcoFuncDescriptor d;
  InitFuncDescriptor(d);
  d.word[1] = 3;
  d.word[2] = 110;
  d.word[3] = 27;
  d.word[5] = 0;
  d.word[6] = 115;
  d.word[7] = 117;
  const auto add = [&](const char* name, long double (*routine)(intptr_t, intptr_t, int32_t)) {
    d.word[0] = reinterpret_cast<intptr_t>(routine);
    intptr_t id = -1;
    functions.AddFunction(name, d, id);
    // The value depends on the variable it varies, read at every run.
    if (id >= 0) compiler.FuncTable[static_cast<size_t>(id)].ReadsHost = true;
  };
  add("diff1", &CallDiff1);
  add("diff2", &CallDiff2);
  add("diff3", &CallDiff3);
  add("diff4", &CallDiff4);
  d.word[1] = 4;
  d.word[0] = reinterpret_cast<intptr_t>(&CallDiffN);
  intptr_t id = -1;
  functions.AddFunction("diffn", d, id);
  if (id >= 0) compiler.FuncTable[static_cast<size_t>(id)].ReadsHost = true;
}
