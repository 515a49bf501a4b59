// Parse trees of typical and tricky formulas, and the error code and item text of
// every syntax error the parser reports.
#include "compiler/exco_number.h"
#include "tests/compiler/exco_test_support.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

struct TreeCase {
  const char* text;
  const char* tree;
};

class ParserTest : public ExcoTest {
 protected:
  void SetUp() override {
    ExcoTest::SetUp();
    vars.bind();
  }
  void TearDown() override {
    ExcoLibraryCompiler().Optimise = true;
    ExcoLibraryCompiler().ExtendedNotation = true;
    ExcoTest::TearDown();
  }
  HostVariables vars;
};

// Extended notation, factorials, powers and their specialisations.
TEST_F(ParserTest, NotationAndPowersBuildTheirTrees) {
  const TreeCase cases[] = {
      {"|x-1|", "abs\n  @@FAVB 1*x-1\n"},
      {"2*|x|", "abs A=2 B=0\n  @@LDSF x\n"},
      {"|x|*|y|", "@@MUL\n  abs\n    @@LDSF x\n  * abs\n    @@LDSF y\n"},
      {"||x||", "abs\n  abs\n    @@LDSF x\n"},
      {"[2.7]", "trunc\n  @@LDSC 2.7\n"},
      {"a[2]", "@@LDSV a[2]\n"},
      {"{2.75}", "frac\n  @@LDSC 2.75\n"},
      {"5!", "fact\n  @@LDSC 5\n"},
      {"5!!", "fact2\n  @@LDSC 5\n"},
      {"(1+2)!", "fact\n  @@LDSC 3\n"},
      {"2^3^2", "sqr\n  @@IPWR3\n    @@LDSC 2\n"},
      {"x^2", "sqr\n  @@LDSF x\n"},
      {"x^-2", "@@sqrn\n  @@LDSF x\n"},
      {"x^0.5", "sqrt\n  @@LDSF x\n"},
      {"x^-1", "@@FPWRDVR\n  @@LDSF x\n"},
      {"x^5", "@@IPWR5\n  @@LDSF x\n"},
      {"x^(-5)", "@@IPWR5N\n  @@LDSF x\n"},
      {"x^16", "@@IPWR16\n  @@LDSF x\n"},
      {"x^20", "@@IPWR\n  @@LDSF x\n  @@LDSC 20\n"},
      {"x^2.5", "@@FPWR\n  @@LDSC 2.5\n  @@LDSF x\n"},
      {"x^i", "@@IPWR\n  @@LDSF x\n  @@LDSI i\n"},
      {"x^y", "@@FPWR\n  @@LDSF y\n  @@LDSF x\n"},
      {"(-1)^i", "@@IPWRSGN\n  @@LDSI i\n"},
      {"2^i", "@@I2PWR\n  @@LDSI i\n"},
      {"root(x,3)", "@@IROOT\n  @@LDSF x\n  @@LDSC 3\n"},
      {"root(x,y)", "@@FROOT\n  @@LDSF y\n  @@LDSF x\n"},
      {"logn(2,x)", "logn\n  @@LDSF x\n  @@LDSC 2\n"},
      {"-x^2", "-sqr\n  @@LDSF x\n"},
      {"x^-2*3", "@@MUL A=3\n  @@sqrn\n    @@LDSF x\n"},
  };
  for (const TreeCase& c : cases) EXPECT_EQ(parseDump(c.text), c.tree) << c.text;
}

// A whole exponent beyond 32 bits goes to the general power routine.
TEST_F(ParserTest, HugeWholeExponentUsesTheRealPower) {
  EXPECT_EQ(parseDump("x^4294967296"), "@@FPWR\n  @@LDSC 4294967296\n  @@LDSF x\n");
  EXPECT_EQ(parseDump("x^-2147483649"), "@@FPWR\n  @@LDSC -2147483649\n  @@LDSF x\n");
  EXPECT_EQ(parseDump("x^2147483647"), "@@IPWR\n  @@LDSF x\n  @@LDSC 2147483647\n");
}

