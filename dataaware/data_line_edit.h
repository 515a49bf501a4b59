#pragma once
// A one-line edit of one field of the dataset's current row.

#include <QLineEdit>

namespace kelvo::dataaware {

class Dataset;
class FieldLink;

class DataLineEdit : public QLineEdit {
    Q_OBJECT
public:
    DataLineEdit(Dataset& dataset, const QString& field, QWidget* parent = nullptr);

private:
    void showValue(const QVariant& value);

    FieldLink* link_;
};

}  // namespace kelvo::dataaware
