// The compiler object: tables, lookups, the guarded compile pipeline, fault mapping,
// pre-evaluation of constant texts and the (silent) error reporter.
#include "compiler/exco_h.h"

#include "compiler/exco_compilator.h"
#include "compiler/exco_faults.h"
#include "compiler/exco_number.h"
#include "compiler/exco_parser.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

std::string ExcoErrorText(int32_t code) {
  switch (code) {
    case ec::UnknownSymbol: return "UNKNOWN SYMBOL";
    case ec::MissingOpen: return "MISSING \"(\" BRACKET";
    case ec::MissingClose: return "MISSING \")\" BRACKET";
    case ec::MissingOperation: return "MISSING OPERATION";
    case ec::ArgumentCount: return "INCOINCIDENCE NUMBER OF ARGUMENTS";
    case ec::MissingExpression: return "MISSING EXPRESSION";
    case ec::UnknownFunction: return "UNKNOWN FUNCTION";
    case ec::ZeroDivide: return "DIVIDE ON ZERO";
    case ec::InvalidOp: return "INVALID OPERATION";
    case ec::Overflow: return "OVERFLOW";
    case ec::Underflow: return "UNDERFLOW";
    case ec::IntOverflow: return "INTEGER OVERFLOW";
    case ec::AccessViolation: return "ACCESS VIOLATION";
    case ec::OutOfMemory: return "OUT OF MEMORY";
    case ec::StackOverflow: return "STACK OVERFLOW";
    case ec::AddFunction: return "ERROR AT ADDITION FUNCTION";
    case ec::NonexistentFunction: return "NONEXISTENT FUNCTION";
    case ec::IncorrectArgument: return "INCORRECT ARGUMENT";
    case ec::MissingArgument: return "MISSING ARGUMENT";
    default: return "";
  }
}

namespace {

// The 80-bit cell that receives the value of a pre-evaluated constant text.
Extended gPreEvaluationCell = 0;

// ExcoLower of every character (only A to Z change), looked up: every name lookup
// folds its name.
constexpr std::array<unsigned char, 256> kFolded = [] {
  std::array<unsigned char, 256> folded{};
  for (size_t c = 0; c < folded.size(); ++c)
    folded[c] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return folded;
}();

unsigned char folded(char c) { return kFolded[static_cast<unsigned char>(c)]; }

bool namesEqual(std::string_view a, std::string_view b, bool caseSensitive) {
  if (a.size() != b.size()) return false;
  if (caseSensitive) return a == b;
  for (size_t i = 0; i < a.size(); ++i)
    if (folded(a[i]) != folded(b[i])) return false;
  return true;
}

// Folds case as namesEqual does, so one index serves both comparisons.
uint64_t foldedHash(std::string_view name) {
  uint64_t hash = 1469598103934665603ull;
  for (const char c : name) hash = (hash ^ folded(c)) * 1099511628211ull;
  return hash;
}

}  // namespace

TExcoConstants& ExcoConstants() {
  static TExcoConstants constants;
  return constants;
}

TExcoH::TExcoH() { Init(); }

// Function is a working copy: its routine belongs to whoever received it.
TExcoH::~TExcoH() { FreeTree(); }

void TExcoH::Init() {
  ExcoFactTable();
  InitFuncTable(FuncTable.Change());
  Constants.assign(1, TParamList{});
  StackMode = 1;
  DepthLimit = 8;
  ReservedRegisters.fill(0);
  UsedRegisters.fill(0);
  ErrorCode = 0;
  FaultCode = 0;
  Optimise = true;
  ExtendedNotation = true;
  CaseSensitiveNames = false;
  CaseSensitiveFunctions = false;
  CodeListOptimisation = true;
  ShowMessages = false;
  PreEvaluate = true;
  CseWindow = 3;
  PassSwitch1 = PassSwitch2 = 2;
  ConstType = TempType = vt::Double;
  GeneratorOption = 0;
  PreEvaluationPermitted = true;
  InitFuncPairMatrix(FuncTable, PairMatrix);
  SetTrigonometricPairs(true);
  SetHyperbolicPairsOption(true);
  OnError = nullptr;
  SetVariable("##fvar", &gPreEvaluationCell, vt::Extended);
}

