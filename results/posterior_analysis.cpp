#include "results/posterior_analysis.h"

#include "data/database.h"
#include "data/session.h"
#include "model/run_recording.h"
#include "model/settings_rows.h"

#include <algorithm>

namespace kelvo {

namespace {

engine::Connection& Con() { return Session::current().con; }

std::vector<int> IdsOf(const QString& sql)
{
    std::vector<int> ids;
    const RowSet rows = SelectToVariant(sql);
    for (int r = 0; r < rows.rows(); ++r)
        ids.push_back(rows.integer(r, 0));
    return ids;
}

QString Between(int firstId, int lastId)
{
    return QStringLiteral(" where id between ") + QString::number(firstId) + QStringLiteral(" and ")
           + QString::number(lastId) + QLatin1Char(';');
}

int ColumnIndex(const std::vector<engine::FieldInfo>& columns, const QString& name)
{
    for (int c = 0; c < static_cast<int>(columns.size()); ++c)
        if (columns[static_cast<size_t>(c)].name.compare(name, Qt::CaseInsensitive) == 0)
            return c;
    return -1;
}

}  // namespace

std::optional<PosteriorTestModel> LoadTestModel()
{
    PosteriorTestModel model;
    const RowSet items = SelectToVariant(QStringLiteral("select id, caption from items order by id;"));
    const RowSet maxAnswers =
        SelectToVariant(QStringLiteral("select count(id) from answers group by itemid order by 1 desc;"));
    model.variables = SelectToVariant(QStringLiteral("select id, decnum, start from variables order by id;"));
    const RowSet formulaCount = SelectToVariant(QStringLiteral("select count(*) from formula;"));
    if (items.isNull() || maxAnswers.isNull() || maxAnswers.integer(0, 0) == 0 || model.variables.isNull()
        || formulaCount.isNull() || formulaCount.integer(0, 0) == 0)
        return std::nullopt;
    model.maxAnswers = maxAnswers.integer(0, 0);
    const RowSet nullRow = SelectToVariant(settingSelectStatement(SettingId::ConvertToNull));
    model.nullUnchanged = !nullRow.isNull() && nullRow.text(0, 0) == QLatin1String("true");

    std::map<int, QStringList> captions;
    const RowSet answers = SelectToVariant(QStringLiteral("select itemid, caption from answers order by itemid, id;"));
    for (int r = 0; r < answers.rows(); ++r)
        captions[answers.integer(r, 0)] << answers.text(r, 1);
    for (int r = 0; r < items.rows(); ++r) {
        model.questionIds.push_back(items.integer(r, 0));
        model.answerCaptions.push_back(captions[items.integer(r, 0)]);
    }

    // The formulas as the end of a run reads them, once for every run.
    LoadedTest& test = model.test;
    test.questionIds = model.questionIds;
    test.ids.itemIds = model.questionIds;
    std::map<int, QStringList> formulas;
    const RowSet formulaRows =
        SelectToVariant(QStringLiteral("select varid, formula from formula order by varid, autoid;"));
    for (int r = 0; r < formulaRows.rows(); ++r)
        formulas[formulaRows.integer(r, 0)] << formulaRows.text(r, 1);
    const RowSet variables = SelectToVariant(QStringLiteral("select id, start, cumul from variables order by id;"));
    for (int r = 0; r < variables.rows(); ++r) {
        const int id = variables.integer(r, 0);
        const QVariant& cumul = variables.at(r, 2);
        test.variables.push_back({id, variables.number(r, 1), cumul.isNull() || cumul.toBool(), formulas[id]});
        test.ids.variableIds.push_back(id);
    }
    model.fieldIds = IdsOf(QStringLiteral("select id from userf order by id;"));
    model.numericFieldIds = IdsOf(QStringLiteral("select id from userf where ftype in ('integer','float') order by id;"));
    test.ids.dataFieldIds = model.fieldIds;
    test.ids.numericDataFieldIds = model.numericFieldIds;
    model.hasDataFields = TableExists(QStringLiteral("dataf")) && TableExists(QStringLiteral("userf"));

    for (int k = 1; TableExists(QStringLiteral("datai") + QString::number(k)); ++k)
        model.answerTables << QStringLiteral("datai") + QString::number(k);
    return model;
}

StoredRunBlock::StoredRunBlock(const PosteriorTestModel& model, int firstId, int lastId)
{
    const engine::ResultSet runs = Con().select(QStringLiteral("select id from datac") + Between(firstId, lastId));
    for (const auto& row : runs.rows)
        runs_[CellInt(row[0])] = true;
    for (const QString& table : model.answerTables) {
        const engine::ResultSet rows = Con().select(QStringLiteral("select * from ") + table + Between(firstId, lastId));
        TableRows read;
        for (const int questionId : model.questionIds)
            read.columnOfQuestion.push_back(ColumnIndex(rows.columns, QStringLiteral("item") + QString::number(questionId)));
        const int idColumn = ColumnIndex(rows.columns, QStringLiteral("id"));
        for (const auto& row : rows.rows)
            read.rows[CellInt(row[static_cast<size_t>(idColumn)])] = row;
        answerTables_.push_back(std::move(read));
    }
    if (!model.hasDataFields)
        return;
    QStringList columns{QStringLiteral("id")};
    for (const int fieldId : model.fieldIds)
        columns << QStringLiteral("data") + QString::number(fieldId);
    const engine::ResultSet fields = Con().select(QStringLiteral("select ") + columns.join(QStringLiteral(", "))
                                                  + QStringLiteral(" from dataf") + Between(firstId, lastId));
    for (const auto& row : fields.rows)
        fieldRows_[CellInt(row[0])] = std::vector<QVariant>(row.begin() + 1, row.end());
    fieldsRead_ = true;
}

std::vector<int> StoredRunBlock::runIds() const
{
    std::vector<int> ids;
    ids.reserve(runs_.size());
    for (const auto& run : runs_)
        ids.push_back(run.first);
    return ids;
}

std::optional<QVariant> StoredRunBlock::answerCell(int id, int q) const
{
    for (const TableRows& table : answerTables_) {
        const int column = table.columnOfQuestion[static_cast<size_t>(q)];
        if (column < 0)
            continue;
        const auto row = table.rows.find(id);
        return row == table.rows.end() ? QVariant() : row->second[static_cast<size_t>(column)];
    }
    return std::nullopt;
}

std::optional<std::vector<QVariant>> StoredRunBlock::fieldValues(int id) const
{
    const auto row = fieldRows_.find(id);
    if (!fieldsRead_ || row == fieldRows_.end())
        return std::nullopt;
    return row->second;
}

bool LoadRecordAnswers(const PosteriorTestModel& model, const StoredRunBlock& block, int id, AnswerMatrix& matrix,
                       UnmatchedAnswers& unmatched)
{
    matrix.assign(model.questionIds.size(), std::vector<int>(static_cast<size_t>(model.maxAnswers), 0));
    for (size_t q = 0; q < model.questionIds.size(); ++q) {
        const std::optional<QVariant> cell = block.answerCell(id, static_cast<int>(q));
        if (!cell)
            return false;
        if (cell->isNull())
            continue;
        const QStringList& captions = model.answerCaptions[q];
        for (const QString& piece : cell->toString().split(QStringLiteral("\r\n"))) {
            const auto slot = std::find(captions.begin(), captions.end(), piece);
            if (slot != captions.end()) {
                const int j = static_cast<int>(slot - captions.begin());
                matrix[q][static_cast<size_t>(j)] = j + 1;
                continue;
            }
            // A typed text, or a caption edited after the run: its slot stays 0.
            ++unmatched.count;
            unmatched.text += QStringLiteral("id= ") + QString::number(id) + QStringLiteral(". item")
                              + QString::number(model.questionIds[q]) + QStringLiteral(" --> ") + piece
                              + QStringLiteral("\r\n");
        }
    }
    return true;
}

bool LoadRecordFields(const PosteriorTestModel& model, const StoredRunBlock& block, int id,
                      std::vector<double>& dataValues)
{
    dataValues.clear();
    const std::optional<std::vector<QVariant>> values = block.fieldValues(id);
    if (!values)
        return false;
    // As at the end of a run: without a numeric field the formulas read no data values.
    if (model.numericFieldIds.empty())
        return true;
    for (size_t f = 0; f < model.fieldIds.size(); ++f) {
        const QVariant& value = (*values)[f];
        const bool numeric = BinarySearchInt(model.numericFieldIds, model.fieldIds[f]) >= 0;
        dataValues.push_back(numeric && !value.isNull() ? CellNumber(value) : 0.0);
    }
    return true;
}

RowSet EvaluateFormulas(const PosteriorTestModel& model, const AnswerMatrix& matrix,
                        const std::vector<double>& dataValues, LogLineSink& log, FormulaRoutineCache& routines)
{
    SetAnswerMatrix(matrix, model.questionIds);
    std::vector<std::vector<QVariant>> rows;
    for (const VariableValue& value : ComputeVariables(dataValues, model.test, log, &routines))
        rows.push_back({value.id, value.value});
    return RowSet(std::move(rows));
}

void StoreVariables(const PosteriorTestModel& model, RowSet values, int id)
{
    if (values.isNull())
        return;
    if (model.nullUnchanged)
        ClearUnchangedVariables(values, model.variables);
    FormatVariableDecimals(values, model.variables);
    NormalizeDecimalSeparator(values);
    std::vector<std::pair<int, QString>> texts;
    for (int r = 0; r < values.rows(); ++r)
        texts.emplace_back(values.integer(r, 0), values.text(r, 1));
    // Only a block whose row is missing gets one: a row that exists is never added twice.
    for (const VariableBlockStatements& block : VariableBlockStatementPairs(id, texts))
        if (Con().execute(block.update) != 1)
            ExecSQL(block.insert);
}

}  // namespace kelvo
