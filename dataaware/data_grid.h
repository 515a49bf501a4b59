#pragma once
// A grid over a dataset: its current row is the dataset's, a typed cell puts the row
// into edit state, Enter posts the row (and is never passed on to the window) and Esc
// cancels it. Insert starts a new row before the current one (the dataset's rules
// decide whether it may), and a new row puts the cursor on a column that can be typed
// into, so typing goes into the row.

#include "dataaware/grid_column.h"

#include <QTableView>

#include <vector>

namespace kelvo::dataaware {

class Dataset;
class DatasetModel;
class GridDelegate;

class DataGrid : public QTableView {
    Q_OBJECT
public:
    explicit DataGrid(Dataset& dataset, QWidget* parent = nullptr);

    void setColumns(std::vector<GridColumn> columns);
    Dataset& dataset() const { return dataset_; }
    DatasetModel& datasetModel() const { return *model_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void commitData(QWidget* editor) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    // The cell being typed in hands its text to the dataset.
    void commitOpenEditor();
    void dropOpenEditor();
    void followDataset();
    // The column the cursor takes on row `row`: `column` unless the row is new and
    // `column` cannot be typed into, then the first one that can.
    int columnFor(int row, int column) const;

    Dataset& dataset_;
    DatasetModel* model_;
    GridDelegate* delegate_;
    // The cursor's column while the model resets (the view forgets its current cell).
    int columnBeforeReset_ = 0;
    bool following_ = false;
    bool changingRow_ = false;
};

}  // namespace kelvo::dataaware
