// The compiler object: its tables, options and error state, and the compile pipeline.
#pragma once

#include "compiler/exco_runtime.h"
#include "compiler/exco_types.h"

#include <algorithm>
#include <array>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TExcoParser;
namespace exco {
class Workspace;
}

// Raised by the parser after it stored the error code and item text.
struct ESyntaxError : std::exception {
  const char* what() const noexcept override { return ""; }
};
// Raised by SetVariable while an error code is pending.
struct EInternalError : std::exception {
  const char* what() const noexcept override { return ""; }
};

// Error codes of the compiler (ExcoGetError maps them to 200..218).
namespace ec {
constexpr int32_t None = 0;
constexpr int32_t UnknownSymbol = 1, MissingOpen = 2, MissingClose = 3, MissingOperation = 4,
                  ArgumentCount = 5, MissingExpression = 6, UnknownFunction = 7;
constexpr int32_t ZeroDivide = 20, InvalidOp = 21, Overflow = 22, Underflow = 23,
                  IntOverflow = 24, AccessViolation = 25, OutOfMemory = 26, StackOverflow = 27;
constexpr int32_t AddFunction = 28, NonexistentFunction = 29, IncorrectArgument = 30,
                  MissingArgument = 31;
}  // namespace ec

// Text of an error or fault code; empty for codes without one.
std::string ExcoErrorText(int32_t code);

// Library constants that templates address.
struct TExcoConstants {
  double One = 1.0;
  double Half = 0.5;
  double PiHalfDouble = 1.57079632679489661923;
  Extended PiHalf = 1.57079632679489661923132169163975144L;
  uint16_t ChopCW = 0x1F32;
  uint16_t NearestCW = 0x1332;
  int32_t Cell = 0;
};
TExcoConstants& ExcoConstants();

// Fills the built-in function table and the pair matrix.
void InitFuncTable(TArrayFuncList& table);
void InitFuncPairMatrix(const TArrayFuncList& table, TArray2I& matrix);
void SetTrigPairs(TArray2I& matrix, bool on);
void SetHyperbolicPairs(TArray2I& matrix, bool on);

class TExcoH {
 public:
  TExcoH();
  virtual ~TExcoH();
  TExcoH(const TExcoH&) = delete;
  TExcoH& operator=(const TExcoH&) = delete;

  void Init();
  virtual void ShowError();

  // Compiles Expr; on return func.Entry is 0 on failure.
  void Compile(const std::string& expr, const TDestination& dest, TFunction& func);

  // Tables.
  void SetVariable(const std::string& name, void* address, int32_t varType);
  // Index of the matching variable (an array match wins), or -1; sets UsesVariable.
  int32_t FindVariable(std::string_view name, int32_t* varType = nullptr);
  // First variable whose name matches, or -1 (leaf resolution).
  // Whether some variable's name holds a "(" (which a name may, though none should).
  bool VariableNameHoldsBracket() const { return VariableIndex().bracketInName; }
  // Whether some variable's name starts with a digit or "." (so a number may name it).
  bool VariableNameLooksLikeNumber() const { return VariableIndex().numberLikeName; }
  int32_t FindFirstVariable(std::string_view name) const {
    const TVariableIndex& index = VariableIndex();
    if (!index.MayHold(name)) return -1;
    if (name.size() == 1)
      return (CaseSensitiveNames ? index.single : index.singleFolded)[static_cast<unsigned char>(name[0])];
    return FirstVariableIn(index, name);
  }
  bool FindConstant(std::string_view name, Extended& value) const;
  int32_t FindFunction(std::string_view name) const;
  int32_t FunctionExists(const std::string& name, intptr_t* routine, int32_t* classCode) const;
  void AddFunctionName(int32_t id, const std::string& name);
  void ClearFunctionNames(int32_t id);
  void DisableFunction(int32_t id);
  intptr_t GetFunctionProperty(int32_t kind, int32_t id);
  std::string GetFunctionName(int32_t id) const;
  void RegisterFunction(const TFuncList& record, int32_t& id);
  void ResetFunctionTable();
  void ClearVariables();
  void ClearConstants();
  void ZeroVariables();
  void ZeroConstants();
  void SetTrigonometricPairs(bool on);
  void SetHyperbolicPairsOption(bool on);
  void SetRegisterReserved(int32_t reg, bool reserved);
  bool IsRegisterUsed(int32_t reg) const;

  // Reports an error: sets the error state and calls OnError.
  void Fail(int32_t code, const std::string& item);