// Signs after an operator, "(" or "," are unary; brackets and signs strip away.
TEST_F(ParserTest, SignsAndBracketsFoldAway) {
  const TreeCase cases[] = {
      {"2*-1", "@@LDSC -2\n"},
      {"5--1", "@@LDSC 6\n"},
      {"2^-3", "@@IPWR3N\n  @@LDSC 2\n"},
      {"((x))", "@@LDSF x\n"},
      {"-(-(x))", "@@LDSF x\n"},
      {"--x", "@@LDSF x\n"},
      {"+x", "@@LDSF x\n"},
      {"x*-y", "@@MUL\n  @@LDSF x\n  * -@@LDSF y\n"},
      {"max(-1,-x)", "@@maxd\n  @@LDSC -1\n  -@@LDSF x\n"},
      {"1e-5*x", "@@FAVB 1e-05*x+0\n"},
      {"2.5E+3-x", "@@FAVB -1*x+2500\n"},
      {"-(x*y)", "@@MUL A=-1\n  @@LDSF x\n  * @@LDSF y\n"},
      {"-(x*y+1)", "@@ADD B=-1\n  - @@MUL\n    @@LDSF x\n    * @@LDSF y\n"},
  };
  for (const TreeCase& c : cases) EXPECT_EQ(parseDump(c.text), c.tree) << c.text;
}

// Linear forms over one or several variables, and what is left to sums and products.
TEST_F(ParserTest, LinearFormsOfOneAndSeveralVariables) {
  const TreeCase cases[] = {
      {"x", "@@LDSF x\n"},
      {"-x", "-@@LDSF x\n"},
      {"2*x+1", "@@FAVB 2*x+1\n"},
      {"1-x", "@@FAVB -1*x+1\n"},
      {"x/4", "@@FAVB 0.25*x+0\n"},
      {"(x+1)", "@@FAVB 1*x+1\n"},
      {"x*0+3", "@@LDSC 3\n"},
      {"x-x", "@@LDSC 0\n"},
      {"i", "@@LDSI i\n"},
      {"2*i+1", "@@IAVB 2*i+1\n"},
      {"0.5*i", "@@AFI 0.5*i\n"},
      {"2*x+3*y+1", "@@AAF 2*x+3*y+1\n"},
      {"x+y", "@@AAF 1*x+1*y\n"},
      {"i-2*j+7", "@@AAI 1*i-2*j+7\n"},
      {"0.5*i+j", "@@AFI 0.5*i+1*j\n"},
      {"x+i", "@@ADD\n  @@LDSF x\n  + @@LDSI i\n"},
      {"x*y+1", "@@ADD B=1\n  @@MUL\n    @@LDSF x\n    * @@LDSF y\n"},
      {"x*y*2/3", "@@MUL A=0.666666666666667\n  @@LDSF x\n  * @@LDSF y\n"},
      {"2/x", "@@MUL A=2\n  / @@LDSF x\n"},
      {"1-x*y", "@@ADD B=1\n  - @@MUL\n    @@LDSF x\n    * @@LDSF y\n"},
  };
  for (const TreeCase& c : cases) EXPECT_EQ(parseDump(c.text), c.tree) << c.text;
}

// Calls with constant factors, list and vector functions, array elements, lda.
TEST_F(ParserTest, CallsListsAndArrays) {
  const TreeCase cases[] = {
      {"2*sin(x)+1", "sin A=2 B=1\n  @@LDSF x\n"},
      {"-sin(x)", "-sin\n  @@LDSF x\n"},
      {"SIN(X)", "sin\n  @@LDSF x\n"},
      {"tg(1)", "tan\n  @@LDSC 1\n"},
      {"sin(x)*cos(x)", "@@MUL\n  sin\n    @@LDSF x\n  * cos\n    @@LDSF x\n"},
      {"sum(a)", "@@sumv a\n"},
      {"max(a)", "@@maxv a\n"},
      {"prod(a)", "@@prodv a\n"},
      {"sum(1,x)", "@@sumd\n  @@LDSC 1\n  @@LDSF x\n"},
      {"norm(x)", "@@normd\n  @@LDSF x\n"},
      {"len(1,2,3)", "@@LDSC 3\n"},
      {"len(a)", "@@lenv a\n"},
      {"a[i]", "@@LDSV a[i]\n"},
      {"a[2*i+1]", "@@LDSV a[2*i+1]\n"},
      {"a[i+j]", "@@LDSV a[1*i+1*j]\n"},
      {"a[x]", "@@LDSV a[#]\n  @@LDSF x\n"},
      {"-a[1]", "-@@LDSV a[1]\n"},
      {"lda(x)", "LDA x\n"},
      {"compile(x)", "COMPILE\n  @@LDSF x\n"},
  };
  for (const TreeCase& c : cases) EXPECT_EQ(parseDump(c.text), c.tree) << c.text;
}

