#pragma once
// The cells of a few grid rows as the grid keeps them: one buffer per column, numbers as
// doubles and texts as indexes into the column's list of the distinct texts it holds.
// A text is turned into what the grid shows once per block, a number only when shown.

#include "engine/stored_cells.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <cstdint>
#include <vector>

namespace kelvo::results {

// The first field of a row, by which the statements are merged: a number when the field
// holds an integer (or a text that reads as one), else its text; Null matches nothing.
struct RowKey {
    enum class Kind : std::uint8_t { None, Number, Text };
    Kind kind = Kind::None;
    qint64 number = 0;
    QString text;

    static RowKey of(const engine::StoredCell& cell);
    // The key written into a statement, so that the stored field equals it.
    QString sqlLiteral() const;
    bool operator==(const RowKey& other) const = default;
};

class ColumnBuffer {
public:
    ColumnBuffer(int rows, engine::FieldClass type);

    void store(int row, const engine::StoredCell& cell);
    QString text(int row) const;

private:
    enum class Kind : std::uint8_t { Null, Integer, Real, Text };
    int distinctText(QByteArrayView stored, const engine::StoredCell& cell);

    engine::FieldClass type_;
    int rows_;
    std::vector<Kind> kinds_;
    // Each made only when the column holds a value of its kind.
    std::vector<double> numbers_;
    std::vector<std::int32_t> textIndexes_;
    std::vector<QByteArray> storedTexts_;
    std::vector<QString> shownTexts_;
    // Once a column holds more than a handful of distinct texts, they are found by hash.
    QHash<QByteArray, std::int32_t> textIndex_;
};

// The cells of grid rows [first, first + rows) for every grid column.
struct CellBlock {
    int first = 0;
    std::vector<ColumnBuffer> columns;
};

}  // namespace kelvo::results