  // Text dump of the parse tree (one node per line), for tests and diagnostics.
  std::string DumpTree() const;
  // Parses expr into the tree only (no code); returns the error code.
  int32_t ParseOnly(const std::string& expr);

  // --- code generation, implemented beside the code generator ---
  // Runs the tree passes, lowering, optimisation and code generation (pipeline
  // steps 5 to 11) on the tree; sets Function.Entry.
  void GenerateCode();
  // --- optimiser of the code list (compiler/exco_optimiser.cpp) ---
  // Lists the calls of a code list for the optimiser; false when it has none (both
  // passes act on calls only, and most formulas of a test have none) or may not be
  // optimised: when it holds a conditional, an argument passed by address or an
  // early end.
  bool CollectCalls(const TArrayOfTFunc& list);
  // Folds constant calls and shares common computations in CodeList, whose calls
  // CollectCalls listed; true when it changed the list.
  bool Optimize();
  void FoldConstants();
  void EliminateCommonSubexpressions();
  bool SameOperands(int32_t i, int32_t j) const;
  const std::vector<int32_t>& ChainWindows(const std::vector<int32_t>& all, const std::vector<int32_t>& live);
  TPairCell PairCell(int32_t earlier, int32_t later) const;
  void ShareResult(int32_t i, int32_t j, int32_t window);
  void ResetOptimiserCounters();

  // Whether routines made by GenerateCode can be run (pre-evaluation needs it).
  static bool CanRunCode();
  // Frees the code, constant cells and temporaries of a routine; safe to repeat.
  static void FreeCode(TFunction& func);

  // --- fields, in their order ---
  TArrayOfTFunc CodeList;                 // 1
  std::string ExprText;                   // 2
  std::vector<TParamList> Constants;      // 3 (entry 0 unused)
  TVarList Variables;                     // 4 (change it through SetVariable and ClearVariables)
  TFunction Function;                     // 5
  TNode* CurrentNode = nullptr;           // 6
  TNode* Root = nullptr;
  TFuncTable FuncTable;                   // 7
  bool Optimise = true;                   // 8
  bool ExtendedNotation = true;           // 9
  bool CaseSensitiveNames = false;        // 10
  bool CaseSensitiveFunctions = false;    // 11
  bool CodeListOptimisation = true;       // 12
  int32_t DepthLimit = 8;                 // 13
  std::string ItemText;                   // 14
  uint8_t StackMode = 1;                  // 15
  int32_t ErrorCode = 0;                  // 16
  int32_t FaultCode = 0;                  // 17
  bool ShowMessages = false;              // 18
  bool PreEvaluate = true;                // 19
  int32_t CseWindow = 3;                  // 20
  int32_t FaultyNode = 0;                 // 21
  int32_t PassSwitch1 = 2, PassSwitch2 = 2;  // 22
  int32_t ConstType = vt::Double, TempType = vt::Double;  // 23
  bool SkipDepthPasses = false;           // 24
  uint8_t GeneratorOption = 0;            // 25
  bool TrigPairs = true, HypPairs = true; // 26
  TArray2I PairMatrix;
  TDestination Dest;                      // 27
  // 28: 0 folded entries, 1 shared chains, 2 largest window that shared, 3 shared
  // temporaries, 5 deepest x87 depth, 6 results kept in temporaries.
  TResultWords ResultWords{};
  bool UsesVariable = false;              // 29
  bool PreEvaluationPermitted = true;     // 30
  std::function<void()> OnError;          // 31
  // Shows a message box (title, text) when ShowMessages is on; none is set here.
  std::function<void(const std::string&, const std::string&)> MessageBox;

  // What the optimiser did in the compile in progress (result words 0 to 3).
  int32_t FoldedEntries = 0;
  int32_t SharedChains = 0;
  int32_t LargestSharedWindow = 0;
  int32_t HighestSharedTemp = -1;
  // Whether the code list holds a constant load (an argument that folding may take).
  bool ConstantLoads = false;

  std::array<int32_t, 8> ReservedRegisters{};
  std::array<int32_t, 8> UsedRegisters{};

  // The tree's nodes; links between them do not own. The first TreeNodesInUse make
  // the current tree; the rest are kept from earlier compiles (up to a bound) so
  // that a compile reuses their storage instead of allocating.
  std::vector<std::unique_ptr<TNode>> TreePool;
  size_t TreeNodesInUse = 0;

