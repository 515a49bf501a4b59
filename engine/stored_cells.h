#pragma once
// Reading stored cells without building a QVariant for each: a grid of many thousand
// runs reads its cells into buffers of its own and makes a value only for the cells it
// shows. The value made from a cell is the one Connection::select gives.

#include "engine/connection.h"

#include <QByteArrayView>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct sqlite3_stmt;

namespace kelvo::engine {

// One cell as the file stores it. `bytes` (texts and blobs) stays valid only until the
// statement moves on.
struct StoredCell {
    enum class Kind : std::uint8_t { Null, Integer, Real, Text, Blob };
    Kind kind = Kind::Null;
    qint64 integer = 0;
    double real = 0;
    QByteArrayView bytes;
};

StoredCell readStoredCell(sqlite3_stmt* statement, int column);

// The value of a cell of a column of class `type`: Booleans as bool, dates as QDateTime,
// numbers as int or double, texts as QString, Null as a null QVariant.
QVariant storedValue(const StoredCell& cell, FieldClass type);

// The names and classes of a prepared statement's columns; a column taken straight from
// a table has that column's class (`fieldsOf` gives a table's fields), any other Other.
std::vector<FieldInfo> describeColumns(sqlite3_stmt* statement,
                                       const std::function<std::vector<FieldInfo>(const QString&)>& fieldsOf);

// A SELECT stepped row by row on an open connection.
class RowReader {
public:
    // `sqliteText` is already in SQLite's dialect (Connection::nativeSql).
    RowReader(const Connection& connection, const QString& sqliteText);
    ~RowReader();
    RowReader(const RowReader&) = delete;
    RowReader& operator=(const RowReader&) = delete;

    const std::vector<FieldInfo>& columns() const { return columns_; }
    // Moves to the next row: false after the last one; throws on failure.
    bool next();
    StoredCell cell(int column) const;

private:
    struct Statement;
    std::unique_ptr<Statement> statement_;
    std::vector<FieldInfo> columns_;
};

}  // namespace kelvo::engine
