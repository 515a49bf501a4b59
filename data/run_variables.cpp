#include "data/run_variables.h"

#include "data/variable_computation.h"

namespace kelvo {

RowSet ComputeRunVariables(const AnswerMatrix& answers, const std::vector<double>& dataValues,
                           const LoadedTest& test)
{
    SetAnswerMatrix(answers, test.questionIds);
    // A failing variable keeps its start value; its line is not part of the run's record.
    LogLineList failures;
    const std::vector<VariableValue> values = ComputeVariables(dataValues, test, failures);
    std::vector<std::vector<QVariant>> rows;
    rows.reserve(values.size());
    for (const VariableValue& value : values)
        rows.push_back({value.id, value.value});
    return RowSet(std::move(rows));
}

}  // namespace kelvo
