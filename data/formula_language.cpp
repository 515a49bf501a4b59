#include "data/formula_language.h"

#include "data/database.h"

#include <vector>

namespace kelvo {

namespace {

std::vector<int> readIds(const QString& sql)
{
    const RowSet rows = SelectToVariant(sql);
    std::vector<int> ids;
    ids.reserve(static_cast<size_t>(rows.rows()));
    for (int r = 0; r < rows.rows(); ++r)
        ids.push_back(rows.integer(r, 0));
    std::sort(ids.begin(), ids.end());
    return ids;
}

std::vector<StoredFormula> readFormulas(const QString& sql, int autoidColumn, int varidColumn,
                                        int formulaColumn)
{
    const RowSet rows = SelectToVariant(sql);
    std::vector<StoredFormula> formulas;
    for (int r = 0; r < rows.rows(); ++r) {
        StoredFormula stored;
        stored.autoid = rows.integer(r, autoidColumn);
        if (varidColumn >= 0)
            stored.varid = rows.integer(r, varidColumn);
        stored.formula = rows.text(r, formulaColumn);
        formulas.push_back(std::move(stored));
    }
    return formulas;
}

}  // namespace

AnswerCounts ReadAnswerCounts()
{
    const RowSet rows = SelectToVariant(QStringLiteral(
        "SELECT itemid, count(itemid) from answers group by itemid order by itemid;"));
    AnswerCounts counts;
    for (int r = 0; r < rows.rows(); ++r)
        counts[rows.integer(r, 0)] = rows.integer(r, 1);
    return counts;
}

FormulaReferenceIds ReadFormulaReferenceIds()
{
    FormulaReferenceIds ids;
    ids.itemIds = readIds(QStringLiteral("select id from items order by 1;"));
    ids.variableIds = readIds(QStringLiteral("select id from variables order by 1;"));
    ids.dataFieldIds = readIds(QStringLiteral("select id from userf order by id;"));
    ids.numericDataFieldIds =
        readIds(QStringLiteral("select id from userf where ftype in ('integer','float');"));
    return ids;
}

QStringList CheckFormulaSyntax(const QString& formula)
{
    return CheckFormulaSyntax(formula, ReadAnswerCounts());
}

bool CheckFormulaReferences(const QString& formula, int ownVariableId, QStringList& messages)
{
    return CheckFormulaReferences(formula, ownVariableId, ReadFormulaReferenceIds(), messages);
}

bool ValidateFormula(QString& formula, int ownVariableId, QStringList& messages)
{
    return ValidateFormula(formula, ownVariableId, ReadFormulaReferenceIds(), ReadAnswerCounts(),
                           messages);
}

std::vector<FormulaMessageRow> CheckAllFormulasSyntax()
{
    return CheckAllFormulasSyntax(
        readFormulas(QStringLiteral("select autoid, formula from formula order by varid, autoid;"),
                     0, -1, 1),
        ReadAnswerCounts());
}

std::vector<FormulaMessageRow> CheckAllFormulaReferences()
{
    return CheckAllFormulaReferences(
        readFormulas(
            QStringLiteral("select varid, formula, autoid from formula order by varid, autoid;"),
            2, 0, 1),
        ReadFormulaReferenceIds());
}

std::vector<StoredFormula> FindFormulasReferencing(int id, const QString& prefix)
{
    std::vector<StoredFormula> found;
    for (StoredFormula& stored : readFormulas(
             QStringLiteral("select autoID, formula from formula order by autoid;"), 0, -1, 1)) {
        QString normal = stored.formula;
        NormalizeFormula(normal);
        const std::vector<int> numbers = ExtractReferenceNumbers(normal, prefix);
        if (std::find(numbers.begin(), numbers.end(), id) != numbers.end())
            found.push_back(std::move(stored));
    }
    return found;
}

void TranslateFormulaForCompile(QString& formula, int ownVariableId)
{
    TranslateFormulaForCompile(formula, ownVariableId, ReadFormulaReferenceIds());
}

}  // namespace kelvo
