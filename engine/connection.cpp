#include "engine/connection.h"

#include "engine/connection_string.h"
#include "engine/database_password.h"
#include "engine/date_text.h"
#include "engine/export_run.h"
#include "engine/export_statement.h"
#include "engine/jet_dialect.h"
#include "engine/sqlite_call.h"
#include "engine/sqlite_extensions.h"
#include "engine/stored_cells.h"

#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QSqlDriver>
#include <QSqlError>
#include <QUrl>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <limits>
#include <map>

namespace kelvo::engine {
namespace {

// How long a statement waits for another connection's write to finish.
constexpr int kBusyTimeoutMs = 10000;
// How long opening waits for a lock before it counts the file as held elsewhere.
constexpr int kConnectTimeoutMs = 1500;

[[noreturn]] void fail(const QString& message) { throw EngineError(message.toStdString()); }

QString nextQtConnectionName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("kelvo-engine-%1").arg(++counter);
}

bool isWriteProtected(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    // The write bits count even for a user (root) whom the system would let write.
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0
        || ::access(QFile::encodeName(path).constData(), W_OK) != 0;
}

QVariant cellValue(sqlite3_stmt* stmt, int column, FieldClass type)
{
    return storedValue(readStoredCell(stmt, column), type);
}

FieldClass classOfStoredValue(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
        return FieldClass::Integer;
    case QMetaType::Double:
        return FieldClass::Float;
    case QMetaType::QString:
        return FieldClass::Text;
    default:
        return FieldClass::Other;
    }
}

}  // namespace

struct Connection::State {
    QString connectionString;
    ConnectionSettings settings;  // of the open connection
    QString qtName;               // empty while closed
    sqlite3* db = nullptr;
    int transactionDepth = 0;
    bool journalModeSet = false;

    sqlite3* handle() const
    {
        if (!db)
            fail(QStringLiteral("The connection is not open."));
        return db;
    }

    // Every statement looks up the fields of the tables it names, so the fields are kept
    // until the schema changes; the schema cookie in the file's header tells, whichever
    // connection changed it.
    mutable sqlite3_stmt* schemaVersionQuery = nullptr;
    mutable int cachedSchemaVersion = -1;
    mutable std::map<QString, std::vector<FieldInfo>> cachedFields;

    int schemaVersion() const
    {
        if (!schemaVersionQuery
            && sqlite3_prepare_v2(handle(), "PRAGMA schema_version", -1, &schemaVersionQuery, nullptr) != SQLITE_OK)
            return -1;
        int version = -1;
        if (sqlite3_step(schemaVersionQuery) == SQLITE_ROW)
            version = sqlite3_column_int(schemaVersionQuery, 0);
        sqlite3_reset(schemaVersionQuery);
        return version;
    }

    // The statements that executePrepared keeps, by their text, for one schema version.
    std::map<QString, std::unique_ptr<NativeStatement>> prepared;
    int preparedSchemaVersion = -1;

    void forgetSchema()
    {
        prepared.clear();
        sqlite3_finalize(schemaVersionQuery);
        schemaVersionQuery = nullptr;
        cachedSchemaVersion = -1;
        cachedFields.clear();
    }

    std::vector<FieldInfo> fieldsOf(const QString& table) const
    {
        const int version = schemaVersion();
        if (version < 0)
            return readFieldsOf(table);
        if (version != cachedSchemaVersion) {
            cachedFields.clear();
            cachedSchemaVersion = version;
        }
        const QString key = table.toCaseFolded();
        auto found = cachedFields.find(key);
        if (found == cachedFields.end())
            found = cachedFields.emplace(key, readFieldsOf(table)).first;
        return found->second;
    }

