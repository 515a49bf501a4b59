// Types that the parser, the lowering and the code generator share: the parse tree,
// the code list, the function table and the variable and constant tables.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// 80-bit value, the type of every computation and of every temporary.
using Extended = long double;

using TArrayI = std::vector<int32_t>;
using TArrayS = std::vector<std::string>;
using TArrayF = std::vector<Extended>;
using TArrayP = std::vector<void*>;
using TCode = std::vector<uint8_t>;

// Internal value types. Arrays are reached through the host's array reference,
// a pointer to element 0 with the 32-bit count in the word before it.
namespace vt {
constexpr int32_t None = 0;
constexpr int32_t Single = 1;
constexpr int32_t Double = 2;
constexpr int32_t Extended = 3;
constexpr int32_t Integer = 4;
constexpr int32_t PerArgument = 5;  // descriptors only: each argument has its own type
constexpr int32_t SingleArray = 6;
constexpr int32_t DoubleArray = 7;
constexpr int32_t ExtendedArray = 8;
constexpr int32_t IntegerArray = 9;
constexpr int32_t Address = 10;  // argument that must be a variable name; handled as Integer

constexpr bool isArray(int32_t t) { return t >= SingleArray && t <= IntegerArray; }
constexpr bool isReal(int32_t t) { return t >= Single && t <= Extended; }
constexpr bool isInteger(int32_t t) { return t == Integer || t == Address; }
}  // namespace vt

// External type codes of the call interface.
namespace xt {
constexpr int32_t Single = 26;
constexpr int32_t Integer = 27;
constexpr int32_t Double = 28;
constexpr int32_t Extended = 29;
constexpr int32_t PerArgument = 30;
constexpr int32_t Address = 38;
constexpr int32_t DoubleArray = 70;
constexpr int32_t ExtendedArray = 71;
constexpr int32_t SingleArray = 72;
constexpr int32_t IntegerArray = 73;
}  // namespace xt

// Combine operators of a term or operand.
namespace op {
constexpr int32_t First = 0;
constexpr int32_t Add = 2;
constexpr int32_t Sub = 1;
constexpr int32_t Mul = -2;
constexpr int32_t Div = -1;
constexpr int32_t DivReversed = -3;
}  // namespace op

// Function-table indices that the compiler itself refers to.
namespace fx {
constexpr int32_t LDSC = 1, LDSF = 2, LDSI = 3, FAVB = 4, IAVB = 5, AIFB = 6, AAI = 7, AAF = 8,
                  AFI = 9, MAF = 10, MUL = 11, ADD = 12, NOP = 13, PACKAGE = 14;
constexpr int32_t Sqr = 15, Sqrt = 16, Ln = 17, Exp = 18, Log2 = 19, Log10 = 20;
constexpr int32_t IPWR3 = 21;  // 21..34: x^3 .. x^16
constexpr int32_t Sin = 35, Cos = 36, Tan = 37, Cotan = 38, ArcSin = 39, ArcCos = 40, ArcTan = 41,
                  ArcCotan = 42, Sinh = 43, Cosh = 44, Tanh = 45, Cotanh = 46, ArcSinh = 47,
                  ArcCosh = 48, ArcTanh = 49, ArcCotanh = 50, Abs = 51, Trunc = 52, LogN = 53,
                  FPWR = 54, Fact = 55, IPWR = 56, IPWRSGN = 57, I2PWR = 58, Power = 59, Root = 60,
                  FROOT = 61, IROOT = 62;
constexpr int32_t IPWR3N = 63;  // 63..76: x^-3 .. x^-16
constexpr int32_t FPWRDVR = 77, Sqrn = 78, Sign = 79, Frac = 80, LDSV = 81;
constexpr int32_t SumV = 82, SumQV = 83, AvrV = 84, LenV = 85, MaxV = 86, MinV = 87, NormV = 88;
constexpr int32_t Vacant89 = 89;
constexpr int32_t SumD = 90, SumQD = 91, AvrD = 92, LenD = 93, MaxD = 94, MinD = 95, NormD = 96;
constexpr int32_t Sum = 97, SumQ = 98, Avr = 99, Len = 100, Max = 101, Min = 102, Norm = 103;
constexpr int32_t If = 104, IFNOP = 105, JMP = 106, FLD = 107, LDA = 108, Compile = 109;
constexpr int32_t Prod = 110, ProdV = 111, ProdD = 112, Fact2 = 113;
constexpr int32_t BuiltInCount = 114;  // entries 0..113
}  // namespace fx

