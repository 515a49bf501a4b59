#include "store/common.h"

#include "store/dialog_service.h"
#include "store/session.h"
#include "store/table_dataset.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>
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

// A value as it is written into an INSERT or UPDATE: null for an empty value or the
// word null, quoted for text, memo and date fields, bare otherwise.
QString ValueLiteral(const QString& trimmedValue, engine::FieldClass type)
{
    if (trimmedValue.isEmpty() || trimmedValue.compare(QLatin1String("null"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("null");
    if (engine::isQuotedFieldClass(type) || !IsBareLiteral(trimmedValue))
        return SqlQuote(trimmedValue);
    return trimmedValue;
}

bool SameLengthAndNotEmpty(const QStringList& fieldNames, const QVariantList& values)
{
    return !fieldNames.isEmpty() && !values.isEmpty() && fieldNames.size() == values.size();
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

// The C locale, refusing group separators: "2,500" is no number here.
const QLocale& NumberLocale()
{
    static const QLocale locale = [] {
        QLocale c = QLocale::c();
        c.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
        return c;
    }();
    return locale;
}

QString FolderWithSeparator(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash + 1);
}

// The extension with its dot ("" without one), as the name after the last separator
// carries it.
QString ExtensionOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot > slash ? path.mid(dot) : QString();
}

}  // namespace

// --- RowSet -----------------------------------------------------------------------------

RowSet::RowSet(std::vector<std::vector<QVariant>> rows)
{
    if (rows.empty() || rows.front().empty())
        return;
    const std::size_t width = rows.front().size();
    for (const auto& row : rows)
        if (row.size() != width)
            throw std::invalid_argument("Every row of a row set has the same number of cells.");
    cells_ = std::move(rows);
}

const QVariant& RowSet::at(int row, int col) const
{
    if (row < 0 || col < 0 || row >= rows() || col >= cols())
        throw std::out_of_range("Variant or safe array index out of bounds");
    return cells_[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
}

void RowSet::set(int row, int col, const QVariant& value)
{
    if (row < 0 || col < 0 || row >= rows() || col >= cols())
        throw std::out_of_range("Variant or safe array index out of bounds");
    cells_[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)] = value;
}

QString RowSet::text(int row, int col) const { return CellText(at(row, col)); }
double RowSet::number(int row, int col) const { return CellNumber(at(row, col)); }
int RowSet::integer(int row, int col) const { return CellInt(at(row, col)); }

// --- cells --------------------------------------------------------------------------------

QString CellText(const QVariant& value)
{
    if (value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::Bool: return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QMetaType::Double:
    case QMetaType::Float: return NumberToText(value.toDouble());
    case QMetaType::QDateTime:
        return value.toDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    case QMetaType::QDate: return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    default: return value.toString();
    }
}

double CellNumber(const QVariant& value)
{
    if (value.isNull())
        return 0.0;
    switch (value.typeId()) {
    case QMetaType::Bool: return value.toBool() ? 1.0 : 0.0;
    case QMetaType::QString: {
        const QString text = value.toString();
        if (text.trimmed().isEmpty())
            return 0.0;
        if (const std::optional<double> number = TextToNumber(text))
            return *number;
        throw std::invalid_argument(
            QStringLiteral("'%1' is not a valid number").arg(text).toStdString());
    }
    default: {
        bool ok = false;
        const double number = value.toDouble(&ok);
        if (!ok)
            throw std::invalid_argument(
                QStringLiteral("'%1' is not a valid number").arg(value.toString()).toStdString());
        return number;
    }
    }
}

int CellInt(const QVariant& value)
{
    const double number = std::nearbyint(CellNumber(value));
    if (!(number >= std::numeric_limits<int>::min() && number <= std::numeric_limits<int>::max()))
        throw std::out_of_range("Integer overflow");
    return static_cast<int>(number);
}

// --- numbers --------------------------------------------------------------------------------

QString NumberToText(double value)
{
    if (value == 0.0)
        return QStringLiteral("0");  // no "-0"
    // Exponents as "1E20" and "1E-5", without plus sign or leading zeros.
    static const QRegularExpression exponent(QStringLiteral("e\\+?(-?)0*(\\d)"));
    return NumberLocale().toString(value, 'g', 15).replace(exponent, QStringLiteral("E\\1\\2"));
}

std::optional<double> TextToNumber(const QString& text)
{
    bool ok = false;
    const double number = NumberLocale().toDouble(text.trimmed(), &ok);
    if (!ok)
        return std::nullopt;
    return number;
}

QChar LocaleDecimalSeparator()
{
    const QString point = QLocale().decimalPoint();
    return point.isEmpty() ? QLatin1Char('.') : point.front();
}

std::optional<double> LocaleTextToNumber(const QString& text)
{
    QString written = text.trimmed();
    const QChar separator = LocaleDecimalSeparator();
    if (separator != QLatin1Char('.')) {
        if (written.contains(QLatin1Char('.')))
            return std::nullopt;
        written.replace(separator, QLatin1Char('.'));
    }
    return TextToNumber(written);
}

QString SqlQuote(const QString& text)
{
    QString doubled = text;
    doubled.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + doubled + QLatin1Char('\'');
}

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
    const std::optional<QStringList> literals = ValueLiterals(dataSet, fieldNames, values);
    if (!literals)
        return false;
    const QString sql = QStringLiteral("insert into ") + dataSet.tableName() + QStringLiteral(" (")
                        + fieldNames.join(QLatin1Char(',')) + QStringLiteral(") values (")
                        + literals->join(QLatin1Char(',')) + QStringLiteral(");");
    try {
        TestConnection().execute(sql);
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
    const engine::Connection& main = TestConnection();
    if (!main.isOpen())
        return false;
    engine::Connection second;
    second.setConnectionString(main.connectionString());
    second.open();
    QStringList names = second.tableNames();
    second.close();
    names.sort(Qt::CaseInsensitive);
    return names.contains(name, Qt::CaseInsensitive);
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

// --- utilities ---------------------------------------------------------------------------------

int ColumnBlock(int n) { return (n - 1) / 254 + 1; }

int BinarySearchInt(std::span<const int> values, int value)
{
    std::ptrdiff_t low = 0;
    std::ptrdiff_t high = static_cast<std::ptrdiff_t>(values.size()) - 1;
    while (low <= high) {
        const std::ptrdiff_t mid = low + (high - low) / 2;
        if (values[static_cast<std::size_t>(mid)] == value)
            return static_cast<int>(mid);
        if (values[static_cast<std::size_t>(mid)] < value)
            low = mid + 1;
        else
            high = mid - 1;
    }
    return -1;
}

QString TableNameAfterFrom(const QString& sql)
{
    const qsizetype from = sql.indexOf(QLatin1String("from "));
    if (from < 0)
        return {};
    QString name;
    for (qsizetype i = from + 5; i < sql.size(); ++i) {
        const QChar ch = sql[i];
        if (ch == QLatin1Char('(') || ch == QLatin1Char(')'))
            continue;
        if (ch == QLatin1Char(' ')) {
            if (name.isEmpty())
                continue;
            break;
        }
        name += ch;
    }
    return name;
}

bool IsNumber(const QString& text, bool integerOnly)
{
    const QString s = text.trimmed();
    if (s.isEmpty())
        return false;
    if (s.size() >= 2 && s.startsWith(QLatin1String("00")))
        return false;
    const QChar separator = LocaleDecimalSeparator();
    int separators = 0;
    int minuses = 0;
    for (const QChar ch : s) {
        if (ch == separator)
            ++separators;
        else if (ch == QLatin1Char('-'))
            ++minuses;
        else if (!(ch >= QLatin1Char('0') && ch <= QLatin1Char('9')))
            return false;
    }
    if (separators > 1 || minuses > 1)
        return false;
    if (integerOnly) {
        bool ok = false;
        NumberLocale().toInt(s, &ok);
        return ok;
    }
    return LocaleTextToNumber(s).has_value();
}

void NormalizeDecimalSeparator(RowSet& rows)
{
    const QChar separator = LocaleDecimalSeparator();
    for (int r = 0; r < rows.rows(); ++r)
        for (int c = 0; c < rows.cols(); ++c) {
            const QVariant& cell = rows.at(r, c);
            if (cell.isNull())
                continue;
            QString text = CellText(cell);
            const qsizetype at = text.indexOf(separator);
            if (at >= 0)
                text[at] = QLatin1Char('.');
            rows.set(r, c, text);
        }
}

RowSet SingleCellVariant(const QString& text) { return RowSet({{QVariant(text)}}); }

QString RemoveSpaces(const QString& text)
{
    QString result = text;
    result.remove(QLatin1Char(' '));
    result.remove(QChar(u'\0'));
    return result;
}

QString FileNameWithoutExt(const QString& path)
{
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const QString extension = ExtensionOf(name);
    return name.left(name.size() - extension.size());
}

QString UniqueFileName(const QString& extSource, const QString& suffix)
{
    const QString stem = FolderWithSeparator(Session::current().testFile) + FileNameWithoutExt(Session::current().testFile) + suffix;
    const QString extension = ExtensionOf(extSource);
    QString name = stem + extension;
    for (int number = 2; QFileInfo::exists(name); ++number)
        name = stem + QString::number(number) + extension;
    return name;
}

}  // namespace kelvo