TEST_F(ParserTest, ConditionalHasSixChildrenWithJumpTokens) {
  EXPECT_EQ(parseDump("if(x>1,10,20)"),
            "@@IFNOP\n  @@LDSF x\n  @@LDSC 1\n  @@JMP 3\n  @@LDSC 10\n  @@JMP 1\n  @@LDSC 20\n");
  EXPECT_EQ(parseDump("if(x=>1)"),
            "@@IFNOP\n  @@LDSF x\n  @@LDSC 1\n  @@JMP 6\n  @@FLD 1\n  @@JMP 1\n  @@FLD 0\n");
  // The jump is taken when the condition is false.
  const std::pair<const char*, int> relations[] = {{"=", 7}, {"<>", 2}, {">", 3}, {"<", 4},
                                                    {"<=", 5}, {"=<", 5}, {">=", 6}};
  for (const auto& [relation, jump] : relations) {
    const std::string dump = parseDump(std::string("if(x") + relation + "y,1,2)");
    EXPECT_NE(dump.find("@@JMP " + std::to_string(jump) + "\n"), std::string::npos) << relation << "\n" << dump;
  }
  EXPECT_EQ(parseDump("2*if((x<1),y)+1"),
            "@@IFNOP A=2 B=1\n  @@LDSF x\n  @@LDSC 1\n  @@JMP 4\n  @@LDSF y\n  @@JMP 1\n  @@FLD 0\n");
}

TEST_F(ParserTest, WithoutOptimisationTermsStayNodes) {
  ExcoLibraryCompiler().Optimise = false;
  EXPECT_EQ(parseDump("2*x+1"), "@@ADD\n  @@MUL\n    @@LDSC 2\n    * @@LDSF x\n  + @@LDSC 1\n");
  EXPECT_EQ(parseDump("x^2"), "@@FPWR\n  @@LDSC 2\n  @@LDSF x\n");
  EXPECT_EQ(parseDump("-(x-y)"), "@@ADD\n  - @@LDSF x\n  + @@LDSF y\n");
}

struct ErrorCase {
  const char* text;
  int code;
  const char* item;
};

// Every syntax error through the flat interface: external code and item text.
TEST_F(ParserTest, SyntaxErrorsGiveTheirCodeAndItem) {
  const ErrorCase cases[] = {
      {"sin(1", 210, "sin(1"},
      {"(x+1", 210, "(x+1"},
      {"x+1)", 209, "x+1)"},
      {"sin(", 210, "sin("},
      {"foo(1)", 214, "foo"},
      {"x(1)", 214, "x"},
      {"@@sumd(1)", 214, "@@sumd"},
      {"@@IPWR5(x)", 214, "@@IPWR5"},
      {"zz", 208, "zz"},
      {"#JMP", 208, "#JMP"},
      {"#FLD1+1", 208, "#FLD1"},
      {"x>1", 208, "x>1"},
      {"1,2", 208, "1,2"},
      {"a", 208, "a"},
      {"a+1", 208, "a"},
      {"sin(x)2", 208, "sin(x)2"},
      {"sin(1,2)", 212, "sin(1,2)"},
      {"sin()", 212, "sin()"},
      {"sum()", 212, "sum()"},
      {"max()", 212, "max()"},
      {"lda()", 212, "lda()"},
      {"max(1,,2)", 212, "1,,2"},
      {"logn(1,2,3)", 212, "logn(1,2,3)"},
      {"if(x>1,1,2,3)", 212, "if(x>1,1,2,3)"},
      {"if(x)", 213, "if(x)"},
      {"if(x>1,foo(1),2)", 214, "if(x>1,foo(1),2)"},
      {"if(x>1,1,)", 212, "if(x>1,1,)"},
      {"()", 213, "()"},
      {"2**3", 213, "2**3"},
      {"x*", 213, "x*"},
      {"1+", 213, "1+"},
      {"power(2,)", 218, "power(2,)"},
      {"sin(,)", 218, "sin(,)"},
      {"x^", 218, "x^"},
      {"2+x^", 218, "x^"},
      {"^2", 218, "^2"},
      {"a[1.5]", 217, "1.5"},
      {"lda(1)", 217, "1"},
      {"1/0", 203, "1/0"},
      {"x/0", 203, "x/0"},
      {"0/0", 204, "0/0"},
      {"1e4000*1e4000", 205, "1e4000*1e4000"},
  };
  for (const ErrorCase& c : cases) {
    const CompileOutcome out = compileText(c.text);
    EXPECT_EQ(out.handle, 0) << c.text;
    EXPECT_EQ(out.code, c.code) << c.text;
    EXPECT_EQ(out.item, c.item) << c.text;
  }
}