// ---------------------------------------------------------------- compile pipeline

void TExcoH::RecordFault(int32_t code) { FaultCode = code; }

template <class Step>
bool TExcoH::RunGuarded(Step&& step) {
  try {
    step();
    return true;
  } catch (const ESyntaxError&) {
  } catch (const EExcoZeroDivide&) {
    RecordFault(ec::ZeroDivide);
  } catch (const EExcoInvalidOp&) {
    RecordFault(ec::InvalidOp);
  } catch (const EExcoOverflow&) {
    RecordFault(ec::Overflow);
  } catch (const EExcoUnderflow&) {
    RecordFault(ec::Underflow);
  } catch (const EExcoIntOverflow&) {
    RecordFault(ec::IntOverflow);
  } catch (const EExcoAccessViolation&) {
    RecordFault(ec::AccessViolation);
  } catch (const EExcoOutOfMemory&) {
    RecordFault(ec::OutOfMemory);
  } catch (const std::bad_alloc&) {
    RecordFault(ec::OutOfMemory);
  } catch (const EExcoStackOverflow&) {
    RecordFault(ec::StackOverflow);
  }
  return false;
}

void TExcoH::Compile(const std::string& expr, const TDestination& dest, TFunction& func) {
  CompileAttempt(expr, dest, func);
  if (func.Entry == 0 || UsesVariable || !PreEvaluate || !PreEvaluationPermitted || !CanRunCode()) return;

  // A text without variables always gives the same value: compute it once now, so
  // that a fault shows at compile time, and compile the printed value instead (a
  // number, whose one-leaf tree is built without parsing it).
  // The value is measured by a routine that stores nothing: a destination relative to
  // a register names whatever that register happens to hold here, not the caller's
  // frame, and writing there would corrupt memory.
  if (dest.Where != 0 && dest.Type != 0) {
    FreeCode(func);
    CompileAttempt(expr, TDestination{}, func);
    if (func.Entry == 0) return;
  }
  const intptr_t entry = func.Entry;
  Extended value = 0;
  try {
    RunGuarded([&] { value = ExcoRunRoutine(entry); });
  } catch (...) {
    // An error the driver does not map (an integer division by zero) goes on to the
    // caller; the routine that raised it is not kept.
    FreeCode(func);
    Function.Entry = 0;
    throw;
  }
  const std::string printed = ExcoFormatNumber(value);
  // A text that is its own printed value (a number) already is that routine.
  if (FaultCode == 0 && printed == expr && (dest.Where == 0 || dest.Type == 0)) return;
  FreeCode(func);
  Function = func;
  if (FaultCode != 0) {
    func.Entry = 0;
    Function.Entry = 0;
    ShowError();
    return;
  }
  gPreEvaluationCell = value;
  CompileAttempt(printed, dest, func, true);
}

void TExcoH::CompileAttempt(const std::string& expr, const TDestination& dest, TFunction& func,
                            bool printedNumber) {
  ResultWords.fill(0);
  ResetOptimiserCounters();
  Dest = dest;
  Function = func;
  Function.ConstHead = nullptr;
  SkipDepthPasses = false;
  FaultyNode = 0;
  ErrorCode = 0;
  FaultCode = 0;
  UsesVariable = false;
  ItemText.clear();
  ExprText = expr;

  RunGuarded([&] {
    if (printedNumber) ParsePrintedNumber();
    else ParseText();
    GenerateCode();
  });

  if ((ErrorCode == ec::ZeroDivide || ErrorCode == ec::InvalidOp) && FaultyNode > 0 &&
      static_cast<size_t>(FaultyNode) < CodeList.size())
    ItemText = CodeList[FaultyNode].Text;
  else if (ErrorCode == ec::ZeroDivide && CurrentNode)
    ItemText = CurrentNode->Text;

  KeepCodeList();
  if (ErrorCode == 0) FreeTree();
  func = Function;
  if (ErrorCode != 0 || FaultCode != 0) {
    FreeCode(func);
    func.Entry = 0;
    Function = func;
    ShowError();
  }
}

