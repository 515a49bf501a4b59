// The typed-evaluator object: a second error state that the flat interface reads when
// the compiler's own is empty, its reporter, and the registry of function names.
#pragma once

#include "compiler/excod_diff.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

class TExcoD {
 public:
  TExcoD();
  virtual ~TExcoD() = default;
  void Init();
  virtual void ShowError();

  // The first line that the reporter shows for an error kind (1..11), else empty.
  static std::string KindText(int32_t kind, const std::string& name);

  bool OptionFlag1 = false;
  bool OptionFlag2 = false;
  int32_t ErrorKind = 0;
  std::string ErrorText;
  int32_t CalculationError = 0;
  int32_t FaultSubtype = 0;
  uint8_t MessageMode = 0;  // 0 silent, 1 every report, other: calculation errors only
  std::string Name;
  std::function<void()> OnError;
  // Sound and message box of the reporter; none are set in this system.
  std::function<void()> Beep;
  std::function<void(const std::string&, const std::string&)> MessageBox;

  // Function names and their aliases, held for the registry only.
  std::map<std::string, std::vector<std::string>> Registry;
};

class TExcoD_Custom : public TExcoD {
 public:
  void GetError(int& code) const;
  // Numeric differentiation of a compiled function f with respect to the variable at
  // v of internal type t (see compiler/excod_diff.h).
  void InitDiff(TDiffNumeric::Runner runner) { DiffNumeric.Init(runner); }
  Extended Diff1(intptr_t f, void* v, int32_t t) { return DiffNumeric.Diff(1, f, v, t); }
  Extended Diff2(intptr_t f, void* v, int32_t t) { return DiffNumeric.Diff(2, f, v, t); }
  Extended Diff3(intptr_t f, void* v, int32_t t) { return DiffNumeric.Diff(3, f, v, t); }
  Extended Diff4(intptr_t f, void* v, int32_t t) { return DiffNumeric.Diff(4, f, v, t); }
  Extended DiffN(intptr_t f, void* v, int32_t t, int32_t n) { return DiffNumeric.DiffN(f, v, t, n); }
  TDiffNumeric DiffNumeric;
  void AddFunction(const std::string& name);
  void AddAlias(const std::string& name, const std::string& alias);
};
