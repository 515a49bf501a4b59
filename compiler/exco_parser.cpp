#include "compiler/exco_parser.h"

#include "compiler/exco_faults.h"
#include "compiler/exco_number.h"
#include "compiler/exco_text_index.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <type_traits>

namespace {

constexpr size_t npos = std::string::npos;

// A set of characters, looked up in one step (the parser asks for every character of
// every node text).
class CharSet {
 public:
  consteval explicit CharSet(std::string_view chars) {
    for (const char c : chars) in_[static_cast<unsigned char>(c)] = true;
  }
  constexpr bool has(char c) const { return in_[static_cast<unsigned char>(c)]; }

 private:
  std::array<bool, 256> in_{};
};

constexpr CharSet kBeforeExponentNumber("+-*/^(,=<>&|");
constexpr CharSet kBeforeUnarySign("+-*/^(,");
constexpr CharSet kEndsConstantName("*/()^,=<>&|!");
constexpr CharSet kBeforeFactorialOperand("*/+-^,&<>=");
constexpr CharSet kBeforeBarOperand("+-*/^([{,<>=");
constexpr CharSet kBeforeTruncOperand("[{(*+/-^,<>=");
constexpr CharSet kTrailingOperator("*/+-");
constexpr CharSet kBeforePowerBase("*/+-^&");
constexpr CharSet kAfterPowerExponent("*/^&|");
constexpr CharSet kBeforeCallName("*+/-^");
constexpr CharSet kExtendedMarks("|[]{}!");
constexpr CharSet kBeforeFactor("+-*/(");
constexpr CharSet kNumberChars("0123456789.eE+-*/()");
constexpr CharSet kCutChars("()+-*/,");
constexpr CharSet kBars("|");
constexpr CharSet kSquareBrackets("[]");
constexpr CharSet kBraces("{}");
constexpr CharSet kFactorials("!");

// The part of t from pos on (of length length), for a pos within t: the pieces of a
// split are cut out at every node, without the bounds check of substr.
std::string_view slice(std::string_view t, size_t pos) { return {t.data() + pos, t.size() - pos}; }
std::string_view slice(std::string_view t, size_t pos, size_t length) { return {t.data() + pos, length}; }

// What a character means to the scans that split a text at its top level.
enum class Cut : uint8_t { None, Open, Close, Sign, Factor };

constexpr std::array<Cut, 256> kCuts = [] {
  std::array<Cut, 256> cuts{};
  cuts['('] = Cut::Open;
  cuts[')'] = Cut::Close;
  cuts['+'] = cuts['-'] = Cut::Sign;
  cuts['*'] = cuts['/'] = Cut::Factor;
  return cuts;
}();

Cut cutOf(char c) { return kCuts[static_cast<unsigned char>(c)]; }

// Index of the ")" that closes the "(" at open, or npos.
size_t matchClose(const TTextIndex& index, std::string_view t, size_t open) {
  if (index.Covers(t)) {
    const size_t close = index.CloseIn(index.OffsetOf(t), t.size(), open);
    return close == TTextIndex::kNone ? npos : close;
  }
  int depth = 0;
  for (size_t i = open; i < t.size(); ++i) {
    if (t[i] == '(') ++depth;
    if (t[i] == ')' && --depth == 0) return i;
  }
  return npos;
}

// Hands the index of each character of t outside brackets that may split it (a sign,
// * /, a comma; others may be handed too) to visit, in order, until visit returns
// false. False then, and at a ")" that closes a bracket t did not open. In a text the
// index covers, names, numbers and brackets are stepped over at once.
template <class Visit>
bool forEachTopLevel(const TTextIndex& index, std::string_view t, Visit&& visit) {
  const size_t n = t.size();
  if (index.Covers(t)) {
    const size_t offset = index.OffsetOf(t);
    for (size_t i = index.NextCut(offset, n, 0); i < n; i = index.NextCut(offset, n, i + 1)) {
      const char c = t[i];
      if (c == '(') {
        i = index.CloseIn(offset, n, i);
        // The rest of the text lies inside the bracket.
        if (i == TTextIndex::kNone) return true;
      } else if (c == ')') {
        return false;
      } else if (!visit(i)) {
        return false;
      }
    }
    return true;
  }
  int depth = 0;
  for (size_t i = 0; i < n; ++i) {
    const char c = t[i];
    if (c == '(') {
      ++depth;
    } else if (c == ')') {
      if (--depth < 0) return false;
    } else if (depth == 0 && !visit(i)) {
      return false;
    }
  }
  return true;
}

// A sign inside a number's exponent (the "-" of 1e-5).
bool isExponentSign(std::string_view t, size_t i) {
  if (i < 2 || (t[i - 1] != 'e' && t[i - 1] != 'E')) return false;
  size_t j = i - 1;
  size_t digits = 0;
  while (j > 0 && ((t[j - 1] >= '0' && t[j - 1] <= '9') || t[j - 1] == '.')) {
    if (t[j - 1] != '.') ++digits;
    --j;
  }
  if (digits == 0) return false;
  return j == 0 || kBeforeExponentNumber.has(t[j - 1]);
}

// A + or - that joins two terms: not the first character, not a sign written right
// after an operator, "(" or ",", and not the sign of a number's exponent.
bool isBinarySign(std::string_view t, size_t i) {
  if (i == 0 || (t[i] != '+' && t[i] != '-')) return false;
  if (kBeforeUnarySign.has(t[i - 1])) return false;
  return !isExponentSign(t, i);
}

using Shape = TTextShape;

// Depth stays >= 0 (else returns false).
bool classify(const TTextIndex& index, std::string_view t, Shape& shape) {
  bool sum = false, product = false;
  const bool balanced = forEachTopLevel(index, t, [&](size_t i) {
    if (i == 0) return true;
    const Cut kind = cutOf(t[i]);
    if (kind == Cut::Sign) sum = sum || isBinarySign(t, i);
    else if (kind == Cut::Factor) product = true;
    return true;
  });
  if (!balanced) return false;
  shape = sum ? Shape::Sum : product ? Shape::Product : Shape::Leaf;
  return true;
}

// A view into the text that was split, which outlives its pieces. A term of a sum has
// no top-level sign of its own (the sum was cut at each, and a sign's meaning does not
// change when its term is cut out), so its shape is a product exactly when it holds a
// top-level * or / after its first character; the splitter records that as it cuts.
struct Piece {
  std::string_view text;
  int32_t op;
  Shape shape = Shape::Leaf;  // for a term of a sum, or a text taken whole
};

// Hands each term of a sum (or factor of a product) at bracket depth 0 to visit, or
// the whole text, of the given shape, as one piece when split is false; stops at the
// first visit that returns false and returns what it returned.
template <class Visit>
bool forEachPiece(const TTextIndex& index, std::string_view t, bool split, bool sum, Shape whole, Visit&& visit) {
  if (!split) return visit(Piece{t, op::First, whole});
  size_t start = 0;
  int32_t pendingOp = op::First;
  bool product = false;
  bool stopped = false;
  forEachTopLevel(index, t, [&](size_t i) {
    const Cut kind = cutOf(t[i]);
    if (i == 0 || (kind != Cut::Sign && kind != Cut::Factor)) return true;
    const char c = t[i];
    const bool cut = sum ? kind == Cut::Sign && isBinarySign(t, i) : kind == Cut::Factor;
    if (cut) {
      if (!visit(Piece{slice(t, start, i - start), pendingOp, product ? Shape::Product : Shape::Leaf})) {
        stopped = true;
        return false;
      }
      pendingOp = sum ? (c == '+' ? op::Add : op::Sub) : (c == '*' ? op::Mul : op::Div);
      start = i + 1;
      product = false;
    } else if (sum && i > start && kind == Cut::Factor) {
      product = true;
    }
    return true;
  });
  if (stopped) return false;
  return visit(Piece{slice(t, start), pendingOp, product ? Shape::Product : Shape::Leaf});
}

// Hands each argument of an argument text (split at top-level commas) to visit.
template <class Visit>
void forEachArgument(const TTextIndex& index, std::string_view t, Visit&& visit) {
  size_t start = 0;
  forEachTopLevel(index, t, [&](size_t i) {
    if (t[i] == ',') {
      visit(slice(t, start, i - start));
      start = i + 1;
    }
    return true;
  });
  visit(slice(t, start));
}

// Whether every "(" of the text closes inside it.
bool bracketsClose(std::string_view t) {
  int depth = 0;
  for (const char c : t) {
    if (c == '(') ++depth;
    else if (c == ')') --depth;
  }
  return depth == 0;
}

// Removes enclosing bracket pairs; a "-(" pair flips the sign. Leading "+" and "--"
// are dropped, since they change nothing.
std::string_view stripEnclosingFrom(const TTextIndex& index, std::string_view t, bool& negate) {
  for (;;) {
    if (t.size() > 1 && t[0] == '+') {
      t.remove_prefix(1);
    } else if (t.size() > 2 && t[0] == '-' && t[1] == '-') {
      t.remove_prefix(2);
    } else if (t.size() >= 2 && t[0] == '(' && matchClose(index, t, 0) == t.size() - 1) {
      t = slice(t, 1, t.size() - 2);
    } else if (t.size() >= 3 && t[0] == '-' && t[1] == '(' && matchClose(index, t, 1) == t.size() - 1) {
      negate = !negate;
      t = slice(t, 2, t.size() - 3);
    } else {
      return t;
    }
  }
}

// Most texts start with a name or a number, and are handed back at once.
[[gnu::always_inline]] inline std::string_view stripEnclosing(const TTextIndex& index, std::string_view t, bool& negate) {
  if (t.size() < 2 || (t[0] != '+' && t[0] != '-' && t[0] != '(')) return t;
  return stripEnclosingFrom(index, t, negate);
}

// Takes off leading signs, flipping negate for each "-".
std::string_view skipSigns(std::string_view t, bool& negate) {
  while (!t.empty() && (t[0] == '-' || t[0] == '+')) {
    if (t[0] == '-') negate = !negate;
    t.remove_prefix(1);
  }
  return t;
}

// Arithmetic of constant folding with the faults the x87 unit would raise.
struct FoldFault {
  int32_t code = 0;
  void note(int32_t c) {
    if (code == 0) code = c;
  }
  void raise() const {
    if (code != 0) raiseNoted();
  }
  [[gnu::cold, gnu::noinline]] void raiseNoted() const {
    switch (code) {
      case ec::ZeroDivide: throw EExcoZeroDivide();
      case ec::InvalidOp: throw EExcoInvalidOp();
      case ec::Overflow: throw EExcoOverflow();
      default: break;
    }
  }
};

Extended foldCombine(Extended left, int32_t operation, Extended right, FoldFault& fault) {
  Extended r = 0;
  switch (operation) {
    case op::Add: r = left + right; break;
    case op::Sub: r = left - right; break;
    case op::Mul: r = left * right; break;
    case op::Div:
      if (right == 0) {
        fault.note(left == 0 ? ec::InvalidOp : ec::ZeroDivide);
        return 0;
      }
      r = left / right;
      break;
    default: r = right; break;
  }
  if (!std::isfinite(r)) fault.note(std::isnan(r) ? ec::InvalidOp : ec::Overflow);
  return r;
}

// A constant expression of numbers, named constants, + - * / and brackets.
class ConstantReader {
 public:
  ConstantReader(const TExcoH& h, std::string_view t, FoldFault& fault) : h_(h), t_(t), fault_(fault) {}
  bool read(Extended& value) {
    if (!sum(value, 0)) return false;
    return pos_ == t_.size();
  }