    std::vector<FieldInfo> readFieldsOf(const QString& table) const
    {
        std::vector<FieldInfo> fields;
        NativeStatement info(handle(), QStringLiteral("SELECT name, type, pk FROM pragma_table_info(?1)"));
        info.bindText(1, table);
        bool autoincrement = false;
        {
            NativeStatement schema(handle(),
                                   QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ?1"));
            schema.bindText(1, table);
            if (schema.step())
                autoincrement = schema.columnText(0).contains(QLatin1StringView("AUTOINCREMENT"), Qt::CaseInsensitive);
        }
        while (info.step()) {
            FieldInfo field{info.columnText(0), fieldClassOfDeclaredType(info.columnText(1))};
            if (autoincrement && info.columnText(2) == u"1"
                && info.columnText(1).compare(QLatin1StringView("INTEGER"), Qt::CaseInsensitive) == 0)
                field.type = FieldClass::Counter;
            fields.push_back(field);
        }
        return fields;
    }

    TranslatedStatement translate(const QString& jetText) const
    {
        return translateStatement(jetText, [this](const QString& table) { return fieldsOf(table); });
    }

    void bindParameters(NativeStatement& st, const QVariantMap& parameters) const
    {
        const int count = sqlite3_bind_parameter_count(st.handle());
        for (int index = 1; index <= count; ++index) {
            const char* rawName = sqlite3_bind_parameter_name(st.handle(), index);
            if (!rawName)
                fail(QStringLiteral("Positional parameters (?) are not supported; name them (:name)."));
            const QString name = QString::fromUtf8(rawName);
            const QString bare = name.mid(1);
            auto found = parameters.constFind(bare);
            if (found == parameters.constEnd())
                found = parameters.constFind(name);
            if (found == parameters.constEnd()) {
                for (auto it = parameters.constBegin(); it != parameters.constEnd(); ++it) {
                    QString key = it.key();
                    if (key.startsWith(u':') || key.startsWith(u'@'))
                        key = key.mid(1);
                    if (key.compare(bare, Qt::CaseInsensitive) == 0) {
                        found = it;
                        break;
                    }
                }
            }
            if (found == parameters.constEnd())
                fail(QStringLiteral("No value given for the parameter %1.").arg(name));
            st.bindValue(index, found.value());
        }
    }

    // A statement that SQLite cannot compile names the statement as the caller wrote it.
    NativeStatement prepare(const TranslatedStatement& statement, const QString& jetText) const
    {
        try {
            return NativeStatement(handle(), statement.sqliteText);
        } catch (const EngineError& e) {
            failInStatement(e, jetText);
        }
    }
    std::unique_ptr<NativeStatement> prepareKept(const TranslatedStatement& statement, const QString& jetText) const
    {
        try {
            return std::make_unique<NativeStatement>(handle(), statement.sqliteText);
        } catch (const EngineError& e) {
            failInStatement(e, jetText);
        }
    }
    [[noreturn]] static void failInStatement(const EngineError& e, const QString& jetText)
    {
        fail(QStringLiteral("%1 (in the statement: %2)").arg(e.message(), jetText.trimmed()));
    }

    void openChecked();
    void prepareForWriting();
    void changePassword(const TranslatedStatement& statement);
    void disconnect();
};

void Connection::State::disconnect()
{
    forgetSchema();
    db = nullptr;
    transactionDepth = 0;
    journalModeSet = false;
    if (qtName.isEmpty())
        return;
    {
        QSqlDatabase qt = QSqlDatabase::database(qtName, false);
        qt.close();
    }
    QSqlDatabase::removeDatabase(qtName);
    qtName.clear();
}

void Connection::State::openChecked()
{
    const QString path = settings.dataSource;
    if (path.trimmed().isEmpty())
        fail(QStringLiteral("No database file is named in the connection string."));
    const QFileInfo file(path);
    if (!file.exists())
        fail(QStringLiteral("The file \"%1\" does not exist.").arg(path));
    if (file.isDir())
        fail(QStringLiteral("\"%1\" is a folder, not a database file.").arg(path));
    if (!file.isReadable())
        fail(QStringLiteral("The file \"%1\" cannot be read (permission denied).").arg(path));
    if (file.size() == 0)
        fail(QStringLiteral("The file \"%1\" is empty; it is not a database file.").arg(path));
    if (isWriteProtected(path))
        fail(QStringLiteral("The file \"%1\" is read-only. Tests are written to while they are used: make the "
                            "file writable (or copy it to a writable folder) and open it again.")
                 .arg(path));
    if (isWriteProtected(file.absolutePath()))
        fail(QStringLiteral("The folder of \"%1\" is read-only. Tests are written to while they are used: move "
                            "the file to a writable folder and open it again.")
                 .arg(path));

    qtName = nextQtConnectionName();
    {
        QSqlDatabase qt = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), qtName);
        // mode=rw: SQLite never creates a missing file.
        qt.setDatabaseName(QString::fromUtf8(QUrl::fromLocalFile(file.absoluteFilePath()).toEncoded())
                           + QStringLiteral("?mode=rw"));
        qt.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(kConnectTimeoutMs));
        if (!qt.open())
            fail(QStringLiteral("The file \"%1\" could not be opened: %2").arg(path, qt.lastError().text()));
        const QVariant handle = qt.driver()->handle();
        if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
            fail(QStringLiteral("The SQLite driver gave no connection handle."));
        db = *static_cast<sqlite3* const*>(handle.constData());
    }
    sqlite3_extended_result_codes(db, 1);
    if (installExtensions(db) != SQLITE_OK)
        fail(describeFailure(db, sqlite3_extended_errcode(db)));

    // The first read shows whether this is a database at all and whether another
    // connection holds it exclusively.
    try {
        runNative(db, QStringLiteral("SELECT count(*) FROM sqlite_master"));
    } catch (const EngineError&) {
        const int rc = sqlite3_extended_errcode(db) & 0xff;
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
            fail(QStringLiteral("Could not use \"%1\": the file is already in use (another user or program "
                                "holds it exclusively, or is writing a large change); try again later.")
                     .arg(path));
        if (rc == SQLITE_NOTADB)
            fail(QStringLiteral("The file \"%1\" is not a database file.").arg(path));
        fail(QStringLiteral("The database file \"%1\" is damaged and cannot be opened.").arg(path));
    }
    if (!settings.password.isEmpty() && databasePasswordMissing(db))
        fail(QStringLiteral("The database password of \"%1\" is missing: the file is not a valid test file, or its "
                            "password was removed.")
                 .arg(path));
    if (!databasePasswordMatches(db, settings.password))
        fail(QStringLiteral("Not a valid password: the database password of \"%1\" does not match.").arg(path));

    // A truncated or otherwise damaged file is refused before anything writes to it. The
    // check reads the whole file (some 80 ms for 50 MB), so it runs once, here, for the
    // connection the program then works on; nothing opens a second connection to ask
    // the open file a question.
    {
        NativeStatement pages(db, QStringLiteral("SELECT page_count * page_size FROM pragma_page_count, "
                                                 "pragma_page_size"));
        const bool whole = pages.step() && sqlite3_column_int64(pages.handle(), 0) <= QFileInfo(path).size();
        bool sound = whole;
        if (sound) {
            try {
                NativeStatement check(db, QStringLiteral("PRAGMA quick_check(1)"));
                sound = check.step() && check.columnText(0) == u"ok";
            } catch (const EngineError&) {
                sound = false;
            }
        }
        if (!sound)
            fail(QStringLiteral("The database file \"%1\" is damaged (truncated or corrupted) and cannot be "
                                "opened.")
                     .arg(path));
    }

    runNative(db, QStringLiteral("PRAGMA foreign_keys = ON"));
    if (settings.exclusive) {
        // Held until the connection closes: other connections cannot even read.
        runNative(db, QStringLiteral("PRAGMA locking_mode = EXCLUSIVE"));
        try {
            runNative(db, QStringLiteral("BEGIN EXCLUSIVE"));
            runNative(db, QStringLiteral("COMMIT"));
        } catch (const EngineError&) {
            fail(QStringLiteral("Could not open \"%1\" exclusively: the file is in use by another user or program.")
                     .arg(path));
        }
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
}

