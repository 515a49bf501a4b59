// The built-in function table, its templates, the pair matrix and the factorial tables.
#include "tests/compiler/exco_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

// The library starts with the built-ins and the five differentiation functions.
constexpr size_t kStartUpEntries = fx::BuiltInCount + 5;

class FunctionTable : public ExcoTest {
 protected:
  TExcoH& h = ExcoLibraryCompiler();
  const TCode& tpl(int32_t index) { return h.FuncTable[index].Template; }
};

TEST_F(FunctionTable, NamesAndAliasesReachTheirEntries) {
  const std::pair<const char*, int> names[] = {
      {"tg", 37},   {"lg", 20},    {"sh", 43},     {"log", 53},    {"lg2", 19}, {"ctg", 38},
      {"arctg", 41}, {"sgn", 79},  {"sqrt", 16},   {"fact2", 113}, {"if", 104}, {"lda", 108},
      {"compile", 109}, {"prod", 110}, {"arccth", 50}, {"@@IPWR7", 25}, {"@@IPWR16N", 76},
  };
  for (const auto& [name, id] : names) EXPECT_EQ(h.FindFunction(name), id) << name;
  EXPECT_EQ(h.FindFunction(""), -1);
  EXPECT_EQ(h.FuncTable.size(), kStartUpEntries);
  EXPECT_EQ(h.FuncTable[89].Names, (TArrayS{"", ""}));
  EXPECT_EQ(h.FuncTable[93].Names, (TArrayS{"", ""}));
}

TEST_F(FunctionTable, LookupHonoursTheNotationAndCaseOptions) {
  h.ExtendedNotation = false;
  EXPECT_EQ(h.FindFunction("tg"), -1);
  EXPECT_EQ(h.FindFunction("tan"), 37);
  h.ExtendedNotation = true;
  h.CaseSensitiveFunctions = true;
  EXPECT_EQ(h.FindFunction("SIN"), -1);
  EXPECT_EQ(h.FindFunction("if"), -1);
  EXPECT_EQ(h.FindFunction("IF"), 104);
  h.CaseSensitiveFunctions = false;
  // The last match wins.
  h.AddFunctionName(fx::Cos, "sin");
  EXPECT_EQ(h.FindFunction("sin"), fx::Cos);
}

// Names are found through an index; every way of changing the table must be seen by
// the next lookup.
TEST_F(FunctionTable, LookupFollowsEveryChangeOfTheTable) {
  ASSERT_EQ(h.FindFunction("sin"), fx::Sin);
  const TArrayFuncList saved = h.FuncTable;
  h.FuncTable[fx::Sin].Names[1] = "sine";
  EXPECT_EQ(h.FindFunction("sin"), -1);
  EXPECT_EQ(h.FindFunction("SINE"), fx::Sin);
  TArrayFuncList renamed = saved;
  renamed[fx::Cos].Names = {"", "sine"};
  h.FuncTable = renamed;
  EXPECT_EQ(h.FindFunction("sine"), fx::Cos);
  EXPECT_EQ(h.FindFunction("sin"), fx::Sin);
  for (TFuncList& entry : h.FuncTable) entry.Names = {"", ""};
  EXPECT_EQ(h.FindFunction("sine"), -1);
  h.FuncTable = saved;
  EXPECT_EQ(h.FindFunction("sin"), fx::Sin);
  EXPECT_EQ(h.FindFunction("sine"), -1);
}

TEST_F(FunctionTable, EntriesCarryArityClassAndDepth) {
  struct Row {
    int index, arity, classCode, inlineFlag, extra, mask;
  };
  const Row rows[] = {
      {fx::Sqr, 1, 2, 1, 0, 0},     {fx::Exp, 1, 2, 0, 2, 0},     {fx::LogN, 2, 4, 0, 1, 0},
      {fx::FPWR, 2, 4, 0, 1, 13},   {fx::Fact, 1, 1, 1, 1, 5},    {fx::IPWR, 1, 3, 0, 1, 13},
      {fx::IPWRSGN, 1, 1, 1, 1, 1}, {fx::I2PWR, 1, 1, 1, 2, 1},   {fx::FROOT, 2, 4, 0, 1, 3},
      {fx::IROOT, 2, 3, 0, 2, 3},   {fx::SumV, 1, 5, 0, 2, 0},    {fx::SumD, 0, -14, 0, 2, 0},
      {fx::If, -1, -17, 0, 0, 0},   {fx::IFNOP, 1, -17, 0, 0, 0}, {fx::Fact2, 1, 1, 0, 1, 5},
      {fx::IPWR3 + 12, 1, 2, 1, 3, 0}, {fx::IPWR3N + 4, 1, 2, 1, 2, 0}, {fx::LDSC, 0, 0, 0, 0, 0},
  };
  for (const Row& r : rows) {
    const TFuncList& e = h.FuncTable[r.index];
    EXPECT_EQ(e.Arity, r.arity) << r.index;
    EXPECT_EQ(e.Class, r.classCode) << r.index;
    EXPECT_EQ(e.Inline, r.inlineFlag) << r.index;
    EXPECT_EQ(e.ExtraDepth, r.extra) << r.index;
    EXPECT_EQ(e.RegisterMask, r.mask) << r.index;
  }
  EXPECT_EQ(h.FuncTable[fx::SumD].ArgType, vt::Extended);
}

