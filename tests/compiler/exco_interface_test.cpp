// The flat call interface: options, variables, errors, aliases, queries and freeing.
#include "compiler/exco.h"
#include "compiler/exco_faults.h"
#include "tests/compiler/exco_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

class ExcoInterface : public ExcoTest {};

intptr_t info(int query, intptr_t index, intptr_t start = -12345) {
  intptr_t value = start;
  ExcoGetInfo(query, index, value);
  return value;
}

int errorCode() {
  int code = 0;
  ExcoGetError(code);
  return code;
}

std::string errorText() {
  std::string text;
  ExcoGetErrorText(text);
  return text;
}

TEST_F(ExcoInterface, EmptyTextAndBlanks) {
  const CompileOutcome empty = compileText("");
  EXPECT_NE(empty.handle, 0);
  EXPECT_EQ(empty.code, 0);
  EXPECT_EQ(parseDump(""), "@@LDSC 0\n");

  // Blanks go, tabs stay.
  EXPECT_NE(compileText(" 1 + 2 ").handle, 0);
  const CompileOutcome open = compileText("1 +");
  EXPECT_EQ(open.code, 213);
  EXPECT_EQ(open.item, "1+");
  EXPECT_EQ(compileText("1+\t2").code, 208);
}

TEST_F(ExcoInterface, FailedCompileLeavesNoHandleAndTheComponentSaysSo) {
  TExco exco;
  void* func = reinterpret_cast<void*>(1);
  exco.Compile("sin(1", nullptr, func);
  EXPECT_EQ(func, nullptr);
  int code = 0;
  exco.GetError(code);
  EXPECT_EQ(code, 210);
  std::string text;
  exco.GetErrorText(text);
  EXPECT_EQ(text, "sin(1");
  EXPECT_THROW(exco.Calc(nullptr), std::exception);

  // Clearing the error state keeps the text.
  exco.SetOption(exco_option::Zero, exco_option::Errors);
  exco.GetError(code);
  EXPECT_EQ(code, 0);
  exco.GetErrorText(text);
  EXPECT_EQ(text, "sin(1");
}

TEST_F(ExcoInterface, DefiningAVariableTwiceKeepsTheFirstType) {
  double first = 1, second = 2;
  ExcoDefineVariable("vars", &first, 70);
  ExcoDefineVariable("vars", &second, 28);
  const TVarList& table = ExcoLibraryCompiler().Variables;
  int count = 0;
  for (const TVariable& v : table)
    if (v.Name == "vars") {
      ++count;
      EXPECT_EQ(v.Address, &second);
      EXPECT_EQ(v.Type, vt::DoubleArray);
    }
  EXPECT_EQ(count, 1);
  // Unknown type codes are ignored.
  ExcoDefineVariable("other", &first, 30);
  EXPECT_EQ(ExcoLibraryCompiler().FindFirstVariable("other"), -1);
}

TEST_F(ExcoInterface, NamesAreCaseInsensitiveAndTheFirstMatchWins) {
  double upper = 1, lower = 2;
  ExcoDefineVariable("X", &upper, 28);
  EXPECT_EQ(parseDump("x"), "@@LDSF X\n");
  ExcoDefineVariable("x", &lower, 28);
  TExcoH& h = ExcoLibraryCompiler();
  EXPECT_NE(h.FindFirstVariable("x"), -1);
  EXPECT_EQ(h.Variables[h.FindFirstVariable("x")].Address, &upper);
  EXPECT_EQ(parseDump("x"), "@@LDSF X\n");
  // A one-character name is found in either case, as longer ones are.
  double other = 3;
  ExcoDefineVariable("y", &other, 28);
  EXPECT_EQ(parseDump("Y"), "@@LDSF y\n");
  h.CaseSensitiveNames = true;
  EXPECT_EQ(parseDump("x"), "@@LDSF x\n");
  EXPECT_EQ(h.FindFirstVariable("Y"), -1);
  h.CaseSensitiveNames = false;
}