// Class codes of function-table entries: how the generator reaches a function.
namespace fc {
constexpr int32_t Internal = 0;
constexpr int32_t IntArg = 1;       // one Integer in eax
constexpr int32_t RealArg = 2;      // one real in ST(0)
constexpr int32_t RealIntArg = 3;   // a real in ST(0) and an Integer in eax
constexpr int32_t TwoReals = 4;     // two reals on the x87 stack
constexpr int32_t Vector = 5;       // one array variable
constexpr int32_t ListRoutine = -14;
constexpr int32_t TextDefined = -16;
constexpr int32_t FrontEnd = -17;
}  // namespace fc

// Relation codes of the "@@JMP" pseudo-operation; 1 is the unconditional jump.
namespace jr {
constexpr int32_t Always = 1, E = 2, EL = 3, EB = 4, B = 5, L = 6, NE = 7;
}

struct TVariable {
  std::string Name;
  void* Address = nullptr;
  int32_t Type = vt::None;
};
using TVarList = std::vector<TVariable>;

struct TParamList {
  std::string Name;
  Extended Value = 0;
};

// One function-table entry.
struct TFuncList {
  TArrayS Names;             // 1: element 0 empty, 1 the name, further elements aliases
  intptr_t Routine = 0;      // 2: runtime routine, 0 when there is none
  int32_t Inline = 0;        // 3: 1 = Template is copied into the code
  TCode Template;            // 4
  int32_t ExtraDepth = 0;    // 5: x87 registers beyond the arguments; -1 unknown
  int32_t Word5Flag = 0;     // 6: descriptor word 5 of added functions
  int32_t Word6 = 0;         // 7: descriptor word 6 (115/116)
  int32_t Arity = 0;         // 8: 0 any count, -1 for IF
  int32_t Word8Flag = 0;     // 9: descriptor word 8
  int32_t Word9 = 0;         // 10: descriptor word 9
  int32_t ArgType = 0;       // 11: internal type of the arguments (3 for list routines)
  TArrayI ArgTypes;          // 12: per-argument internal types of added functions
  int32_t RegisterMask = 0;  // 13: bit k = CPU register k+1 changed
  std::vector<intptr_t> ArgCells;  // 14: argument value cells of text-defined functions
  int32_t Class = 0;         // 15: class code (namespace fc)
  // Calling it reads host memory that its arguments do not show (a text-defined
  // function whose body reads a host variable, the differentiation functions): a
  // text that calls it is never replaced by its value at compile time.
  bool ReadsHost = false;
  // The template is one of the compiler's own that leaves the x87 control word as it
  // found it and calls at most its entry's routine, so a routine made of such code
  // (and of contained routines' calls: ExcoRoutineIsContained) runs without the
  // runner's fault window.
  bool ContainedTemplate = false;
};
using TArrayFuncList = std::vector<TFuncList>;

// The function table of a compiler. Name lookups keep a hash index beside it; every
// way of changing the table (assignment, a non-const element, iterator or the whole
// list) counts as a change and makes the index be built again at the next lookup. A
// reference taken for changing an entry is therefore good until the next lookup.
class TFuncTable {
 public:
  TFuncTable() = default;
  TFuncTable(TArrayFuncList entries) : entries_(std::move(entries)) {}
  TFuncTable& operator=(TArrayFuncList entries) {
    entries_ = std::move(entries);
    ++version_;
    return *this;
  }
  operator const TArrayFuncList&() const { return entries_; }
  const TArrayFuncList& Entries() const { return entries_; }
  TArrayFuncList& Change() {
    ++version_;
    return entries_;
  }
  uint64_t Version() const { return version_; }

  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  const TFuncList& operator[](size_t i) const { return entries_[i]; }
  TFuncList& operator[](size_t i) { return Change()[i]; }
  TArrayFuncList::const_iterator begin() const { return entries_.begin(); }
  TArrayFuncList::const_iterator end() const { return entries_.end(); }
  TArrayFuncList::iterator begin() { return Change().begin(); }
  TArrayFuncList::iterator end() { return Change().end(); }
  void push_back(TFuncList entry) { Change().push_back(std::move(entry)); }
  void resize(size_t n) { Change().resize(n); }

 private:
  TArrayFuncList entries_;
  uint64_t version_ = 0;
};

// Function-pair matrix cell [earlier, later].
struct TPairCell {
  int32_t Key = 0;
  int32_t Role = 0;
  int32_t Temps = 0;
  bool operator==(const TPairCell&) const = default;
};
using TArray2I = std::vector<std::vector<TPairCell>>;

