#include "engine/export_run.h"

#include "engine/export/ado_xml_writer.h"
#include "engine/export/dbase_writer.h"
#include "engine/export/excel_legacy_writer.h"
#include "engine/export/excel_workbook_writer.h"
#include "engine/export/export_support.h"
#include "engine/export/html_writer.h"
#include "engine/export/lotus_writer.h"
#include "engine/export/paradox_writer.h"
#include "engine/export/text_writer.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <functional>
#include <system_error>
#include <thread>

namespace kelvo::engine {
namespace {

using exporting::Cell;
using exporting::ColumnType;

[[noreturn]] void fail(const QString& message) { throw EngineError(message.toStdString()); }

enum class Format {
    Access, Excel3, Excel4, Excel5, Excel8, LotusWk1, LotusWk3, Dbase3, Dbase4, Dbase5, Paradox3, Paradox4, Paradox5, Text, Html
};

struct IsamEntry {
    const char* isam;
    Format format;
    const char* extension;  // for the ISAMs whose IN path is a folder
};

constexpr IsamEntry kIsams[] = {
    {"", Format::Access, nullptr},
    {"Excel 3.0;", Format::Excel3, nullptr},
    {"Excel 4.0;", Format::Excel4, nullptr},
    {"Excel 5.0;", Format::Excel5, nullptr},
    {"Excel 8.0;", Format::Excel8, nullptr},
    {"Lotus WK1;", Format::LotusWk1, ".wk1"},
    {"Lotus WK3;", Format::LotusWk3, nullptr},
    {"dBASE III;", Format::Dbase3, ".dbf"},
    {"dBASE IV;", Format::Dbase4, ".dbf"},
    {"dBASE 5.0;", Format::Dbase5, ".dbf"},
    {"Paradox 3.x;", Format::Paradox3, ".db"},
    {"Paradox 4.x;", Format::Paradox4, ".db"},
    {"Paradox 5.x;", Format::Paradox5, ".db"},
    {"Text;", Format::Text, ".txt"},
    {"HTML Export;", Format::Html, ".htm"},
};

const IsamEntry& isamOf(const ExportStatement& statement)
{
    QString isam = statement.isam.trimmed();
    if (!isam.isEmpty() && !isam.endsWith(u';'))
        isam += u';';
    for (const IsamEntry& entry : kIsams)
        if (isam.compare(QLatin1StringView(entry.isam), Qt::CaseInsensitive) == 0)
            return entry;
    fail(QStringLiteral("Could not find installable ISAM."));
}

std::filesystem::path fsPath(const QString& path) { return std::filesystem::path(QFile::encodeName(path).toStdString()); }

ColumnType columnTypeOf(FieldClass type)
{
    switch (type) {
    case FieldClass::Integer:
    case FieldClass::Counter:
        return ColumnType::Integer;
    case FieldClass::Float:
        return ColumnType::Float;
    case FieldClass::Boolean:
        return ColumnType::Boolean;
    case FieldClass::Date:
        return ColumnType::Date;
    case FieldClass::Memo:
        return ColumnType::LongText;
    case FieldClass::Text:
    case FieldClass::Other:
        break;
    }
    return ColumnType::Text;
}

// Most answers are plain ASCII, which needs no encoder: an export of many runs spends
// much of its time here.
std::string utf8Of(const QString& text)
{
    const QChar* units = text.constData();
    std::string bytes(static_cast<std::size_t>(text.size()), '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char16_t unit = units[i].unicode();
        if (unit >= 0x80)
            return text.toStdString();
        bytes[i] = static_cast<char>(unit);
    }
    return bytes;
}

Cell cellOf(const QVariant& value)
{
    if (value.isNull())
        return std::monostate{};
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
        return static_cast<std::int64_t>(value.toLongLong());
    case QMetaType::Double:
        return value.toDouble();
    case QMetaType::QDateTime:
    case QMetaType::QDate: {
        const QDateTime moment = value.toDateTime();
        const QDate day = moment.date();
        const QTime time = moment.time();
        return exporting::DateTime{day.year(), day.month(), day.day(), time.hour(), time.minute(), time.second()};
    }
    case QMetaType::QString:
        return utf8Of(*static_cast<const QString*>(value.constData()));
    default:
        return value.toString().toStdString();
    }
}

// The kind a cell's value is of; a column whose cells are of another kind than it says
// (SQLite keeps any value in any column) takes the kind that holds them all.
ColumnType kindOfCell(const Cell& cell, ColumnType declared)
{
    if (std::holds_alternative<std::int64_t>(cell))
        return declared == ColumnType::Float ? ColumnType::Float : ColumnType::Integer;
    if (std::holds_alternative<double>(cell))
        return ColumnType::Float;
    if (std::holds_alternative<bool>(cell))
        return ColumnType::Boolean;
    if (std::holds_alternative<exporting::DateTime>(cell))
        return ColumnType::Date;
    return declared == ColumnType::LongText ? ColumnType::LongText : ColumnType::Text;
}

// Settles a column's kind over all its cells, taken in any order: the kind of every
// cell when they agree, Float for a mix of numbers, else text.
class ColumnKindSettler {
public:
    explicit ColumnKindSettler(ColumnType declared) : declared_(declared) {}

