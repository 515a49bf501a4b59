#include "results/result_statements.h"

namespace kelvo::results {

namespace {

constexpr QStringView kOrderBy = u"order by";
constexpr QStringView kSelectAll = u"select * from";

void insertBeforeLastCharacter(QString& text, QStringView insert)
{
    if (text.isEmpty())
        text = insert.toString();
    else
        text.insert(text.size() - 1, insert);
}

}  // namespace

qsizetype lastIndexOutsideLiterals(QStringView sql, QStringView word)
{
    qsizetype found = -1;
    bool inLiteral = false;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        if (sql[i] == u'\'') {
            // A doubled quote inside a literal closes and reopens it: same state after.
            inLiteral = !inLiteral;
            continue;
        }
        if (!inLiteral && sql.sliced(i).startsWith(word))
            found = i;
    }
    return found;
}

QString withSortSuffix(const QString& entry, QStringView suffix)
{
    QString text = entry;
    qsizetype cut = lastIndexOutsideLiterals(text, u"asc;");
    if (cut < 0)
        cut = lastIndexOutsideLiterals(text, u"desc;");
    if (cut >= 0)
        text.truncate(cut);
    insertBeforeLastCharacter(text, suffix);
    return text;
}

QString orderedByColumn(const QString& entry, const QString& column, QStringView suffix)
{
    QString text = entry;
    const qsizetype cut = lastIndexOutsideLiterals(text, kOrderBy);
    if (cut >= 0)
        text.truncate(cut);
    insertBeforeLastCharacter(text, QStringLiteral(" order by ") + column + u' ' + suffix.toString());
    return text;
}

QString rowsSelected(const QString& entry)
{
    const qsizetype cut = lastIndexOutsideLiterals(entry, kOrderBy);
    return (cut < 0 ? entry : entry.left(cut)).trimmed();
}

std::optional<QString> selectingOnly(const QString& entry, const QString& column)
{
    if (!entry.startsWith(kSelectAll))
        return std::nullopt;
    return QStringLiteral("select ") + column + QStringLiteral(" from") + entry.sliced(kSelectAll.size());
}

}  // namespace kelvo::results