// Names are found through an index of the table; it follows the table when the table
// is cleared and filled again with as many variables under other names.
TEST_F(ExcoInterface, AManyVariableTableIsSearchedAfreshAfterItIsRefilled) {
  std::vector<double> cells(300, 0);
  const auto fill = [&](const std::string& prefix) {
    ExcoSetOption(exco_option::Clear, exco_option::Variables);
    for (size_t k = 0; k < cells.size(); ++k) ExcoDefineVariable(prefix + std::to_string(k + 1), &cells[k], 28);
  };
  fill("item");
  EXPECT_EQ(parseDump("item250+ITEM3"), "@@AAF 1*item3+1*item250\n");
  fill("var");
  EXPECT_EQ(parseDump("var7"), "@@LDSF var7\n");
  EXPECT_EQ(parseDump("item7"), "error 1: item7");
}

// A bracket after a name makes a call or an element, which no linear form holds, unless
// a variable's name holds that bracket.
TEST_F(ExcoInterface, AVariableNamedWithABracketStaysInItsLinearForm) {
  double x = 1, f = 2;
  ExcoDefineVariable("x", &x, 28);
  ExcoDefineVariable("f(1)", &f, 28);
  EXPECT_EQ(parseDump("2*f(1)+1"), "@@FAVB 2*f(1)+1\n");
  EXPECT_EQ(parseDump("x+f(1)*3"), "@@AAF 1*x+3*f(1)\n");
}

TEST_F(ExcoInterface, ZeroingVariablesWritesTheirWidthAndLeavesArrays) {
  float single = 1.5f;
  int32_t integer = 7;
  double dbl = 2.5;
  unsigned char extended[16];
  std::memset(extended, 0xAB, sizeof extended);
  double elements[2] = {4, 5};
  double* array = elements;
  ExcoDefineVariable("s", &single, 26);
  ExcoDefineVariable("n", &integer, 27);
  ExcoDefineVariable("d", &dbl, 28);
  ExcoDefineVariable("e", extended, 29);
  ExcoDefineVariable("arr", &array, 70);
  ExcoSetOption(exco_option::Zero, exco_option::Variables);
  EXPECT_EQ(single, 0.0f);
  EXPECT_EQ(integer, 0);
  EXPECT_EQ(dbl, 0.0);
  for (int k = 0; k < 10; ++k) EXPECT_EQ(extended[k], 0) << k;
  for (int k = 10; k < 16; ++k) EXPECT_EQ(extended[k], 0xAB) << k;
  EXPECT_EQ(array, elements);
  EXPECT_EQ(elements[0], 4);
  EXPECT_EQ(elements[1], 5);
}

TEST_F(ExcoInterface, ClearedVariablesAreUnknown) {
  double x = 1;
  ExcoDefineVariable("x", &x, 28);
  EXPECT_EQ(compileText("x").code, 0);
  ExcoSetOption(exco_option::Clear, exco_option::Variables);
  const CompileOutcome out = compileText("x+1");
  EXPECT_EQ(out.code, 208);
  EXPECT_EQ(out.item, "x");
  EXPECT_EQ(ExcoLibraryCompiler().FindFirstVariable("##fvar"), -1);
}

TEST_F(ExcoInterface, DefiningAVariableWhileAnErrorIsPendingRecordsItAndRaises) {
  ExcoCompile("zz", nullptr, *std::make_unique<intptr_t>(0));
  double v = 0;
  EXPECT_THROW(ExcoDefineVariable("late", &v, 28), EInternalError);
  EXPECT_NE(ExcoLibraryCompiler().FindFirstVariable("late"), -1);
  ExcoSetOption(exco_option::Zero, exco_option::Errors);
  EXPECT_NO_THROW(ExcoDefineVariable("later", &v, 28));
}

