#include "dataaware/dataset_model.h"

#include "dataaware/dataset.h"
#include "dataaware/field_values.h"

#include <QBrush>
#include <QColor>

namespace kelvo::dataaware {

DatasetModel::DatasetModel(Dataset& dataset, QObject* parent) : QAbstractTableModel(parent), dataset_(dataset)
{
    connect(&dataset_, &Dataset::rowsAboutToChange, this, [this] { beginResetModel(); });
    connect(&dataset_, &Dataset::rowsChanged, this, [this] {
        followFields();
        endResetModel();
    });
    connect(&dataset_, &Dataset::valueChanged, this, [this](int field) { refreshCurrentRow(field); });
    connect(&dataset_, &Dataset::rowValuesChanged, this, [this] { refreshCurrentRow(-1); });
    // Whether cells can be edited follows the state (a read-only dataset, no row).
    connect(&dataset_, &Dataset::stateChanged, this, [this] {
        refreshCurrentRow(-1);
        refreshIndicator();
    });
    connect(&dataset_, &Dataset::currentChanged, this, [this] { refreshIndicator(); });
}

void DatasetModel::setColumns(std::vector<GridColumn> columns)
{
    beginResetModel();
    allFields_ = columns.empty();
    columns_ = std::move(columns);
    followFields();
    endResetModel();
}

void DatasetModel::followFields()
{
    if (!allFields_)
        return;
    columns_.clear();
    for (const engine::FieldInfo& field : dataset_.fields())
        columns_.push_back(GridColumn::editable(field.name, field.name));
}

const GridColumn* DatasetModel::column(int index) const
{
    return index >= 0 && index < static_cast<int>(columns_.size()) ? &columns_[index] : nullptr;
}

int DatasetModel::fieldOf(int column) const
{
    const GridColumn* spec = this->column(column);
    return spec ? dataset_.fieldIndex(spec->field) : -1;
}

bool DatasetModel::isBoolean(int column) const
{
    const int field = fieldOf(column);
    return field >= 0 && dataset_.fields()[field].type == engine::FieldClass::Boolean && !columns_[column].format;
}

void DatasetModel::refreshCurrentRow(int field)
{
    const int row = dataset_.currentIndex();
    if (row < 0 || row >= rowCount() || columns_.empty())
        return;
    for (int column = 0; column < columnCount(); ++column)
        if (field < 0 || fieldOf(column) == field)
            emit dataChanged(index(row, column), index(row, column));
}

void DatasetModel::refreshIndicator()
{
    if (rowCount() > 0)
        emit headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
}

int DatasetModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : dataset_.rowCount(); }

int DatasetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant DatasetModel::data(const QModelIndex& index, int role) const
{
    const int field = fieldOf(index.column());
    if (!index.isValid() || field < 0)
        return {};
    const GridColumn& spec = columns_[index.column()];
    const QVariant value = dataset_.cell(index.row(), field);
    switch (role) {
    case Qt::DisplayRole:
        if (isBoolean(index.column()))
            return {};
        return spec.format ? spec.format(value) : displayText(dataset_.fields()[field].type, value);
    case Qt::EditRole: return displayText(dataset_.fields()[field].type, value);
    case Qt::CheckStateRole:
        if (isBoolean(index.column()))
            return isTrue(value) ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::BackgroundRole:
        if (spec.shaded)
            return QBrush(QColor(Qt::lightGray));
        return {};
    default: return {};
    }
}

bool DatasetModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    const int field = fieldOf(index.column());
    if (!index.isValid() || field < 0 || !(flags(index) & (Qt::ItemIsEditable | Qt::ItemIsUserCheckable)))
        return false;
    if (!dataset_.moveTo(index.row()))
        return false;
    if (role == Qt::CheckStateRole && isBoolean(index.column()))
        return dataset_.setValue(field, value.toInt() == Qt::Checked ? 1 : 0);
    if (role != Qt::EditRole)
        return false;
    // Leaving a cell as it was does not start an edit.
    if (value.toString() == data(index, Qt::EditRole).toString())
        return true;
    return dataset_.setValue(field, value);
}

QVariant DatasetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Horizontal)
        return column(section) ? columns_[section].title : QString();
    // The row indicator: the current row, and whether it is being edited or is new.
    if (section != dataset_.currentIndex())
        return QString();
    switch (dataset_.state()) {
    case DatasetState::Edit: return QStringLiteral("I");
    case DatasetState::Insert: return QStringLiteral("*");
    default: return QStringLiteral("\u25B6");
    }
}

Qt::ItemFlags DatasetModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    const int field = fieldOf(index.column());
    if (!index.isValid() || field < 0 || columns_[index.column()].readOnly || !dataset_.isWritable(field))
        return flags;
    return flags | (isBoolean(index.column()) ? Qt::ItemIsUserCheckable : Qt::ItemIsEditable);
}

}  // namespace kelvo::dataaware