 private:
  static constexpr int kMaxDepth = 200;
  const TExcoH& h_;
  std::string_view t_;
  FoldFault& fault_;
  size_t pos_ = 0;

  bool sum(Extended& v, int depth) {
    if (!product(v, depth)) return false;
    while (pos_ < t_.size() && isBinarySign(t_, pos_)) {
      const int32_t o = t_[pos_] == '+' ? op::Add : op::Sub;
      ++pos_;
      Extended r;
      if (!product(r, depth)) return false;
      v = foldCombine(v, o, r, fault_);
    }
    return true;
  }
  bool product(Extended& v, int depth) {
    if (!factor(v, depth)) return false;
    while (pos_ < t_.size() && (t_[pos_] == '*' || t_[pos_] == '/')) {
      const int32_t o = t_[pos_] == '*' ? op::Mul : op::Div;
      ++pos_;
      Extended r;
      if (!factor(r, depth)) return false;
      v = foldCombine(v, o, r, fault_);
    }
    return true;
  }
  bool factor(Extended& v, int depth) {
    if (depth > kMaxDepth || pos_ >= t_.size()) return false;
    if (t_[pos_] == '-' || t_[pos_] == '+') {
      const bool minus = t_[pos_] == '-';
      ++pos_;
      if (!factor(v, depth + 1)) return false;
      if (minus) v = -v;
      return true;
    }
    if (t_[pos_] == '(') {
      ++pos_;
      if (!sum(v, depth + 1) || pos_ >= t_.size() || t_[pos_] != ')') return false;
      ++pos_;
      return true;
    }
    size_t end = pos_;
    while (end < t_.size()) {
      const char c = t_[end];
      if (kEndsConstantName.has(c)) break;
      if ((c == '+' || c == '-') && end > pos_ && !isExponentSign(t_, end)) break;
      ++end;
    }
    const std::string_view token = slice(t_, pos_, end - pos_);
    if (token.empty()) return false;
    if (h_.FindFirstVariable(token) >= 0) return false;
    if (!h_.FindConstant(token, v)) {
      const NumberRead r = ExcoReadNumber(token, v);
      if (r == NumberRead::OutOfRange) {
        fault_.note(ec::Overflow);
        v = 0;
      } else if (r != NumberRead::Ok) {
        return false;
      }
    }
    pos_ = end;
    return true;
  }
};

// Whether a "(" of the text follows something other than an operator or "(": a call
// or an array element. The constant reader reads a bracket only where a factor starts,
// so it cannot read past such a one: the text is no constant, and the factor holding
// it no variable either unless a variable's name holds a bracket.
bool holdsCall(const TTextIndex& index, std::string_view t) {
  if (index.Covers(t)) return index.HoldsCall(index.OffsetOf(t), t.size());
  for (size_t i = 1; i < t.size(); ++i)
    if (t[i] == '(' && !kBeforeFactor.has(t[i - 1])) return true;
  return false;
}

// A name that the constant reader takes as one token: it holds no character that ends
// a token and no sign.
bool isPlainName(std::string_view name) {
  return std::none_of(name.begin(), name.end(), [](char c) { return kEndsConstantName.has(c) || c == '+' || c == '-'; });
}

// The constant of the linear form that a number, negated or not, reads as: 0 plus the
// number times the sign (so a negated 0 reads as +0). A number read whole is finite.
Extended signedNumberForm(Extended number, bool negate) {
  FoldFault none;
  const Extended k = foldCombine(negate ? -1 : 1, op::Mul, number, none);
  return foldCombine(0, op::Add, k, none);
}

// Whether a text may be a number: the number reader refuses any other at once.
bool startsNumber(std::string_view text) {
  return !text.empty() && ((text[0] >= '0' && text[0] <= '9') || text[0] == '.');
}

bool isWhole(Extended v) { return std::isfinite(v) && v == std::trunc(v); }
bool fitsInt32(Extended v) { return isWhole(v) && v >= INT32_MIN && v <= INT32_MAX; }

int32_t relationCode(std::string_view token) {
  static const char* const kTokens[] = {"#JMP", "#JMPE", "#JMPEL", "#JMPEB", "#JMPB", "#JMPL", "#JMPNE"};
  for (int i = 0; i < 7; ++i)
    if (token == kTokens[i]) return i + 1;
  return 0;
}

}  // namespace

// ---------------------------------------------------------------- driver hook

[[noreturn]] void TExcoParser::Error(int32_t code, std::string_view item) {
  h_.ErrorCode = code;
  h_.ItemText = item;
  throw ESyntaxError();
}

// ---------------------------------------------------------------- preprocessing

