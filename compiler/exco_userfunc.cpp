#include "compiler/exco_userfunc.h"

#include "compiler/exco_codes.h"
#include "compiler/exco_h.h"
#include "compiler/exco_number.h"
#include "compiler/excod.h"

#include <algorithm>

namespace {

namespace kind {
constexpr intptr_t FirstRegister = 100, LastRegister = 104, FirstBuiltIn = 105, LastBuiltIn = 108,
                   ByValue = 109, Stdcall = 110, FirstList = 111, LastList = 114, Pushed = 118, Text = 119;
}

constexpr intptr_t kUnknownDepth = 117;

bool isBuiltInKind(intptr_t k) { return k >= kind::FirstBuiltIn && k <= kind::LastBuiltIn; }
bool isListKind(intptr_t k) { return k >= kind::FirstList && k <= kind::LastList; }

// Class code of a descriptor kind, 0 for a kind that does not exist.
int32_t classOfKind(intptr_t k) {
  if (k >= kind::FirstRegister && k <= kind::LastRegister) return static_cast<int32_t>(97 - k);
  if (isBuiltInKind(k)) return static_cast<int32_t>(k - 104);
  if (k == kind::ByValue) return -8;
  if (k >= kind::Stdcall && k <= kind::LastList) return static_cast<int32_t>(100 - k);
  if (k == kind::Pushed) return -15;
  if (k == kind::Text) return fc::TextDefined;
  return 0;
}

// Internal type of an argument type code, None for a code that no argument may have.
int32_t argumentInternalType(intptr_t code, bool listKind) {
  switch (code) {
    case xt::Single: return vt::Single;
    case xt::Integer: return vt::Integer;
    case xt::Double: return vt::Double;
    case xt::Extended: return vt::Extended;
    default: break;
  }
  if (listKind) return vt::None;
  if (code == xt::Address) return vt::Address;
  if (code >= xt::DoubleArray && code <= xt::IntegerArray) return vt::Integer;
  return vt::None;
}

std::string withoutBlanks(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (c != ' ') out += c;
  return out;
}

std::vector<std::string> splitAt(const std::string& text, char separator) {
  std::vector<std::string> parts(1);
  for (char c : text) {
    if (c == separator) parts.emplace_back();
    else parts.back() += c;
  }
  return parts;
}

bool oneOf(char c, const char* set) { return c != '\0' && std::string_view(set).find(c) != std::string_view::npos; }

bool sameText(std::string_view a, std::string_view b, bool caseSensitive) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (caseSensitive ? a[i] != b[i] : ExcoLower(a[i]) != ExcoLower(b[i])) return false;
  return true;
}

// Replaces every whole-token occurrence of name in body by replacement; the search
// goes on after the inserted text.
std::string substituteArgument(std::string body, const std::string& name, const std::string& replacement,
                               bool caseSensitive) {
  if (name.empty()) return body;
  size_t at = 0;
  while (at + name.size() <= body.size()) {
    if (!sameText(std::string_view(body).substr(at, name.size()), name, caseSensitive)) {
      ++at;
      continue;
    }
    const size_t end = at + name.size();
    const char before = at > 0 ? body[at - 1] : '\0';
    const char after = end < body.size() ? body[end] : '\0';
    bool whole = false;
    if (at == 0 && end == body.size()) whole = true;
    else if (at == 0) whole = oneOf(after, "+-/*^![");
    else if (end == body.size()) whole = oneOf(before, "+-*/^");
    else whole = oneOf(before, "({[+-*/^|,=<>") && oneOf(after, "+-/*^!)]}|[,=<>");
    if (!whole) {
      ++at;
      continue;
    }
    body.replace(at, name.size(), replacement);
    at += replacement.size();
  }
  return body;
}

}  // namespace

TUserFunctions::~TUserFunctions() {
  for (TFunction& body : bodies_) TExcoH::FreeCode(body);
}

void TUserFunctions::Refuse(const std::string& definition) { compiler_.Fail(ec::AddFunction, definition); }