// The journal mode is part of the file: it is set before the first write, never at
// opening, so that a file its caller refuses after looking at it stays as it was.
void Connection::State::prepareForWriting()
{
    if (journalModeSet)
        return;
    // DELETE keeps the file whole by itself, so that a copy of it is the whole test.
    runNative(handle(), QStringLiteral("PRAGMA journal_mode = DELETE"));
    journalModeSet = true;
}

void Connection::State::changePassword(const TranslatedStatement& statement)
{
    if (!settings.exclusive)
        fail(QStringLiteral("Cannot change the password of a database that is open for shared use; open it "
                            "exclusively first."));
    const bool protectedNow = hasDatabasePassword(handle());
    const bool oldMatches = statement.oldPassword ? (protectedNow && databasePasswordMatches(handle(), *statement.oldPassword))
                                                  : !protectedNow;
    if (!oldMatches)
        fail(QStringLiteral("Not a valid password: the old password given does not match the database password."));
    writeDatabasePassword(handle(), statement.newPassword);
}

Connection::Connection() : state_(std::make_unique<State>()) {}

Connection::~Connection()
{
    try {
        close();
    } catch (...) {  // a destructor must not throw; closing cannot be reported here
    }
}

void Connection::setConnectionString(const QString& text) { state_->connectionString = text; }