namespace {

// Wraps the operand before each mark ("!!" or "!") into name( ... ).
// Every level of nesting makes each node below it copy and scan its text again, so
// a text nested without bound would compile in time that grows with the square of its
// length. No formula comes near this depth.
constexpr int kMaxNesting = 256;

// Wraps the operand before every mark in opening...")", from the left. The text is
// built as it is read, so that each operand is scanned once.
void wrapFactorials(std::string_view t, std::string_view mark, std::string_view opening, std::string& out) {
  out.clear();
  for (size_t p = 0; p < t.size();) {
    if (t.substr(p, mark.size()) != mark) {
      out += t[p++];
      continue;
    }
    size_t start = 0;
    int depth = 0;
    for (size_t i = out.size(); i > 0; --i) {
      const char c = out[i - 1];
      if (c == ')' || c == ']' || c == '}') {
        ++depth;
      } else if (c == '(' || c == '[' || c == '{') {
        if (depth == 0) {
          start = i;
          break;
        }
        --depth;
      } else if (depth == 0 && kBeforeFactorialOperand.has(c)) {
        start = i;
        break;
      }
    }
    out.insert(start, opening);
    out += ')';
    p += mark.size();
  }
}

// Each "|" opens abs( where an operand starts (a relation of a condition starts one
// too: if(x>|y|,...)) and closes it elsewhere.
void rewriteBars(std::string_view t, std::string& out) {
  out.clear();
  for (const char c : t) {
    if (c != '|') {
      out += c;
      continue;
    }
    const bool opens = out.empty() || kBeforeBarOperand.has(out.back());
    out += opens ? "abs(" : ")";
  }
}

// A "[" where an operand starts opens trunc(; one after a name indexes an array.
void rewriteSquareBrackets(std::string_view t, std::string& out, std::vector<int>& truncOpen) {
  out.clear();
  truncOpen.clear();
  for (const char c : t) {
    if (c == '[') {
      const bool opens = out.empty() || kBeforeTruncOperand.has(out.back());
      truncOpen.push_back(opens);
      out += opens ? "trunc(" : "[";
    } else if (c == ']') {
      const bool closesTrunc = !truncOpen.empty() && truncOpen.back();
      if (!truncOpen.empty()) truncOpen.pop_back();
      out += closesTrunc ? ")" : "]";
    } else {
      out += c;
    }
  }
}

void rewriteBraces(std::string_view t, std::string& out) {
  out.clear();
  for (const char c : t) {
    if (c == '{') out += "frac(";
    else if (c == '}') out += ")";
    else out += c;
  }
}

}  // namespace

// What a character means to the last pass of preprocessing, as the walk that measures
// the nesting sees it.
enum class PreprocessKind : uint8_t { Other, Open, Close, Power, EndsChain };

constexpr PreprocessKind preprocessKind(char c) {
  switch (c) {
    case '(': case '[': case '{': return PreprocessKind::Open;
    case ')': case ']': case '}': return PreprocessKind::Close;
    case '^': return PreprocessKind::Power;
    case '+': case '-': case '*': case '/': case ',': case '<': case '>': case '=': case '&': return PreprocessKind::EndsChain;
    default: return PreprocessKind::Other;
  }
}

// The bit of the index's table for the characters that the last pass rewrites or counts.
constexpr uint8_t kPreprocessed = 8;
static_assert((TTextIndex::kIndexBits & kPreprocessed) == 0);

// Rewrites the extended notation into calls; each rewriting runs only when its mark is
// in the text, so a plain formula is copied once.
void TExcoParser::Preprocess(const std::string& input) {
  text_.assign(input.empty() ? std::string_view("0") : std::string_view(input));
  const auto holds = [&](const CharSet& marks) {
    return std::any_of(text_.begin(), text_.end(), [&](char c) { return marks.has(c); });
  };
  if (h_.ExtendedNotation && holds(kExtendedMarks)) {
    const auto pass = [&](auto&& rewrite) {
      rewrite(std::string_view(text_), scratch_);
      text_.swap(scratch_);
    };
    if (holds(kBars)) pass(rewriteBars);
    if (holds(kSquareBrackets))
      pass([&](std::string_view t, std::string& out) { rewriteSquareBrackets(t, out, depthStack_); });
    if (holds(kBraces)) pass(rewriteBraces);
    if (holds(kFactorials)) {
      pass([](std::string_view t, std::string& out) { wrapFactorials(t, "!!", "fact2(", out); });
      pass([](std::string_view t, std::string& out) { wrapFactorials(t, "!", "fact(", out); });
    }
  }
  // One pass, which indexes the text too: the remaining brackets become round ones,
  // and they and the powers are counted.
  char* const t = text_.data();
  size_t powers = 0;
  index_.Build(text_, IndexKinds(), [&](size_t i, char c, uint8_t) {
    switch (c) {
      case '[': case '{': return t[i] = '(';
      case ']': case '}': return t[i] = ')';
      default: ++powers; return c;
    }
  });
  // A "(" at the very end opens nothing.
  const size_t open = index_.Opening() - (text_.back() == '(' ? 1 : 0);
  const size_t close = index_.Closing();
  if (close > open) Error(ec::MissingOpen, h_.ExprText);
  if (open > close) Error(ec::MissingClose, h_.ExprText);
  // The tree is no deeper than the brackets and powers together.
  if (index_.Opening() + powers > static_cast<size_t>(kMaxNesting) && DeepestNesting() > kMaxNesting) Error(ec::StackOverflow, h_.ExprText);
}

// The deepest nesting of the tree: the brackets, and at each level the chain of powers
// a^b^c, which becomes power(power(a,b),c).
int TExcoParser::DeepestNesting() {
  depthStack_.clear();
  int depth = 0;  // depthStack_'s size: the chains of the enclosing levels
  int chain = 0;
  int deepest = 0;
  char previous = '\0';
  for (const char c : text_) {
    switch (preprocessKind(c)) {
      case PreprocessKind::Other: break;
      case PreprocessKind::Open:
        depthStack_.push_back(chain);
        ++depth;
        chain = 0;
        deepest = std::max(deepest, depth);
        break;
      case PreprocessKind::Close:
        if (depth > 0) {
          chain = depthStack_.back();
          depthStack_.pop_back();
          --depth;
        }
        break;
      case PreprocessKind::Power:
        ++chain;
        deepest = std::max(deepest, depth + chain);
        break;
      case PreprocessKind::EndsChain:
        if (previous != '^') chain = 0;
        break;
    }
    previous = c;
  }
  return deepest;
}

// A constant text holds numbers, named constants, signs, * / and brackets; a view with
// any other character is refused as a constant without reading it.
const std::array<uint8_t, 256>& TExcoParser::IndexKinds() {
  static constexpr std::array<uint8_t, 256> kKinds = [] {
    std::array<uint8_t, 256> kinds{};
    for (size_t c = 0; c < 256; ++c) {
      const char ch = static_cast<char>(c);
      if (kNumberChars.has(ch)) kinds[c] |= TTextIndex::kConstant;
      if (kCutChars.has(ch)) kinds[c] |= TTextIndex::kCut;
      if (!kBeforeFactor.has(ch)) kinds[c] |= TTextIndex::kOpensCall;
      if (ch == '[' || ch == ']' || ch == '{' || ch == '}' || ch == '^') kinds[c] |= kPreprocessed;
    }
    return kinds;
  }();
  if (h_.Constants.size() <= 1) return kKinds;
  charKinds_ = kKinds;
  for (size_t i = 1; i < h_.Constants.size(); ++i)
    for (const char c : h_.Constants[i].Name) {
      // Either case, as names may be compared without it.
      const char lower = ExcoLower(c);
      charKinds_[static_cast<unsigned char>(lower)] |= TTextIndex::kConstant;
      if (lower >= 'a' && lower <= 'z') charKinds_[static_cast<unsigned char>(lower - 'a' + 'A')] |= TTextIndex::kConstant;
      else charKinds_[static_cast<unsigned char>(c)] |= TTextIndex::kConstant;
    }
  return charKinds_;
}

bool TExcoParser::RefusedAsConstant(std::string_view text) const {
  return index_.Covers(text) && index_.HoldsNonConstant(index_.OffsetOf(text), text.size());
}

// ---------------------------------------------------------------- tree

namespace {

// Gives a node of an earlier tree its default state but keeps the storage of its
// lists. Flattened, since a node's reset is among the commonest steps and the
// destructor of the default node it is moved from is otherwise called out of line.
[[gnu::flatten]] void resetKeepingStorage(TNode& node) {
  TArrayI states = std::move(node.OperandStates);
  TDataNode& d = node.Data;
  TArrayI ops = std::move(d.OperandOps), adjust = std::move(d.OperandStoreAdjust), argTypes = std::move(d.ArgTypes);
  std::vector<Extended> realCoefs = std::move(d.RealCoefs), intRealCoefs = std::move(d.IntRealCoefs),
                        intCoefs = std::move(d.IntCoefs);
  std::vector<TScaledVarIndex> scaled = std::move(d.ScaledVars);
  node = TNode();
  GiveBackStorage(node.OperandStates, states);
  GiveBackStorage(d.OperandOps, ops);
  GiveBackStorage(d.OperandStoreAdjust, adjust);
  GiveBackStorage(d.ArgTypes, argTypes);
  GiveBackStorage(d.RealCoefs, realCoefs);
  GiveBackStorage(d.IntRealCoefs, intRealCoefs);
  GiveBackStorage(d.IntCoefs, intCoefs);
  GiveBackStorage(d.ScaledVars, scaled);
}

}  // namespace