 private:
  // The function names by their case-folded hash (entry 0 and empty names left out):
  // one chain per bucket, each from the last entry of the table to the first, so that
  // the first name that matches is the one that wins; built for the table version it
  // records.
  struct TNameIndex {
    struct Name {
      uint64_t hash;
      int32_t id;    // entry of the table
      int32_t k;     // which of its names
      int32_t next;  // the next name of the bucket, or -1
    };
    std::vector<int32_t> head;  // per bucket: its first name, or -1
    std::vector<Name> names;
    uint64_t version = 0;
    bool built = false;
  };
  const TNameIndex& NameIndex() const {
    if (nameIndex_.built && nameIndex_.version == FuncTable.Version()) return nameIndex_;
    return RebuildNameIndex();
  }
  const TNameIndex& RebuildNameIndex() const;
  mutable TNameIndex nameIndex_;
  // What code generation keeps from one compile to the next (exco_generate.cpp).
  std::unique_ptr<exco::Workspace> codegen_;
  exco::Workspace& Codegen() { return codegen_ != nullptr ? *codegen_ : MakeCodegen(); }
  exco::Workspace& MakeCodegen();
  // Hands the code list back to the workspace, which keeps its entries' storage.
  void KeepCodeList();

  // Variables by the case-folded hash of their names, each bucket a chain in table
  // order; built for the table version it records.
  struct TVariableIndex {
    std::vector<int32_t> head;  // per bucket: its first variable, or -1
    std::vector<int32_t> tail;  // per bucket: its last variable, or -1
    std::vector<int32_t> next;  // per variable: the next one of its bucket, or -1
    // Which first characters (in either case) and lengths (up to 63) names have, so
    // that a number or other text that names no variable is refused without hashing it.
    std::array<bool, 256> firstChars{};
    uint64_t lengths = 0;
    bool bracketInName = false;
    bool numberLikeName = false;  // some name starts as a number does
    std::vector<uint64_t> hashes;  // per variable: its name's folded hash
    // Per character: the first variable named by it alone, compared with case and
    // without it (a letter in either case), or -1, so that a one-character name is
    // found without hashing or folding it.
    std::array<int32_t, 256> single{};
    std::array<int32_t, 256> singleFolded{};
    uint64_t version = 0;
    size_t count = 0;
    bool built = false;
    bool MayHold(std::string_view name) const {
      if ((lengths & (uint64_t{1} << std::min<size_t>(name.size(), 63))) == 0) return false;
      return name.empty() || firstChars[static_cast<unsigned char>(name[0])];
    }
  };
  const TVariableIndex& VariableIndex() const {
    const TVariableIndex& index = variableIndex_;
    if (index.built && index.version == variablesVersion_ && index.count == Variables.size()) return index;
    return RebuildVariableIndex();
  }
  const TVariableIndex& RebuildVariableIndex() const;
  static int32_t FirstInBucket(const TVariableIndex& index, std::string_view name);
  // The first variable whose name of two or more characters matches, or -1.
  int32_t FirstVariableIn(const TVariableIndex& index, std::string_view name) const;
  mutable TVariableIndex variableIndex_;
  uint64_t variablesVersion_ = 0;

  // printedNumber: expr is the printed value of a constant text, whose tree is built
  // without parsing it as a formula when it reads back as a number.
  void CompileAttempt(const std::string& expr, const TDestination& dest, TFunction& func,
                      bool printedNumber = false);
  void ParseText();
  void ParsePrintedNumber();
  void FreeTree();
  // Kept between compiles so that its buffers are reused (created by the first parse).
  std::unique_ptr<TExcoParser> parser_;
  TExcoParser& Parser();
  void RecordFault(int32_t code);
  // Runs step, mapping the faults it raises to FaultCode; false when it raised one.
  // Only the driver in exco_h.cpp runs it, which defines it.
  template <class Step>
  bool RunGuarded(Step&& step);
  int32_t ClassOf(int32_t funcIndex) const;
  bool ConstantArguments(int32_t i, const std::vector<int32_t>& operands, std::vector<Extended>& args) const;
  Extended RunFolded(int32_t i, const std::vector<Extended>& args, bool swapped);
  bool IsChain(int32_t end, int32_t window, const std::vector<int32_t>& all, const std::vector<int32_t>& live) const;
  bool SameChains(int32_t i, int32_t j, int32_t window) const;

  friend class TExcoParser;
};

// Runs a compiled routine and returns its ST(0); faults arrive as EExcoFault.
Extended ExcoRunRoutine(intptr_t entry);
