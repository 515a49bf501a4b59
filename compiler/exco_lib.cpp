// The flat call interface and the library state behind it: one compiler instance,
// one typed-evaluator instance and the table of compiled functions.
#include "compiler/exco_lib.h"

#include "compiler/exco_diffcalls.h"
#include "compiler/exco_h.h"
#include "compiler/exco_library.h"
#include "compiler/exco_userfunc.h"
#include "compiler/exec_arena.h"
#include "compiler/excod.h"

#include <climits>

namespace {

class TExcoDll : public TExcoH {};

// One compiled function, owned by the table until it is freed.
struct TCompFunc {
  TFunction Function;
  TResultWords Words{};
};

const char kBanner[] = "Math compiler -Exco-";
const char kSecondText[] = "Kelvo expression compiler";

class ExcoLibrary {
 public:
  // The arena is made first so that it outlives the routines freed at shut-down. Made
  // once, out of line, so that the calls that find the library stay short.
  [[gnu::noinline]] ExcoLibrary() : arena_(exco::ExecArena::instance()) {
    compiled.resize(1);  // entry 0 is never handed out
    evaluator.OptionFlag1 = evaluator.OptionFlag2 = false;
    evaluator.MessageMode = 0;
    static const std::pair<int, const char*> kAliases[] = {
        {38, "cot"},   {39, "asin"},  {40, "acos"},  {41, "atan"},  {42, "acot"}, {46, "coth"},
        {47, "asinh"}, {48, "acosh"}, {49, "atanh"}, {50, "acoth"}, {99, "avg"},
    };
    for (const auto& [id, name] : kAliases) AddAlias(id, name);
    evaluator.InitDiff(&ExcoRunRoutine);
    AddDiffFunctions(functions, compiler);
  }
  ~ExcoLibrary() { FreeAll(); }
  ExcoLibrary(const ExcoLibrary&) = delete;
  ExcoLibrary& operator=(const ExcoLibrary&) = delete;

  void AddAlias(int id, const std::string& name) { functions.AddAlias(id, name); }

  void ClearErrors() {
    compiler.ErrorCode = 0;
    evaluator.ErrorKind = 0;
    evaluator.FaultSubtype = 0;
  }

  // A freed entry holds nothing and no handle finds it (handle 0 finds entry 0), so
  // freed entries leave the table: it stays as small as what is still in use.
  void FreeAll() {
    for (TCompFunc& c : compiled) TExcoH::FreeCode(c.Function);
    compiled.resize(1);
  }

  void FreeFunction(intptr_t value) {
    bool found = false;
    for (size_t k = compiled.size(); k-- > 0;)
      if (compiled[k].Function.Entry == value) {
        TExcoH::FreeCode(compiled[k].Function);
        if (k > 0) compiled.erase(compiled.begin() + static_cast<long>(k));
        found = true;
      }
    if (found) return;
    if (value < INT32_MIN || value > INT32_MAX) {
      compiler.Fail(ec::NonexistentFunction, std::to_string(value));
      return;
    }
    compiler.DisableFunction(static_cast<int32_t>(value));
  }

  const TCompFunc* FindCompiled(intptr_t entry) const {
    for (const TCompFunc& c : compiled)
      if (c.Function.Entry == entry) return &c;
    return nullptr;
  }

