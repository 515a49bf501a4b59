#include "dataaware/data_check_box.h"

#include "dataaware/field_link.h"
#include "dataaware/field_values.h"

namespace kelvo::dataaware {

DataCheckBox::DataCheckBox(Dataset& dataset, const QString& field, const QString& caption, QWidget* parent)
    : QCheckBox(caption, parent), link_(nullptr)
{
    link_ = new FieldLink(dataset, field, *this, [this](const QVariant& value) { showValue(value); });
    link_->showValue();
    connect(this, &QCheckBox::clicked, this, [this](bool checked) { link_->write(checked ? 1 : 0); });
}

void DataCheckBox::showValue(const QVariant& value)
{
    if (!link_)
        return;
    setEnabled(link_->canWrite());
    setChecked(isTrue(value));
}

}  // namespace kelvo::dataaware