    void take(const Cell& cell)
    {
        if (!std::holds_alternative<std::monostate>(cell))
            takeKind(kindOfCell(cell, declared_));
    }

    // What another settler of the same column took, as if this one had taken it.
    void merge(const ColumnKindSettler& other)
    {
        if (other.settled_)
            takeKind(*other.settled_);
    }

    ColumnType settled() const
    {
        if (!settled_)
            return declared_;
        if (*settled_ == ColumnType::Integer && declared_ == ColumnType::Float)
            return ColumnType::Float;
        return *settled_;
    }

private:
    void takeKind(ColumnType kind)
    {
        if (!settled_) {
            settled_ = kind;
        } else if (*settled_ != kind) {
            const bool numbers = (*settled_ == ColumnType::Integer || *settled_ == ColumnType::Float)
                                 && (kind == ColumnType::Integer || kind == ColumnType::Float);
            settled_ = numbers ? ColumnType::Float
                               : (declared_ == ColumnType::LongText ? ColumnType::LongText : ColumnType::Text);
        }
    }

    ColumnType declared_;
    std::optional<ColumnType> settled_;
};

std::vector<ColumnKindSettler> settlersOf(const std::vector<FieldInfo>& columns)
{
    std::vector<ColumnKindSettler> settlers;
    settlers.reserve(columns.size());
    for (const FieldInfo& field : columns)
        settlers.emplace_back(columnTypeOf(field.type));
    return settlers;
}

// Converts rows [first, last) into `rows`, which already has a place for each, and
// settles their kinds in the same walk: a walk down each column afterwards would touch
// every row's cells once per column.
void convertRows(const ResultSet& result, std::size_t first, std::size_t last,
                 std::vector<std::vector<Cell>>& rows, std::vector<ColumnKindSettler>& kinds)
{
    for (std::size_t r = first; r < last; ++r) {
        const std::vector<QVariant>& row = result.rows[r];
        std::vector<Cell>& cells = rows[r];
        cells.reserve(row.size());
        for (const QVariant& value : row)
            cells.push_back(cellOf(value));
        for (std::size_t c = 0; c < std::min(cells.size(), kinds.size()); ++c)
            kinds[c].take(cells[c]);
    }
}

// A large export spends much of its time converting cells; its rows are shared among a
// few threads. Below this many cells a thread costs more than it saves.
constexpr std::size_t kCellsPerThread = 250000;
constexpr std::size_t kMostThreads = 4;

std::size_t conversionThreadsFor(const ResultSet& result)
{
    const std::size_t cells = result.rows.size() * std::max<std::size_t>(result.columns.size(), 1);
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    return std::clamp<std::size_t>(cells / kCellsPerThread, 1, std::min(kMostThreads, cores));
}

QString declaredTypeOf(ColumnType type)
{
    switch (type) {
    case ColumnType::Integer:
        return QStringLiteral("INT");
    case ColumnType::Float:
        return QStringLiteral("FLOAT");
    case ColumnType::Boolean:
        return QStringLiteral("BOOLEAN");
    case ColumnType::Date:
        return QStringLiteral("DATETIME");
    case ColumnType::LongText:
        return QStringLiteral("LONGTEXT COLLATE NOCASE");
    case ColumnType::Text:
        break;
    }
    return QStringLiteral("VARCHAR(255) COLLATE NOCASE");
}

QString quotedName(const QString& name) { return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"'; }

// Removes the copy of an Access target, with its journal, unless it took the target's place.
class AccessCopy {
public:
    explicit AccessCopy(const std::filesystem::path& target)
        : temporary_(target, exporting::TemporaryBeside::Reserve::NameOnly), path_(QFile::decodeName(temporary_.path().c_str()))
    {
    }
    ~AccessCopy()
    {
        if (kept_)
            return;
        QFile::remove(path_);
        QFile::remove(path_ + QStringLiteral("-journal"));
    }
    AccessCopy(const AccessCopy&) = delete;
    AccessCopy& operator=(const AccessCopy&) = delete;
    const std::filesystem::path& fileSystemPath() const { return temporary_.path(); }
    const QString& path() const { return path_; }
    void keep() { kept_ = true; }

private:
    exporting::TemporaryBeside temporary_;
    QString path_;
    bool kept_ = false;
};

// Access: the table is added to an existing test-format file, through the same engine,
// in one transaction. It is written into a copy under a short name beside the file,
// which then takes the file's place: SQLite writes its journal beside the file it
// changes, named as the file with "-journal" added, which the longest names cannot take;
// and a failure or a kill leaves the file as it was.
int exportToAccess(Connection& connection, const ExportStatement& statement, const QString& plainSelect)
{
    const QString target = statement.inPath;
    if (!QFileInfo::exists(target))
        fail(QStringLiteral("Could not find file '%1'.").arg(target));
    const ResultSet probe = connection.select(plainSelect);
    const QString selectText = connection.nativeSql(plainSelect);
    std::error_code error;
    // Through a link, the file it leads to is the one replaced.
    const std::filesystem::path file = std::filesystem::canonical(fsPath(target), error);
    if (error)
        fail(QStringLiteral("The file \"%1\" cannot be opened: %2").arg(target, QString::fromStdString(error.message())));
    AccessCopy copy(file);
    if (!std::filesystem::copy_file(file, copy.fileSystemPath(), error))
        fail(QStringLiteral("Cannot write the file \"%1\": %2").arg(target, QString::fromStdString(error.message())));
    QSqlDatabase database = connection.database();
    QSqlQuery query(database);
    const auto run = [&](const QString& text) {
        if (!query.exec(text))
            fail(QStringLiteral("%1 (exporting to \"%2\")").arg(query.lastError().databaseText(), target));
    };
    query.prepare(QStringLiteral("ATTACH DATABASE ? AS kelvo_export_target"));
    query.addBindValue(copy.path());
    if (!query.exec())
        fail(QStringLiteral("The file \"%1\" cannot be opened as a database: %2").arg(target, query.lastError().databaseText()));
    const auto detach = [&] { QSqlQuery(database).exec(QStringLiteral("DETACH DATABASE kelvo_export_target")); };
    int rows = 0;
    try {
        run(QStringLiteral("SELECT name FROM kelvo_export_target.sqlite_master WHERE type = 'table'"));
        bool testFormat = false;
        while (query.next()) {
            const QString name = query.value(0).toString();
            if (name.compare(statement.tableName, Qt::CaseInsensitive) == 0)
                fail(QStringLiteral("Table '%1' already exists.").arg(statement.tableName));
            testFormat = testFormat || name == QLatin1StringView("kelvo_password");
        }
        if (!testFormat)
            fail(QStringLiteral("The file \"%1\" is not a database of this program.").arg(target));
        QStringList columns;
        for (const FieldInfo& field : probe.columns)
            columns << quotedName(field.name) + u' ' + declaredTypeOf(columnTypeOf(field.type));
        run(QStringLiteral("BEGIN IMMEDIATE"));
        try {
            run(QStringLiteral("CREATE TABLE kelvo_export_target.%1 (%2)").arg(quotedName(statement.tableName), columns.join(u", ")));
            run(QStringLiteral("INSERT INTO kelvo_export_target.%1 %2").arg(quotedName(statement.tableName), selectText));
            rows = query.numRowsAffected();
            run(QStringLiteral("COMMIT"));
        } catch (...) {
            QSqlQuery(database).exec(QStringLiteral("ROLLBACK"));
            throw;
        }
    } catch (...) {
        detach();
        throw;
    }
    detach();
    std::filesystem::rename(copy.fileSystemPath(), file, error);
    if (error)
        fail(QStringLiteral("Cannot write the file \"%1\": %2").arg(target, QString::fromStdString(error.message())));
    copy.keep();
    return rows;
}

void writeFormat(Format format, const exporting::Table& table, const ExportStatement& statement,
                 const std::filesystem::path& target)
{
    using namespace exporting;
    const std::string sheet = statement.tableName.toStdString();
    switch (format) {
    case Format::Excel3:
        return writeLegacyExcelSheet(table, LegacyExcelVersion::Excel3, target);
    case Format::Excel4:
        return writeLegacyExcelSheet(table, LegacyExcelVersion::Excel4, target);
    case Format::Excel5: {
        // Only a new workbook: its sheets are not read back to add one.
        std::error_code missing;
        if (std::filesystem::exists(target, missing))
            throw ExportError("A sheet cannot be added to the existing Excel 5.0 workbook \"" + target.string()
                              + "\"; export into a new file.");
        return writeLegacyExcelSheet(table, LegacyExcelVersion::Excel5, target, sheet);
    }
    case Format::Excel8:
        return addExcelWorkbookSheet({sheet, table}, target);
    case Format::LotusWk1:
        return writeLotusSheet(table, LotusVersion::Wk1, target);
    case Format::LotusWk3:
        return writeLotusSheet(table, LotusVersion::Wk3, target);
    case Format::Dbase3:
        return writeDbaseTable(table, DbaseVersion::III, target);
    case Format::Dbase4:
        return writeDbaseTable(table, DbaseVersion::IV, target);
    case Format::Dbase5:
        return writeDbaseTable(table, DbaseVersion::V, target);
    case Format::Paradox3:
        return writeParadoxTable(table, ParadoxVersion::V3, target);
    case Format::Paradox4:
        return writeParadoxTable(table, ParadoxVersion::V4, target);
    case Format::Paradox5:
        return writeParadoxTable(table, ParadoxVersion::V5, target);
    case Format::Text: {
        TextLayout layout;
        layout.columnDelimiter = ",";
        layout.multipleAnswerDelimiter.clear();
        layout.delimiterAfterLastCell = false;
        return writeDelimitedText(table, target, layout);
    }
    case Format::Html:
        return writeHtmlTable(table, sheet, target);
    case Format::Access:
        break;
    }
}

}  // namespace

void refuseOpenTestFile(const Connection& connection, const QString& target)
{
    std::error_code error;
    if (!connection.filePath().isEmpty()
        && std::filesystem::equivalent(fsPath(target), fsPath(connection.filePath()), error) && !error)
        fail(QStringLiteral("The open test file \"%1\" cannot be the target of an export.").arg(target));
}

exporting::Table exportTableOf(const ResultSet& result)
{
    exporting::Table table;
    table.rows.resize(result.rows.size());
    const std::size_t threads = conversionThreadsFor(result);
    std::vector<std::vector<ColumnKindSettler>> kinds(threads, settlersOf(result.columns));
    std::vector<std::exception_ptr> failures(threads);
    const auto convertPart = [&](std::size_t part) {
        try {
            convertRows(result, result.rows.size() * part / threads, result.rows.size() * (part + 1) / threads,
                        table.rows, kinds[part]);
        } catch (...) {
            failures[part] = std::current_exception();
        }
    };
    {
        std::vector<std::jthread> helpers;
        for (std::size_t part = 1; part < threads; ++part) {
            try {
                helpers.emplace_back(convertPart, part);
            } catch (const std::system_error&) {
                convertPart(part);  // no thread to be had: this one does the part
            }
        }
        convertPart(0);
    }
    for (const std::exception_ptr& failure : failures)
        if (failure)
            std::rethrow_exception(failure);
    for (std::size_t part = 1; part < threads; ++part)
        for (std::size_t c = 0; c < kinds[0].size(); ++c)
            kinds[0][c].merge(kinds[part][c]);
    for (std::size_t c = 0; c < result.columns.size(); ++c)
        table.columns.push_back({result.columns[c].name.toStdString(), kinds[0][c].settled()});
    return table;
}

QString exportTargetFile(const ExportStatement& statement)
{
    const IsamEntry& entry = isamOf(statement);
    if (!entry.extension)
        return statement.inPath;
    QString folder = statement.inPath;
    if (!folder.isEmpty() && !folder.endsWith(u'/'))
        folder += u'/';
    QString name = statement.tableName;
    if (QFileInfo(name).suffix().isEmpty())
        name += QLatin1StringView(entry.extension);
    return folder + name;
}

int runExportStatement(Connection& connection, const ExportStatement& statement)
{
    const IsamEntry& entry = isamOf(statement);
    const QString target = exportTargetFile(statement);
    if (target.trimmed().isEmpty())
        fail(QStringLiteral("The export statement names no file."));
    refuseOpenTestFile(connection, target);
    const QString plainSelect = QStringLiteral("SELECT %1 FROM %2").arg(statement.fields, statement.source);
    if (entry.format == Format::Access)
        return exportToAccess(connection, statement, plainSelect);
    const ResultSet result = connection.select(plainSelect);
    try {
        writeFormat(entry.format, exportTableOf(result), statement, fsPath(target));
    } catch (const exporting::ExportError& e) {
        throw EngineError(e.what());
    }
    return result.rowCount();
}

int saveSelectAsRecordsetXml(const Connection& connection, const QString& sql, const QString& fileName)
{
    refuseOpenTestFile(connection, fileName);
    const ResultSet result = connection.select(sql);
    try {
        exporting::writeRecordsetXml(exportTableOf(result), fsPath(fileName));
    } catch (const exporting::ExportError& e) {
        throw EngineError(e.what());
    }
    return result.rowCount();
}

}  // namespace kelvo::engine