  exco::ExecArena& arena_;
  TExcoDll compiler;
  TExcoD_Custom evaluator;
  std::vector<TCompFunc> compiled;
  TUserFunctions functions{compiler, evaluator};
};

ExcoLibrary& library() {
  static ExcoLibrary lib;
  return lib;
}

int32_t internalType(int typeCode) {
  switch (typeCode) {
    case xt::Single: return vt::Single;
    case xt::Integer: return vt::Integer;
    case xt::Double: return vt::Double;
    case xt::Extended: return vt::Extended;
    case xt::DoubleArray: return vt::DoubleArray;
    case xt::ExtendedArray: return vt::ExtendedArray;
    case xt::SingleArray: return vt::SingleArray;
    case xt::IntegerArray: return vt::IntegerArray;
    default: return vt::None;
  }
}

intptr_t yesNo(bool yes) { return yes ? 3 : 4; }

// Each error or fault code of the compiler with its code in the flat interface.
struct InterfaceCode {
  int32_t compiler;
  int interface;
};
constexpr InterfaceCode kInterfaceCodes[] = {
    {ec::UnknownSymbol, exco_error::UnknownSymbol},
    {ec::MissingOpen, exco_error::MissingOpen},
    {ec::MissingClose, exco_error::MissingClose},
    {ec::MissingOperation, exco_error::MissingOperation},
    {ec::ArgumentCount, exco_error::ArgumentCount},
    {ec::MissingExpression, exco_error::MissingExpression},
    {ec::UnknownFunction, exco_error::UnknownFunction},
    {ec::ZeroDivide, exco_error::ZeroDivide},
    {ec::InvalidOp, exco_error::InvalidOp},
    {ec::Overflow, exco_error::Overflow},
    {ec::Underflow, exco_error::Underflow},
    {ec::IntOverflow, exco_error::IntOverflow},
    {ec::AccessViolation, exco_error::AccessViolation},
    {ec::OutOfMemory, exco_error::OutOfMemory},
    {ec::StackOverflow, exco_error::StackOverflow},
    {ec::AddFunction, exco_error::AddFunction},
    {ec::NonexistentFunction, exco_error::NonexistentFunction},
    {ec::IncorrectArgument, exco_error::IncorrectArgument},
    {ec::MissingArgument, exco_error::MissingArgument},
};

}  // namespace

void ExcoSetOption(int code, intptr_t value) {
  ExcoLibrary& lib = library();
  TExcoH& h = lib.compiler;
  switch (code) {
    case exco_option::Zero:
      if (value == exco_option::Constants) h.ZeroConstants();
      else if (value == exco_option::Variables) h.ZeroVariables();
      else if (value == exco_option::Errors) lib.ClearErrors();
      return;
    case exco_option::Clear:
      if (value == exco_option::Constants) h.ClearConstants();
      else if (value == exco_option::Variables) h.ClearVariables();
      else if (value == exco_option::FunctionTable) h.ResetFunctionTable();
      else if (value == exco_option::AllRoutines) lib.FreeAll();
      else lib.FreeFunction(value);
      return;
    case exco_option::ClearFunctionNames:
      if (value >= 0 && value < static_cast<intptr_t>(h.FuncTable.size())) h.ClearFunctionNames(static_cast<int32_t>(value));
      return;
    default: return;
  }
}

void ExcoCompile(const std::string& expr, const ExcoDest* dest, intptr_t& code) {
  ExcoLibrary& lib = library();
  lib.ClearErrors();
  code = 0;
  // Most texts hold no space, and are compiled as they stand.
  std::string stripped;
  const bool spaced = expr.find(' ') != std::string::npos;
  if (spaced) {
    stripped.reserve(expr.size());
    for (char c : expr)
      if (c != ' ') stripped += c;
  }
  const std::string& text = spaced ? stripped : expr;

  TDestination destination;
  if (dest) {
    destination.Where = (dest->where >= 57 && dest->where <= 61) ? dest->where - 56 : dest->where;
    switch (dest->typeCode) {
      case xt::Single: destination.Type = vt::Single; break;
      case xt::Integer: destination.Type = vt::Integer; break;
      case xt::Double: destination.Type = vt::Double; break;
      case xt::Extended: destination.Type = vt::Extended; break;
      default: destination.Type = vt::None; break;
    }
    if (destination.Type == vt::None) destination.Where = 0;
    destination.Disp = dest->displacement;
  }
  TFunction func;
  lib.compiler.Compile(text, destination, func);
  if (func.Entry == 0) return;
  lib.compiled.push_back({func, lib.compiler.ResultWords});
  code = func.Entry;
}

void ExcoDefineVariable(const std::string& name, void* address, int typeCode) {
  const int32_t type = internalType(typeCode);
  if (type == vt::None) return;
  library().compiler.SetVariable(name, address, type);
}

void ExcoGetError(int& code) {
  code = 0;
  ExcoLibrary& lib = library();
  const int32_t e = lib.compiler.ErrorCode;
  if (e == 0) {
    lib.evaluator.GetError(code);
    return;
  }
  for (const InterfaceCode& known : kInterfaceCodes)
    if (known.compiler == e) code = known.interface;
}

std::string ExcoErrorName(int code) {
  for (const InterfaceCode& known : kInterfaceCodes)
    if (known.interface == code) return ExcoErrorText(known.compiler);
  return "";
}

