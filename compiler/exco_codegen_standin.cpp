// Stand-in for the code generator until it lands: a compile that parses gets a real
// routine of its own, which computes nothing and fails every run with an invalid
// operation (0/0), so that a caller of Calc sees a fault rather than a wrong value.
// Constant texts are not pre-evaluated. The code generator replaces this file
// (GenerateCode, CanRunCode, FreeCode).
#include "compiler/exco_h.h"
#include "compiler/exec_arena.h"

void TExcoH::GenerateCode() {
  static const uint8_t kFailingRoutine[] = {0xD9, 0xEE, 0xD9, 0xEE, 0xDE, 0xF9, 0xC3};  // fldz; fldz; fdivp; ret
  Function.Entry = static_cast<intptr_t>(exco::ExecArena::instance().place(kFailingRoutine));
}

bool TExcoH::CanRunCode() { return false; }

void TExcoH::FreeCode(TFunction& func) {
  if (func.Entry != 0) exco::ExecArena::instance().release(static_cast<uintptr_t>(func.Entry));
  func.Code.clear();
  func.Code.shrink_to_fit();
  func.ConstHead = nullptr;
  func.LevelTemps.clear();
  func.SharedTemps.clear();
  func.Entry = 0;
}