TEST_F(ParserTest, TextsThatParseLeaveNoError) {
  for (const char* text : {"", "0", "1+2", "2*x+sin(y)^2-a[i]", "if(x<>y,max(x,y,1),min(a))", "5!!+[x]+{y}"}) {
    TExcoH& h = ExcoLibraryCompiler();
    EXPECT_EQ(h.ParseOnly(text), 0) << text;
    EXPECT_NE(h.Root, nullptr) << text;
    EXPECT_TRUE(h.ItemText.empty()) << text;
  }
}

TEST_F(ParserTest, ExtendedNotationOffLeavesBarsAndPowersUnknown) {
  ExcoLibraryCompiler().ExtendedNotation = false;
  EXPECT_EQ(parseDump("x^2"), "error 1: x^2");
  EXPECT_EQ(parseDump("|x|"), "error 1: |x|");
  EXPECT_EQ(parseDump("tg(1)"), "error 7: tg");
  EXPECT_EQ(parseDump("tan(1)"), "tan\n  @@LDSC 1\n");
}

}  // namespace

namespace {

// Numbers of the text are read without the library where the result is exact or one
// rounding; every such reading must equal the library's correctly rounded value.
TEST(NumberReading, AgreesWithTheLibraryConversion) {
  std::vector<std::string> texts = {"0", "7", "007", "5.", ".5", "0.05", "3.14159265358979", "1.50",
                                    "18446744073709551615", "9999999999999999999", "0.1", "0.3",
                                    "123456789012345678.9", "0.000000000000000000000000001",
                                    "0.0000000000000000000000000001", "1e5", "2.5E-3", "1e4000"};
  std::mt19937_64 rng(20261210u);
  for (int i = 0; i < 3000; ++i) {
    const std::string whole = std::to_string(rng() % 1000000);
    std::string fraction = std::to_string(rng());
    fraction.resize(1 + rng() % fraction.size());
    texts.push_back(whole + "." + fraction);
  }
  for (const std::string& text : texts) {
    long double expected = 0;
    const auto library = std::from_chars(text.data(), text.data() + text.size(), expected);
    Extended read = -1;
    const NumberRead result = ExcoReadNumber(text, read);
    if (library.ec == std::errc::result_out_of_range) {
      EXPECT_EQ(result, NumberRead::OutOfRange) << text;
      continue;
    }
    ASSERT_EQ(result, NumberRead::Ok) << text;
    EXPECT_EQ(read, expected) << text;
  }
}

// Values from 10^-4 to 10^15 are printed without the library; every printing must be
// the library's general format with 15 significant digits: where the rounding carries
// into a new digit, on exact ties (to even) and at both ends of that range.
TEST(NumberPrinting, AgreesWithTheLibraryConversion) {
  std::vector<long double> values = {0.0L, -0.0L, 7, -7, 1e14L, 999999999999999.0L, -999999999999999.0L, 1e15L,
                                     -1e15L, 1e15L + 1, 1e15L - 0.5L, 0.5L, -2.5L, 1e300L, 1e-300L,
                                     12345678901234.25L, 12345678901234.75L, 123456789012345.5L, 123456789012344.5L,
                                     9.9999999999999995L, 0.99999999999999995L, 1e-4L, 0.99999999999999e-4L,
                                     2.82842712474619009760L, 1.0L / 3, -2.0L / 3, 1e-5L, 1e-20L,
                                     std::numeric_limits<long double>::infinity(),
                                     std::numeric_limits<long double>::quiet_NaN()};
  std::mt19937_64 rng(20261211u);
  for (int i = 0; i < 3000; ++i) {
    const long double whole = static_cast<long double>(rng() >> (rng() % 64));
    values.push_back(i % 2 ? whole : -whole);
    values.push_back(std::ldexp(whole, static_cast<int>(rng() % 40) - 20));
    values.push_back(std::ldexp(static_cast<long double>(rng() | 1), -static_cast<int>(rng() % 64)));
    values.push_back(std::nextafter(std::pow(10.0L, static_cast<int>(rng() % 20) - 5), i % 2 ? 0.0L : 1e20L));
  }
  for (const long double value : values) {
    char buffer[64];
    const auto library = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    EXPECT_EQ(ExcoFormatNumber(value), std::string(buffer, library.ptr)) << static_cast<double>(value);
  }
}

}  // namespace
