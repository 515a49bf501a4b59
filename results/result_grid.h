#pragma once
// The results grid: the rows of several SELECTs merged by run id into one table, the
// model that shows it, and the delegate that draws its cells.
//
// The first statement decides the rows and their order; every further statement adds
// its columns on the right, merged into the rows whose id (the text of the first
// column) equals its own first field. Runs that only a later statement has are not
// added. Cells are not copied: the grid keeps the fetched rows and, per statement, the
// row that belongs to each grid row.

#include "engine/connection.h"

#include <QAbstractTableModel>
#include <QFont>
#include <QHash>
#include <QStyledItemDelegate>

#include <memory>
#include <vector>

namespace kelvo::results {

// A database value as the grid shows it: Null as the empty text, Booleans as
// "true"/"false", numbers with ".", dates in the system locale's format.
QString CellDisplayText(const QVariant& value);

// The rows of one statement, with the row of each first-field text.
struct FetchedTable {
    explicit FetchedTable(engine::ResultSet fetched);

    engine::ResultSet result;
    // The first row holding each text of the first field.
    QHash<QString, int> rowByKey;

    bool hasFields() const { return result.columnCount() > 0; }
    QString fieldName(int field) const { return result.columns[static_cast<size_t>(field)].name; }
    bool firstFieldIsId() const;
};

class MergedGrid {
public:
    // The first statement's rows, in `order` (row indices of `table`), make the grid's
    // rows; its fields become the columns from the left. No rows: the grid stays empty.
    void setFirst(std::shared_ptr<const FetchedTable> table, std::vector<int> order);
    // Merges a further statement into the rows by id. Its leading "id" field is left
    // out; its columns are added only when at least one of its rows found a grid row.
    void merge(std::shared_ptr<const FetchedTable> table);

    int rowCount() const { return rowCount_; }
    int columnCount() const { return static_cast<int>(columns_.size()); }
    QString header(int column) const;
    QString text(int row, int column) const;
    // Grid row of a first-column text; -1 when no row holds it.
    int findRow(const QString& key) const { return keyRows_.value(key, -1); }

private:
    struct Column {
        int source;
        int field;
    };
    const QVariant* cell(int row, int column) const;

    std::vector<std::shared_ptr<const FetchedTable>> sources_;
    // Per source, the row of its table that belongs to each grid row (-1: none).
    std::vector<std::vector<int>> sourceRows_;
    std::vector<Column> columns_;
    QHash<QString, int> keyRows_;
    int rowCount_ = 0;
};

// Column 0 of the grid (the run id) is shown by the vertical header, so that it stays in
// view while the author scrolls through hundreds of columns.
class ResultGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setGrid(MergedGrid grid);
    void clear() { setGrid(MergedGrid()); }
    const MergedGrid& grid() const { return grid_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    MergedGrid grid_;
};

// How the cells are drawn: alignment with one blank of padding on the aligned side,
// the font style, and one line or text broken at the cell's width.
struct CellLook {
    enum class Alignment { Left = 0, Right = 1, Center = 2 };
    Alignment alignment = Alignment::Left;
    bool wrap = false;
    bool bold = false;
    bool italic = false;
    bool underline = false;

    QFont applyTo(QFont font) const;
    QString padded(const QString& text) const;
    int textFlags() const;
};

class ResultCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void setLook(const CellLook& look) { look_ = look; }
    const CellLook& look() const { return look_; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // With wrapping, the height the text needs when broken at the width of option.rect.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    CellLook look_;
};

}  // namespace kelvo::results
