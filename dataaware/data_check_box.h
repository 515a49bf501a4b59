#pragma once
// A check box of one Boolean field of the dataset's current row; it writes 1 or 0.

#include <QCheckBox>

namespace kelvo::dataaware {

class Dataset;
class FieldLink;

class DataCheckBox : public QCheckBox {
    Q_OBJECT
public:
    DataCheckBox(Dataset& dataset, const QString& field, const QString& caption, QWidget* parent = nullptr);

private:
    void showValue(const QVariant& value);

    FieldLink* link_;
};

}  // namespace kelvo::dataaware
