// The built-in function table and the function-pair matrix.
//
// Inline templates are x87 code copied as they stand into the generated routine.
// Library data that a template reads (the control words, 1.0, pi/2, the factorial
// table, the scratch cell) lies anywhere in the 64-bit address space, so a template
// first loads the address into r11 (mov r11, imm64) and then uses [r11]. r11 is a
// scratch register of the System V ABI outside the compiler's register numbering:
// nobody expects it preserved, so no register mask changes for it.
#include "compiler/exco_h.h"

#include <cstring>

namespace {

class TemplateWriter {
 public:
  explicit TemplateWriter(TCode& code) : code_(code) {}
  TemplateWriter& bytes(std::initializer_list<uint8_t> b) {
    code_.insert(code_.end(), b);
    return *this;
  }
  // mov r11, imm64
  TemplateWriter& loadR11(const void* address) {
    bytes({0x49, 0xBB});
    uint64_t value = reinterpret_cast<uintptr_t>(address);
    for (int i = 0; i < 8; ++i) code_.push_back(static_cast<uint8_t>(value >> (8 * i)));
    return *this;
  }
  TemplateWriter& movRcxImm64(const void* address) {
    bytes({0x48, 0xB9});
    uint64_t value = reinterpret_cast<uintptr_t>(address);
    for (int i = 0; i < 8; ++i) code_.push_back(static_cast<uint8_t>(value >> (8 * i)));
    return *this;
  }
  TemplateWriter& imm32(uint32_t value) {
    for (int i = 0; i < 4; ++i) code_.push_back(static_cast<uint8_t>(value >> (8 * i)));
    return *this;
  }
  TemplateWriter& fld() { return bytes({0xD9, 0xC0}); }    // fld st(0)
  TemplateWriter& fmul() { return bytes({0xD8, 0xC8}); }   // fmul st(0),st(0)
  TemplateWriter& fmulp() { return bytes({0xDE, 0xC9}); }  // fmulp st(1),st(0)
  TemplateWriter& fld1() { return bytes({0xD9, 0xE8}); }
  TemplateWriter& fxch1() { return bytes({0xD9, 0xC9}); }
  TemplateWriter& fyl2x() { return bytes({0xD9, 0xF1}); }
  TemplateWriter& frndint() { return bytes({0xD9, 0xFC}); }
  TemplateWriter& fldcw(const uint16_t* cw) { return loadR11(cw).bytes({0x41, 0xD9, 0x2B}); }
  TemplateWriter& fldTbyte(const Extended* m) { return loadR11(m).bytes({0x41, 0xDB, 0x2B}); }
  TemplateWriter& fdivrQword(const double* m) { return loadR11(m).bytes({0x41, 0xDC, 0x3B}); }