TNode* TExcoParser::NewNode(std::string_view text, TNode* parent) {
  if (h_.TreeNodesInUse < h_.TreePool.size())
    resetKeepingStorage(*h_.TreePool[h_.TreeNodesInUse]);
  else
    h_.TreePool.push_back(std::make_unique<TNode>());
  TNode* node = h_.TreePool[h_.TreeNodesInUse++].get();
  node->Text = text;
  node->Parent = parent;
  return node;
}

TNode* TExcoParser::AddChild(TNode* parent, std::string_view text, bool expand, ShapeHint shape) {
  TNode* child = NewNode(text, parent);
  if (!parent->FirstChild) {
    parent->FirstChild = child;
    child->Level = parent->Level;
  } else {
    TNode* last = parent->LastChild ? parent->LastChild : parent->FirstChild;
    while (last->NextSibling) last = last->NextSibling;
    last->NextSibling = child;
    child->Level = last->Level + 1;
  }
  parent->LastChild = child;
  if (expand) pending_.push_back(Pending{child, shape});
  return child;
}

std::string& TExcoParser::NewKeptText() {
  if (keptTextsInUse_ == keptTexts_.size()) keptTexts_.emplace_back();
  std::string& text = keptTexts_[keptTextsInUse_++];
  text.clear();
  return text;
}

TNode* TExcoParser::AddToken(TNode* parent, std::string_view token) {
  TNode* node = AddChild(parent, token, false);
  const int32_t relation = relationCode(token);
  if (relation != 0) {
    node->Data.FuncIndex = fx::JMP;
    node->Data.OperandKind = relation;
  } else {
    node->Data.FuncIndex = fx::FLD;
    node->Data.OperandKind = token == "#FLD1" ? 1 : 2;
  }
  return node;
}

TExcoParser& TExcoH::Parser() {
  if (!parser_) parser_ = std::make_unique<TExcoParser>(*this);
  return *parser_;
}

void TExcoH::ParseText() { Parser().Run(); }

void TExcoH::ParsePrintedNumber() {
  if (!Parser().RunPrintedNumber()) Parser().Run();
}

// The buffers stay for the next compile, as the tree's nodes do, but a huge text does
// not keep its memory. Only what the last compile used is looked at.
void TExcoParser::ReleaseOversized() {
  constexpr size_t kKeptBytes = 64 * 1024;
  constexpr size_t kKeptTexts = 256;
  constexpr size_t kKeptEntries = 4096;
  const auto release = [](auto& buffer, size_t bound) {
    if (buffer.capacity() > bound) std::remove_reference_t<decltype(buffer)>().swap(buffer);
  };
  release(text_, kKeptBytes);
  release(scratch_, kKeptBytes);
  release(reduced_, kKeptBytes);
  release(negated_, kKeptBytes);
  for (size_t i = 0; i < keptTextsInUse_; ++i) release(keptTexts_[i], kKeptBytes);
  if (keptTexts_.size() > kKeptTexts) keptTexts_.resize(kKeptTexts);
  release(pending_, kKeptEntries);
  release(conditionals_, kKeptEntries);
  release(args_, kKeptEntries);
  release(terms_, kKeptEntries);
  release(depthStack_, kKeptEntries);
}

void TExcoParser::StartTree() {
  index_.Clear();
  h_.Root = nullptr;
  h_.CurrentNode = nullptr;
  h_.TreeNodesInUse = 0;
  if (mayHaveGrown_) ReleaseOversized();
  mayHaveGrown_ = h_.ExprText.size() > kShortText;
  keptTextsInUse_ = 0;
  conditionals_.clear();
  ForgetNameAnswers();
}

TNode* TExcoParser::NewRoot() {
  h_.Root = NewNode(text_, nullptr);
  h_.Root->Level = 1;
  return h_.Root;
}

void TExcoParser::Run() {
  StartTree();
  Preprocess(h_.ExprText);
  pending_.assign(1, Pending{NewRoot(), ShapeHint::Unknown});
  while (!pending_.empty()) {
    const auto [node, shape] = pending_.back();
    pending_.pop_back();
    h_.CurrentNode = node;
    const size_t before = pending_.size();
    try {
      Expand(node, shape);
    } catch (const ESyntaxError&) {
      // An error inside a conditional names the whole (outermost) conditional.
      for (const TNode* n = node; n; n = n->Parent) {
        for (const Conditional& c : conditionals_) {
          if (c.node != n) continue;
          h_.ItemText.assign("if(").append(c.argText).append(")");
          break;
        }
      }
      throw;
    }
    // Children were appended in order; expand the first one first.
    std::reverse(pending_.begin() + static_cast<long>(before), pending_.end());
  }
}

void TExcoParser::Expand(TNode* node, ShapeHint known) {
  bool negate = false;
  const std::string_view text = stripEnclosing(index_, node->Text, negate);
  if (text.empty() || text == "-" || text == "+") Error(ec::MissingExpression, node->Text);
  if (text[0] == ')' || kTrailingOperator.has(text.back())) Error(ec::MissingExpression, text);
  if (MayBePlainLeaf(text) && ResolvePlainLeaf(node, text, negate)) return;
  Shape shape;
  // A piece that its parent cut out has the shape the parent saw, unless it lost a
  // bracket or sign here.
  if (known != ShapeHint::Unknown && text.size() == node->Text.size()) shape = static_cast<Shape>(known);
  else if (!classify(index_, text, shape)) Error(ec::MissingOpen, text);

  if (h_.Optimise) {
    // A call refuses a linear form (as Linear finds first), unless a variable's name
    // holds a bracket.
    const bool mayBeLinear = !holdsCall(index_, text) || h_.VariableNameHoldsBracket();
    if (mayBeLinear && AnalyseLinearForm(node, text, negate, shape)) return;
    if (RecogniseCall(node, text, negate, false, &shape)) return;
  }
  if (shape != Shape::Leaf) {
    BuildSplit(node, text, negate, shape == Shape::Sum);
    return;
  }
  const std::string_view leaf = h_.ExtendedNotation ? RewritePowers(text) : text;
  if (RecogniseCall(node, leaf, negate, true, leaf.data() == text.data() ? &shape : nullptr)) return;
  ResolveLeaf(node, leaf, negate);
}

// Whether a text may be a name or a number after its signs: none holds a character that
// may split a text, which the index finds at once.
bool TExcoParser::MayBePlainLeaf(std::string_view text) const {
  bool minus = false;
  const std::string_view name = skipSigns(text, minus);
  return !index_.Covers(name) || index_.NextCut(index_.OffsetOf(name), name.size(), 0) == name.size();
}

// The commonest leaves, a scalar variable with or without signs and a number, are
// what every way of reading them (as a linear form or as a leaf) makes of them.
bool TExcoParser::ResolvePlainLeaf(TNode* node, std::string_view text, bool negate) {
  bool minus = negate;
  const std::string_view name = skipSigns(text, minus);
  if (name.empty() || !isPlainName(name)) return false;
  if (LoadScalarVariable(node->Data, name, minus)) return true;
  TDataNode& d = node->Data;
  Extended number = 0;
  if (name.size() != text.size() || !PlainNumber(text, number)) return false;
  d.FuncIndex = fx::LDSC;
  d.b1 = h_.Optimise ? signedNumberForm(number, negate) : negate ? -number : number;
  return true;
}

// ---------------------------------------------------------------- sums and products

void TExcoParser::BuildSplit(TNode* node, std::string_view text, bool negate, bool sum) {
  terms_.clear();
  forEachPiece(index_, text, true, sum, Shape::Leaf, [&](const Piece& p) {
    terms_.push_back(Term{p.text, p.op, false, 0, p.shape});
    return true;
  });
  for (const Term& p : terms_)
    if (p.text.empty()) Error(ec::MissingExpression, text);

  TDataNode& d = node->Data;
  d.FuncIndex = sum ? fx::ADD : fx::MUL;
  d.A = sum ? 0 : 1;
  d.B = 0;
  FoldFault fault;
  size_t variableTerms = 0;
  for (Term& p : terms_) {
    // Most terms hold a variable, which the index refuses at once.
    if (h_.Optimise && !RefusedAsConstant(p.text) && Constant(p.text, p.value)) {
      p.constant = true;
      const int32_t o = p.op == op::First ? (sum ? op::Add : op::Mul) : p.op;
      if (sum) d.B = foldCombine(d.B, o, p.value, fault);
      else d.A = foldCombine(d.A, o, p.value, fault);
      continue;
    }
    ++variableTerms;
  }
  fault.raise();
  if (variableTerms == 0) {
    const Extended value = sum ? d.B : d.A;
    d = TDataNode{};
    d.FuncIndex = fx::LDSC;
    d.b1 = negate ? -value : value;
    return;
  }
  // Negation goes into the terms, so that a sum or product never carries it.
  if (negate) {
    if (sum) d.B = -d.B;
    else d.A = -d.A;
  }
  for (const Term& p : terms_) {
    if (p.constant) continue;
    int32_t o = p.op;
    if (o == op::First) o = sum ? op::Add : op::Mul;
    if (sum && negate) o = o == op::Add ? op::Sub : op::Add;
    TNode* child = AddChild(node, p.text, true, static_cast<ShapeHint>(p.shape));
    child->Data.Operator = (node->FirstChild == child && (o == op::Add || o == op::Mul)) ? op::First : o;
    d.OperandOps.push_back(o);
  }
  d.OperandCount = static_cast<int32_t>(variableTerms);
}

