#include "engine/stored_cells.h"

#include "engine/date_text.h"
#include "engine/jet_dialect.h"
#include "engine/sqlite_call.h"

#include <QDateTime>
#include <QLocale>
#include <QSqlDriver>

#include <sqlite3.h>

#include <limits>
#include <map>

namespace kelvo::engine {

StoredCell readStoredCell(sqlite3_stmt* statement, int column)
{
    StoredCell cell;
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_NULL:
        break;
    case SQLITE_INTEGER:
        cell.kind = StoredCell::Kind::Integer;
        cell.integer = sqlite3_column_int64(statement, column);
        break;
    case SQLITE_FLOAT:
        cell.kind = StoredCell::Kind::Real;
        cell.real = sqlite3_column_double(statement, column);
        break;
    case SQLITE_BLOB:
        cell.kind = StoredCell::Kind::Blob;
        cell.bytes = QByteArrayView(static_cast<const char*>(sqlite3_column_blob(statement, column)),
                                    sqlite3_column_bytes(statement, column));
        break;
    default:
        cell.kind = StoredCell::Kind::Text;
        cell.bytes = QByteArrayView(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)),
                                    sqlite3_column_bytes(statement, column));
        break;
    }
    return cell;
}

QVariant storedValue(const StoredCell& cell, FieldClass type)
{
    switch (cell.kind) {
    case StoredCell::Kind::Null:
        return {};
    case StoredCell::Kind::Integer: {
        const qint64 value = cell.integer;
        switch (type) {
        case FieldClass::Boolean:
            return QVariant(value != 0);
        case FieldClass::Float:
            return QVariant(static_cast<double>(value));
        case FieldClass::Text:
        case FieldClass::Memo:
            return QVariant(QString::number(value));
        case FieldClass::Date:
            return QVariant(dateTimeFromStored(isoDateTimeFromSerial(static_cast<double>(value))));
        default:
            if (value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max())
                return QVariant(static_cast<int>(value));
            return QVariant(value);
        }
    }
    case StoredCell::Kind::Real: {
        const double value = cell.real;
        switch (type) {
        case FieldClass::Boolean:
            return QVariant(value != 0.0);
        case FieldClass::Text:
        case FieldClass::Memo:
            return QVariant(QString::number(value, 'g', QLocale::FloatingPointShortest));
        case FieldClass::Date:
            return QVariant(dateTimeFromStored(isoDateTimeFromSerial(value)));
        default:
            return QVariant(value);
        }
    }
    case StoredCell::Kind::Blob:
        return QVariant(cell.bytes.toByteArray());
    case StoredCell::Kind::Text:
        break;
    }
    const QString value = QString::fromUtf8(cell.bytes);
    if (type == FieldClass::Boolean) {
        const QString lower = value.trimmed().toLower();
        if (lower == u"true" || lower == u"-1" || lower == u"1" || lower == u"yes")
            return QVariant(true);
        if (lower == u"false" || lower == u"0" || lower == u"no")
            return QVariant(false);
    } else if (type == FieldClass::Date) {
        const QDateTime moment = dateTimeFromStored(value);
        if (moment.isValid())
            return QVariant(moment);
    }
    return QVariant(value);
}

std::vector<FieldInfo> describeColumns(sqlite3_stmt* statement,
                                       const std::function<std::vector<FieldInfo>(const QString&)>& fieldsOf)
{
    std::vector<FieldInfo> columns;
    std::map<QString, std::vector<FieldInfo>> tables;
    const int count = sqlite3_column_count(statement);
    for (int c = 0; c < count; ++c) {
        FieldInfo column{QString::fromUtf8(sqlite3_column_name(statement, c)), FieldClass::Other};
        const char* table = sqlite3_column_table_name(statement, c);
        const char* origin = sqlite3_column_origin_name(statement, c);
        if (table && origin) {
            const QString tableName = QString::fromUtf8(table);
            auto it = tables.find(tableName);
            if (it == tables.end())
                it = tables.emplace(tableName, fieldsOf(tableName)).first;
            for (const FieldInfo& f : it->second)
                if (f.name.compare(QString::fromUtf8(origin), Qt::CaseInsensitive) == 0)
                    column.type = f.type;
        } else if (const char* declared = sqlite3_column_decltype(statement, c)) {
            column.type = fieldClassOfDeclaredType(QString::fromUtf8(declared));
        }
        columns.push_back(column);
    }
    return columns;
}

struct RowReader::Statement {
    Statement(sqlite3* db, const QString& sqliteText) : native(db, sqliteText) {}
    NativeStatement native;
};

namespace {

sqlite3* handleOf(const Connection& connection)
{
    const QSqlDatabase database = connection.database();
    const QVariant handle = database.isValid() ? database.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        throw EngineError("The connection is not open.");
    return *static_cast<sqlite3* const*>(handle.constData());
}

}  // namespace

RowReader::RowReader(const Connection& connection, const QString& sqliteText)
    : statement_(std::make_unique<Statement>(handleOf(connection), sqliteText))
{
    columns_ = describeColumns(statement_->native.handle(),
                               [&connection](const QString& table) { return connection.tableFields(table); });
}

RowReader::~RowReader() = default;

bool RowReader::next() { return statement_->native.step(); }

StoredCell RowReader::cell(int column) const { return readStoredCell(statement_->native.handle(), column); }

}  // namespace kelvo::engine