 private:
  TCode& code_;
};

// x^k for k = 3..16 on ST(0), and the extra x87 registers each chain needs.
struct PowerChain {
  const char* steps;  // l = fld st(0), m = fmul st(0),st(0), p = fmulp st(1),st(0)
  int extraDepth;
};
constexpr PowerChain kPowerChains[14] = {
    {"lmp", 1},        {"mm", 0},       {"lmmp", 1},      {"mlmp", 1},   {"lmlmpp", 2},
    {"mmm", 0},        {"lmmmp", 1},    {"mlmmp", 1},     {"lmlmmpp", 2}, {"mmlmp", 1},
    {"lmmlmpp", 2},    {"mlmlmpp", 2},  {"llmlmppmp", 3}, {"mmmm", 0},
};

void writeChain(TCode& code, const char* steps) {
  TemplateWriter w(code);
  for (const char* s = steps; *s; ++s) {
    if (*s == 'l') w.fld();
    if (*s == 'm') w.fmul();
    if (*s == 'p') w.fmulp();
  }
}

struct EntrySpec {
  int32_t index;
  const char* name;
  const char* alias;
  int32_t arity;
  int32_t classCode;
  int32_t inlineFlag;
  int32_t extraDepth;
  int32_t mask;
};

// The table's rows except the power chains, which are composed below.
constexpr EntrySpec kEntries[] = {
    {1, "@@LDSC", nullptr, 0, 0, 0, 0, 0},     {2, "@@LDSF", nullptr, 0, 0, 0, 0, 0},
    {3, "@@LDSI", nullptr, 0, 0, 0, 0, 0},     {4, "@@FAVB", nullptr, 0, 0, 0, 0, 0},
    {5, "@@IAVB", nullptr, 0, 0, 0, 0, 0},     {6, "@@AIFB", nullptr, 0, 0, 0, 0, 0},
    {7, "@@AAI", nullptr, 0, 0, 0, 0, 0},      {8, "@@AAF", nullptr, 0, 0, 0, 0, 0},
    {9, "@@AFI", nullptr, 0, 0, 0, 0, 0},      {10, "@@MAF", nullptr, 0, 0, 0, 0, 0},
    {11, "@@MUL", nullptr, 0, 0, 0, 0, 0},     {12, "@@ADD", nullptr, 0, 0, 0, 0, 0},
    {13, "@@NOP", nullptr, 0, 0, 0, 0, 0},     {14, "@@PACKAGE", nullptr, 0, 0, 0, 0, 0},
    {15, "sqr", nullptr, 1, 2, 1, 0, 0},       {16, "sqrt", nullptr, 1, 2, 1, 0, 0},
    {17, "ln", nullptr, 1, 2, 1, 1, 0},        {18, "exp", nullptr, 1, 2, 0, 2, 0},
    {19, "log2", "lg2", 1, 2, 1, 1, 0},        {20, "log10", "lg", 1, 2, 1, 1, 0},
    {35, "sin", nullptr, 1, 2, 1, 0, 0},       {36, "cos", nullptr, 1, 2, 1, 0, 0},
    {37, "tan", "tg", 1, 2, 1, 1, 0},          {38, "cotan", "ctg", 1, 2, 1, 1, 0},
    {39, "arcsin", nullptr, 1, 2, 0, 2, 0},    {40, "arccos", nullptr, 1, 2, 0, 2, 0},
    {41, "arctan", "arctg", 1, 2, 1, 1, 0},    {42, "arccotan", "arcctg", 1, 2, 1, 1, 0},
    {43, "sinh", "sh", 1, 2, 0, 2, 0},         {44, "cosh", "ch", 1, 2, 0, 2, 0},
    {45, "tanh", "th", 1, 2, 0, 2, 0},         {46, "cotanh", "cth", 1, 2, 0, 2, 0},
    {47, "arcsinh", "arcsh", 1, 2, 0, 2, 0},   {48, "arccosh", "arcch", 1, 2, 0, 2, 0},
    {49, "arctanh", "arcth", 1, 2, 0, 2, 0},   {50, "arccotanh", "arccth", 1, 2, 0, 2, 0},
    {51, "abs", nullptr, 1, 2, 1, 0, 0},       {52, "trunc", nullptr, 1, 2, 1, 0, 0},
    {53, "logn", "log", 2, 4, 0, 1, 0},        {54, "@@FPWR", nullptr, 2, 4, 0, 1, 13},
    {55, "fact", nullptr, 1, 1, 1, 1, 5},      {56, "@@IPWR", nullptr, 1, 3, 0, 1, 13},
    {57, "@@IPWRSGN", nullptr, 1, 1, 1, 1, 1}, {58, "@@I2PWR", nullptr, 1, 1, 1, 2, 1},
    {59, "power", nullptr, 2, 4, 0, 0, 0},     {60, "root", nullptr, 2, 4, 0, 0, 0},
    {61, "@@FROOT", nullptr, 2, 4, 0, 1, 3},   {62, "@@IROOT", nullptr, 2, 3, 0, 2, 3},
    {77, "@@FPWRDVR", nullptr, 1, 2, 1, 1, 0}, {78, "@@sqrn", nullptr, 1, 2, 1, 1, 0},
    {79, "sign", "sgn", 1, 2, 0, 0, 0},        {80, "frac", nullptr, 1, 2, 1, 1, 0},
    {81, "@@LDSV", nullptr, 1, 0, 0, 0, 0},    {82, "@@sumv", nullptr, 1, 5, 0, 2, 0},
    {83, "@@sumqv", nullptr, 1, 5, 0, 2, 0},   {84, "@@avrv", nullptr, 1, 5, 0, 2, 0},
    {85, "@@lenv", nullptr, 1, 5, 0, 2, 0},    {86, "@@maxv", nullptr, 1, 5, 0, 2, 0},
    {87, "@@minv", nullptr, 1, 5, 0, 2, 0},    {88, "@@normv", nullptr, 1, 5, 0, 2, 0},
    {90, "@@sumd", nullptr, 0, -14, 0, 2, 0},  {91, "@@sumqd", nullptr, 0, -14, 0, 2, 0},
    {92, "@@avrd", nullptr, 0, -14, 0, 2, 0},  {94, "@@maxd", nullptr, 0, -14, 0, 2, 0},
    {95, "@@mind", nullptr, 0, -14, 0, 2, 0},  {96, "@@normd", nullptr, 0, -14, 0, 2, 0},
    {97, "sum", nullptr, 0, -17, 0, 0, 0},     {98, "sumq", nullptr, 0, -17, 0, 0, 0},
    {99, "avr", nullptr, 0, -17, 0, 0, 0},     {100, "len", nullptr, 0, -17, 0, 0, 0},
    {101, "max", nullptr, 0, -17, 0, 0, 0},    {102, "min", nullptr, 0, -17, 0, 0, 0},
    {103, "norm", nullptr, 0, -17, 0, 0, 0},   {104, "IF", nullptr, -1, -17, 0, 0, 0},
    {105, "@@IFNOP", nullptr, 1, -17, 0, 0, 0}, {106, "@@JMP", nullptr, 0, 0, 0, 0, 0},
    {107, "@@FLD", nullptr, 0, 0, 0, 0, 0},    {108, "LDA", nullptr, 0, -17, 0, 0, 0},
    {109, "COMPILE", nullptr, 0, -17, 0, 0, 0}, {110, "prod", nullptr, 0, -17, 0, 0, 0},
    {111, "@@prodv", nullptr, 1, 5, 0, 2, 0},  {112, "@@prodd", nullptr, 0, -14, 0, 2, 0},
    {113, "fact2", nullptr, 1, 1, 0, 1, 5},
};

void writeTemplate(int32_t index, TCode& code) {
  TExcoConstants& k = ExcoConstants();
  TemplateWriter w(code);
  switch (index) {
    case fx::Sqr: w.fmul(); break;
    case fx::Sqrt: w.bytes({0xD9, 0xFA}); break;
    case fx::Ln: w.bytes({0xD9, 0xED}).fxch1().fyl2x(); break;
    case fx::Log2: w.fld1().fxch1().fyl2x(); break;
    case fx::Log10: w.bytes({0xD9, 0xEC}).fxch1().fyl2x(); break;
    case fx::Sin: w.bytes({0xD9, 0xFE}); break;
    case fx::Cos: w.bytes({0xD9, 0xFF}); break;
    case fx::Tan: w.bytes({0xD9, 0xF2, 0xDD, 0xD8}); break;
    case fx::Cotan: w.bytes({0xD9, 0xF2, 0xDE, 0xF1}); break;
    case fx::ArcTan: w.fld1().bytes({0xD9, 0xF3}); break;
    case fx::ArcCotan: w.fld1().bytes({0xD9, 0xF3}).fldTbyte(&k.PiHalf).bytes({0xDE, 0xE1}); break;
    case fx::Abs: w.bytes({0xD9, 0xE1}); break;
    case fx::Trunc: w.fldcw(&k.ChopCW).frndint().fldcw(&k.NearestCW); break;
    case fx::Fact:
      // An n within the table: rcx = table; rax = rcx + 10 * n; fld tbyte [rax]. Any
      // other n goes to the lookup routine, which faults instead of reading.
      w.bytes({0x89, 0xC0, 0x3D}).imm32(kFactCount - 1).bytes({0x77, 0x16});  // mov eax,eax; cmp; ja
      w.movRcxImm64(ExcoFactTable()).bytes({0x48, 0x8D, 0x0C, 0xC1, 0x48, 0x8D, 0x04, 0x41, 0xDB, 0x28});
      w.bytes({0xEB, 0x0C}).movRcxImm64(reinterpret_cast<const void*>(&RtFactLookup)).bytes({0xFF, 0xD1});
      break;
    case fx::IPWRSGN: w.bytes({0xD9, 0xE8, 0x83, 0xE0, 0x01, 0x74, 0x02, 0xD9, 0xE0}); break;
    case fx::I2PWR:
      w.loadR11(&k.Cell).bytes({0x41, 0x89, 0x03, 0x41, 0xDB, 0x03}).fld1().bytes({0xD9, 0xFD}).fxch1().bytes({0xDD, 0xD8});
      break;
    case fx::FPWRDVR: w.fld1().bytes({0xDE, 0xF1}); break;
    case fx::Sqrn: w.fmul().fld1().bytes({0xDE, 0xF1}); break;
    case fx::Frac:
      w.fld().fldcw(&k.ChopCW).frndint().fldcw(&k.NearestCW).bytes({0xDE, 0xE9});
      break;
    default: break;
  }
}

void fillEntry(TFuncList& entry, const EntrySpec& spec) {
  entry.Names = {"", spec.name};
  if (spec.alias) entry.Names.push_back(spec.alias);
  entry.Arity = spec.arity;
  entry.Class = spec.classCode;
  entry.Inline = spec.inlineFlag;
  entry.ExtraDepth = spec.extraDepth;
  entry.RegisterMask = spec.mask;
  if (spec.classCode == fc::ListRoutine) entry.ArgType = vt::Extended;
}

}  // namespace

