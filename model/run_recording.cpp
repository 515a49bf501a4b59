#include "model/run_recording.h"

#include "model/values.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimeZone>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <map>
#include <vector>

namespace kelvo {

namespace {

bool IsAnswered(const std::vector<QString>& slotTexts)
{
    for (const QString& text : slotTexts)
        if (!text.isEmpty())
            return true;
    return false;
}

// Consecutive entries that fall into the same result-table block, in order.
template <class Entry, class IdOf>
std::vector<std::pair<int, std::vector<Entry>>> ByColumnBlock(const std::vector<Entry>& entries, IdOf idOf)
{
    std::vector<std::pair<int, std::vector<Entry>>> blocks;
    for (const Entry& entry : entries) {
        const int block = ColumnBlock(idOf(entry));
        if (blocks.empty() || blocks.back().first != block)
            blocks.push_back({block, {}});
        blocks.back().second.push_back(entry);
    }
    return blocks;
}

// How an INSERT into a result table opens its column and value lists. The program has
// always written the answers and the data fields as " ( id, " ... ") values ( ", and the
// variables as " (id, " ... ") values (".
struct ListOpeners {
    QLatin1StringView columns;
    QLatin1StringView values;
};
constexpr ListOpeners kSpacedLists {QLatin1StringView(" ( id, "), QLatin1StringView(") values ( ")};
constexpr ListOpeners kTightLists {QLatin1StringView(" (id, "), QLatin1StringView(") values (")};

QString InsertStatement(const QString& table, ListOpeners lists, int recordId, const QStringList& columns,
                        const QStringList& literals)
{
    return QStringLiteral("insert into ") + table + lists.columns + columns.join(QStringLiteral(", ")) + lists.values
           + QString::number(recordId) + QStringLiteral(", ") + literals.join(QStringLiteral(", "))
           + QStringLiteral(");");
}

// Rounds the decimal digits of `value` to 15 significant ones and writes them with
// `decimals` places: digits beyond the fifteenth are zeros, as a 15-digit number has no more.
QString FixedFromSignificantDigits(double value, int decimals)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.14e", std::fabs(value));
    // buffer: d.dddddddddddddde[+-]x
    QString digits;
    digits += QLatin1Char(buffer[0]);
    for (int i = 2; i < 16; ++i)
        digits += QLatin1Char(buffer[i]);
    const int exponent = std::atoi(buffer + 17);
    // The digit at position p has the weight 10^(exponent - p).
    const int lastKept = exponent + decimals;  // position of the last decimal shown
    QString kept;
    if (lastKept < 0) {
        kept = QString();  // every shown place is zero, unless rounding reaches it
        const bool roundsUp = lastKept == -1 && digits[0] >= QLatin1Char('5');
        if (roundsUp)
            kept = QStringLiteral("1");
    } else if (lastKept >= 14) {
        kept = digits + QString(lastKept - 14, QLatin1Char('0'));
    } else {
        kept = digits.left(lastKept + 1);
        if (digits[lastKept + 1] >= QLatin1Char('5')) {
            int i = static_cast<int>(kept.size()) - 1;
            while (i >= 0 && kept[i] == QLatin1Char('9')) {
                kept[i] = QLatin1Char('0');
                --i;
            }
            if (i < 0)
                kept.prepend(QLatin1Char('1'));
            else
                kept[i] = QChar(kept[i].unicode() + 1);
        }
    }
    // `kept` now holds the number times 10^decimals as whole digits.
    if (kept.size() <= decimals)
        kept.prepend(QString(decimals - kept.size() + 1, QLatin1Char('0')));
    QString text = decimals > 0 ? kept.left(kept.size() - decimals) + QLatin1Char('.') + kept.right(decimals) : kept;
    while (text.size() > 1 && text.startsWith(QLatin1Char('0')) && text[1] != QLatin1Char('.'))
        text.remove(0, 1);
    bool allZero = true;
    for (const QChar ch : text)
        if (ch != QLatin1Char('0') && ch != QLatin1Char('.'))
            allZero = false;
    if (value < 0 && !allZero)
        text.prepend(QLatin1Char('-'));
    return text;
}

}  // namespace

int BlankAnswerCount(const AnswerTexts& answers)
{
    int blank = 0;
    for (const auto& slotTexts : answers)
        if (!IsAnswered(slotTexts))
            ++blank;
    return blank;
}

