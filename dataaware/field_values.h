#pragma once
// How a value typed into a control becomes the value written to its column, and how a
// stored value is shown. Numbers are typed and shown with "." whatever the locale;
// Booleans are written as 1/0; an empty text is Null, so a column left empty keeps
// the table's default on insert.

#include "engine/connection.h"

#include <QString>
#include <QVariant>

#include <optional>

namespace kelvo::dataaware {

struct ConvertedValue {
    QVariant value;  // valid only when `error` is empty
    QString error;  // why the text does not fit the column
};

// The value to write for `typed` (text, number or Boolean) into a column of class `type`.
ConvertedValue valueToStore(engine::FieldClass type, const QVariant& typed);

// The text a control shows for a value of a column of class `type`: "" for Null.
QString displayText(engine::FieldClass type, const QVariant& value);

// Whether a value read from a Boolean column (or written by a check box) means true.
bool isTrue(const QVariant& value);

// Whether two cells hold the same value: numbers by value, texts exactly, Null only
// equal to Null.
bool sameValue(const QVariant& left, const QVariant& right);

}  // namespace kelvo::dataaware
