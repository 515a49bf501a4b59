// The expression parser: preprocessing of the extended notation, then a top-down
// split of each node text into sums, products, calls, conditionals, linear forms and
// leaves. Errors store a code and an item text in the compiler and raise ESyntaxError.
#pragma once

#include "compiler/exco_h.h"

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Coefficients of a text that is a sum of constant multiples of scalar variables.
struct TLinearForm {
  std::vector<Extended> coef;  // one per variable of the table
  Extended constant = 0;
  bool referencesVariable = false;
  int32_t realCount = 0;       // variables of types 1..3 with a non-zero coefficient
  int32_t integerCount = 0;    // variables of type 4 with a non-zero coefficient
};

class TExcoParser {
 public:
  explicit TExcoParser(TExcoH& compiler) : h_(compiler) {}
  // Preprocesses the compiler's expression text and builds its parse tree.
  void Run();

  std::string Preprocess(const std::string& text);

 private:
  TExcoH& h_;
  std::unordered_map<const TNode*, std::string> conditionalItems_;
  std::vector<TNode*> pending_;

  [[noreturn]] void Error(int32_t code, const std::string& item);
  TNode* NewNode(std::string_view text, TNode* parent);
  TNode* AddChild(TNode* parent, std::string_view text, bool expand = true);
  TNode* AddToken(TNode* parent, const std::string& token);

  void Expand(TNode* node);
  bool AnalyseLinearForm(TNode* node, const std::string& text, bool negate);
  bool RecogniseCall(TNode* node, const std::string& text, bool negate, bool atLeaf);
  void BuildCall(TNode* node, int32_t id, const std::string& argText, const std::string& callText);
  void BuildConditional(TNode* node, const std::vector<std::string>& args, const std::string& argText);
  void BuildPower(TNode* node, int32_t id, const std::vector<std::string>& args);
  void BuildArrayElement(TNode* node, int32_t var, const std::string& indexText, const std::string& callText);
  void BuildSplit(TNode* node, const std::string& text, bool negate, bool sum);
  void ResolveLeaf(TNode* node, const std::string& text, bool negate);
  std::string RewritePowers(std::string text);

  bool ReduceAroundCall(const std::string& prefix, const std::string& suffix, Extended& a, Extended& b);
  bool Linear(const std::string& text, TLinearForm& form);
  bool Constant(std::string_view text, Extended& value);
  bool IsBareArray(const std::string& text, int32_t& var);
  int32_t ScalarVariable(std::string_view name) const;
};
