// The typed evaluator's error state, its mapping to external codes and its reporter.
#include "compiler/excod.h"
#include "tests/compiler/exco_test_support.h"

#include <gtest/gtest.h>

namespace {

TEST(TypedEvaluator, ErrorKindsMapToExternalCodes) {
  TExcoD_Custom d;
  int code = -1;
  d.GetError(code);
  EXPECT_EQ(code, 0);
  const std::pair<int, int> kinds[] = {{1, 208}, {2, 209}, {3, 211}, {4, 212}, {5, 213}, {6, 214},
                                       {7, 7},   {8, 8},   {9, 9},   {10, 210}, {11, 11}, {42, 42}};
  for (const auto& [kind, external] : kinds) {
    d.ErrorKind = kind;
    d.GetError(code);
    EXPECT_EQ(code, external) << kind;
  }
  d.ErrorKind = 0;
  const int faults[] = {0, 203, 204, 205, 206, 207, 200, 201, 202, 0};
  for (int subtype = 0; subtype <= 9; ++subtype) {
    d.FaultSubtype = subtype;
    d.GetError(code);
    EXPECT_EQ(code, faults[subtype]) << subtype;
  }
}

TEST(TypedEvaluator, InterfaceFallsBackToItsStateAndClearsIt) {
  TExcoD_Custom& d = ExcoLibraryEvaluator();
  ExcoLibraryCompiler().ItemText.clear();  // nothing of the compiler's own
  d.ErrorKind = 10;
  d.ErrorText = "cos(";
  int code = 0;
  ExcoGetError(code);
  EXPECT_EQ(code, 210);
  std::string text;
  ExcoGetErrorText(text);
  EXPECT_EQ(text, "cos(");
  ExcoSetOption(exco_option::Zero, exco_option::Errors);
  ExcoGetError(code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(d.FaultSubtype, 0);
  ExcoGetErrorText(text);
  EXPECT_EQ(text, "cos(");
  d.ErrorText.clear();
}

struct ReporterLog {
  int beeps = 0;
  int onError = 0;
  std::vector<std::string> boxes;
  void attach(TExcoD& d) {
    d.Beep = [this] { ++beeps; };
    d.MessageBox = [this](const std::string& title, const std::string& text) { boxes.push_back(title + "|" + text); };
    d.OnError = [this] { ++onError; };
  }
};

TEST(TypedEvaluator, SilentModeShowsNothingButCallsOnError) {
  TExcoD_Custom d;
  ReporterLog log;
  log.attach(d);
  d.ErrorKind = 1;
  d.CalculationError = 1;
  d.ShowError();
  EXPECT_EQ(log.beeps, 0);
  EXPECT_TRUE(log.boxes.empty());
  EXPECT_EQ(log.onError, 1);
}

TEST(TypedEvaluator, ModeTwoShowsOnlyCalculationErrors) {
  TExcoD_Custom d;
  ReporterLog log;
  log.attach(d);
  d.MessageMode = 2;
  d.CalculationError = 1;
  d.ShowError();
  ASSERT_EQ(log.boxes.size(), 1u);
  EXPECT_EQ(log.boxes[0], "ExcoD error|\r\n\"Calculation Error\"");
  d.CalculationError = 0;
  d.ErrorKind = 1;
  d.ErrorText = "zz";
  d.ShowError();
  EXPECT_EQ(log.boxes.size(), 1u);
  EXPECT_EQ(log.beeps, 2);
  EXPECT_EQ(log.onError, 2);
}

TEST(TypedEvaluator, ModeOneShowsEveryReport) {
  TExcoD_Custom d;
  ReporterLog log;
  log.attach(d);
  d.MessageMode = 1;
  d.ErrorKind = 9;
  d.Name = "sin";
  d.ErrorText = "a,b";
  d.ShowError();
  d.ErrorKind = 0;
  d.FaultSubtype = 3;
  d.ShowError();
  ASSERT_EQ(log.boxes.size(), 2u);
  EXPECT_EQ(log.boxes[0], "ExcoD error|NOT DEFINED FUNCTION \"sin\" FOR TYPES:\r\n\"a,b\"");
  EXPECT_EQ(log.boxes[1], "ExcoD error|\r\n\"Internal Error\"");
}

TEST(TypedEvaluator, AliasesAreRegistered) {
  const auto& registry = ExcoLibraryEvaluator().Registry;
  ASSERT_TRUE(registry.count("cotan"));
  EXPECT_EQ(registry.at("cotan"), (std::vector<std::string>{"cot"}));
  ExcoAddAlias(fx::Cos, "cosinus");
  EXPECT_EQ(registry.at("cos").back(), "cosinus");
}

}  // namespace
