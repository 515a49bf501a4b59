#pragma once
// Cell editors of a data-aware grid: a combo box for a pick-list column, a line edit
// otherwise. It keeps the one editor that is open, so that the grid can hand its text
// to the dataset before a post.

#include <QPointer>
#include <QStyledItemDelegate>

namespace kelvo::dataaware {

class DatasetModel;

class GridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    GridDelegate(const DatasetModel& model, QObject* parent);

    QWidget* openEditor() const { return openEditor_; }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override;

private:
    const DatasetModel& model_;
    mutable QPointer<QWidget> openEditor_;
};

}  // namespace kelvo::dataaware