TEST_F(ExcoInterface, QueryUsesAVariable) {
  double x = 1;
  ExcoDefineVariable("x", &x, 28);
  compileText("2*3");
  EXPECT_EQ(info(76, 0), 3);
  compileText("2*x");
  EXPECT_EQ(info(76, 0), 4);
  compileText("sin(x)+1");
  EXPECT_EQ(info(76, 0), 4);
}

TEST_F(ExcoInterface, QueriesOnCompiledFunctions) {
  const char* banner = reinterpret_cast<const char*>(info(305, 0));
  EXPECT_STREQ(banner, "Math compiler -Exco-");
  EXPECT_NE(reinterpret_cast<const char*>(info(306, 0)), nullptr);
  EXPECT_EQ(info(302, 0), 8);
  EXPECT_EQ(info(303, 0), 4);
  EXPECT_EQ(info(304, 0), 16);
  EXPECT_EQ(info(335, 0), 0);
  EXPECT_EQ(info(301, 0), -12345);

  const CompileOutcome out = compileText("1+2");
  ASSERT_NE(out.handle, 0);
  EXPECT_EQ(info(316, out.handle), 0);
  EXPECT_EQ(info(320, out.handle), 4);
  EXPECT_EQ(info(322, out.handle), 4);
  // The bytes of the routine from its entry: the mark that it may run twice, fld qword
  // [rip + disp32] and ret, 16-byte aligned, then the cell of the constant 3.
  EXPECT_EQ(info(334, out.handle), 3 + 6 + 1 + 6 + 16);
  const CompileOutcome one = compileText("1");
  EXPECT_EQ(info(334, one.handle), 3 + 2 + 1);  // the mark, fld1 and ret

  // An index that is no handle: error 216 with the index as item; value untouched.
  EXPECT_EQ(info(305, 987654), -12345);
  EXPECT_EQ(errorCode(), 216);
  EXPECT_EQ(errorText(), "987654");
}

