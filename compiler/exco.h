// The compiler component: a thin front over the flat interface. Every instance works
// on the one library state.
#pragma once

#include "compiler/exco_lib.h"

#include <string>

class TExco {
 public:
  // func receives the routine's entry address, or nullptr on error.
  void Compile(const std::string& expr, const ExcoDest* dest, void*& func);
  // Runs the routine and returns its result. A fault while it runs arrives as an
  // exception derived from std::exception (see compiler/exco_faults.h); a null
  // handle is refused with an exception and runs nothing.
  long double Calc(void* func);
  void SetOption(int code, intptr_t value);
  void GetError(int& code);
  void GetErrorText(std::string& text);
};