TEST_F(FunctionTable, TemplatesHoldTheirInstructions) {
  EXPECT_EQ(tpl(fx::Sqr), (TCode{0xD8, 0xC8}));
  EXPECT_EQ(tpl(fx::Sin), (TCode{0xD9, 0xFE}));
  EXPECT_EQ(tpl(fx::Ln), (TCode{0xD9, 0xED, 0xD9, 0xC9, 0xD9, 0xF1}));
  EXPECT_EQ(tpl(fx::Tan), (TCode{0xD9, 0xF2, 0xDD, 0xD8}));
  EXPECT_EQ(tpl(fx::Cotan), (TCode{0xD9, 0xF2, 0xDE, 0xF1}));
  EXPECT_EQ(tpl(fx::IPWRSGN), (TCode{0xD9, 0xE8, 0x83, 0xE0, 0x01, 0x74, 0x02, 0xD9, 0xE0}));
  EXPECT_EQ(tpl(fx::IPWR3 + 1), (TCode{0xD8, 0xC8, 0xD8, 0xC8}));                          // x^4
  EXPECT_EQ(tpl(fx::IPWR3), (TCode{0xD9, 0xC0, 0xD8, 0xC8, 0xDE, 0xC9}));                  // x^3
  EXPECT_EQ(tpl(fx::Sqrn), (TCode{0xD8, 0xC8, 0xD9, 0xE8, 0xDE, 0xF1}));
  EXPECT_TRUE(tpl(fx::Exp).empty());
  EXPECT_TRUE(tpl(fx::Fact2).empty());
}

// Templates that read library data load its 64-bit address into r11 first.
TEST_F(FunctionTable, TemplatesAddressLibraryDataThroughR11) {
  auto addressAt = [](const TCode& code, size_t at) {
    uint64_t v = 0;
    std::memcpy(&v, code.data() + at, 8);
    return v;
  };
  const TExcoConstants& k = ExcoConstants();
  const TCode& trunc = tpl(fx::Trunc);
  ASSERT_EQ(trunc.size(), 2 * 13u + 2);
  EXPECT_EQ(trunc[0], 0x49);
  EXPECT_EQ(trunc[1], 0xBB);
  EXPECT_EQ(addressAt(trunc, 2), reinterpret_cast<uintptr_t>(&k.ChopCW));
  EXPECT_EQ(addressAt(trunc, 17), reinterpret_cast<uintptr_t>(&k.NearestCW));
  EXPECT_EQ(k.ChopCW, 0x1F32);
  EXPECT_EQ(k.NearestCW, 0x1332);

  const TCode& reciprocal = tpl(fx::IPWR3N);  // x^-3 ends in fdivr qword [one]
  ASSERT_GE(reciprocal.size(), 13u);
  EXPECT_EQ(addressAt(reciprocal, reciprocal.size() - 11), reinterpret_cast<uintptr_t>(&k.One));
  EXPECT_EQ((TCode{reciprocal.end() - 3, reciprocal.end()}), (TCode{0x41, 0xDC, 0x3B}));

  // fact: an n within the table reads element n (mov rcx, table ...); any other n
  // goes to the lookup routine, which faults.
  const TCode& fact = tpl(fx::Fact);
  ASSERT_GE(fact.size(), 41u);
  EXPECT_EQ((TCode{fact.begin(), fact.begin() + 3}), (TCode{0x89, 0xC0, 0x3D}));
  EXPECT_EQ(fact[9], 0x48);
  EXPECT_EQ(fact[10], 0xB9);
  EXPECT_EQ(addressAt(fact, 11), reinterpret_cast<uintptr_t>(ExcoFactTable()));
  EXPECT_EQ(addressAt(fact, 33), static_cast<uintptr_t>(h.FuncTable[fx::Fact].Routine));
}