TEST_F(ExcoInterface, QueriesOnTheFunctionTable) {
  struct Case {
    int query;
    int index;
    intptr_t answer;
  };
  const Case cases[] = {
      {42, fx::Sin, 1},         {42, fx::LogN, 2},       {42, fx::If, -1},        {42, fx::Sum, 0},
      {47, fx::Fact, 105},      {47, fx::Sin, 106},      {47, fx::IPWR, 107},     {47, fx::LogN, 108},
      {47, fx::SumD, 114},      {47, fx::Sum, -12345},   {47, fx::LDSC, -12345},  {39, fx::Sin, 1},
      {39, fx::Exp, 0},         {40, fx::Ln, 1},         {40, fx::IPWR3 + 12, 3}, {40, fx::Sin, 0},
      {46, fx::Fact, 5},        {46, fx::FPWR, 13},      {46, fx::Sin, 0},        {44, fx::SumD, 29},
      {44, fx::Sin, -12345},    {36, fx::Sin, 0},        {37, fx::Sin, 0},        {41, fx::Sin, 0},
      {43, fx::Sin, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(info(c.query, c.index), c.answer) << c.query << " " << c.index;

  EXPECT_EQ(info(38, 5000), -12345);
  EXPECT_EQ(errorCode(), 216);
  EXPECT_EQ(errorText(), "5000");
}

TEST_F(ExcoInterface, StartUpAliasesResolve) {
  const std::pair<const char*, int> aliases[] = {
      {"cot", 38},   {"asin", 39},  {"acos", 40},  {"atan", 41},  {"acot", 42}, {"coth", 46},
      {"asinh", 47}, {"acosh", 48}, {"atanh", 49}, {"acoth", 50}, {"avg", 99},
  };
  for (const auto& [name, id] : aliases) EXPECT_EQ(ExcoLibraryCompiler().FindFunction(name), id) << name;
  EXPECT_EQ(parseDump("cot(1)"), parseDump("cotan(1)"));
  EXPECT_EQ(parseDump("avg(1,2)"), "@@avrd\n  @@LDSC 1\n  @@LDSC 2\n");
}

TEST_F(ExcoInterface, AddedAliasesResolveAndOutOfTableIdsChangeNothing) {
  ExcoAddAlias(fx::Sin, "sinus");
  EXPECT_EQ(parseDump("sinus(1)"), "sin\n  @@LDSC 1\n");
  const size_t before = ExcoLibraryCompiler().FuncTable.size();
  ExcoAddAlias(100000, "nowhere");
  ExcoAddAlias(-1, "nowhere");
  EXPECT_EQ(ExcoLibraryCompiler().FuncTable.size(), before);
  EXPECT_EQ(ExcoLibraryCompiler().FindFunction("nowhere"), -1);
}

TEST_F(ExcoInterface, FunctionNamesCanBeRemovedOrDisabled) {
  ExcoSetOption(exco_option::ClearFunctionNames, fx::Cos);
  EXPECT_EQ(compileText("cos(1)").code, 214);
  ExcoSetOption(exco_option::ClearFunctionNames, 100000);  // ignored

  ExcoSetOption(exco_option::Clear, fx::Sin);  // no handle has this value: the function is disabled
  const CompileOutcome out = compileText("sin(1)");
  EXPECT_EQ(out.code, 214);
  EXPECT_EQ(out.item, "sin");
  EXPECT_EQ(ExcoLibraryCompiler().FuncTable[fx::Sin].Class, 0);
}

TEST_F(ExcoInterface, FreeingIsSafeForEveryValue) {
  const CompileOutcome first = compileText("1+2");
  const CompileOutcome second = compileText("3*4");
  ASSERT_NE(first.handle, 0);
  ASSERT_NE(second.handle, 0);
  ASSERT_NE(first.handle, second.handle);

  ExcoSetOption(exco_option::Clear, first.handle);
  EXPECT_EQ(info(316, first.handle), -12345);  // gone
  ExcoSetOption(exco_option::Zero, exco_option::Errors);
  ExcoSetOption(exco_option::Clear, first.handle);  // twice: frees nothing
  ExcoSetOption(exco_option::Clear, 0);             // handle 0: frees nothing
  ExcoSetOption(exco_option::Zero, exco_option::Errors);
  ExcoSetOption(exco_option::Clear, intptr_t{0x7FFF12345678});  // unknown: error 216, frees nothing
  EXPECT_EQ(errorCode(), 216);
  ExcoSetOption(exco_option::Zero, exco_option::Errors);
  EXPECT_EQ(info(316, second.handle), 0);  // still there
  EXPECT_EQ(errorCode(), 0);
  // The built-ins and the five differentiation functions of the start-up.
  EXPECT_EQ(ExcoLibraryCompiler().FuncTable.size(), static_cast<size_t>(fx::BuiltInCount) + 5);

  ExcoSetOption(exco_option::Clear, exco_option::AllRoutines);
  EXPECT_EQ(info(316, second.handle), -12345);
  ExcoSetOption(exco_option::Zero, exco_option::Errors);
  EXPECT_NE(compileText("5").handle, 0);
}

TEST_F(ExcoInterface, DestinationIsMapped) {
  TExcoH& h = ExcoLibraryCompiler();
  ExcoDest dest{57, 28, 8};
  intptr_t code = 0;
  ExcoCompile("1", &dest, code);
  EXPECT_EQ(h.Dest.Where, 1);
  EXPECT_EQ(h.Dest.Type, vt::Double);
  EXPECT_EQ(h.Dest.Disp, 8);
  dest = {61, 27, 0};
  ExcoCompile("1", &dest, code);
  EXPECT_EQ(h.Dest.Where, 5);
  EXPECT_EQ(h.Dest.Type, vt::Integer);
  long double target = 0;
  dest = {reinterpret_cast<intptr_t>(&target), 29, 0};
  ExcoCompile("1", &dest, code);
  EXPECT_EQ(h.Dest.Where, reinterpret_cast<intptr_t>(&target));
  EXPECT_EQ(h.Dest.Type, vt::Extended);
  dest = {57, 30, 0};  // no store
  ExcoCompile("1", &dest, code);
  EXPECT_EQ(h.Dest.Type, vt::None);
  ExcoCompile("1", nullptr, code);
  EXPECT_EQ(h.Dest.Where, 0);
}

TEST_F(ExcoInterface, ErrorMappingOfTheCompilerCodes) {
  TExcoH& h = ExcoLibraryCompiler();
  const std::pair<int, int> mapping[] = {{1, 208},  {2, 209},  {3, 210},  {4, 211},  {5, 212},  {6, 213},
                                         {7, 214},  {8, 0},    {19, 0},   {20, 203}, {21, 204}, {22, 205},
                                         {23, 206}, {24, 207}, {25, 200}, {26, 201}, {27, 202}, {28, 215},
                                         {29, 216}, {30, 217}, {31, 218}, {32, 0}};
  for (const auto& [internal, external] : mapping) {
    h.ErrorCode = internal;
    EXPECT_EQ(errorCode(), external) << internal;
  }
  h.ErrorCode = 0;
}

TEST_F(ExcoInterface, ReporterShowsNothingByDefaultButCallsOnError) {
  TExcoH& h = ExcoLibraryCompiler();
  std::vector<std::string> shown;
  int calls = 0;
  h.MessageBox = [&](const std::string& title, const std::string& text) { shown.push_back(title + "|" + text); };
  h.OnError = [&] { ++calls; };
  compileText("zz");
  EXPECT_TRUE(shown.empty());
  EXPECT_EQ(calls, 1);

  h.ShowMessages = true;
  compileText("zz");
  compileText("1/0");
  compileText("x,");  // code 6 is shown too
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0], "Exco error|UNKNOWN SYMBOL\r\n\"zz\"");
  EXPECT_EQ(shown[1], "Exco error|Exco Internal Error\r\n\"DIVIDE ON ZERO\"\r\n1/0");
  EXPECT_EQ(calls, 4);
  h.ShowMessages = false;
  h.OnError = nullptr;
  h.MessageBox = nullptr;
}

}  // namespace

