// Helpers of the compiler tests: compile through the flat interface and read back the
// error, or parse and dump the tree of the library's compiler.
#pragma once

#include "compiler/exco_h.h"
#include "compiler/exco_lib.h"
#include "compiler/exco_library.h"
#include "tests/compiler/exco_host_variables.h"

#include <gtest/gtest.h>

#include <string>

struct CompileOutcome {
  intptr_t handle = 0;
  int code = 0;
  std::string item;
};

inline CompileOutcome compileText(const std::string& text) {
  CompileOutcome out;
  ExcoCompile(text, nullptr, out.handle);
  ExcoGetError(out.code);
  ExcoGetErrorText(out.item);
  ExcoSetOption(exco_option::Zero, exco_option::Errors);
  return out;
}

// The dump of the tree that the parser builds for text, or "error N: item".
inline std::string parseDump(const std::string& text) {
  TExcoH& h = ExcoLibraryCompiler();
  const int code = h.ParseOnly(text);
  if (code != 0) return "error " + std::to_string(code) + ": " + h.ItemText;
  return h.DumpTree();
}

// The library state lives for the whole process; a test leaves no variable behind
// that points into its own (then dead) stack frame.
// Nor does it leave the function table changed for the next one.
class ExcoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedTable_ = ExcoLibraryCompiler().FuncTable;
    savedPairs_ = ExcoLibraryCompiler().PairMatrix;
  }
  void TearDown() override {
    ExcoSetOption(exco_option::Clear, exco_option::Variables);
    ExcoSetOption(exco_option::Zero, exco_option::Errors);
    ExcoLibraryCompiler().FuncTable = savedTable_;
    ExcoLibraryCompiler().PairMatrix = savedPairs_;
  }

 private:
  TArrayFuncList savedTable_;
  TArray2I savedPairs_;
};
