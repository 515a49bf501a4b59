#include "dataaware/data_line_edit.h"

#include "dataaware/dataset.h"
#include "dataaware/field_link.h"
#include "dataaware/field_values.h"

namespace kelvo::dataaware {

DataLineEdit::DataLineEdit(Dataset& dataset, const QString& field, QWidget* parent) : QLineEdit(parent), link_(nullptr)
{
    setAccessibleName(field);
    link_ = new FieldLink(dataset, field, *this, [this](const QVariant& value) { showValue(value); });
    link_->showValue();
    connect(this, &QLineEdit::textEdited, this, [this](const QString& text) { link_->write(text); });
}

void DataLineEdit::showValue(const QVariant& value)
{
    if (!link_)
        return;
    setReadOnly(!link_->canWrite());
    const int field = link_->dataset().fieldIndex(link_->field());
    const QString text = field < 0 ? QString() : dataaware::displayText(link_->dataset().fields()[field].type, value);
    // The edit's own typing comes back here; setting the same text would move the caret.
    if (text != this->text())
        setText(text);
}

}  // namespace kelvo::dataaware