namespace {

class PreEvaluation : public ExcoTest {};

// A text without variables runs once at compile time and is compiled again from its
// value printed with 15 significant digits.
TEST_F(PreEvaluation, ConstantTextsAreCompiledFromTheirPrintedValue) {
  TExco exco;
  void* func = nullptr;
  exco.Compile("2^0.5*2", nullptr, func);
  ASSERT_NE(func, nullptr);
  EXPECT_EQ(ExcoLibraryCompiler().ExprText, "2.82842712474619");
  EXPECT_EQ(exco.Calc(func), static_cast<long double>(2.82842712474619));  // constants are Double

  double x = 3;
  ExcoDefineVariable("x", &x, 28);
  exco.Compile("x^0.5*2", nullptr, func);
  ASSERT_NE(func, nullptr);
  EXPECT_EQ(ExcoLibraryCompiler().ExprText, "x^0.5*2");
}

// The value is measured without storing: only the routine the caller runs writes to its
// destination, and a register-relative destination is never written at compile time.
TEST_F(PreEvaluation, ConstantTextsWithADestinationStoreOnlyWhenRun) {
  long double target = -1;
  ExcoDest dest{reinterpret_cast<intptr_t>(&target), 29, 0};
  intptr_t code = 0;
  ExcoCompile("6*7", &dest, code);
  ASSERT_NE(code, 0);
  EXPECT_EQ(target, -1.0L);
  EXPECT_EQ(ExcoLibraryCompiler().ExprText, "42");
  TExco exco;
  exco.Calc(reinterpret_cast<void*>(code));
  EXPECT_EQ(target, 42.0L);

  dest = {57, 28, 8};  // [eax + 8]
  ExcoCompile("2*3", &dest, code);
  EXPECT_NE(code, 0);
  EXPECT_EQ(ExcoLibraryCompiler().ExprText, "6");
}

// The routine loads the printed value as that text reads, whether the parser reads
// it as a linear form (optimise on) or a leaf, with or without extended notation:
// its sign, its exponent, and digits that rounded up to the next power of ten.
TEST_F(PreEvaluation, TheRoutineLoadsThePrintedValueReadBack) {
  struct Case {
    const char* text;
    const char* printed;
  };
  const Case cases[] = {
      {"2*3+1", "7"},
      {"-(2*3+1)", "-7"},
      {"7-14", "-7"},
      {"1/3", "0.333333333333333"},
      {"-1/3", "-0.333333333333333"},
      {"2/3*1e300", "6.66666666666667e+299"},
      {"-(1e-20*3)", "-3e-20"},
      {"999999999999999*1", "999999999999999"},
      {"999999999999999.5*1", "1e+15"},
      {"-1e15*1", "-1e+15"},
  };
  TExcoH& h = ExcoLibraryCompiler();
  TExco exco;
  for (const bool optimise : {true, false})
    for (const bool extended : {true, false}) {
      h.Optimise = optimise;
      h.ExtendedNotation = extended;
      for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + (optimise ? " optimised" : "") + (extended ? " extended" : ""));
        const CompileOutcome out = compileText(c.text);
        ASSERT_NE(out.handle, 0);
        EXPECT_EQ(h.ExprText, c.printed);
        EXPECT_EQ(exco.Calc(reinterpret_cast<void*>(out.handle)), static_cast<long double>(std::strtod(c.printed, nullptr)));
      }
    }
  h.Optimise = true;
  h.ExtendedNotation = true;
}

