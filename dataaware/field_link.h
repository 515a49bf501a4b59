#pragma once
// What binds one control to one field of a dataset: it tells the control when to show
// the field again and hands what the author typed to the dataset, starting an edit.

#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>

namespace kelvo::dataaware {

class Dataset;

class FieldLink : public QObject {
    Q_OBJECT
public:
    // `show` is called with the field's value whenever it may have changed (and whether
    // it can be written may have); the link lives as long as `control`.
    FieldLink(Dataset& dataset, const QString& field, QWidget& control, std::function<void(const QVariant&)> show);

    Dataset& dataset() const { return dataset_; }
    QString field() const { return field_; }
    QVariant value() const;
    // Whether a value can be written now: a current row of a dataset that can modify it.
    bool canWrite() const;
    // Writes what the author typed; shows the field again when the dataset refuses it.
    void write(const QVariant& typed);
    // Shows the field's value in the control now.
    void showValue();

private:
    Dataset& dataset_;
    QString field_;
    std::function<void(const QVariant&)> show_;
    bool writing_ = false;
};

}  // namespace kelvo::dataaware
