#include "dataaware/data_grid.h"

#include "dataaware/dataset.h"
#include "dataaware/dataset_model.h"
#include "dataaware/grid_delegate.h"

#include <QHeaderView>
#include <QKeyEvent>

namespace kelvo::dataaware {

DataGrid::DataGrid(Dataset& dataset, QWidget* parent)
    : QTableView(parent),
      dataset_(dataset),
      model_(new DatasetModel(dataset, this)),
      delegate_(new GridDelegate(*model_, this))
{
    setModel(model_);
    setItemDelegate(delegate_);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                    | QAbstractItemView::AnyKeyPressed);
    horizontalHeader()->setStretchLastSection(true);
    connect(&dataset_, &Dataset::currentChanged, this, [this] { followDataset(); });
    connect(model_, &QAbstractItemModel::modelReset, this, [this] { followDataset(); });
    connect(&dataset_, &Dataset::updateRecordRequested, this, [this] { commitOpenEditor(); });
    connect(&dataset_, &Dataset::stateChanged, this, [this] {
        if (!dataset_.isEditing())
            dropOpenEditor();
    });
}

void DataGrid::setColumns(std::vector<GridColumn> columns) { model_->setColumns(std::move(columns)); }

void DataGrid::followDataset()
{
    const int row = dataset_.currentIndex();
    if (row < 0 || row >= model_->rowCount() || currentIndex().row() == row)
        return;
    following_ = true;
    const int column = std::max(currentIndex().column(), 0);
    setCurrentIndex(model_->index(row, std::min(column, model_->columnCount() - 1)));
    following_ = false;
}

void DataGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    const int row = current.row();
    const bool newRow = current.isValid() && row != previous.row();
    // Leaving the row while a cell is typed in posts it through the move below, not
    // through the closing editor.
    changingRow_ = newRow;
    QTableView::currentChanged(current, previous);
    changingRow_ = false;
    if (following_ || !newRow)
        return;
    dataset_.guard([&] { dataset_.moveTo(row); });
    followDataset();
}

void DataGrid::commitOpenEditor()
{
    if (QWidget* editor = delegate_->openEditor()) {
        commitData(editor);
        QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void DataGrid::dropOpenEditor()
{
    if (QWidget* editor = delegate_->openEditor())
        QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void DataGrid::commitData(QWidget* editor)
{
    if (editor && !editor->isHidden())
        QTableView::commitData(editor);
}

void DataGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    // Enter in a cell reaches the grid, which posts, and the delegate queues its own
    // commit and close as well: by then the view has let the editor go (and hidden it),
    // and the row must not be posted a second time.
    if (!editor || editor->isHidden())
        return;
    QTableView::closeEditor(editor, hint);
    if (changingRow_)
        return;
    if (hint == QAbstractItemDelegate::SubmitModelCache)
        dataset_.guard([this] { dataset_.post(); });
    else if (hint == QAbstractItemDelegate::RevertModelCache)
        dataset_.guard([this] { dataset_.cancel(); });
}

void DataGrid::keyPressEvent(QKeyEvent* event)
{
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (plain && dataset_.isEditing()) {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            dataset_.guard([this] { dataset_.post(); });
            event->accept();
            return;
        case Qt::Key_Escape:
            dataset_.guard([this] { dataset_.cancel(); });
            event->accept();
            return;
        default: break;
        }
    }
    QTableView::keyPressEvent(event);
}

}  // namespace kelvo::dataaware
