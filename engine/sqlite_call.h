#pragma once
// Thin RAII over the SQLite C API; every failure becomes an EngineError with a
// readable message.

#include <QString>
#include <QVariant>

struct sqlite3;
struct sqlite3_stmt;

namespace kelvo::engine {

// A readable text for SQLite's result code `rc` on `db`.
QString describeFailure(sqlite3* db, int rc);

class NativeStatement {
public:
    NativeStatement(sqlite3* db, const QString& sqliteText);
    ~NativeStatement();
    NativeStatement(const NativeStatement&) = delete;
    NativeStatement& operator=(const NativeStatement&) = delete;

    void bindText(int index, const QString& text);
    void bindValue(int index, const QVariant& value);

    // Next row: true while there is one; throws on failure.
    bool step();

    int columnCount() const;
    QString columnText(int column) const;
    sqlite3_stmt* handle() const { return stmt_; }

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

// Runs one statement that returns no rows of interest.
void runNative(sqlite3* db, const QString& sqliteText);

// A text as an SQL string literal.
QString quotedLiteral(const QString& text);

}  // namespace kelvo::engine
