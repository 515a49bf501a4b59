#include "compiler/exco.h"

#include "compiler/exco_h.h"

#include <stdexcept>

void TExco::Compile(const std::string& expr, const ExcoDest* dest, void*& func) {
  intptr_t code = 0;
  ExcoCompile(expr, dest, code);
  func = reinterpret_cast<void*>(code);
}

long double TExco::Calc(void* func) {
  if (!func) throw std::invalid_argument("Exco: no compiled routine to run");
  return ExcoRunRoutine(reinterpret_cast<intptr_t>(func));
}

void TExco::SetOption(int code, intptr_t value) { ExcoSetOption(code, value); }

void TExco::GetError(int& code) { ExcoGetError(code); }

void TExco::GetErrorText(std::string& text) { ExcoGetErrorText(text); }
