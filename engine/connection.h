#pragma once
// The database engine layer: one connection to one SQLite file that accepts the
// statements the program writes in the Jet dialect (counter, yesno, longtext,
// true/false, ALTER TABLE add/drop, ALTER DATABASE PASSWORD, ...) and gives the effects
// the program relies on. Every failure is an EngineError with a readable message.
//
// This header is the contract between the engine and its callers; the engine's own
// sources implement it.

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <stdexcept>
#include <vector>

namespace kelvo::engine {

class EngineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    QString message() const { return QString::fromUtf8(what()); }
};

// What kind of value a column holds, as the program distinguishes them (quoting of
// values, Boolean text, number conversion).
enum class FieldClass { Integer, Float, Boolean, Counter, Text, Memo, Date, Other };

// Text, memo and date values are written in single quotes in a statement.
bool isQuotedFieldClass(FieldClass type);

struct FieldInfo {
    QString name;
    FieldClass type = FieldClass::Other;
};

// The rows of one SELECT: cells in select-list order; a database Null is a null
// QVariant; Boolean columns give bool, date columns QDateTime, numbers int/double,
// texts QString.
struct ResultSet {
    std::vector<FieldInfo> columns;
    std::vector<std::vector<QVariant>> rows;

    int rowCount() const { return static_cast<int>(rows.size()); }
    int columnCount() const { return static_cast<int>(columns.size()); }
};

// A connection is configured by an ADO-style connection string, e.g.
// "Data Source=/t/a.mdb;Provider=...;Jet OLEDB:Database Password=...;" with an optional
// trailing "Mode=Share Deny Read|Share Deny Write;" for exclusive use.
class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void setConnectionString(const QString& text);
    QString connectionString() const;

    // Opens the file named by the connection string. Never creates a file; a missing
    // file, a file that is no database or is damaged, a wrong password (or none kept in
    // the file while one is given), or a file held exclusively elsewhere throw. Opening
    // and reading leave the file unchanged; the first write sets its journal mode.
    void open();
    void close();
    bool isOpen() const;
    QString filePath() const;

    // One SELECT; named parameters are written ":name" in the text.
    ResultSet select(const QString& sql, const QVariantMap& parameters = {}) const;
    // One statement that returns no rows; the number of rows it changed (0 for
    // schema statements). ALTER DATABASE PASSWORD needs an exclusive opening.
    int execute(const QString& sql, const QVariantMap& parameters = {});
    // As execute, for a statement that changes rows and runs many times with other
    // values (":name" parameters): its text is translated and prepared once per opening
    // and schema, later calls only bind the values.
    int executePrepared(const QString& sql, const QVariantMap& parameters);

    // The user tables of the open file (the engine's own tables left out).
    QStringList tableNames() const;
    // The columns of a table with their classes; throws when the table is missing.
    std::vector<FieldInfo> tableFields(const QString& table) const;

    // For Qt SQL models over the same file (editor grids); valid while open. Values
    // written through it bypass the statement translation: bind Booleans as bool and
    // dates as QDateTime.
    QSqlDatabase database() const;

    // The SQLite text of a statement written in the program's dialect, for a Qt SQL
    // query model over database().
    QString nativeSql(const QString& sql) const;

    // Writes a compacted copy of the open file to `path` (which must not exist).
    void vacuumInto(const QString& path);

    // Transactions nest: an inner one is a savepoint.
    void beginTransaction();
    void commit();
    void rollback();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Begins on construction; rolls back on destruction unless committed.
class Transaction {
public:
    explicit Transaction(Connection& connection);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    Connection& connection_;
    bool done_ = false;
};

// Creates a new, empty database file with the given password (empty: none). Throws
// when the file exists or cannot be written; leaves no file behind on failure.
void createDatabase(const QString& path, const QString& password);

// Writes a compacted copy of Source to Dest (which must not exist) through a temporary
// file beside Dest; Source is read only. The copy carries `password` even where Source
// had its password removed. Throws on failure, leaving no Dest.
void compactDatabase(const QString& sourcePath, const QString& destPath, const QString& password);

}  // namespace kelvo::engine