int LastAnsweredItem(const AnswerTexts& answers)
{
    for (int i = static_cast<int>(answers.size()) - 1; i >= 0; --i)
        if (IsAnswered(answers[static_cast<std::size_t>(i)]))
            return i + 1;
    return 0;
}

QStringList ItemAnswerStatements(int recordId, const std::vector<int>& questionIds, const AnswerTexts& answers)
{
    std::vector<std::size_t> rows(questionIds.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = i;
    QStringList statements;
    for (const auto& [block, members] : ByColumnBlock(rows, [&](std::size_t row) { return questionIds[row]; })) {
        QStringList columns;
        QStringList literals;
        for (const std::size_t row : members) {
            columns << QStringLiteral("item") + QString::number(questionIds[row]);
            QStringList chosen;
            if (row < answers.size())
                for (const QString& text : answers[row])
                    if (!text.isEmpty())
                        chosen << text;
            literals << (chosen.isEmpty() ? QStringLiteral("null") : SqlQuote(chosen.join(QStringLiteral("\r\n"))));
        }
        statements << InsertStatement(QStringLiteral("datai") + QString::number(block), kSpacedLists, recordId, columns,
                                      literals);
    }
    return statements;
}

namespace {

// A variable's value as it goes into a statement: "null" for none, the number as it
// stands, anything else quoted (the column refuses it; the statement stays whole).
QString VariableLiteral(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return QStringLiteral("null");
    if (TextToNumber(trimmed))
        return trimmed;
    return SqlQuote(trimmed);
}

}  // namespace

QStringList VariableValueStatements(int recordId, const std::vector<std::pair<int, QString>>& values)
{
    QStringList statements;
    for (const VariableBlockStatements& block : VariableBlockStatementPairs(recordId, values))
        statements << block.insert;
    return statements;
}

std::vector<VariableBlockStatements> VariableBlockStatementPairs(int recordId,
                                                                 const std::vector<std::pair<int, QString>>& values)
{
    std::vector<VariableBlockStatements> statements;
    for (const auto& [block, members] :
         ByColumnBlock(values, [](const std::pair<int, QString>& value) { return value.first; })) {
        QStringList columns;
        QStringList literals;
        QStringList assignments;
        for (const auto& [id, text] : members) {
            const QString column = QStringLiteral("var") + QString::number(id);
            columns << column;
            literals << VariableLiteral(text);
            assignments << column + QStringLiteral(" = ") + literals.back();
        }
        const QString table = QStringLiteral("datav") + QString::number(block);
        statements.push_back({block,
                              QStringLiteral("update ") + table + QStringLiteral(" set ")
                                  + assignments.join(QStringLiteral(", ")) + QStringLiteral(" where id = ")
                                  + QString::number(recordId) + QLatin1Char(';'),
                              InsertStatement(table, kTightLists, recordId, columns, literals)});
    }
    return statements;
}

void ClearUnchangedVariables(RowSet& values, const RowSet& variables)
{
    for (int r = 0; r < values.rows() && r < variables.rows(); ++r) {
        const QVariant& value = values.at(r, 1);
        if (!value.isNull() && CellNumber(value) == variables.number(r, 2))
            values.set(r, 1, QVariant());
    }
}

void FormatVariableDecimals(RowSet& values, const RowSet& variables)
{
    // The rows of each variable id, found by search: a test of a hundred variables
    // would otherwise compare ten thousand cells for every run it stores.
    std::vector<std::pair<int, int>> rowsById;
    rowsById.reserve(static_cast<size_t>(values.rows()));
    for (int r = 0; r < values.rows(); ++r)
        rowsById.emplace_back(values.integer(r, 0), r);
    std::sort(rowsById.begin(), rowsById.end());
    for (int v = 0; v < variables.rows(); ++v) {
        if (variables.at(v, 1).isNull())
            continue;
        const int decimals = variables.integer(v, 1);
        if (decimals < 0 || decimals > 15)
            continue;
        const int id = variables.integer(v, 0);
        const auto first = std::lower_bound(rowsById.begin(), rowsById.end(), std::pair<int, int>{id, INT_MIN});
        for (auto row = first; row != rowsById.end() && row->first == id; ++row) {
            const int r = row->second;
            if (!values.at(r, 1).isNull())
                values.set(r, 1, FixedPointText(CellNumber(values.at(r, 1)), decimals));
        }
    }
}

QString DataFieldStatement(int recordId, const std::vector<std::pair<int, QString>>& literals)
{
    QStringList columns;
    QStringList values;
    for (const auto& [id, literal] : literals) {
        columns << QStringLiteral("data") + QString::number(id);
        values << (literal.trimmed().isEmpty() ? QStringLiteral("null") : literal);
    }
    // "insert into dataf " and then " ( id, ": two blanks before the column list.
    return InsertStatement(QStringLiteral("dataf "), kSpacedLists, recordId, columns, values);
}

QString FixedPointText(double value, int decimals)
{
    if (!std::isfinite(value))
        return NumberToText(value);
    if (std::fabs(value) >= 1e15)
        return NumberToText(value);
    return FixedFromSignificantDigits(value, decimals);
}

QString DurationText(qint64 seconds)
{
    if (seconds < 0)
        seconds = 0;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString StoredDurationText(qint64 seconds)
{
    if (seconds < 0)
        seconds = 0;
    const QDateTime zero(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);
    return zero.addSecs(seconds).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

QString SecondsToHMS(qint64 seconds)
{
    return QStringLiteral("%1:%2:%3").arg(seconds / 3600).arg(seconds / 60 % 60).arg(seconds % 60);
}

QStringList BackupRecordLines(const BackupRecord& record, int recordsBefore)
{
    QStringList lines;
    if (recordsBefore > 0)
        lines << QString();
    lines << QString::number(recordsBefore + 1) + QStringLiteral("\tKelvo backup record\t")
                 + QLatin1String(kBackupRecordMark);
    lines << QStringLiteral("test_date = ") + record.date;
    lines << QStringLiteral("test_time = ") + record.duration;
    lines << QStringLiteral("blank_answers = ") + QString::number(record.blankAnswers);
    lines << QStringLiteral("go_back = ") + QString::number(record.goBack);
    lines << QStringLiteral("correction_answers = ") + QString::number(record.corrections);
    lines << QStringLiteral("username = ") + record.userName;
    if (record.dataFields && !record.dataFields->empty()) {
        lines << QString();
        for (const auto& [id, value] : *record.dataFields)
            lines << QStringLiteral("data") + QString::number(id) + QLatin1Char('=') + value;
    }
    lines << QString();
    for (std::size_t q = 0; q < record.questionIds.size(); ++q) {
        lines << QStringLiteral("item") + QString::number(record.questionIds[q]);
        if (q < record.answers.size())
            for (const QString& text : record.answers[q])
                if (!text.isEmpty())
                    lines << text;
    }
    if (record.variables) {
        lines << QString();
        for (const auto& [id, value] : *record.variables)
            lines << QStringLiteral("var") + QString::number(id) + QLatin1Char('=') + value;
    }
    lines << QString();
    return lines;
}

QString BackupFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/backup");
}

QString DailyBackupFileName(const QDate& day)
{
    QString name = QLocale().toString(day, QLocale::ShortFormat);
    for (QChar& ch : name)
        if (ch == QLatin1Char('/') || ch == QLatin1Char('\\') || ch == QLatin1Char(':') || ch == QLatin1Char('*')
            || ch == QLatin1Char('?') || ch == QLatin1Char('"') || ch == QLatin1Char('<') || ch == QLatin1Char('>')
            || ch == QLatin1Char('|') || ch.unicode() < 32)
            ch = QLatin1Char('-');
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        name = day.toString(Qt::ISODate);
    return name + QStringLiteral(".txt");
}

namespace {

int CountRecordsIn(const QByteArray& text)
{
    int records = 0;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        if (QByteArrayView(text).sliced(start, end - start).contains(kBackupRecordMark))
            ++records;
        start = end + 1;
    }
    return records;
}

}  // namespace

int CountBackupRecords(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return CountRecordsIn(file.readAll());
}

bool AppendDailyBackupRecord(const QString& folder, const QString& fileName, const BackupRecord& record)
{
    if (!QDir().mkpath(folder))
        return false;
    const QString path = folder + QLatin1Char('/') + fileName;
    QLockFile lock(path + QStringLiteral(".lock"));
    lock.setStaleLockTime(10000);
    if (!lock.tryLock(10000))
        return false;
    QByteArray old;
    {
        QFile existing(path);
        if (existing.exists()) {
            if (!existing.open(QIODevice::ReadOnly))
                return false;
            old = existing.readAll();
        }
    }
    const QStringList lines = BackupRecordLines(record, CountRecordsIn(old));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(old);
    for (const QString& line : lines)
        file.write(line.toUtf8() + '\n');
    return file.commit();
}

}  // namespace kelvo