void InitFuncTable(TArrayFuncList& table) {
  table.assign(fx::BuiltInCount, TFuncList{});
  for (int32_t i = 1; i < fx::BuiltInCount; ++i) table[i].Names = {"", ""};
  for (const EntrySpec& spec : kEntries) fillEntry(table[spec.index], spec);
  for (int32_t k = 3; k <= 16; ++k) {
    const PowerChain& chain = kPowerChains[k - 3];
    for (bool reciprocal : {false, true}) {
      TFuncList& entry = table[(reciprocal ? fx::IPWR3N : fx::IPWR3) + k - 3];
      entry.Names = {"", "@@IPWR" + std::to_string(k) + (reciprocal ? "N" : "")};
      entry.Arity = 1;
      entry.Class = fc::RealArg;
      entry.Inline = 1;
      entry.ExtraDepth = chain.extraDepth;
      writeChain(entry.Template, chain.steps);
      if (reciprocal) TemplateWriter(entry.Template).fdivrQword(&ExcoConstants().One);
      entry.ContainedTemplate = true;
    }
  }
  for (int32_t i = 1; i < fx::BuiltInCount; ++i) {
    if (table[i].Inline) writeTemplate(i, table[i].Template);
    table[i].Routine = ExcoRuntimeRoutine(i);
    // trunc and frac switch the rounding through the control word; fact's template
    // calls its routine, which the generator judges as it judges every call.
    table[i].ContainedTemplate = table[i].Inline && i != fx::Trunc && i != fx::Frac;
  }
}

