#pragma once
// The results grid's rows: the rows of several SELECTs merged by run id into one table.
//
// The first statement decides the rows and their order; every further statement adds
// its columns on the right, merged into the rows whose id (the first field) equals its
// own first field. Runs that only a later statement has are not added. The grid holds
// only the ids of its rows in order; the cells are read in blocks of rows as they are
// shown, a few blocks kept at a time, so that a test of any number of runs shows at once.

#include "engine/connection.h"
#include "results/cell_block.h"

#include <QString>

#include <list>
#include <map>
#include <vector>

namespace kelvo::results {

// One statement of the grid: its fields, the rows it selects and their order.
struct GridSource {
    // `statement` ("select * from <table> ... order by ...") in the program's dialect.
    static GridSource describe(const engine::Connection& connection, const QString& statement);

    QString rowsSql;         // SQLite text of the rows, no ORDER BY
    QString keysInOrderSql;  // SQLite text of the first field of the rows, in order
    std::vector<engine::FieldInfo> fields;

    bool hasFields() const { return !fields.empty(); }
    bool firstFieldIsId() const;
    QString keyName() const { return fields.front().name; }
};

class MergedGrid {
public:
    static constexpr int kBlockRows = 100;

    MergedGrid() = default;

    // The rows of `first` in its order make the grid's rows; its fields become the
    // columns from the left. No rows: the grid stays empty.
    void setFirst(const engine::Connection& connection, GridSource first);
    // Merges a further statement into the rows by id. Its leading "id" field is left
    // out; its columns are added only when at least one of its rows has a grid row.
    void merge(GridSource source);

    int rowCount() const { return static_cast<int>(keys_.size()); }
    int columnCount() const { return static_cast<int>(columns_.size()); }
    QString header(int column) const;
    QString text(int row, int column) const;
    // Cells read before the stored runs changed are read again when next shown.
    void forgetCells() const { blocks_.clear(); }

private:
    struct Column {
        int source;
        int field;
    };
    const CellBlock& block(int row) const;
    CellBlock readBlock(int first) const;
    void readSource(int source, CellBlock& block) const;
    RowKey keyOf(int row) const;
    std::vector<int> columnsOf(int source) const;

    const engine::Connection* connection_ = nullptr;
    std::vector<GridSource> sources_;
    std::vector<Column> columns_;
    // The first field of each grid row: a number for every run; the rare other key by row.
    std::vector<qint64> keys_;
    std::map<int, RowKey> otherKeys_;
    // The blocks read last, newest first.
    mutable std::list<CellBlock> blocks_;
};

}  // namespace kelvo::results