void TExcoH::FreeTree() {
  // Enough nodes for any usual formula stay for the next compile; a huge text does
  // not keep its tree.
  constexpr size_t kKeptNodes = 256;
  Root = nullptr;
  CurrentNode = nullptr;
  TreeNodesInUse = 0;
  if (TreePool.size() > kKeptNodes) TreePool.resize(kKeptNodes);
}

int32_t TExcoH::ParseOnly(const std::string& expr) {
  ErrorCode = 0;
  FaultCode = 0;
  UsesVariable = false;
  SkipDepthPasses = false;
  ItemText.clear();
  ExprText = expr;
  RunGuarded([&] { ParseText(); });
  if (ErrorCode != 0 || FaultCode != 0) ShowError();
  return ErrorCode;
}

// ---------------------------------------------------------------- reporting

void TExcoH::Fail(int32_t code, const std::string& item) {
  ErrorCode = code;
  ItemText = item;
  ShowError();
}

void TExcoH::ShowError() {
  if (FaultCode != 0) {
    const std::string text = ExcoErrorText(FaultCode);
    ItemText = ExprText;
    ErrorCode = FaultCode;
    if (ShowMessages && MessageBox)
      MessageBox("Exco error", "Exco Internal Error\r\n\"" + text + "\"\r\n" + ItemText);
  } else if (ShowMessages && MessageBox &&
             ((ErrorCode >= 1 && ErrorCode <= 7) || (ErrorCode >= 28 && ErrorCode <= 31))) {
    MessageBox("Exco error", ExcoErrorText(ErrorCode) + "\r\n\"" + ItemText + "\"");
  }
  if (OnError) OnError();
}

// ---------------------------------------------------------------- tables

void TExcoH::SetVariable(const std::string& name, void* address, int32_t varType) {
  auto same = std::find_if(Variables.begin(), Variables.end(), [&](const TVariable& v) { return v.Name == name; });
  if (same != Variables.end())
    same->Address = address;
  else
    Variables.push_back({name, address, varType});
  ++variablesVersion_;
  if (ErrorCode != 0) throw EInternalError();
}

const TExcoH::TVariableIndex& TExcoH::RebuildVariableIndex() const {
  TVariableIndex& index = variableIndex_;
  size_t buckets = 16;
  while (buckets < 2 * Variables.size()) buckets *= 2;
  index.head.assign(buckets, -1);
  index.tail.assign(buckets, -1);
  index.next.assign(Variables.size(), -1);
  index.firstChars.fill(false);
  index.lengths = 0;
  index.bracketInName = false;
  index.numberLikeName = false;
  index.hashes.resize(Variables.size());
  index.single.fill(-1);
  index.singleFolded.fill(-1);
  for (size_t i = 0; i < Variables.size(); ++i) {
    const std::string_view name = Variables[i].Name;
    const int32_t id = static_cast<int32_t>(i);
    if (name.size() == 1) {
      int32_t& exact = index.single[static_cast<unsigned char>(name[0])];
      const char lower = ExcoLower(name[0]);
      int32_t& folded = index.singleFolded[static_cast<unsigned char>(lower)];
      if (exact < 0) exact = id;
      if (folded < 0) folded = id;
      if (lower >= 'a' && lower <= 'z') index.singleFolded[static_cast<unsigned char>(lower - 'a' + 'A')] = folded;
    }
    if (!name.empty()) {
      if ((name[0] >= '0' && name[0] <= '9') || name[0] == '.') index.numberLikeName = true;
      const char first = ExcoLower(name[0]);
      index.firstChars[static_cast<unsigned char>(first)] = true;
      if (first >= 'a' && first <= 'z') index.firstChars[static_cast<unsigned char>(first - 'a' + 'A')] = true;
    }
    index.lengths |= uint64_t{1} << std::min<size_t>(name.size(), 63);
    if (name.find('(') != std::string_view::npos) index.bracketInName = true;
    index.hashes[i] = foldedHash(name);
    const size_t bucket = index.hashes[i] & (buckets - 1);
    if (index.tail[bucket] < 0) index.head[bucket] = id;
    else index.next[static_cast<size_t>(index.tail[bucket])] = id;
    index.tail[bucket] = id;
  }
  index.version = variablesVersion_;
  index.count = Variables.size();
  index.built = true;
  return index;
}

