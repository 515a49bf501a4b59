#include "data/formula_cloning.h"

#include "data/database.h"
#include "data/session.h"
#include "engine/connection.h"
#include "model/messages.h"

#include <algorithm>
#include <optional>

namespace kelvo {

namespace {

const QString kIfItem = QStringLiteral("if(item");

std::vector<int> withoutRepeats(const std::vector<int>& ids)
{
    std::vector<int> distinct;
    for (const int id : ids) {
        if (std::find(distinct.begin(), distinct.end(), id) == distinct.end())
            distinct.push_back(id);
    }
    return distinct;
}

// Whether every item condition of the formula names the same question, and that
// question is `child`.
bool scoresOnly(const QString& formula, int child)
{
    const std::vector<int> questions = ExtractReferenceNumbers(formula, kIfItem);
    if (questions.empty())
        return false;
    return std::all_of(questions.begin(), questions.end(), [&](int q) { return q == child; });
}

}  // namespace

FormulaClonePlan PlanFormulaClones(const std::vector<StoredFormula>& formulas, int parentItem,
                                   const std::vector<int>& children,
                                   const std::function<int(int)>& answerCountOf)
{
    const std::vector<int> targets = withoutRepeats(children);
    FormulaClonePlan plan;

    for (const StoredFormula& stored : formulas) {
        for (const int child : targets) {
            if (scoresOnly(stored.formula, child))
                plan.supersededAutoids.push_back(stored.autoid);
        }
    }

    for (const int child : targets) {
        std::vector<QString> childCopies;
        for (const StoredFormula& stored : formulas) {
            const std::vector<ParsedItemCondition> conditions = ParseItemConditions(stored.formula);
            if (conditions.empty() || conditions.front().question != parentItem)
                continue;
            const int firstAnswer = conditions.front().answer;
            if (firstAnswer > 0 && firstAnswer > answerCountOf(child))
                continue;
            QString copy = stored.formula;
            const QString moved = kIfItem + QString::number(child);
            for (const ParsedItemCondition& condition : conditions)
                ReplaceWholeReference(copy, kIfItem + QString::number(condition.question), moved);
            childCopies.push_back(copy);
        }
        std::stable_sort(childCopies.begin(), childCopies.end(), [](const QString& a, const QString& b) {
            return QString::compare(a, b, Qt::CaseInsensitive) < 0;
        });
        for (QString& copy : childCopies)
            plan.copies.push_back({child, std::move(copy)});
    }
    return plan;
}

namespace {

std::optional<int> wholeNumber(const QString& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

int answerCountOf(int item)
{
    return FirstInteger(QStringLiteral("select count(*) from answers where itemid = ") + QString::number(item)
                        + QStringLiteral(";"));
}

QString joinedAutoids(const std::vector<int>& autoids)
{
    QStringList texts;
    for (const int autoid : autoids)
        texts.append(QString::number(autoid));
    return QStringLiteral("(") + texts.join(u',') + QStringLiteral(")");
}

}  // namespace

int CloneFormulasForItems(const QString& parentItem, const QString& varId,
                          const std::vector<int>& children)
{
    // Both come from the clone window's own lists; anything else names no row.
    const std::optional<int> parent = wholeNumber(parentItem);
    const std::optional<int> variable = wholeNumber(varId);
    if (!parent || !variable)
        return 0;
    const QString variableText = QString::number(*variable);

    std::vector<StoredFormula> formulas;
    const RowSet rows = SelectToVariant(QStringLiteral("select autoID, formula from formula where varid= ")
                                        + variableText + QStringLiteral(" order by autoid;"));
    for (int r = 0; r < rows.rows(); ++r)
        formulas.push_back({rows.integer(r, 0), *variable, rows.text(r, 1)});
    if (formulas.empty())
        return 0;

    const FormulaClonePlan plan = PlanFormulaClones(formulas, *parent, children, answerCountOf);

    int count = 0;
    {
        engine::Transaction transaction(Session::current().con);
        for (const FormulaCopy& copy : plan.copies)
            count += Session::current().con.execute(QStringLiteral("insert into formula (varid, formula) values (")
                                        + variableText + QStringLiteral(",")
                                        + SqlQuote(copy.formula) + QStringLiteral(");"));
        transaction.commit();
    }

    if (count > 0 && !plan.supersededAutoids.empty()) {
        const QString number = QString::number(plan.supersededAutoids.size());
        if (dialogs::question(QStringLiteral("Number of records that suggest to delete: ") + number
                                  + QStringLiteral("\r\n\r\nIf you want to delete the old formula?"),
                              MessageKind::Information)) {
            Session::current().con.execute(QStringLiteral("delete from formula where autoid in ")
                               + joinedAutoids(plan.supersededAutoids) + QStringLiteral(";"));
            dialogs::information(QStringLiteral("Records deleted: ") + number);
        }
    }
    return count;
}

}  // namespace kelvo
