#include "dataaware/field_link.h"

#include "dataaware/dataset.h"

#include <QWidget>

namespace kelvo::dataaware {

FieldLink::FieldLink(Dataset& dataset, const QString& field, QWidget& control,
                     std::function<void(const QVariant&)> show)
    : QObject(&control), dataset_(dataset), field_(field), show_(std::move(show))
{
    connect(&dataset_, &Dataset::currentChanged, this, [this] { showValue(); });
    connect(&dataset_, &Dataset::rowsChanged, this, [this] { showValue(); });
    connect(&dataset_, &Dataset::rowValuesChanged, this, [this] { showValue(); });
    connect(&dataset_, &Dataset::stateChanged, this, [this] { showValue(); });
    connect(&dataset_, &Dataset::valueChanged, this, [this](int changed) {
        if (changed == dataset_.fieldIndex(field_))
            showValue();
    });
}

QVariant FieldLink::value() const { return dataset_.value(field_); }

bool FieldLink::canWrite() const
{
    return dataset_.currentIndex() >= 0 && dataset_.isWritable(dataset_.fieldIndex(field_));
}

void FieldLink::write(const QVariant& typed)
{
    bool written = false;
    // Starting the edit announces the stored row; the control keeps what was typed.
    writing_ = true;
    dataset_.guard([&] { written = dataset_.setValue(field_, typed); });
    writing_ = false;
    if (!written)
        showValue();
}

void FieldLink::showValue()
{
    if (writing_)
        return;
    show_(value());
}

}  // namespace kelvo::dataaware