void ExcoGetErrorText(std::string& text) {
  ExcoLibrary& lib = library();
  text = lib.compiler.ItemText.empty() ? lib.evaluator.ErrorText : lib.compiler.ItemText;
}

void ExcoAddAlias(int id, const std::string& name) { library().AddAlias(id, name); }

void ExcoAddFunction(const std::string& definition, const ExcoFuncDescriptor* descriptor, intptr_t& id) {
  ExcoLibrary& lib = library();
  if (!descriptor) {
    lib.compiler.Fail(ec::AddFunction, definition);
    return;
  }
  lib.functions.AddFunction(definition, *descriptor, id);
}

void InitFuncDescriptor(ExcoFuncDescriptor& descriptor) {
  descriptor = ExcoFuncDescriptor{};
  descriptor.word[6] = 115;
  descriptor.word[7] = 117;
}

void ExcoGetInfo(int query, intptr_t index, intptr_t& value) {
  ExcoLibrary& lib = library();
  TExcoH& h = lib.compiler;
  if (query >= 36 && query <= 47) {
    if (index < 0 || index >= static_cast<intptr_t>(h.FuncTable.size())) {
      if (query == 38) h.Fail(ec::NonexistentFunction, std::to_string(index));
      return;
    }
    const TFuncList& e = h.FuncTable.Entries()[static_cast<size_t>(index)];
    switch (query) {
      case 36: value = e.Word8Flag; return;
      case 37: value = e.Word5Flag; return;
      case 38:
        if (e.Routine == 0) h.Fail(ec::NonexistentFunction, std::to_string(index));
        else value = e.Routine;
        return;
      case 39: value = e.Inline ? 1 : 0; return;
      case 40: value = e.ExtraDepth < 0 ? 117 : e.ExtraDepth; return;
      case 41: value = e.Word9; return;
      case 42: value = e.Arity; return;
      case 43: value = e.Word6; return;
      case 44: {
        static const int kTypeCodes[] = {0, xt::Single, xt::Double, xt::Extended, xt::Integer, xt::PerArgument};
        if (e.ArgType >= 1 && e.ArgType <= 5) value = kTypeCodes[e.ArgType];
        return;
      }
      case 46: value = e.RegisterMask; return;
      case 47:
        if (e.Class >= -14 && e.Class <= -10) value = 100 - e.Class;
        else if (e.Class == -8) value = 109;
        else if (e.Class >= -7 && e.Class <= -3) value = 97 - e.Class;
        else if (e.Class >= 1 && e.Class <= 4) value = 104 + e.Class;
        return;
      default: return;  // 45: no answer
    }
  }
  if (query == 76) {
    value = yesNo(!h.UsesVariable);
    return;
  }
  const TCompFunc* compiled = lib.FindCompiled(index);
  if (!compiled) {
    h.Fail(ec::NonexistentFunction, std::to_string(index));
    return;
  }
  if ((query >= 316 && query <= 324) || query == 333) {
    const int word = query == 333 ? 9 : query - 316;
    const int32_t v = compiled->Words[word];
    value = (query == 320 || query == 322) ? yesNo(v != 0) : v;
    return;
  }
  if (query >= 325 && query <= 332) {
    value = yesNo(h.IsRegisterUsed(query - 324));
    return;
  }
  switch (query) {
    case 334: {
      const std::span<const uint8_t> code = compiled->Function.Code;
      const intptr_t start = reinterpret_cast<intptr_t>(code.data());
      const intptr_t end = start + static_cast<intptr_t>(code.size());
      value = (index >= start && index < end) ? end - index : 0;
      return;
    }
    case 302: value = 8; return;
    case 303: value = 4; return;
    case 304: value = 16; return;
    case 305: value = reinterpret_cast<intptr_t>(kBanner); return;
    case 306: value = reinterpret_cast<intptr_t>(kSecondText); return;
    case 335: value = 0; return;
    default: return;
  }
}

TExcoH& ExcoLibraryCompiler() { return library().compiler; }
TExcoD_Custom& ExcoLibraryEvaluator() { return library().evaluator; }

bool ExcoIsRoutine(intptr_t entry) {
  const ExcoLibrary& lib = library();
  return entry != 0 && (lib.FindCompiled(entry) != nullptr || lib.functions.IsBody(entry));
}
