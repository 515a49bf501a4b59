// The expression parser: preprocessing of the extended notation, then a top-down
// split of each node text into sums, products, calls, conditionals, linear forms and
// leaves. Errors store a code and an item text in the compiler and raise ESyntaxError.
#pragma once

#include "compiler/exco_h.h"
#include "compiler/exco_text_index.h"

#include <array>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

// Coefficients of a text that is a sum of constant multiples of scalar variables.
struct TLinearForm {
  std::vector<Extended> coef;  // one per variable of the table
  Extended constant = 0;
  bool referencesVariable = false;
  int32_t realCount = 0;       // variables of types 1..3 with a non-zero coefficient
  int32_t integerCount = 0;    // variables of type 4 with a non-zero coefficient
};

// How a node text splits at its top level.
enum class TTextShape : uint8_t { Leaf, Sum, Product };

// The parser lives as long as its compiler, so that the buffers of one compile serve
// the next: the node texts are views into them, and nothing is allocated per node once
// the buffers have grown to the formulas compiled.
class TExcoParser {
 public:
  explicit TExcoParser(TExcoH& compiler) : h_(compiler) {}
  TExcoParser(const TExcoParser&) = delete;
  TExcoParser& operator=(const TExcoParser&) = delete;
  // Preprocesses the compiler's expression text and builds its parse tree. The nodes'
  // texts stay valid until the next run.
  void Run();
  // Builds the tree that Run builds for a number printed by the compiler (a constant
  // text's value), without reading the text as a formula. False, with nothing built,
  // for a text that does not read back as such a number: Run reads it then.
  bool RunPrintedNumber();

 private:
  // A conditional's argument text, which names the conditional in an error inside it.
  struct Conditional {
    const TNode* node;
    std::string_view argText;
  };
  // A term of a sum or factor of a product, a view into the text that was split.
  struct Term {
    std::string_view text;
    int32_t op;
    bool constant;
    Extended value;
    TTextShape shape;
  };
  // The shape of a node text as the split that cut it out saw it, when it did.
  enum class ShapeHint : uint8_t { Leaf, Sum, Product, Unknown };
  struct Pending {
    TNode* node;
    ShapeHint shape;
  };
  // Texts of this length or shorter leave every buffer far below the bounds that
  // ReleaseOversized keeps (a rewriting grows a text at most a few times).
  static constexpr size_t kShortText = 32;
  bool mayHaveGrown_ = true;

  TExcoH& h_;
  std::string text_;                  // the preprocessed text, which the root views
  std::string scratch_;               // preprocessing and rewriting work space
  std::deque<std::string> keptTexts_;  // node texts made while parsing (a deque does not move them)
  size_t keptTextsInUse_ = 0;
  std::vector<Conditional> conditionals_;
  std::vector<Pending> pending_;
  std::vector<std::string_view> args_;
  std::vector<Term> terms_;
  std::vector<int> depthStack_;       // bracket nesting while preprocessing
  std::string reduced_;               // a call's surroundings with the placeholder
  std::string negated_;               // "-(" text ")" for a text whose brackets do not close
  TLinearForm form_;
  TTextIndex index_;                  // of text_ once preprocessed
  std::array<uint8_t, 256> charKinds_{};  // the index's table, with the named constants' characters
  // Whether some variable or constant name may read as a number: -1 until a parse
  // first reads a number.
  mutable int8_t numberLikeNames_ = -1;
  // ScalarVariable's answers for one-character names in the parse numbered parse_.
  uint32_t parse_ = 1;
  mutable std::array<uint32_t, 256> singleNameParse_{};
  mutable std::array<int32_t, 256> singleNameVariable_{};
  // Forgets what was found out about the tables' names: a new parse begins.
  void ForgetNameAnswers();

  [[noreturn]] void Error(int32_t code, std::string_view item);
  void StartTree();
  TNode* NewRoot();
  std::string& NewKeptText();
  void ReleaseOversized();
  void Preprocess(const std::string& input);
  int DeepestNesting();
  // The index's table of characters, with the named constants' characters.
  const std::array<uint8_t, 256>& IndexKinds();
  bool NumberLikeNames() const;
  // A text that the constant reader would refuse, as the index shows it.
  bool RefusedAsConstant(std::string_view text) const;
  TNode* NewNode(std::string_view text, TNode* parent);
  TNode* AddChild(TNode* parent, std::string_view text, bool expand = true, ShapeHint shape = ShapeHint::Unknown);
  TNode* AddToken(TNode* parent, std::string_view token);

  void Expand(TNode* node, ShapeHint shape);
  bool AnalyseLinearForm(TNode* node, std::string_view text, bool negate, TTextShape shape);
  // shape, when given, is that of text (stripped already).
  bool RecogniseCall(TNode* node, std::string_view text, bool negate, bool atLeaf, const TTextShape* shape);
  void BuildCall(TNode* node, int32_t id, std::string_view argText, std::string_view callText);
  void BuildConditional(TNode* node, std::string_view argText);
  void BuildPower(TNode* node, int32_t id);
  void BuildArrayElement(TNode* node, int32_t var, std::string_view indexText, std::string_view callText);
  void BuildSplit(TNode* node, std::string_view text, bool negate, bool sum);
  void ResolveLeaf(TNode* node, std::string_view text, bool negate);
  bool MayBePlainLeaf(std::string_view text) const;
  bool ResolvePlainLeaf(TNode* node, std::string_view text, bool negate);
  // A scalar variable's load, for a name that is one.
  bool LoadScalarVariable(TDataNode& d, std::string_view name, bool negate);
  std::string_view RewritePowers(std::string_view leaf);

  // The text with the call replaced by a placeholder splits as the text does (the
  // call's brackets close within it and its name holds no bracket), so a known shape
  // of the text serves.
  bool ReduceAroundCall(std::string_view prefix, std::string_view suffix, Extended& a, Extended& b,
                        const TTextShape* known);
  // shape, when given, is that of text as it stands (stripped already).
  bool Linear(std::string_view text, bool negate, TLinearForm& form, const TTextShape* shape = nullptr);
  // A linear form of plain names and numbers read at once: 1, 0 when the text is none,
  // -1 when Linear's general reading decides.
  int LinearOfTokens(std::string_view text, bool negate, TTextShape shape, TLinearForm& form);
  // Clears the coefficients unless a variable term did, and counts the variables.
  void FinishLinearForm(TLinearForm& form, bool cleared) const;
  bool Constant(std::string_view text, Extended& value);
  // A number that names no variable or constant (which the reader would read first).
  bool PlainNumber(std::string_view text, Extended& value) const;
  bool ReadPlainNumber(std::string_view text, Extended& value) const;
  bool IsBareArray(std::string_view text, int32_t& var);
  int32_t ScalarVariable(std::string_view name) const;
  int32_t LookUpScalarVariable(std::string_view name) const;
};