// ---------------------------------------------------------------- constants and linear forms

bool TExcoParser::PlainNumber(std::string_view text, Extended& value) const {
  // Most texts asked are names, which the reader refuses at their first character.
  return startsNumber(text) && ReadPlainNumber(text, value);
}

bool TExcoParser::ReadPlainNumber(std::string_view text, Extended& value) const {
  if (ExcoReadNumber(text, value) != NumberRead::Ok) return false;
  if (!NumberLikeNames()) return true;
  Extended named = 0;
  return h_.FindFirstVariable(text) < 0 && !h_.FindConstant(text, named);
}

// A name that a number's text matches starts with the number's digit or ".", which
// case folding leaves alone; without such a name a number is looked up nowhere.
bool TExcoParser::NumberLikeNames() const {
  if (numberLikeNames_ < 0)
    numberLikeNames_ = h_.VariableNameLooksLikeNumber() ||
                       std::any_of(h_.Constants.begin() + (h_.Constants.empty() ? 0 : 1), h_.Constants.end(),
                                   [](const TParamList& c) { return startsNumber(c.Name); });
  return numberLikeNames_ > 0;
}

bool TExcoParser::Constant(std::string_view text, Extended& value) {
  if (RefusedAsConstant(text)) return false;
  // A number reads as itself; the reader would stop at a call's bracket (and a refused
  // text raises nothing).
  if (PlainNumber(text, value)) return true;
  if (holdsCall(index_, text)) return false;
  FoldFault fault;
  ConstantReader reader(h_, text, fault);
  if (!reader.read(value)) return false;
  fault.raise();
  return true;
}

int32_t TExcoParser::ScalarVariable(std::string_view name) const {
  if (name.size() != 1) return LookUpScalarVariable(name);
  // Formulas name a few one-character variables many times over.
  const auto c = static_cast<unsigned char>(name[0]);
  if (singleNameParse_[c] != parse_) {
    singleNameParse_[c] = parse_;
    singleNameVariable_[c] = LookUpScalarVariable(name);
  }
  return singleNameVariable_[c];
}

void TExcoParser::ForgetNameAnswers() {
  numberLikeNames_ = -1;
  if (++parse_ == 0) {
    singleNameParse_.fill(0);
    parse_ = 1;
  }
}

int32_t TExcoParser::LookUpScalarVariable(std::string_view name) const {
  const int32_t v = h_.FindFirstVariable(name);
  if (v < 0) return -1;
  const int32_t type = h_.Variables[v].Type;
  return (vt::isReal(type) || type == vt::Integer) ? v : -1;
}

bool TExcoParser::Linear(std::string_view input, bool negate, TLinearForm& form, const TTextShape* known) {
  if (holdsCall(index_, input) && !h_.VariableNameHoldsBracket()) return false;
  const std::string_view text = stripEnclosing(index_, input, negate);
  Shape shape;
  if (known && text.size() == input.size()) shape = *known;
  else if (text.empty() || !classify(index_, text, shape)) return false;
  // The coefficients are cleared when a variable term or the end is reached: a text
  // refused before needs none.
  bool cleared = false;
  const auto clearCoefficients = [&] {
    if (!cleared) form.coef.assign(h_.Variables.size(), 0);
    cleared = true;
  };
  form.constant = 0;
  form.referencesVariable = false;
  Extended number = 0;
  if (shape == Shape::Leaf && PlainNumber(text, number)) {
    // The commonest leaf: its one term is the number times the sign.
    clearCoefficients();
    form.constant = signedNumberForm(number, negate);
    form.realCount = form.integerCount = 0;
    return true;
  }
  if (const int read = LinearOfTokens(text, negate, shape, form); read >= 0) return read > 0;
  // The one-pass reading may have added to the form before it left the text to this one.
  form.constant = 0;
  form.referencesVariable = false;
  FoldFault fault;
  const bool linear = forEachPiece(index_, text, shape == Shape::Sum, true, shape, [&](const Piece& term) {
    if (term.text.empty()) return false;
    const Shape termShape = term.shape;
    Extended k = (term.op == op::Sub) != negate ? -1 : 1;
    int32_t var = -1;
    const bool known = forEachPiece(index_, term.text, termShape == Shape::Product, false, Shape::Leaf, [&](const Piece& f) {
      // A factor that is no number and that the constant reader refuses can only be
      // the term's one variable, which no "/" takes: a second one, or one after "/",
      // refuses the text before its name is looked up.
      if ((var >= 0 || f.op == op::Div) && !startsNumber(f.text) && RefusedAsConstant(f.text)) return false;
      Extended c;
      if (PlainNumber(f.text, c)) {
        k = foldCombine(k, f.op == op::First ? op::Mul : f.op, c, fault);
        return true;
      }
      bool minus = false;
      const std::string_view name = skipSigns(stripEnclosing(index_, f.text, minus), minus);
      const int32_t v = ScalarVariable(name);
      // The constant reader would stop at such a name, a variable's, and refuse it.
      if ((v < 0 || !isPlainName(name)) && !RefusedAsConstant(f.text)) {
        FoldFault local;
        ConstantReader reader(h_, f.text, local);
        if (reader.read(c)) {
          if (local.code) fault.note(local.code);
          k = foldCombine(k, f.op == op::First ? op::Mul : f.op, c, fault);
          return true;
        }
      }
      if (v < 0 || var >= 0 || f.op == op::Div) return false;
      var = v;
      if (minus) k = -k;
      return true;
    });
    if (!known) return false;
    if (var >= 0) {
      clearCoefficients();
      form.referencesVariable = true;
      form.coef[var] = foldCombine(form.coef[var], op::Add, k, fault);
    } else {
      form.constant = foldCombine(form.constant, op::Add, k, fault);
    }
    return true;
  });
  if (!linear) return false;
  fault.raise();
  FinishLinearForm(form, cleared);
  return true;
}

void TExcoParser::FinishLinearForm(TLinearForm& form, bool cleared) const {
  if (!cleared) form.coef.assign(h_.Variables.size(), 0);
  form.realCount = form.integerCount = 0;
  for (size_t i = 0; i < form.coef.size(); ++i) {
    if (form.coef[i] == 0) continue;
    if (h_.Variables[i].Type == vt::Integer) ++form.integerCount;
    else ++form.realCount;
  }
}

namespace {

// What a character is to a text of plain names and numbers joined by + - * /.
enum class TokenChar : uint8_t { Other, Token, Sign, Factor };

constexpr std::array<TokenChar, 256> kTokenChars = [] {
  std::array<TokenChar, 256> chars{};
  for (char c = 'a'; c <= 'z'; ++c) chars[static_cast<unsigned char>(c)] = TokenChar::Token;
  for (char c = 'A'; c <= 'Z'; ++c) chars[static_cast<unsigned char>(c)] = TokenChar::Token;
  for (char c = '0'; c <= '9'; ++c) chars[static_cast<unsigned char>(c)] = TokenChar::Token;
  chars['.'] = chars['_'] = TokenChar::Token;
  chars['+'] = chars['-'] = TokenChar::Sign;
  chars['*'] = chars['/'] = TokenChar::Factor;
  return chars;
}();

TokenChar tokenChar(char c) { return kTokenChars[static_cast<unsigned char>(c)]; }

}  // namespace

