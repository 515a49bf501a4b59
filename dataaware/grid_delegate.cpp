#include "dataaware/grid_delegate.h"

#include "dataaware/dataset_model.h"

#include <QComboBox>

namespace kelvo::dataaware {

GridDelegate::GridDelegate(const DatasetModel& model, QObject* parent) : QStyledItemDelegate(parent), model_(model) { }

QWidget* GridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const GridColumn* column = model_.column(index.column());
    QWidget* editor = nullptr;
    if (column && !column->pickList.isEmpty()) {
        // The list offers the usual entries; what the author types is checked by the
        // window's rules, as with any other cell.
        auto* combo = new QComboBox(parent);
        combo->setEditable(true);
        combo->addItems(column->pickList);
        editor = combo;
    } else {
        editor = QStyledItemDelegate::createEditor(parent, option, index);
    }
    if (editor && column)
        editor->setAccessibleName(column->title);
    openEditor_ = editor;
    return editor;
}

void GridDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        combo->setCurrentText(index.data(Qt::EditRole).toString());
        return;
    }
    QStyledItemDelegate::setEditorData(editor, index);
}

void GridDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const
{
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        model->setData(index, combo->currentText(), Qt::EditRole);
        return;
    }
    QStyledItemDelegate::setModelData(editor, model, index);
}

void GridDelegate::destroyEditor(QWidget* editor, const QModelIndex& index) const
{
    if (editor == openEditor_)
        openEditor_ = nullptr;
    QStyledItemDelegate::destroyEditor(editor, index);
}

}  // namespace kelvo::dataaware