// Checks the descriptor against the rules of its kind and fills what the table entry
// takes from it. False when any rule is broken.
bool TUserFunctions::DescriptorRecord(const ExcoFuncDescriptor& d, TFuncList& record) const {
  const intptr_t k = d.word[2];
  record.Class = classOfKind(k);
  if (record.Class == 0) return false;
  const bool hasInline = d.word[11] != 0 && d.word[12] > 0;
  if (hasInline && !isBuiltInKind(k)) return false;
  if (k != kind::Text && d.word[0] == 0 && !hasInline) return false;

  intptr_t count = d.word[1];
  if (k == kind::ByValue && (count < 1 || count > 8)) return false;
  if (k == 105 || k == 106) count = 1;
  if (k == 107 || k == 108) count = 2;
  if (count < 0 || count > 255) return false;

  const intptr_t typeCode = d.word[3];
  const bool perArgument = d.word[4] != 0 || typeCode == xt::PerArgument;
  if (typeCode == xt::PerArgument) {
    if (isListKind(k)) return false;
    record.ArgType = vt::PerArgument;
  } else {
    record.ArgType = argumentInternalType(typeCode, isListKind(k));
    if (record.ArgType == vt::None) return false;
  }
  if (perArgument && k != kind::Text) {
    if (d.word[4] == 0) return false;
    const auto* codes = reinterpret_cast<const int32_t*>(d.word[4]);
    for (intptr_t a = 0; a < count; ++a) {
      const int32_t type = argumentInternalType(codes[a], isListKind(k));
      if (type == vt::None) return false;
      record.ArgTypes.push_back(type);
    }
  }

  const intptr_t flag5 = d.word[5], word6 = d.word[6], extra = d.word[7], flag8 = d.word[8];
  if (flag5 != 0 && flag5 != 1 && (k == 104 || k == kind::Stdcall || k == 114)) return false;
  if (word6 != 115 && word6 != 116 && k == kind::Stdcall && count >= 2) return false;
  if (extra < 0 || (extra > 8 && extra != kUnknownDepth)) return false;
  if (extra == kUnknownDepth && isBuiltInKind(k)) return false;
  if (flag8 != 0 && flag8 != 1 && !isBuiltInKind(k)) return false;

  record.Routine = d.word[0];
  record.Arity = static_cast<int32_t>(count);
  record.Word5Flag = static_cast<int32_t>(flag5);
  record.Word6 = static_cast<int32_t>(word6);
  record.ExtraDepth = extra == kUnknownDepth ? -1 : static_cast<int32_t>(extra);
  record.Word8Flag = static_cast<int32_t>(flag8);
  record.Word9 = static_cast<int32_t>(d.word[9]);
  record.RegisterMask = static_cast<int32_t>(d.word[10]);
  if (hasInline) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(d.word[11]);
    record.Template.assign(bytes, bytes + d.word[12]);
    record.Inline = 1;
  }
  return true;
}

void TUserFunctions::AddFunction(const std::string& definition, const ExcoFuncDescriptor& descriptor, intptr_t& id) {
  TFuncList record;
  if (!DescriptorRecord(descriptor, record)) {
    Refuse(definition);
    return;
  }
  if (record.Class == fc::TextDefined) AddTextFunction(definition, descriptor, std::move(record), id);
  else AddNative(definition, descriptor, std::move(record), id);
}

void TUserFunctions::AddNative(const std::string& definition, const ExcoFuncDescriptor& d, TFuncList record,
                               intptr_t& id) {
  const std::string name = withoutBlanks(definition);
  if (name.empty()) {
    Refuse(definition);
    return;
  }
  record.Names = {"", name};
  int32_t added = -1;
  compiler_.RegisterFunction(record, added);
  if (added < 0) return;
  id = added;
  evaluator_.AddFunction(name);

  // Auxiliary routines of a one-argument function: i$name for the i-th of them.
  const intptr_t auxCount = d.word[14];
  if (record.Arity != 1 || d.word[13] == 0 || auxCount <= 0) return;
  const auto* routines = reinterpret_cast<const intptr_t*>(d.word[13]);
  for (intptr_t i = 1; i <= auxCount; ++i) {
    if (routines[i - 1] == 0) continue;
    TFuncList helper = record;
    helper.Routine = routines[i - 1];
    helper.Names = {"", std::to_string(i) + "$" + name};
    int32_t helperId = -1;
    compiler_.RegisterFunction(helper, helperId);
    if (helperId >= 0) evaluator_.AddFunction(helper.Names[1]);
  }
  largestAuxiliaryCount_ = std::max(largestAuxiliaryCount_, static_cast<int>(std::min<intptr_t>(auxCount, 1 << 20)));
}

