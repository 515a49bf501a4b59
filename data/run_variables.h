#pragma once
// The variables of one run, computed from its answers and numeric data fields by the
// test's formulas. The test window asks for them through this one function.

#include "data/formula_language.h"
#include "data/variable_computation.h"
#include "model/values.h"

#include <vector>

namespace kelvo {

// One row per variable in ascending id: column 0 the id, column 1 the value, from what
// the run read of the test. Throws when the variables cannot be computed.
RowSet ComputeRunVariables(const AnswerMatrix& answers, const std::vector<double>& dataValues,
                           const LoadedTest& test);

}  // namespace kelvo