int32_t TExcoH::FirstInBucket(const TVariableIndex& index, std::string_view name) {
  if (!index.MayHold(name)) return -1;
  return index.head[foldedHash(name) & (index.head.size() - 1)];
}

int32_t TExcoH::FindVariable(std::string_view name, int32_t* varType) {
  const TVariableIndex& index = VariableIndex();
  int32_t found = -1;
  for (int32_t i = FirstInBucket(index, name); i >= 0; i = index.next[static_cast<size_t>(i)]) {
    if (!namesEqual(Variables[i].Name, name, CaseSensitiveNames)) continue;
    UsesVariable = true;
    found = i;
    if (vt::isArray(Variables[i].Type)) break;
  }
  if (varType) *varType = found >= 0 ? Variables[found].Type : vt::None;
  return found;
}

int32_t TExcoH::FirstVariableIn(const TVariableIndex& index, std::string_view name) const {
  const uint64_t hash = foldedHash(name);
  for (int32_t i = index.head[hash & (index.head.size() - 1)]; i >= 0; i = index.next[static_cast<size_t>(i)])
    if (index.hashes[static_cast<size_t>(i)] == hash && namesEqual(Variables[i].Name, name, CaseSensitiveNames)) return i;
  return -1;
}

bool TExcoH::FindConstant(std::string_view name, Extended& value) const {
  for (size_t i = 1; i < Constants.size(); ++i)
    if (namesEqual(Constants[i].Name, name, CaseSensitiveNames)) {
      value = Constants[i].Value;
      return true;
    }
  return false;
}

const TExcoH::TNameIndex& TExcoH::RebuildNameIndex() const {
  TNameIndex& index = nameIndex_;
  index.names.clear();
  for (size_t i = 1; i < FuncTable.size(); ++i) {
    const TArrayS& names = FuncTable[i].Names;
    for (size_t k = 1; k < names.size(); ++k)
      if (!names[k].empty())
        index.names.push_back({foldedHash(names[k]), static_cast<int32_t>(i), static_cast<int32_t>(k), -1});
  }
  size_t buckets = 64;
  while (buckets < 2 * index.names.size()) buckets *= 2;
  index.head.assign(buckets, -1);
  // Linked in table order, each name in front of the earlier ones.
  for (size_t n = 0; n < index.names.size(); ++n) {
    int32_t& first = index.head[index.names[n].hash & (buckets - 1)];
    index.names[n].next = first;
    first = static_cast<int32_t>(n);
  }
  index.version = FuncTable.Version();
  index.built = true;
  return index;
}

// The last entry of the table that carries the name wins (an added function shadows a
// built-in one); only the first name counts when extended notation is off.
int32_t TExcoH::FindFunction(std::string_view name) const {
  if (name.empty()) return -1;
  const TNameIndex& index = NameIndex();
  const uint64_t hash = foldedHash(name);
  for (int32_t n = index.head[hash & (index.head.size() - 1)]; n >= 0;) {
    const TNameIndex::Name& entry = index.names[static_cast<size_t>(n)];
    n = entry.next;
    if (entry.hash != hash || (!ExtendedNotation && entry.k > 1)) continue;
    const TArrayS& names = FuncTable[static_cast<size_t>(entry.id)].Names;
    if (static_cast<size_t>(entry.k) < names.size() && namesEqual(names[static_cast<size_t>(entry.k)], name, CaseSensitiveFunctions))
      return entry.id;
  }
  return -1;
}

int32_t TExcoH::FunctionExists(const std::string& name, intptr_t* routine, int32_t* classCode) const {
  const int32_t id = FindFunction(name);
  if (id >= 0) {
    if (routine) *routine = FuncTable[id].Routine;
    if (classCode) *classCode = FuncTable[id].Class;
  }
  return id;
}

void TExcoH::AddFunctionName(int32_t id, const std::string& name) {
  if (id < 0 || static_cast<size_t>(id) >= FuncTable.size()) return;
  FuncTable[id].Names.push_back(name);
}

void TExcoH::ClearFunctionNames(int32_t id) {
  if (id < 0 || static_cast<size_t>(id) >= FuncTable.size()) return;
  for (std::string& n : FuncTable[id].Names) n.clear();
}