// A factor a*x + b of a product, by variable index (tree) or address (code list).
struct TScaledVarIndex {
  Extended A = 1;
  Extended B = 0;
  int32_t VarIndex = -1;
};
struct TScaledVar {
  Extended A = 1;
  Extended B = 0;
  void* Address = nullptr;
};

struct TSharedKey {
  int32_t Key = 0;
  int32_t Temp = 0;
};

// What the parser records for one tree node; the lowering copies it into a TFunc
// (variable indices become addresses, coefficient vectors become compact arrays).
struct TDataNode {
  int32_t FuncIndex = 0;
  int32_t OperandCount = 0;  // arguments, terms or factors
  int32_t Operator = op::First;
  int32_t Negate = 0;
  int32_t BranchId = 0;
  int32_t BranchLink = 0;
  int32_t StoreType = 0;
  int32_t StoreAdjust = 0;
  TArrayI OperandOps;         // per child: combine operator
  TArrayI OperandStoreAdjust;
  int32_t DestWhere = 0, DestDisp = 0, DestType = 0;
  int32_t PostForm = 0;       // 1: the result r becomes A*r + B
  int32_t PowerKey = 0;       // integer exponent of the integer power entries
  int32_t IntFormKind = 0;    // 6: IntCoefs/IntConstTerm hold an integer combination
  int32_t RealFormKind = 0;   // 3: RealCoefs over real variables, 4: variables of RealCoefs with a1, 7: IntRealCoefs
  int32_t OperandKind = 0;    // how the node's own operand is given (see the generators)
  int32_t Word27 = 0;
  Extended A = 1, B = 0;      // post multiplier and addend (sum: own constant in B, product: in A)
  Extended a1 = 1, b1 = 0;    // first linear form; for a constant load b1 is the constant
  Extended a2 = 1, b2 = 0;    // second linear form
  int32_t IntCoef = 1, IntAddend = 0;  // integer form on variable 3 (also a constant array index)
  int32_t Word36 = 0;
  std::array<int32_t, 4> VarIndex{-1, -1, -1, -1};  // indices into the variable table
  int32_t Word38 = 0;
  std::vector<Extended> RealCoefs;     // one per variable of the table: real variables
  std::vector<Extended> IntRealCoefs;  // one per variable: real coefficients of Integer variables
  std::vector<Extended> IntCoefs;      // one per variable: whole coefficients of Integer variables
  Extended ConstTerm = 0;
  Extended IntConstTerm = 0;
  std::vector<TScaledVarIndex> ScaledVars;
  TArrayI ArgTypes;  // per argument: declared internal type
};

// Moves the storage of a list that was taken out of a reset entry back into it, emptied,
// so that entries reused from one compile to the next allocate nothing.
template <class List>
void GiveBackStorage(List& field, List& storage) {
  storage.clear();
  field = std::move(storage);
}

// One parse-tree node. The links do not own: the tree's nodes live in TExcoH's pool.
struct TNode {
  // A view into the parser's buffers, valid until the next parse.
  std::string_view Text;
  int32_t Level = 1;
  TNode* Parent = nullptr;
  TNode* FirstChild = nullptr;
  TNode* NextSibling = nullptr;
  // The child the parser appended last, so that a sum of many terms is built in
  // linear time; only the parser relies on it.
  TNode* LastChild = nullptr;
  TDataNode Data;
  // Filled by the tree passes before lowering.
  int32_t OperandPos = 0;
  int32_t ParentIndex = 0;
  int32_t RequiredDepth = 0;
  int32_t ResultState = 1;
  TArrayI OperandStates;
  int32_t Swapped = 0;
};

