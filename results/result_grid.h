#pragma once
// The results grid: the model that shows the merged rows (merged_grid.h) and the
// delegate that draws their cells.

#include "results/merged_grid.h"

#include <QAbstractTableModel>
#include <QFont>
#include <QStyledItemDelegate>

namespace kelvo::results {

// A database value as the grid shows it: Null as the empty text, Booleans as
// "true"/"false", numbers with ".", dates in the system locale's format.
QString CellDisplayText(const QVariant& value);

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
