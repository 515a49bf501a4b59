#pragma once
// The rows of a dataset as a table model, for a data-aware grid. Writing a cell puts
// the dataset into edit state; Boolean columns are check boxes; the row header marks
// the current row, and with "I" or "*" a row being edited or inserted.

#include "dataaware/grid_column.h"

#include <QAbstractTableModel>

#include <vector>

namespace kelvo::dataaware {

class Dataset;

class DatasetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit DatasetModel(Dataset& dataset, QObject* parent = nullptr);

    // Without columns the model shows every field of the statement, editable.
    void setColumns(std::vector<GridColumn> columns);
    const std::vector<GridColumn>& columns() const { return columns_; }
    // The grid's column, or null outside them.
    const GridColumn* column(int index) const;
    // Dataset field of a column, -1 when the statement has none of that name.
    int fieldOf(int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void followFields();
    bool isBoolean(int column) const;
    void refreshCurrentRow(int field);
    void refreshIndicator();

    Dataset& dataset_;
    std::vector<GridColumn> columns_;
    bool allFields_ = true;
};

}  // namespace kelvo::dataaware