// The printed value is compiled as a text: a variable or a named constant that the
// digits name is what the routine loads.
TEST_F(PreEvaluation, APrintedValueThatNamesAVariableOrAConstantLoadsIt) {
  double seven = 70;
  ExcoDefineVariable("7", &seven, 28);
  TExcoH& h = ExcoLibraryCompiler();
  h.Constants.push_back(TParamList{"42", 5});
  TExco exco;
  for (const bool optimise : {true, false}) {
    h.Optimise = optimise;
    const CompileOutcome sum = compileText("2*3+1");
    ASSERT_NE(sum.handle, 0);
    EXPECT_EQ(h.ExprText, "7");
    seven = 70;
    EXPECT_EQ(exco.Calc(reinterpret_cast<void*>(sum.handle)), 70.0L);
    seven = 71;
    EXPECT_EQ(exco.Calc(reinterpret_cast<void*>(sum.handle)), 71.0L);
    const CompileOutcome negated = compileText("-(2*3+1)");
    ASSERT_NE(negated.handle, 0);
    EXPECT_EQ(exco.Calc(reinterpret_cast<void*>(negated.handle)), -71.0L);
    const CompileOutcome product = compileText("40+2");
    ASSERT_NE(product.handle, 0);
    EXPECT_EQ(h.ExprText, "42");
    EXPECT_EQ(exco.Calc(reinterpret_cast<void*>(product.handle)), 5.0L);
  }
  h.Optimise = true;
  h.Constants.pop_back();
}

TEST_F(PreEvaluation, AFaultWhileRunningReachesTheCallerOfCalc) {
  double x = 1, y = 0;
  ExcoDefineVariable("x", &x, 28);
  ExcoDefineVariable("y", &y, 28);
  TExco exco;
  void* func = nullptr;
  exco.Compile("x/y", nullptr, func);
  ASSERT_NE(func, nullptr);
  EXPECT_THROW(exco.Calc(func), std::exception);
  int code = -1;
  exco.GetError(code);
  EXPECT_EQ(code, 0);  // a run-time fault is not recorded
  y = 4;
  EXPECT_EQ(exco.Calc(func), 0.25L);
}

}  // namespace
