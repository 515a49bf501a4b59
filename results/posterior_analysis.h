#pragma once
// Computing the variables of stored runs again with the test's current formulas: each
// run's answer matrix is rebuilt from the answer texts stored in datai<k>, its numeric
// data fields are read from dataf, the variables go through the same computation, Null
// and decimal rules as at the end of a run, and the values replace those in datav<k>.

#include "data/variable_computation.h"
#include "model/values.h"

#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <vector>

namespace kelvo {

// What the analysis reads of the test once, before the first run.
struct PosteriorTestModel {
    std::vector<int> questionIds;             // ascending
    std::vector<QStringList> answerCaptions;  // per question, in answer id order
    int maxAnswers = 0;
    RowSet variables;  // id, decnum, start; ascending id
    bool nullUnchanged = false;
    LoadedTest test;
    bool hasDataFields = false;  // both dataf and userf exist
    std::vector<int> fieldIds;   // ascending
    std::vector<int> numericFieldIds;
    QStringList answerTables;  // datai1, datai2, ... as far as they exist
};

// Nothing when the test has no question, no answer, no variable or no formula.
std::optional<PosteriorTestModel> LoadTestModel();

// The stored rows of the runs with ids in one range, read a block at a time so that the
// analysis asks the database a few times per block instead of per run.
class StoredRunBlock {
public:
    StoredRunBlock(const PosteriorTestModel& model, int firstId, int lastId);

    bool exists(int id) const { return runs_.count(id) > 0; }
    // The ids of the stored runs in the range, ascending.
    std::vector<int> runIds() const;
    // The answer cell of question row `q` in the run, Null when none is stored; nothing
    // when no answer table holds the question's column for the run.
    std::optional<QVariant> answerCell(int id, int q) const;
    // The stored dataf row's values in field order; nothing without a row.
    std::optional<std::vector<QVariant>> fieldValues(int id) const;

private:
    struct TableRows {
        std::map<int, std::vector<QVariant>> rows;
        std::vector<int> columnOfQuestion;  // -1 when the table lacks it
    };
    std::map<int, bool> runs_;
    std::vector<TableRows> answerTables_;
    std::map<int, std::vector<QVariant>> fieldRows_;
    bool fieldsRead_ = false;
};

// Stored answer pieces that match no caption of their question.
struct UnmatchedAnswers {
    int count = 0;
    QString text;
};

// The run's answer matrix from its stored texts; false when some question's column is in
// no answer table (its table is missing).
bool LoadRecordAnswers(const PosteriorTestModel& model, const StoredRunBlock& block, int id,
                       AnswerMatrix& matrix, UnmatchedAnswers& unmatched);

// The run's numeric data values as the test run hands them to the computation; false
// when dataf has no row for the run.
bool LoadRecordFields(const PosteriorTestModel& model, const StoredRunBlock& block, int id,
                      std::vector<double>& dataValues);

// The variables of the run: rows of id and value, with the failures written to `log`.
// `routines` keeps the compiled formulas from one run of the analysis to the next.
RowSet EvaluateFormulas(const PosteriorTestModel& model, const AnswerMatrix& matrix,
                        const std::vector<double>& dataValues, LogLineSink& log, FormulaRoutineCache& routines);

// Null for unchanged values when the test asks for it, the decimals, then the run's
// datav<k> rows: each block is updated, and inserted only when the run has no row in it.
// Failures raise.
void StoreVariables(const PosteriorTestModel& model, RowSet values, int id);

}  // namespace kelvo