void TUserFunctions::AddTextFunction(const std::string& definition, const ExcoFuncDescriptor& d, TFuncList record,
                                     intptr_t& id) {
  compiler_.ErrorCode = 0;
  const std::string text = withoutBlanks(definition);
  const size_t equals = text.find('=');
  const std::string head = equals == std::string::npos ? text : text.substr(0, equals);
  const std::string body = equals == std::string::npos ? std::string() : text.substr(equals + 1);
  const size_t open = head.find('(');
  if (head.empty() || body.empty() || open == std::string::npos || open == 0 || head.back() != ')') {
    Refuse(definition);
    return;
  }
  const std::string name = head.substr(0, open);
  const std::vector<std::string> argNames = splitAt(head.substr(open + 1, head.size() - open - 2), ',');
  const intptr_t count = static_cast<intptr_t>(argNames.size());
  const bool perArgument = d.word[4] != 0 || d.word[3] == xt::PerArgument;
  if (perArgument && d.word[4] == 0) {
    Refuse(definition);
    return;
  }
  const auto* codes = reinterpret_cast<const int32_t*>(d.word[4]);
  std::vector<int32_t> types;
  for (intptr_t a = 0; a < count; ++a) {
    // An argument cell holds one number: arrays and addresses cannot be passed in it.
    const int32_t type = argumentInternalType(perArgument ? codes[a] : d.word[3], true);
    if (type == vt::None || argNames[static_cast<size_t>(a)].empty()) {
      Refuse(definition);
      return;
    }
    types.push_back(type);
  }

  // The argument cells, defined as variables under names no text can write.
  const std::string prefix = std::to_string(textFunctionCount_) + "#";
  std::vector<intptr_t> cells;
  std::string substituted = body;
  for (size_t a = 0; a < argNames.size(); ++a) {
    TInternalVar& var = internalVars_.emplace_front();
    var.Name = prefix + ExcoLowerText(argNames[a]);
    compiler_.SetVariable(var.Name, var.Cell.data(), types[a]);
    cells.push_back(reinterpret_cast<intptr_t>(var.Cell.data()));
    substituted = substituteArgument(substituted, argNames[a], prefix + argNames[a], compiler_.CaseSensitiveNames);
  }
  ++textFunctionCount_;

  ExcoSetOption(exco_option::Zero, exco_option::Errors);
  TFunction func;
  compiler_.Compile(substituted, TDestination{}, func);
  if (func.Entry == 0) return;
  const TResultWords words = compiler_.ResultWords;

  record.Names = {"", name};
  record.Routine = func.Entry;
  record.Arity = static_cast<int32_t>(count);
  record.ArgType = perArgument ? vt::PerArgument : types.front();
  if (perArgument) record.ArgTypes = types;
  record.ArgCells = cells;
  record.ExtraDepth = words[6] != 0 ? -1 : words[5];
  record.ReadsHost = BodyReadsHost(substituted, cells);

  // A redefinition takes the names from the function it replaces. Its body stays:
  // routines compiled before still call it.
  for (size_t e = 1; e < compiler_.FuncTable.size(); ++e) {
    const TFuncList& old = compiler_.FuncTable.Entries()[e];
    if (old.Class != fc::TextDefined) continue;
    for (size_t n = 1; n < old.Names.size(); ++n)
      if (sameText(old.Names[n], name, compiler_.CaseSensitiveFunctions)) {
        compiler_.ClearFunctionNames(static_cast<int32_t>(e));
        break;
      }
  }
  int32_t added = -1;
  compiler_.RegisterFunction(record, added);
  if (added < 0) {
    TExcoH::FreeCode(func);
    return;
  }
  bodies_.push_back(func);
  id = added;
  evaluator_.AddFunction(name);
}

// Whether the body may read host memory: a name in it that is a variable other than
// the function's own argument cells, or a call of a function that reads host memory.
// A name is a run of characters between operators, brackets and commas, so a false
// "yes" costs only the compile-time evaluation of texts that call the function.
bool TUserFunctions::BodyReadsHost(const std::string& body, const std::vector<intptr_t>& ownCells) const {
  std::string token;
  const auto check = [&](char next) {
    if (token.empty()) return false;
    bool reads = false;
    const int32_t v = compiler_.FindFirstVariable(token);
    if (v >= 0) {
      const intptr_t address = reinterpret_cast<intptr_t>(compiler_.Variables[static_cast<size_t>(v)].Address);
      reads = std::find(ownCells.begin(), ownCells.end(), address) == ownCells.end();
    }
    if (next == '(') {
      const int32_t f = compiler_.FindFunction(token);
      if (f >= 0 && compiler_.FuncTable.Entries()[static_cast<size_t>(f)].ReadsHost) reads = true;
    }
    token.clear();
    return reads;
  };
  for (char c : body) {
    if (oneOf(c, "+-*/^!()[]{}|,=<>&")) {
      if (check(c)) return true;
    } else {
      token += c;
    }
  }
  return check('\0');
}

void TUserFunctions::AddAlias(int id, const std::string& name) {
  if (id < 0 || static_cast<size_t>(id) >= compiler_.FuncTable.size()) return;
  compiler_.AddFunctionName(id, name);
  const std::string first = compiler_.GetFunctionName(id);
  evaluator_.AddAlias(first, name);
  for (int k = 1; k <= largestAuxiliaryCount_; ++k) {
    const int32_t helper = compiler_.FindFunction(std::to_string(k) + "$" + first);
    if (helper >= 0) compiler_.AddFunctionName(helper, std::to_string(k) + "$" + name);
  }
}

bool TUserFunctions::IsBody(intptr_t entry) const {
  return std::any_of(bodies_.begin(), bodies_.end(), [&](const TFunction& body) { return body.Entry == entry; });
}