QString Connection::connectionString() const { return state_->connectionString; }

void Connection::open()
{
    close();
    state_->settings = parseConnectionString(state_->connectionString);
    try {
        state_->openChecked();
    } catch (...) {
        state_->disconnect();
        throw;
    }
}

void Connection::close()
{
    if (state_->db && state_->transactionDepth > 0)
        sqlite3_exec(state_->db, "ROLLBACK", nullptr, nullptr, nullptr);
    state_->disconnect();
}

bool Connection::isOpen() const { return state_->db != nullptr; }

QString Connection::filePath() const
{
    return isOpen() ? state_->settings.dataSource : parseConnectionString(state_->connectionString).dataSource;
}

ResultSet Connection::select(const QString& sql, const QVariantMap& parameters) const
{
    const TranslatedStatement statement = state_->translate(sql);
    if (statement.kind != TranslatedStatement::Kind::Query)
        fail(QStringLiteral("Only a SELECT statement returns rows: %1").arg(sql));
    NativeStatement st = state_->prepare(statement, sql);
    state_->bindParameters(st, parameters);

    ResultSet result;
    result.columns = describeColumns(st.handle(), [this](const QString& table) { return state_->fieldsOf(table); });
    const int count = st.columnCount();
    // Stored texts repeat from row to row: the captions of chosen answers, the days of
    // many runs. Each distinct text is read once and its value shared by the cells
    // (one allocation instead of one per cell; a date also skips its time-zone look-up).
    constexpr qsizetype kMostSharedTexts = 8192;
    QHash<QByteArray, QVariant> textsRead;
    QHash<QByteArray, QVariant> datesRead;  // a date that does not parse stays text
    const auto shareable = [&](int c) {
        const FieldClass type = result.columns[c].type;
        return (type == FieldClass::Date || type == FieldClass::Text || type == FieldClass::Memo)
               && sqlite3_column_type(st.handle(), c) == SQLITE_TEXT;
    };
    while (st.step()) {
        std::vector<QVariant> row;
        row.reserve(count);
        for (int c = 0; c < count; ++c) {
            if (!shareable(c)) {
                row.push_back(cellValue(st.handle(), c, result.columns[c].type));
                continue;
            }
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st.handle(), c));
            const int bytes = sqlite3_column_bytes(st.handle(), c);
            QHash<QByteArray, QVariant>& read = result.columns[c].type == FieldClass::Date ? datesRead : textsRead;
            const QByteArray stored = QByteArray::fromRawData(text, bytes);
            auto known = read.constFind(stored);
            if (known != read.constEnd()) {
                row.push_back(*known);
                continue;
            }
            QVariant value = cellValue(st.handle(), c, result.columns[c].type);
            if (read.size() < kMostSharedTexts)
                read.insert(QByteArray(text, bytes), value);
            row.push_back(std::move(value));
        }
        result.rows.push_back(std::move(row));
    }
    // Computed columns (count(*), max(id)) take the class of what they hold.
    for (int c = 0; c < count; ++c) {
        if (result.columns[c].type != FieldClass::Other)
            continue;
        for (const auto& row : result.rows) {
            if (!row[c].isNull()) {
                result.columns[c].type = classOfStoredValue(row[c]);
                break;
            }
        }
    }
    return result;
}

int Connection::execute(const QString& sql, const QVariantMap& parameters)
{
    // An export form reads this file and writes another.
    if (const std::optional<ExportStatement> exportForm = recognizeExportStatement(sql))
        return runExportStatement(*this, *exportForm);
    state_->prepareForWriting();
    const TranslatedStatement statement = state_->translate(sql);
    if (statement.kind == TranslatedStatement::Kind::DatabasePassword) {
        state_->changePassword(statement);
        return 0;
    }
    NativeStatement st = state_->prepare(statement, sql);
    state_->bindParameters(st, parameters);
    while (st.step()) {
    }
    if (statement.kind != TranslatedStatement::Kind::Change || sqlite3_stmt_readonly(st.handle()))
        return 0;
    return sqlite3_changes(state_->db);
}

