#pragma once
// A memo of one (long) text field of the dataset's current row.

#include <QPlainTextEdit>

namespace kelvo::dataaware {

class Dataset;
class FieldLink;

class DataMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    DataMemo(Dataset& dataset, const QString& field, QWidget* parent = nullptr);

private:
    void showValue(const QVariant& value);

    FieldLink* link_;
    bool showing_ = false;
};

}  // namespace kelvo::dataaware
