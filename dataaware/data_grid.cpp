#include "dataaware/data_grid.h"

#include "dataaware/dataset.h"
#include "dataaware/dataset_model.h"
#include "dataaware/grid_delegate.h"

#include <QHeaderView>
#include <QKeyEvent>

#include <algorithm>

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
    connect(model_, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        if (currentIndex().isValid())
            columnBeforeReset_ = currentIndex().column();
    });
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
    if (row < 0 || row >= model_->rowCount() || model_->columnCount() == 0)
        return;
    const int shown = currentIndex().isValid() ? currentIndex().column() : columnBeforeReset_;
    const int column = columnFor(row, std::clamp(shown, 0, model_->columnCount() - 1));
    if (currentIndex().row() == row && currentIndex().column() == column)
        return;
    following_ = true;
    setCurrentIndex(model_->index(row, column));
    following_ = false;
}

int DataGrid::columnFor(int row, int column) const
{
    const auto typable = [&](int c) { return model_->flags(model_->index(row, c)).testFlag(Qt::ItemIsEditable); };
    if (dataset_.state() != DatasetState::Insert || typable(column))
        return column;
    for (int c = 0; c < model_->columnCount(); ++c)
        if (typable(c))
            return c;
    return column;
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
    // Shift+Insert pastes in an edit, so only Insert alone starts a row.
    if (event->key() == Qt::Key_Insert && !(event->modifiers() & ~Qt::KeypadModifier)) {
        dataset_.guard([this] { dataset_.insert(); });
        event->accept();
        return;
    }
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
    // Enter is the grid's own key even where it does nothing here: passed on, it would
    // press the default button of the dialog the grid stands in.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        event->accept();
}

}  // namespace kelvo::dataaware
