#pragma once
// Computing the variables of one run: the answers of the run become the current answer
// matrix, every formula is rewritten for them, compiled through the expression compiler
// and evaluated, and each variable gets its start value plus its formulas' result.
//
// Calling order: SetAnswerMatrix(the run's answers), then ComputeVariables(the run's
// data values, false, ...). A trial over random answers (validation, the formula
// editor): InitFormulaEngine(), then ComputeVariables({}, true, ...).

#include "data/formula_language.h"
#include "model/log_line_sink.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace kelvo {

class FormulaRoutineCache;

// Keeps the lines written to it, for callers that read the failures themselves
// (validation counts every line as an error).
class LogLineList : public LogLineSink {
public:
    void AddLine(const QString& line) override { lines.append(line); }
    QStringList lines;
};

struct VariableValue {
    int id = 0;
    double value = 0;
};

struct VariableFormula {
    QString prepared;  // the compiler expression for the current answers
    QString stored;    // the text as stored
};

// Makes `matrix` the current answers; its rows belong to the question ids of the open
// test in ascending order, which are read again.
void SetAnswerMatrix(const AnswerMatrix& matrix);
// As above, for the question ids a run read already (ascending).
void SetAnswerMatrix(const AnswerMatrix& matrix, std::vector<int> questionIds);

// What a run read of its test when it started, handed to the computation so that the end
// of the run does not read the test again.
struct LoadedVariable {
    int id = 0;
    double start = 0;
    bool cumulative = true;
    QStringList formulas;  // ascending autoid
};
struct LoadedTest {
    std::vector<int> questionIds;           // ascending
    std::vector<LoadedVariable> variables;  // ascending id
    FormulaReferenceIds ids;
};

// Random trial answers (every slot a whole number from 0 to the largest answer count - 1),
// `vars` resized and `data` all zeros, both bound to the compiler. Without a seed the
// draws are seeded from std::random_device.
void InitFormulaEngine(std::optional<unsigned> seed = std::nullopt);

// Computes every variable of the open test, ascending id. `dataValues` are the run's
// numeric data fields (ascending id); with none and `keepData` the present `data` array
// is bound again. Nothing when the test has no variable.
std::vector<VariableValue> ComputeVariables(const std::vector<double>& dataValues, bool keepData,
                                            LogLineSink& log);
// As above for a run (no `keepData`), from what the run read of the test. With a cache
// (many runs of one test) the compiled formulas are kept in it from run to run.
std::vector<VariableValue> ComputeVariables(const std::vector<double>& dataValues, const LoadedTest& test,
                                            LogLineSink& log, FormulaRoutineCache* cache = nullptr);

// Runs the formulas of variable `id` (at position `index`): true with their result in
// `accumulated`; false when one failed, with `formulaText` naming it and the compiler's
// error state left for CompilerErrorText.
bool ComputeVariable(int id, int index, double& accumulated, QString& formulaText);

// The formulas of variable `id` in ascending autoid, prepared for the current answers.
std::vector<VariableFormula> LoadVariableFormulas(int id);

// "Exco exception.", a tab, the name of the compiler's last error and its offending item
// in double quotes; then clears the compiler's error state.
QString CompilerErrorText();
// The same for the formula `written` as the author wrote it: what the compiler names is
// given as written.
QString CompilerErrorText(const std::optional<QString>& written);

// The variable values of the last computation, ascending variable id.
std::vector<double> CurrentVariableValues();

}  // namespace kelvo
