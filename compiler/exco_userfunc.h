// Functions and names added to the language at run time: native routines described
// by a descriptor, inline code templates, functions defined by a text name(a,b)=body,
// and further names (aliases) of existing functions.
#pragma once

#include "compiler/exco_lib.h"
#include "compiler/exco_types.h"

#include <array>
#include <cstdint>
#include <forward_list>
#include <string>
#include <vector>

class TExcoH;
class TExcoD_Custom;

// One argument variable of a text-defined function: the cell its value is stored in
// by every call, defined as a compiler variable under Name.
struct TInternalVar {
  alignas(16) std::array<uint8_t, 16> Cell{};
  std::string Name;
};

class TUserFunctions {
 public:
  TUserFunctions(TExcoH& compiler, TExcoD_Custom& evaluator) : compiler_(compiler), evaluator_(evaluator) {}
  ~TUserFunctions();
  TUserFunctions(const TUserFunctions&) = delete;
  TUserFunctions& operator=(const TUserFunctions&) = delete;

  // Adds a function; id receives its table index. A faulty descriptor or definition
  // is error 28 with definition as the item; a body that does not compile leaves its
  // own error.
  void AddFunction(const std::string& definition, const ExcoFuncDescriptor& descriptor, intptr_t& id);
  // Another name for entry id (and for its auxiliary functions); an id outside the
  // table does nothing.
  void AddAlias(int id, const std::string& name);
  // Whether entry is the body of a text-defined function.
  bool IsBody(intptr_t entry) const;

 private:
  bool DescriptorRecord(const ExcoFuncDescriptor& d, TFuncList& record) const;
  void AddNative(const std::string& name, const ExcoFuncDescriptor& d, TFuncList record, intptr_t& id);
  void AddTextFunction(const std::string& definition, const ExcoFuncDescriptor& d, TFuncList record, intptr_t& id);
  bool BodyReadsHost(const std::string& body, const std::vector<intptr_t>& ownCells) const;
  void Refuse(const std::string& definition);

  TExcoH& compiler_;
  TExcoD_Custom& evaluator_;
  std::forward_list<TInternalVar> internalVars_;
  // Bodies of text-defined functions, also those replaced by a redefinition: code
  // compiled before still calls them.
  std::vector<TFunction> bodies_;
  int textFunctionCount_ = 0;
  int largestAuxiliaryCount_ = 0;
};
