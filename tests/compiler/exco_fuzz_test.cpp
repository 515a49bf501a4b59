// Random and mutated texts: the compiler never crashes, hangs or leaks, and every
// text either compiles or gives an error code from 200 to 218.
#include "tests/compiler/exco_fuzz.h"
#include "tests/compiler/exco_test_support.h"

#include <gtest/gtest.h>

namespace {

class Fuzz : public ExcoTest {};

TEST_F(Fuzz, RandomAndMutatedTextsCompileOrGiveAnErrorCode) {
  HostVariables vars;
  vars.bind();
  const ExcoFuzzReport report = ExcoFuzz(20260110u, std::chrono::milliseconds(1500), 20000);
  EXPECT_GT(report.texts, 100u);
  EXPECT_TRUE(report.failures.empty()) << report.failures.front();
  EXPECT_GT(report.compiled, 0u);
  EXPECT_GT(report.refused, 0u);
}

}  // namespace