TEST_F(FunctionTable, PairMatrixMarksTheDiagonalAndThePairs) {
  ASSERT_EQ(h.PairMatrix.size(), kStartUpEntries);
  ASSERT_EQ(h.PairMatrix[1].size(), kStartUpEntries);
  EXPECT_EQ(h.PairMatrix[fx::Sqrt][fx::Sqrt], (TPairCell{1, 1, 1}));
  EXPECT_EQ(h.PairMatrix[fx::SumV][fx::SumV], (TPairCell{1, 1, 1}));
  EXPECT_EQ(h.PairMatrix[fx::Sum][fx::Sum], (TPairCell{}));
  EXPECT_EQ(h.PairMatrix[fx::LDSC][fx::LDSC], (TPairCell{}));
  EXPECT_EQ(h.PairMatrix[fx::Sin][fx::Cos], (TPairCell{2, 1, 1}));
  EXPECT_EQ(h.PairMatrix[fx::Cotan][fx::Tan], (TPairCell{2, 1, 1}));
  EXPECT_EQ(h.PairMatrix[fx::ArcCotan][fx::ArcTan], (TPairCell{2, 1, 1}));
  EXPECT_EQ(h.PairMatrix[fx::Sinh][fx::Exp], (TPairCell{3, 1, 1}));
  EXPECT_EQ(h.PairMatrix[fx::Exp][fx::Cotanh], (TPairCell{1, 3, 1}));
  EXPECT_EQ(h.PairMatrix[fx::Cotanh][fx::Cosh], (TPairCell{2, 3, 1}));
  EXPECT_EQ(h.PairMatrix[fx::Cos][fx::Tan], (TPairCell{}));

  h.SetTrigonometricPairs(false);
  EXPECT_EQ(h.PairMatrix[fx::Sin][fx::Cos], (TPairCell{}));
  EXPECT_EQ(h.PairMatrix[fx::Sinh][fx::Exp], (TPairCell{3, 1, 1}));
  EXPECT_EQ(h.PairMatrix[fx::Sin][fx::Sin], (TPairCell{1, 1, 1}));
  h.SetHyperbolicPairsOption(false);
  EXPECT_EQ(h.PairMatrix[fx::Sinh][fx::Exp], (TPairCell{}));
}

TEST_F(FunctionTable, RegisteringGrowsTableAndMatrixButNotForAKnownName) {
  TFuncList record;
  record.Names = {"", "tg"};
  record.Class = 2;
  int32_t id = -7;
  h.RegisterFunction(record, id);
  EXPECT_EQ(id, -7);
  EXPECT_EQ(h.FuncTable.size(), kStartUpEntries);

  record.Names = {"", "myfunc"};
  record.Arity = 1;
  h.RegisterFunction(record, id);
  EXPECT_EQ(id, static_cast<int32_t>(kStartUpEntries));
  ASSERT_EQ(h.PairMatrix.size(), kStartUpEntries + 1);
  EXPECT_EQ(h.PairMatrix[3].size(), kStartUpEntries + 1);
  EXPECT_EQ(h.PairMatrix[kStartUpEntries][kStartUpEntries], (TPairCell{1, 1, 1}));
  EXPECT_EQ(parseDump("myfunc(1)"), "myfunc\n  @@LDSC 1\n");

  ExcoSetOption(exco_option::Clear, exco_option::FunctionTable);
  EXPECT_EQ(h.FuncTable.size(), 114u);
  EXPECT_EQ(h.PairMatrix.size(), 114u);
  EXPECT_EQ(h.PairMatrix[3].size(), 114u);
  EXPECT_EQ(compileText("myfunc(1)").code, 214);
}

TEST_F(FunctionTable, DisablingAnUnknownIndexIsReported) {
  h.DisableFunction(500);
  int code = 0;
  ExcoGetError(code);
  EXPECT_EQ(code, 216);
  EXPECT_EQ(h.ItemText, "500");
  h.ErrorCode = 0;
  h.DisableFunction(fx::Tan);
  EXPECT_EQ(h.FuncTable[fx::Tan].Names, (TArrayS{"", "@@tan", "@@tg"}));
  EXPECT_EQ(h.GetFunctionName(fx::Tan), "@@tan");
  EXPECT_EQ(h.GetFunctionName(9999), "");
}

TEST_F(FunctionTable, FactorialTables) {
  // Packed 10-byte values: element n lies at table + 10 n, as the lookups read it.
  const auto value = [](const PackedExtended* table, int n) { return static_cast<Extended>(table[n]); };
  const PackedExtended* fact = ExcoFactTable();
  EXPECT_EQ(value(fact, 0), 1);
  EXPECT_EQ(value(fact, 5), 120);
  EXPECT_EQ(value(fact, 20), 2432902008176640000.0L);
  EXPECT_TRUE(std::isfinite(value(fact, kFactCount - 1)));
  const PackedExtended* odd = ExcoOddFact2Table();
  const PackedExtended* even = ExcoEvenFact2Table();
  EXPECT_EQ(value(odd, 0), 1);
  EXPECT_EQ(value(even, 0), 1);
  EXPECT_EQ(value(odd, 3), 15);   // 5!!
  EXPECT_EQ(value(even, 3), 48);  // 6!!
  EXPECT_TRUE(std::isfinite(value(odd, kFact2Count - 1)));
  EXPECT_TRUE(std::isfinite(value(even, kFact2Count - 1)));
}

}  // namespace
