// Random texts over the whole grammar, run by the compiler with the optimiser on and
// off, against the generator's own long double interpreter. A fixed seed keeps it
// repeatable; bench/exco_differential_bench runs a million texts.
#include "tests/compiler/exco_expression_generator.h"
#include "tests/compiler/exco_test_support.h"

#include <gtest/gtest.h>

namespace {

class Differential : public ExcoTest {
 protected:
  void SetUp() override {
    ExcoTest::SetUp();
    host.bind();
  }
  excotest::GeneratorHost host;
};

TEST_F(Differential, RandomTextsAgreeWithTheReferenceInterpreter) {
  const excotest::DifferentialReport report = excotest::RunDifferential(20261210u, 4000);
  std::string failures;
  for (const std::string& f : report.failures) failures += f + "\n";
  EXPECT_TRUE(report.failures.empty()) << failures;
  // The seed must exercise values and faults alike, not only texts it skips.
  EXPECT_GT(report.compared, report.texts * 3 / 4);
  EXPECT_GT(report.faults, 10u);
}

}  // namespace