// The commonest linear forms, sums of products of plain names and numbers, read in one
// pass over the text as the pieces and factors of the general reading read them, with
// the same arithmetic in the same order. Where a named constant or a name that reads
// as a number could change a factor's reading, or a sign stands where the general
// reading looks closer (a leading sign, one after an operator, one after "e"), it
// answers -1 and the general reading decides; else 1 for a linear form, 0 for none.
int TExcoParser::LinearOfTokens(std::string_view text, bool negate, TTextShape shape, TLinearForm& form) {
  if (h_.Constants.size() > 1 || NumberLikeNames()) return -1;
  const size_t n = text.size();
  if (n == 0 || tokenChar(text[0]) != TokenChar::Token) return -1;
  form.constant = 0;
  form.referencesVariable = false;
  // Each factor is checked with what follows it as it is read: the general reading
  // would refuse the text at the same factor, as every piece before it reads alike.
  bool sum = false, product = false;
  FoldFault fault;
  bool cleared = false;
  size_t i = 0;
  int32_t termOp = op::First;
  for (;;) {
    Extended k = (termOp == op::Sub) != negate ? -1 : 1;
    int32_t var = -1;
    int32_t factorOp = op::First;
    for (;;) {
      size_t end = i + 1;
      while (end < n && tokenChar(text[end]) == TokenChar::Token) ++end;
      // The factor ends the text, or an operator follows it and a name or a number
      // follows that operator (a sign after "e" may be an exponent's).
      TokenChar after = TokenChar::Other;
      if (end < n) {
        after = tokenChar(text[end]);
        if (after == TokenChar::Other || end + 1 == n || tokenChar(text[end + 1]) != TokenChar::Token) return -1;
        if (after == TokenChar::Sign && (text[end - 1] == 'e' || text[end - 1] == 'E')) return -1;
      }
      const std::string_view factor(text.data() + i, end - i);
      i = end;
      // As the general reading: a second variable factor, or one after "/", refuses the
      // text before its name is looked up.
      if ((var >= 0 || factorOp == op::Div) && !startsNumber(factor) && RefusedAsConstant(factor)) return 0;
      if (startsNumber(factor)) {
        Extended c;
        // A number out of range, or digits that read as none, are the constant reader's.
        if (!ReadPlainNumber(factor, c)) return -1;
        k = foldCombine(k, factorOp == op::First ? op::Mul : factorOp, c, fault);
      } else {
        // A name that is no scalar variable is no constant either without named constants.
        const int32_t v = ScalarVariable(factor);
        if (v < 0 || var >= 0 || factorOp == op::Div) return 0;
        var = v;
      }
      if (after != TokenChar::Factor) break;
      product = true;
      factorOp = text[i] == '*' ? op::Mul : op::Div;
      ++i;
    }
    if (var >= 0) {
      if (!cleared) form.coef.assign(h_.Variables.size(), 0);
      cleared = true;
      form.referencesVariable = true;
      form.coef[var] = foldCombine(form.coef[var], op::Add, k, fault);
    } else {
      form.constant = foldCombine(form.constant, op::Add, k, fault);
    }
    if (i == n) break;
    sum = true;
    termOp = text[i] == '+' ? op::Add : op::Sub;
    ++i;
  }
  if ((sum ? Shape::Sum : product ? Shape::Product : Shape::Leaf) != shape) return -1;
  fault.raise();
  FinishLinearForm(form, cleared);
  return 1;
}

bool TExcoParser::AnalyseLinearForm(TNode* node, std::string_view text, bool negate, TTextShape shape) {
  TLinearForm& form = form_;
  // The text was stripped already, so "-(" text ")" strips back to it, negated, unless
  // a bracket of the text stays open.
  bool linear = false;
  if (!negate) {
    linear = Linear(text, false, form, &shape);
  } else if (bracketsClose(text)) {
    linear = Linear(text, true, form, &shape);
  } else {
    negated_.assign("-(").append(text).append(")");
    linear = Linear(negated_, false, form);
  }
  if (!linear) return false;
  if (form.realCount > 0 && form.integerCount > 0) return false;
  if (form.referencesVariable) h_.UsesVariable = true;
  TDataNode& d = node->Data;
  d.Negate = 0;
  const Extended b = form.constant;
  auto onlyVariable = [&]() {
    for (size_t i = 0; i < form.coef.size(); ++i)
      if (form.coef[i] != 0) return static_cast<int32_t>(i);
    return -1;
  };
  if (form.realCount == 0 && form.integerCount == 0) {
    d.FuncIndex = fx::LDSC;
    d.b1 = b;
    return true;
  }
  if (form.realCount + form.integerCount == 1) {
    const int32_t v = onlyVariable();
    const Extended a = form.coef[v];
    const bool plain = (a == 1 || a == -1) && b == 0;
    if (form.realCount == 1) {
      d.VarIndex[0] = v;
      if (plain) {
        d.FuncIndex = fx::LDSF;
        d.Negate = a == -1;
      } else {
        d.FuncIndex = fx::FAVB;
        d.a1 = a;
        d.b1 = b;
      }
      return true;
    }
    if (plain) {
      d.FuncIndex = fx::LDSI;
      d.VarIndex[0] = v;
      d.Negate = a == -1;
      return true;
    }
    if (fitsInt32(a) && fitsInt32(b)) {
      d.FuncIndex = fx::IAVB;
      d.VarIndex[2] = v;
      d.IntCoef = static_cast<int32_t>(a);
      d.IntAddend = static_cast<int32_t>(b);
      return true;
    }
  }
  if (form.integerCount == 0) {
    d.FuncIndex = fx::AAF;
    d.RealFormKind = 3;
    d.RealCoefs = form.coef;
    d.ConstTerm = b;
    return true;
  }
  bool whole = fitsInt32(b);
  for (Extended c : form.coef) whole = whole && fitsInt32(c);
  if (whole) {
    d.FuncIndex = fx::AAI;
    d.IntFormKind = 6;
    d.IntCoefs = form.coef;
    d.IntConstTerm = b;
  } else {
    d.FuncIndex = fx::AFI;
    d.RealFormKind = 7;
    d.IntRealCoefs = form.coef;
    d.ConstTerm = b;
  }
  return true;
}

// ---------------------------------------------------------------- powers

// The text is rewritten only when it holds a top-level "^"; the result is kept, since
// the call's argument nodes view it.
std::string_view TExcoParser::RewritePowers(std::string_view leaf) {
  const auto topLevelPower = [](std::string_view t) {
    int depth = 0;
    for (size_t i = 0; i < t.size(); ++i) {
      if (t[i] == '(') ++depth;
      else if (t[i] == ')') --depth;
      else if (t[i] == '^' && depth == 0) return i;
    }
    return npos;
  };
  size_t p = topLevelPower(leaf);
  if (p == npos) return leaf;
  std::string& t = NewKeptText();
  t.assign(leaf);
  for (; p != npos; p = topLevelPower(t)) {
    size_t start = p;
    int depth = 0;
    while (start > 0) {
      const char c = t[start - 1];
      if (c == ')') ++depth;
      else if (c == '(') {
        if (depth == 0) break;
        --depth;
      } else if (depth == 0 && kBeforePowerBase.has(c) && !isExponentSign(t, start - 1)) {
        break;
      }
      --start;
    }
    size_t end = p + 1;
    depth = 0;
    bool first = true;
    while (end < t.size()) {
      const char c = t[end];
      if (c == '(') ++depth;
      else if (c == ')') {
        if (depth == 0) break;
        --depth;
      } else if (depth == 0 && !first) {
        if (kAfterPowerExponent.has(c)) break;
        if ((c == '+' || c == '-') && isBinarySign(t, end)) break;
      }
      first = false;
      ++end;
    }
    if (start == p || end == p + 1) Error(ec::MissingArgument, leaf);
    const std::string_view text(t);
    scratch_.assign(text.substr(0, start))
        .append("power(")
        .append(text.substr(start, p - start))
        .append(",")
        .append(text.substr(p + 1, end - p - 1))
        .append(")")
        .append(text.substr(end));
    t.swap(scratch_);
  }
  return t;
}

// ---------------------------------------------------------------- calls