int Connection::executePrepared(const QString& sql, const QVariantMap& parameters)
{
    State& state = *state_;
    const int version = state.schemaVersion();
    if (version < 0 || version != state.preparedSchemaVersion) {
        // A changed column can change the translation (Boolean and date values).
        state.prepared.clear();
        state.preparedSchemaVersion = version;
    }
    auto kept = state.prepared.find(sql);
    if (kept == state.prepared.end()) {
        const TranslatedStatement statement = state.translate(sql);
        if (statement.kind != TranslatedStatement::Kind::Change)
            return execute(sql, parameters);
        kept = state.prepared.emplace(sql, state.prepareKept(statement, sql)).first;
    }
    NativeStatement& st = *kept->second;
    // Reset whatever happens, so that the kept statement holds no lock or value.
    struct Reset {
        sqlite3_stmt* handle;
        ~Reset()
        {
            sqlite3_reset(handle);
            sqlite3_clear_bindings(handle);
        }
    } reset{st.handle()};
    state.bindParameters(st, parameters);
    while (st.step()) {
    }
    return sqlite3_changes(state.db);
}

QStringList Connection::tableNames() const
{
    NativeStatement st(state_->handle(),
                       QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND substr(name, 1, 7) <> "
                                      "'sqlite_' AND name <> ?1 ORDER BY name COLLATE NOCASE"));
    st.bindText(1, QString(kPasswordTable));
    QStringList names;
    while (st.step())
        names << st.columnText(0);
    return names;
}

std::vector<FieldInfo> Connection::tableFields(const QString& table) const
{
    std::vector<FieldInfo> fields = state_->fieldsOf(table);
    if (fields.empty())
        fail(QStringLiteral("The table \"%1\" does not exist.").arg(table));
    return fields;
}

QSqlDatabase Connection::database() const
{
    if (state_->qtName.isEmpty())
        return {};
    state_->prepareForWriting();  // models write through it
    return QSqlDatabase::database(state_->qtName, false);
}

QString Connection::nativeSql(const QString& sql) const
{
    const TranslatedStatement statement = state_->translate(sql);
    if (statement.kind == TranslatedStatement::Kind::DatabasePassword)
        fail(QStringLiteral("ALTER DATABASE PASSWORD runs through execute() only."));
    return statement.sqliteText;
}

void Connection::vacuumInto(const QString& path)
{
    runNative(state_->handle(), QStringLiteral("VACUUM INTO %1").arg(quotedLiteral(path)));
}

void Connection::beginTransaction()
{
    state_->prepareForWriting();
    const int depth = state_->transactionDepth;
    runNative(state_->handle(),
              depth == 0 ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("SAVEPOINT kelvo_%1").arg(depth));
    ++state_->transactionDepth;
}

void Connection::commit()
{
    const int depth = state_->transactionDepth;
    if (depth == 0)
        fail(QStringLiteral("There is no transaction to commit."));
    runNative(state_->handle(),
              depth == 1 ? QStringLiteral("COMMIT") : QStringLiteral("RELEASE kelvo_%1").arg(depth - 1));
    --state_->transactionDepth;
}

void Connection::rollback()
{
    const int depth = state_->transactionDepth;
    if (depth == 0)
        fail(QStringLiteral("There is no transaction to roll back."));
    --state_->transactionDepth;
    if (depth == 1) {
        runNative(state_->handle(), QStringLiteral("ROLLBACK"));
    } else {
        runNative(state_->handle(), QStringLiteral("ROLLBACK TO kelvo_%1").arg(depth - 1));
        runNative(state_->handle(), QStringLiteral("RELEASE kelvo_%1").arg(depth - 1));
    }
}

Transaction::Transaction(Connection& connection) : connection_(connection) { connection_.beginTransaction(); }

Transaction::~Transaction()
{
    if (done_)
        return;
    try {
        connection_.rollback();
    } catch (...) {  // a destructor must not throw; the connection is gone or broken
    }
}

void Transaction::commit()
{
    connection_.commit();
    done_ = true;
}

}  // namespace kelvo::engine
