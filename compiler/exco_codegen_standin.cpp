// Stand-in for the code generator until it lands: a compile that parses gets a
// handle of its own, but no routine can run yet, so constant texts are not
// pre-evaluated and running a handle is refused. The code generator replaces this
// file (GenerateCode, CanRunCode, FreeCode, ExcoRunRoutine).
#include "compiler/exco_h.h"

#include <stdexcept>

void TExcoH::GenerateCode() {
  // Each compiled text gets a distinct, non-zero handle that is never run.
  static intptr_t nextHandle = 0x10000;
  nextHandle += 16;
  Function.Entry = nextHandle;
}

bool TExcoH::CanRunCode() { return false; }

void TExcoH::FreeCode(TFunction& func) {
  func.Code.clear();
  func.Code.shrink_to_fit();
  func.ConstHead = nullptr;
  func.LevelTemps.clear();
  func.SharedTemps.clear();
  func.Entry = 0;
}

Extended ExcoRunRoutine(intptr_t) { throw std::logic_error("Exco: no code generator is built in yet"); }