bool TExcoParser::ReduceAroundCall(std::string_view prefix, std::string_view suffix, Extended& a, Extended& b,
                                   const TTextShape* known) {
  a = 1;
  b = 0;
  if (prefix.empty() && suffix.empty()) return true;
  if (prefix == "-" && suffix.empty()) {
    a = -1;
    return true;
  }
  if (!h_.Optimise) return false;
  if (prefix.find('@') != npos || suffix.find('@') != npos) return false;
  // Every piece of the surroundings is read as a constant but for the placeholder.
  if (RefusedAsConstant(prefix) || RefusedAsConstant(suffix)) return false;
  static constexpr std::string_view kPlaceholder = "@@func";
  reduced_.assign(prefix).append(kPlaceholder).append(suffix);
  const std::string_view text = reduced_;
  Shape shape;
  if (known) shape = *known;
  else if (!classify(index_, text, shape)) return false;
  FoldFault fault;
  bool found = false;
  const bool reduced = forEachPiece(index_, text, shape == Shape::Sum, true, shape, [&](const Piece& term) {
    if (term.text.find(kPlaceholder) == npos) {
      Extended c;
      if (!Constant(term.text, c)) return false;
      b = foldCombine(b, term.op == op::Sub ? op::Sub : op::Add, c, fault);
      return true;
    }
    const Shape termShape = term.shape;
    Extended k = term.op == op::Sub ? -1 : 1;
    const bool known = forEachPiece(index_, term.text, termShape == Shape::Product, false, Shape::Leaf, [&](const Piece& f) {
      bool minus = false;
      const std::string_view ft = skipSigns(f.text, minus);
      if (ft == kPlaceholder) {
        if (found || f.op == op::Div) return false;
        found = true;
        if (minus) k = -k;
        return true;
      }
      Extended c;
      if (!Constant(f.text, c)) return false;
      k = foldCombine(k, f.op == op::First ? op::Mul : f.op, c, fault);
      return true;
    });
    if (!known || !found) return false;
    a = k;
    return true;
  });
  if (!reduced) return false;
  fault.raise();
  return found;
}

bool TExcoParser::IsBareArray(std::string_view text, int32_t& var) {
  int32_t type = vt::None;
  const int32_t v = h_.FindFirstVariable(text) >= 0 ? h_.FindVariable(text, &type) : -1;
  if (v < 0 || !vt::isArray(type)) return false;
  var = v;
  return true;
}

bool TExcoParser::RecogniseCall(TNode* node, std::string_view text, bool negate, bool atLeaf, const TTextShape* shape) {
  const size_t open = text.find('(');
  if (open == npos) return false;
  const size_t close = matchClose(index_, text, open);
  if (close == npos) Error(ec::MissingClose, text);
  size_t start = open;
  while (start > 0 && !kBeforeCallName.has(text[start - 1])) --start;
  const std::string_view name = slice(text, start, open - start);
  if (name.empty()) return false;
  Extended a, b;
  if (!ReduceAroundCall(slice(text, 0, start), slice(text, close + 1), a, b, shape)) return false;
  if (negate) {
    a = -a;
    b = -b;
  }
  const std::string_view argText = slice(text, open + 1, close - open - 1);
  const std::string_view callText = slice(text, start, close + 1 - start);
  if (name.starts_with("@@")) Error(ec::UnknownFunction, name);

  const int32_t id = h_.FindFunction(name);
  if (id < 0) {
    int32_t type = vt::None;
    const int32_t v = h_.FindVariable(name, &type);
    if (v >= 0 && vt::isArray(type)) {
      if (b != 0 || (a != 1 && a != -1)) {
        if (!atLeaf) return false;
        Error(ec::UnknownSymbol, text);
      }
      node->Data.Negate = a == -1;
      BuildArrayElement(node, v, argText, callText);
      return true;
    }
    Error(ec::UnknownFunction, name);
  }
  if (h_.FuncTable.Entries()[static_cast<size_t>(id)].Class == fc::Internal) return false;

  TDataNode& d = node->Data;
  if (a == -1 && b == 0) {
    d.Negate = 1;
  } else if (a != 1 || b != 0) {
    d.PostForm = 1;
    d.A = a;
    d.B = b;
  }
  BuildCall(node, id, argText, callText);
  return true;
}

void TExcoParser::BuildCall(TNode* node, int32_t id, std::string_view argText, std::string_view callText) {
  const TFuncList& entry = h_.FuncTable.Entries()[static_cast<size_t>(id)];
  TDataNode& d = node->Data;
  if (id == fx::If) conditionals_.push_back(Conditional{node, argText});
  if (argText.empty()) Error(ec::ArgumentCount, callText);
  std::vector<std::string_view>& args = args_;
  args.clear();
  forEachArgument(index_, argText, [&](std::string_view arg) { args.push_back(arg); });
  const int32_t n = static_cast<int32_t>(args.size());
  for (const std::string_view arg : args)
    if (arg.empty()) Error(n <= 2 ? ec::MissingArgument : ec::ArgumentCount, n <= 2 ? callText : argText);
  if (entry.ExtraDepth < 0) h_.SkipDepthPasses = true;
  if (entry.ReadsHost) h_.UsesVariable = true;

  static const int32_t kListNames[] = {fx::Sum, fx::SumQ, fx::Avr, fx::Len, fx::Max, fx::Min, fx::Norm, fx::Prod};
  static const int32_t kVectorForm[] = {fx::SumV, fx::SumQV, fx::AvrV, fx::LenV, fx::MaxV, fx::MinV, fx::NormV, fx::ProdV};
  static const int32_t kListForm[] = {fx::SumD, fx::SumQD, fx::AvrD, fx::LenD, fx::MaxD, fx::MinD, fx::NormD, fx::ProdD};
  for (int i = 0; i < 8; ++i) {
    if (id != kListNames[i]) continue;
    int32_t var = -1;
    if (n == 1 && IsBareArray(args[0], var)) {
      d.FuncIndex = kVectorForm[i];
      d.VarIndex[0] = var;
      d.OperandCount = 1;
      return;
    }
    if (id == fx::Len) {
      // The length of a list is the number of its values; nothing needs computing.
      const Extended a = d.PostForm ? d.A : (d.Negate ? -1 : 1);
      const Extended b = d.PostForm ? d.B : 0;
      d = TDataNode{};
      d.FuncIndex = fx::LDSC;
      d.b1 = a * n + b;
      return;
    }
    d.FuncIndex = kListForm[i];
    d.OperandCount = n;
    for (const std::string_view arg : args) {
      AddChild(node, arg);
      d.ArgTypes.push_back(vt::Extended);
    }
    return;
  }

  switch (id) {
    case fx::If:
      if (n > 3) Error(ec::ArgumentCount, callText);
      BuildConditional(node, argText);
      return;
    case fx::LDA: {
      if (n != 1) Error(ec::ArgumentCount, callText);
      const int32_t v = h_.FindFirstVariable(args[0]);
      if (v < 0) Error(ec::IncorrectArgument, args[0]);
      h_.UsesVariable = true;
      d.FuncIndex = fx::LDA;
      d.VarIndex[0] = v;
      d.OperandCount = 1;
      return;
    }
    case fx::Compile:
      if (n != 1) Error(ec::ArgumentCount, callText);
      d.FuncIndex = fx::Compile;
      d.OperandCount = 1;
      AddChild(node, args[0]);
      return;
    default: break;
  }

  const bool anyCount = entry.Class <= -11 && entry.Class >= -14;
  if (!anyCount && n != entry.Arity) Error(ec::ArgumentCount, callText);
  if (id == fx::Power || id == fx::Root) {
    BuildPower(node, id);
    return;
  }
  d.FuncIndex = id;
  d.OperandCount = n;
  auto argType = [&](int32_t k) {
    return static_cast<size_t>(k) < entry.ArgTypes.size() ? entry.ArgTypes[k] : entry.ArgType;
  };
  const bool reversed = entry.Class == fc::TwoReals;
  for (int32_t position = 0; position < n; ++position) {
    const int32_t k = reversed ? n - 1 - position : position;
    d.ArgTypes.push_back(argType(k));
    if (argType(k) == vt::Address) {
      const int32_t v = h_.FindFirstVariable(args[k]);
      if (v < 0) Error(ec::IncorrectArgument, args[k]);
      h_.UsesVariable = true;
      std::string& ldaText = NewKeptText();
      ldaText.assign("lda(").append(args[k]).append(")");
      TNode* lda = AddChild(node, ldaText, false);
      lda->Data.FuncIndex = fx::LDA;
      lda->Data.VarIndex[0] = v;
      lda->Data.OperandCount = 1;
      continue;
    }
    AddChild(node, args[k]);
  }
}