// One code-list entry, in the field order that the generators rely on.
struct TFunc {
  int32_t Level = 0;
  int32_t OperandCount = 0;
  int32_t Operator = op::First;
  int32_t Negate = 0;
  int32_t OperandPos = 0;
  int32_t ParentIndex = 0;
  int32_t BranchId = 0;
  int32_t BranchLink = 0;
  int32_t FuncIndex = 0;
  int32_t StoreType = 0;
  int32_t StoreAdjust = 0;
  TArrayI OperandOps;
  TArrayI OperandStates;
  TArrayI OperandStoreAdjust;
  int32_t ResultState = 1;
  int32_t GeneratedState = 0;
  int32_t DestWhere = 0, DestDisp = 0, DestType = 0;
  // The node's text, for error reports: a view into the parser's buffers like the
  // node's own, valid until the next parse.
  std::string_view Text;
  int32_t Swapped = 0;
  int32_t PostForm = 0;
  int32_t PowerKey = 0;
  int32_t IntFormKind = 0;
  int32_t RealFormKind = 0;
  int32_t OperandKind = 0;
  int32_t Word27 = 0;
  Extended A = 1, B = 0;
  Extended a1 = 1, b1 = 0;
  Extended a2 = 1, b2 = 0;
  int32_t IntCoef = 1, IntAddend = 0;
  int32_t Word36 = 0;
  void* Var1 = nullptr;
  void* Var2 = nullptr;
  int32_t Word38 = 0;
  int32_t CodeOffset = 0;
  int32_t CodeLength = 0;
  void* Var3 = nullptr;
  void* Var4 = nullptr;
  std::vector<TSharedKey> SharedKeys;
  int32_t Role = 0;
  int32_t SharedTemp = 0;
  TArrayP FormVars;                 // element 0 unfilled
  std::vector<Extended> FormCoefs;  // element 0 unfilled; last = constant term
  TArrayP IntFormVars;              // element 0 unfilled
  TArrayI IntFormCoefs;             // element 0 unfilled; last = constant term
  std::vector<TScaledVar> ScaledVars;
};
// The code list. Entries past its size stay built with their arrays' storage, so a
// compile whose list is longer than the last one's takes them up where they are
// instead of moving them in from a pool (and a shorter one leaves them there).
class TArrayOfTFunc {
 public:
  TArrayOfTFunc() = default;
  explicit TArrayOfTFunc(size_t n) : entries_(n), size_(n) {}
  TArrayOfTFunc(const TArrayOfTFunc& other) : entries_(other.begin(), other.end()), size_(other.size_) {}
  TArrayOfTFunc(TArrayOfTFunc&& other) noexcept
      : entries_(std::move(other.entries_)), size_(std::exchange(other.size_, 0)) {}
  TArrayOfTFunc& operator=(const TArrayOfTFunc& other) {
    if (this != &other) *this = TArrayOfTFunc(other);
    return *this;
  }
  TArrayOfTFunc& operator=(TArrayOfTFunc&& other) noexcept {
    entries_ = std::move(other.entries_);
    size_ = std::exchange(other.size_, 0);
    return *this;
  }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  TFunc& operator[](size_t k) { return entries_[k]; }
  const TFunc& operator[](size_t k) const { return entries_[k]; }
  TFunc* data() { return entries_.data(); }
  const TFunc* data() const { return entries_.data(); }
  TFunc* begin() { return entries_.data(); }
  TFunc* end() { return entries_.data() + size_; }
  const TFunc* begin() const { return entries_.data(); }
  const TFunc* end() const { return entries_.data() + size_; }
  TFunc& back() { return entries_[size_ - 1]; }
  const TFunc& back() const { return entries_[size_ - 1]; }

  void clear() { size_ = 0; }
  // As a vector's: entries it adds are fresh.
  void resize(size_t n) {
    for (size_t k = size_; k < n && k < entries_.size(); ++k) entries_[k] = TFunc();
    if (n > entries_.size()) entries_.resize(n);
    size_ = n;
  }
  // n entries; those taken up again hold what they held, for a caller that sets
  // every field.
  void resizeKeepingEntries(size_t n) {
    if (n > entries_.size()) entries_.resize(n);
    size_ = n;
  }
  void push_back(const TFunc& entry) {
    if (size_ < entries_.size())
      entries_[size_] = entry;
    else
      entries_.push_back(entry);
    ++size_;
  }
  // At most n entries stay built past the list and in it.
  void keepAtMost(size_t n) {
    if (entries_.size() > n) entries_.resize(n);
    size_ = std::min(size_, n);
  }

 private:
  std::vector<TFunc> entries_;
  size_t size_ = 0;
};

// One compiled routine: its code with its constants, its writable data (temporaries,
// scratch cells, argument blocks; none when it needs none) and its entry address (the
// handle given to the caller). The code generator owns how code is placed; it may add
// what it needs here.
struct TFunction {
  // The routine's bytes where they run (from the entry on), valid until it is freed.
  std::span<const uint8_t> Code;
  void* ConstHead = nullptr;  // the writable data, null when it has none
  intptr_t Entry = 0;
};

// Result destination: where (0 none, 1..5 eax, ebx, ecx, edx, esp plus displacement,
// any other value an absolute address), internal value type, displacement.
struct TDestination {
  intptr_t Where = 0;
  int32_t Type = 0;
  int32_t Disp = 0;
};

// The ten result words of one compile (index 5: deepest x87 depth, 6: spilled flag).
using TResultWords = std::array<int32_t, 10>;
