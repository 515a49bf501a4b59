#include "dataaware/data_memo.h"

#include "dataaware/field_link.h"

namespace kelvo::dataaware {

DataMemo::DataMemo(Dataset& dataset, const QString& field, QWidget* parent) : QPlainTextEdit(parent), link_(nullptr)
{
    setAccessibleName(field);
    link_ = new FieldLink(dataset, field, *this, [this](const QVariant& value) { showValue(value); });
    link_->showValue();
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!showing_)
            link_->write(toPlainText());
    });
}

void DataMemo::showValue(const QVariant& value)
{
    if (!link_)
        return;
    setReadOnly(!link_->canWrite());
    const QString text = value.toString();
    if (text == toPlainText())
        return;
    showing_ = true;
    setPlainText(text);
    showing_ = false;
}

}  // namespace kelvo::dataaware