void TExcoParser::BuildPower(TNode* node, int32_t id) {
  TDataNode& d = node->Data;
  const std::string_view x = args_[0];
  const std::string_view y = args_[1];
  auto twoReals = [&](int32_t index) {
    d.FuncIndex = index;
    d.OperandCount = 2;
    d.ArgTypes = {vt::Extended, vt::Extended};
    AddChild(node, y);
    AddChild(node, x);
  };
  // An Integer exponent: a whole constant within 32 bits, or a whole linear form of
  // Integer variables.
  auto integerExponent = [&](Extended& constant, bool& isConstant) {
    isConstant = false;
    if (!h_.Optimise) return false;
    TLinearForm& form = form_;
    if (!Linear(y, false, form) || form.realCount > 0) return false;
    if (!fitsInt32(form.constant)) return false;
    for (Extended c : form.coef)
      if (!fitsInt32(c)) return false;
    if (form.integerCount == 0) {
      isConstant = true;
      constant = form.constant;
    }
    return true;
  };

  if (!h_.Optimise) {
    twoReals(id == fx::Power ? fx::FPWR : fx::FROOT);
    return;
  }
  Extended n = 0;
  bool isConstant = false;
  const bool integer = integerExponent(n, isConstant);
  if (id == fx::Root) {
    if (integer) {
      d.FuncIndex = fx::IROOT;
      d.OperandCount = 2;
      d.ArgTypes = {vt::Extended, vt::Integer};
      if (isConstant) d.PowerKey = static_cast<int32_t>(n);
      AddChild(node, x);
      AddChild(node, y);
    } else {
      twoReals(fx::FROOT);
    }
    return;
  }
  Extended c = 0;
  if (Constant(y, c)) {
    int32_t single = 0;
    if (c == 2) single = fx::Sqr;
    else if (c == -2) single = fx::Sqrn;
    else if (c == 0.5L) single = fx::Sqrt;
    else if (c == -1) single = fx::FPWRDVR;
    else if (isConstant && std::fabs(n) >= 3 && std::fabs(n) <= 16)
      single = (n > 0 ? fx::IPWR3 : fx::IPWR3N) + static_cast<int32_t>(std::fabs(n)) - 3;
    if (single != 0) {
      d.FuncIndex = single;
      d.OperandCount = 1;
      d.ArgTypes = {vt::Extended};
      AddChild(node, x);
      return;
    }
  }
  if (!integer) {
    twoReals(fx::FPWR);
    return;
  }
  Extended base = 0;
  const bool constantBase = Constant(x, base);
  if (constantBase && (base == -1 || base == 2)) {
    d.FuncIndex = base == -1 ? fx::IPWRSGN : fx::I2PWR;
    d.OperandCount = 1;
    d.ArgTypes = {vt::Integer};
    if (isConstant) d.PowerKey = static_cast<int32_t>(n);
    AddChild(node, y);
    return;
  }
  d.FuncIndex = fx::IPWR;
  d.OperandCount = 2;
  d.ArgTypes = {vt::Extended, vt::Integer};
  if (isConstant) d.PowerKey = static_cast<int32_t>(n);
  AddChild(node, x);
  AddChild(node, y);
}

void TExcoParser::BuildConditional(TNode* node, std::string_view argText) {
  const std::vector<std::string_view>& args = args_;
  std::string_view cond = args[0];
  while (cond.size() >= 2 && cond[0] == '(' && matchClose(index_, cond, 0) == cond.size() - 1)
    cond = cond.substr(1, cond.size() - 2);
  struct Relation {
    const char* text;
    const char* jump;
  };
  static const Relation kTwo[] = {{">=", "#JMPL"}, {"=>", "#JMPL"}, {"<=", "#JMPB"}, {"=<", "#JMPB"}, {"<>", "#JMPE"}};
  static const Relation kOne[] = {{"=", "#JMPNE"}, {">", "#JMPEL"}, {"<", "#JMPEB"}};
  int depth = 0;
  size_t at = npos, length = 0;
  const char* jump = nullptr;
  for (size_t i = 0; i < cond.size() && at == npos; ++i) {
    const char c = cond[i];
    if (c == '(') ++depth;
    else if (c == ')') --depth;
    if (depth != 0) continue;
    for (const Relation& r : kTwo)
      if (cond.substr(i, 2) == r.text) {
        at = i, length = 2, jump = r.jump;
        break;
      }
    if (at != npos) break;
    for (const Relation& r : kOne)
      if (c == r.text[0]) {
        at = i, length = 1, jump = r.jump;
        break;
      }
  }
  if (at == npos) Error(ec::MissingExpression, std::string("if(").append(argText).append(")"));
  TDataNode& d = node->Data;
  d.FuncIndex = fx::IFNOP;
  d.OperandCount = 6;
  const size_t count = args.size();
  const std::string_view whenTrue = count >= 2 ? args[1] : std::string_view();
  const std::string_view whenFalse = count >= 3 ? args[2] : std::string_view();
  AddChild(node, cond.substr(0, at));
  AddChild(node, cond.substr(at + length));
  AddToken(node, jump);
  if (count >= 2) AddChild(node, whenTrue);
  else AddToken(node, "#FLD1");
  AddToken(node, "#JMP");
  if (count >= 3) AddChild(node, whenFalse);
  else AddToken(node, "#FLDZ");
}

void TExcoParser::BuildArrayElement(TNode* node, int32_t var, std::string_view indexText, std::string_view callText) {
  TDataNode& d = node->Data;
  d.FuncIndex = fx::LDSV;
  d.VarIndex[0] = var;
  d.OperandCount = 1;
  size_t indexes = 0;
  forEachArgument(index_, indexText, [&](std::string_view) { ++indexes; });
  if (indexText.empty() || indexes != 1) Error(ec::ArgumentCount, callText);
  Extended c;
  if (Constant(indexText, c)) {
    if (!fitsInt32(c)) Error(ec::IncorrectArgument, indexText);
    d.OperandKind = 1;
    d.IntAddend = static_cast<int32_t>(c);
    return;
  }
  TLinearForm& form = form_;
  if (h_.Optimise && Linear(indexText, false, form) && form.realCount == 0 && form.integerCount > 0) {
    bool whole = fitsInt32(form.constant);
    for (Extended k : form.coef) whole = whole && fitsInt32(k);
    if (whole) {
      h_.UsesVariable = true;
      if (form.integerCount == 1) {
        int32_t v = 0;
        while (form.coef[v] == 0) ++v;
        d.VarIndex[2] = v;
        d.IntCoef = static_cast<int32_t>(form.coef[v]);
        d.IntAddend = static_cast<int32_t>(form.constant);
        d.OperandKind = (d.IntCoef == 1 && d.IntAddend == 0) ? 2 : 3;
      } else {
        d.OperandKind = 4;
        d.IntFormKind = 6;
        d.IntCoefs = form.coef;
        d.IntConstTerm = form.constant;
      }
      return;
    }
  }
  d.OperandKind = 0;
  AddChild(node, indexText);
}

// ---------------------------------------------------------------- leaves

bool TExcoParser::LoadScalarVariable(TDataNode& d, std::string_view name, bool negate) {
  const int32_t v = ScalarVariable(name);
  if (v < 0) return false;
  h_.UsesVariable = true;
  d.FuncIndex = h_.Variables[v].Type == vt::Integer ? fx::LDSI : fx::LDSF;
  d.VarIndex[0] = v;
  d.Negate = negate;
  return true;
}

void TExcoParser::ResolveLeaf(TNode* node, std::string_view text, bool negate) {
  const std::string_view t = skipSigns(text, negate);
  if (t.empty()) Error(ec::MissingExpression, node->Text);
  if (LoadScalarVariable(node->Data, t, negate)) return;
  TDataNode& d = node->Data;
  Extended value = 0;
  bool known = h_.FindFirstVariable(t) < 0 && h_.FindConstant(t, value);
  if (!known) {
    const NumberRead r = ExcoReadNumber(t, value);
    if (r == NumberRead::OutOfRange) throw EExcoOverflow();
    known = r == NumberRead::Ok;
  }
  if (!known) Error(ec::UnknownSymbol, text);
  d.FuncIndex = fx::LDSC;
  d.b1 = negate ? -value : value;
}

// ---------------------------------------------------------------- printed numbers

// A printed value is digits with a "-" before them when negative (a sign that the
// reader of a linear form, or a leaf, takes off before reading the digits). The digits
// that name a variable or a constant, or that do not read back ("inf", "nan", a value
// that rounds up out of range), are left to the full parse, which treats them so.
bool TExcoParser::RunPrintedNumber() {
  const std::string_view printed = h_.ExprText;
  const bool negative = printed.starts_with('-');
  Extended number = 0;
  ForgetNameAnswers();
  if (!PlainNumber(printed.substr(negative ? 1 : 0), number)) return false;
  StartTree();
  text_.assign(printed);
  TNode* const root = NewRoot();
  root->Data.FuncIndex = fx::LDSC;
  // With optimise on, the number is read as a linear form; otherwise as a leaf.
  root->Data.b1 = h_.Optimise ? signedNumberForm(number, negative) : negative ? -number : number;
  h_.CurrentNode = root;
  return true;
}