void TExcoH::DisableFunction(int32_t id) {
  if (id < 0 || static_cast<size_t>(id) >= FuncTable.size()) {
    Fail(ec::NonexistentFunction, std::to_string(id));
    return;
  }
  FuncTable[id].Class = 0;
  for (size_t k = 1; k < FuncTable[id].Names.size(); ++k)
    if (!FuncTable[id].Names[k].empty()) FuncTable[id].Names[k] = "@@" + FuncTable[id].Names[k];
}

intptr_t TExcoH::GetFunctionProperty(int32_t kind, int32_t id) {
  const bool inTable = id >= 0 && static_cast<size_t>(id) < FuncTable.size();
  if (kind == 2 && (!inTable || FuncTable.Entries()[static_cast<size_t>(id)].Routine == 0)) {
    Fail(ec::NonexistentFunction, std::to_string(id));
    return 0;
  }
  if (!inTable) return 0;
  const TFuncList& e = FuncTable.Entries()[static_cast<size_t>(id)];
  switch (kind) {
    case 2: return e.Routine;
    case 3: return e.Inline;
    case 5: return e.ExtraDepth;
    case 6: return e.Word5Flag;
    case 7: return e.Word6;
    case 8: return e.Arity;
    case 9: return e.Word8Flag;
    case 10: return e.Word9;
    case 11: return e.ArgType;
    case 13: return e.RegisterMask;
    case 14: return e.Class;
    default: return 0;
  }
}

std::string TExcoH::GetFunctionName(int32_t id) const {
  if (id < 0 || static_cast<size_t>(id) >= FuncTable.size() || FuncTable[id].Names.size() < 2) return "";
  return FuncTable[id].Names[1];
}

void TExcoH::RegisterFunction(const TFuncList& record, int32_t& id) {
  const std::string name = record.Names.size() > 1 ? record.Names[1] : std::string();
  if (name.empty()) return;
  for (const TFuncList& e : FuncTable.Entries())
    for (size_t k = 1; k < e.Names.size(); ++k)
      if (namesEqual(e.Names[k], name, CaseSensitiveFunctions)) return;
  TFuncList entry = record;
  entry.Names = {"", name};
  FuncTable.push_back(std::move(entry));
  const size_t n = FuncTable.size();
  for (auto& row : PairMatrix) row.resize(n);
  PairMatrix.emplace_back(n);
  PairMatrix[n - 1][n - 1] = FuncTable[n - 1].Class > 0 ? TPairCell{1, 1, 1} : TPairCell{};
  id = static_cast<int32_t>(n - 1);
}

void TExcoH::ResetFunctionTable() {
  FuncTable.resize(fx::BuiltInCount);
  PairMatrix.resize(fx::BuiltInCount);
  for (auto& row : PairMatrix) row.resize(fx::BuiltInCount);
}

void TExcoH::ClearVariables() {
  Variables.clear();
  ++variablesVersion_;
}

void TExcoH::ClearConstants() { Constants.clear(); }

void TExcoH::ZeroVariables() {
  for (const TVariable& v : Variables) {
    if (!v.Address) continue;
    switch (v.Type) {
      case vt::Single: std::memset(v.Address, 0, 4); break;
      case vt::Integer: std::memset(v.Address, 0, 4); break;
      case vt::Double: std::memset(v.Address, 0, 8); break;
      case vt::Extended: std::memset(v.Address, 0, 10); break;
      default: break;
    }
  }
}

void TExcoH::ZeroConstants() {
  for (TParamList& c : Constants) c.Value = 0;
}

void TExcoH::SetTrigonometricPairs(bool on) {
  TrigPairs = on;
  SetTrigPairs(PairMatrix, on);
}

void TExcoH::SetHyperbolicPairsOption(bool on) {
  HypPairs = on;
  SetHyperbolicPairs(PairMatrix, on);
}

void TExcoH::SetRegisterReserved(int32_t reg, bool reserved) {
  if (reg >= 1 && reg <= 8) ReservedRegisters[reg - 1] = reserved ? 1 : 0;
}

bool TExcoH::IsRegisterUsed(int32_t reg) const {
  if (reg < 1 || reg > 8) return false;
  return UsedRegisters[reg - 1] != 0 || ReservedRegisters[reg - 1] != 0;
}