void InitFuncPairMatrix(const TArrayFuncList& table, TArray2I& matrix) {
  const size_t n = table.size();
  matrix.assign(n, std::vector<TPairCell>(n));
  for (size_t i = 1; i < n; ++i)
    if (table[i].Class > 0) matrix[i][i] = {1, 1, 1};
}

namespace {
struct PairSpec {
  int32_t earlier, later;
  TPairCell cell;
};
constexpr PairSpec kTrigPairs[] = {
    {fx::Sin, fx::Cos, {2, 1, 1}},          {fx::Cos, fx::Sin, {2, 1, 1}},
    {fx::Tan, fx::Cotan, {1, 2, 1}},        {fx::Cotan, fx::Tan, {2, 1, 1}},
    {fx::ArcSin, fx::ArcCos, {1, 2, 1}},    {fx::ArcCos, fx::ArcSin, {1, 2, 1}},
    {fx::ArcTan, fx::ArcCotan, {1, 2, 1}},  {fx::ArcCotan, fx::ArcTan, {2, 1, 1}},
};
constexpr PairSpec kHypPairs[] = {
    {fx::Sinh, fx::Cosh, {3, 3, 1}},   {fx::Sinh, fx::Tanh, {3, 3, 1}},
    {fx::Sinh, fx::Cotanh, {3, 3, 1}}, {fx::Sinh, fx::Exp, {3, 1, 1}},
    {fx::Cosh, fx::Sinh, {3, 3, 1}},   {fx::Cosh, fx::Tanh, {3, 3, 1}},
    {fx::Cosh, fx::Cotanh, {3, 3, 1}}, {fx::Cosh, fx::Exp, {3, 1, 1}},
    {fx::Exp, fx::Sinh, {1, 3, 1}},    {fx::Exp, fx::Cosh, {1, 3, 1}},
    {fx::Exp, fx::Tanh, {1, 3, 1}},    {fx::Exp, fx::Cotanh, {1, 3, 1}},
    {fx::Tanh, fx::Sinh, {2, 3, 1}},   {fx::Tanh, fx::Cosh, {2, 3, 1}},
    {fx::Tanh, fx::Cotanh, {1, 2, 1}}, {fx::Tanh, fx::Exp, {2, 1, 1}},
    {fx::Cotanh, fx::Sinh, {2, 3, 1}}, {fx::Cotanh, fx::Cosh, {2, 3, 1}},
    {fx::Cotanh, fx::Tanh, {1, 2, 1}}, {fx::Cotanh, fx::Exp, {2, 1, 1}},
};

template <size_t N>
void writePairs(TArray2I& matrix, const PairSpec (&pairs)[N], bool on) {
  for (const PairSpec& p : pairs)
    if (static_cast<size_t>(p.earlier) < matrix.size() && static_cast<size_t>(p.later) < matrix[p.earlier].size())
      matrix[p.earlier][p.later] = on ? p.cell : TPairCell{};
}
}  // namespace

void SetTrigPairs(TArray2I& matrix, bool on) { writePairs(matrix, kTrigPairs, on); }
void SetHyperbolicPairs(TArray2I& matrix, bool on) { writePairs(matrix, kHypPairs, on); }
