#include "data/database.h"

#include "data/session.h"
#include "data/table_dataset.h"
#include "model/messages.h"

#include <QRegularExpression>

#include <stdexcept>

namespace kelvo {

namespace {

const QString kSelectError = QStringLiteral(
    "Error code 45. General SQL select command error!\r\n\r\nCheck status of database file!");
const QString kInsertError = QStringLiteral(
    "Error code 54! Save result to database file has failed! Check status of database file.");
const QString kColumnExistsError = QStringLiteral(
    "Error code 73: Field can't be add to Table because this Field already exists in Database "
    "Table!");
const QString kColumnMissingError = QStringLiteral(
    "Error code 74: Field can't be deleted because this Field not exists in Database Table!");

engine::Connection& TestConnection() { return Session::current().con; }

// Whether an unquoted value can stand in a statement as it is: a number or a Boolean
// word. Anything else is quoted, so that text typed for a number field can be refused
// by the database but never changes the statement.
bool IsBareLiteral(const QString& value)
{
    static const QRegularExpression number(
        QStringLiteral(R"(^[-+]?(\d+(\.\d*)?|\.\d+)([eE][-+]?\d+)?$)"));
    if (number.match(value).hasMatch())
        return true;
    return value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0
           || value.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0;
}

// A value as it is written into an INSERT or UPDATE: Null for an empty value or the
// word null; text for text, memo and date fields and for anything that is no number or
// Boolean word; otherwise the number or Boolean that the bare word stands for.
QVariant BoundValue(const QString& trimmedValue, engine::FieldClass type)
{
    if (trimmedValue.isEmpty() || trimmedValue.compare(QLatin1String("null"), Qt::CaseInsensitive) == 0)
        return {};
    if (engine::isQuotedFieldClass(type) || !IsBareLiteral(trimmedValue))
        return trimmedValue;
    if (trimmedValue.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (trimmedValue.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    bool whole = false;
    const qlonglong integer = trimmedValue.toLongLong(&whole);
    if (whole)
        return integer;
    const std::optional<double> number = TextToNumber(trimmedValue);
    return number ? QVariant(*number) : QVariant(trimmedValue);
}

// The same value written into the statement's text.
QString ValueLiteral(const QString& trimmedValue, engine::FieldClass type)
{
    const QVariant value = BoundValue(trimmedValue, type);
    if (value.isNull())
        return QStringLiteral("null");
    return value.typeId() == QMetaType::QString ? SqlQuote(trimmedValue) : trimmedValue;
}

bool SameLengthAndNotEmpty(const QStringList& fieldNames, const QVariantList& values)
{
    return !fieldNames.isEmpty() && !values.isEmpty() && fieldNames.size() == values.size();
}

// The values bound as :v0, :v1, ... in field order, or nothing when a field is not in
// the table.
std::optional<QVariantMap> BoundValues(const TableDataset& dataSet, const QStringList& fieldNames,
                                       const QVariantList& values)
{
    QVariantMap bound;
    for (qsizetype i = 0; i < fieldNames.size(); ++i) {
        const engine::FieldInfo* field = dataSet.findField(fieldNames[i]);
        if (!field)
            return std::nullopt;
        bound.insert(QStringLiteral("v%1").arg(i), BoundValue(CellText(values[i]).trimmed(), field->type));
    }
    return bound;
}

// The field list joined with the values, or nothing when a field is not in the table.
std::optional<QStringList> ValueLiterals(const TableDataset& dataSet, const QStringList& fieldNames,
                                         const QVariantList& values)
{
    QStringList literals;
    for (qsizetype i = 0; i < fieldNames.size(); ++i) {
        const engine::FieldInfo* field = dataSet.findField(fieldNames[i]);
        if (!field)
            return std::nullopt;
        literals << ValueLiteral(CellText(values[i]).trimmed(), field->type);
    }
    return literals;
}

// Opens the editor's table on `table` and tells whether it has `field` (any case).
bool EditorTableHasField(const QString& table, const QString& field)
{
    TableDataset& columnTable = Session::current().columnTable;
    columnTable.open(TestConnection(), table);
    return columnTable.findField(field) != nullptr;
}


}  // namespace

// --- database routines -------------------------------------------------------------------

RowSet SelectToVariant(const QString& sql)
{
    try {
        const engine::ResultSet result = TestConnection().select(sql);
        if (result.rowCount() == 0 || result.columnCount() == 0)
            return {};
        return RowSet(result.rows);
    } catch (const std::logic_error&) {
        throw;
    } catch (const std::exception&) {
        dialogs::error(kSelectError);
        return {};
    }
}

int FirstInteger(const QString& sql)
{
    const RowSet rows = SelectToVariant(sql);
    return rows.isNull() ? 0 : rows.integer(0, 0);
}

bool ExecSQL(const QString& sql)
{
    TestConnection().execute(sql);
    return true;
}

bool InsertRecord(const TableDataset& dataSet, const QStringList& fieldNames,
                  const QVariantList& values)
{
    if (!SameLengthAndNotEmpty(fieldNames, values))
        return false;
    const std::optional<QVariantMap> bound = BoundValues(dataSet, fieldNames, values);
    if (!bound)
        return false;
    // One statement per table and field list, prepared once: recording runs and
    // re-computing variables insert row after row of the same shape.
    QStringList parameters;
    for (qsizetype i = 0; i < fieldNames.size(); ++i)
        parameters << QStringLiteral(":v%1").arg(i);
    const QString sql = QStringLiteral("insert into ") + dataSet.tableName() + QStringLiteral(" (")
                        + fieldNames.join(QLatin1Char(',')) + QStringLiteral(") values (")
                        + parameters.join(QLatin1Char(',')) + QStringLiteral(");");
    try {
        TestConnection().executePrepared(sql, *bound);
        return true;
    } catch (const std::logic_error&) {
        throw;
    } catch (const std::exception&) {
        dialogs::error(kInsertError);
        return false;
    }
}

int UpdateRecord(const TableDataset& dataSet, const QString& keyField, const QString& keyValue,
                 const QStringList& fieldNames, const QVariantList& values, bool allowMany,
                 bool checkExists)
{
    if (!SameLengthAndNotEmpty(fieldNames, values))
        return 0;
    const engine::FieldInfo* key = dataSet.findField(keyField);
    if (!key)
        return 0;
    // A key of a number field that is no number is quoted too: it then matches nothing.
    const QString condition =
        keyField + QLatin1Char('=')
        + (engine::isQuotedFieldClass(key->type) || !IsBareLiteral(keyValue) ? SqlQuote(keyValue)
                                                                           : keyValue);
    int result = 1;
    if (checkExists) {
        const RowSet count = SelectToVariant(QStringLiteral("select count(*) from ") + dataSet.tableName()
                                             + QStringLiteral(" where ") + condition
                                             + QLatin1Char(';'));
        if (count.isNull())
            return 0;
        result = count.integer(0, 0);
        if (!allowMany && result > 1)
            return 0;
    }
    const std::optional<QStringList> literals = ValueLiterals(dataSet, fieldNames, values);
    if (!literals)
        return 0;
    QStringList assignments;
    for (qsizetype i = 0; i < fieldNames.size(); ++i)
        assignments << fieldNames[i] + QLatin1Char('=') + (*literals)[i];
    TestConnection().execute(QStringLiteral("update ") + dataSet.tableName() + QStringLiteral(" set ")
                             + assignments.join(QLatin1Char(',')) + QStringLiteral(" where ")
                             + condition + QLatin1Char(';'));
    return result;
}

bool AddColumn(const QString& table, const QString& field, const QString& fieldType)
{
    if (EditorTableHasField(table, field)) {
        dialogs::error(kColumnExistsError);
        return false;
    }
    QString type = fieldType.toLower();
    if (type == QLatin1String("boolean"))
        type = QStringLiteral("yesno");
    else if (type == QLatin1String("string"))
        type = QStringLiteral("varchar(100)");
    ExecSQL(QStringLiteral("alter table ") + table + QStringLiteral(" add ") + field.toLower()
            + QLatin1Char(' ') + type + QLatin1Char(';'));
    return true;
}

bool DropColumn(const QString& table, const QString& field)
{
    if (!EditorTableHasField(table, field)) {
        dialogs::error(kColumnMissingError);
        return false;
    }
    ExecSQL(QStringLiteral("alter table ") + table + QStringLiteral(" drop ") + field.toLower()
            + QLatin1Char(';'));
    return true;
}

bool TableExists(const QString& name)
{
    // Asked on the open connection: a second one would check the whole file again on
    // opening, at every question asked.
    const engine::Connection& main = TestConnection();
    if (!main.isOpen())
        return false;
    return main.tableNames().contains(name, Qt::CaseInsensitive);
}

bool ChangeDatabasePassword(const QString& oldPassword, const QString& newPassword)
{
    try {
        TestConnection().execute(QStringLiteral("ALTER DATABASE PASSWORD ") + newPassword
                                 + QLatin1Char(' ') + oldPassword + QLatin1Char(';'));
        return true;
    } catch (const std::logic_error&) {
        throw;
    } catch (const std::exception& e) {
        dialogs::error(QStringLiteral("Permission security problem (Error code 114)!.\r\n\r\nCause: ")
                       + QString::fromUtf8(e.what()));
        return false;
    }
}

int FirstFreeNumber(const QString& selectSql, int col)
{
    const RowSet rows = SelectToVariant(selectSql);
    if (rows.isNull())
        return 1;
    if (col < 0 || col >= rows.cols())
        return -1;
    for (int r = 0; r < rows.rows(); ++r)
        if (rows.at(r, col).isNull() || rows.number(r, col) != r + 1)
            return r + 1;
    return rows.rows() + 1;
}

bool ItemsExist()
{
    const RowSet count = SelectToVariant(QStringLiteral("select count(*) from items;"));
    return !count.isNull() && count.integer(0, 0) >= 1;
}

QString UniqueFileName(const QString& extSource, const QString& suffix)
{
    return UniqueFileNameBeside(Session::current().testFile, extSource, suffix);
}

}  // namespace kelvo
