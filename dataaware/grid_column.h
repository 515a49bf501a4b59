#pragma once
// One column of a data-aware grid: the field it shows, its title, and how it is shown
// and edited.

#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>

namespace kelvo::dataaware {

struct GridColumn {
    QString field;
    QString title;
    bool readOnly = false;
    // Shown on a light grey background, as the columns the author cannot type into.
    bool shaded = false;
    // The text shown for a value; the field's own text without it.
    std::function<QString(const QVariant&)> format;
    // The entries of the combo box the cell is edited in; a plain edit without them.
    QStringList pickList;

    static GridColumn editable(const QString& field, const QString& title)
    {
        return GridColumn {field, title, false, false, {}, {}};
    }

    // A read-only, shaded column showing `prefix` and the number: "item3", "data2", "var5".
    static GridColumn numberedName(const QString& field, const QString& title, const QString& prefix)
    {
        return GridColumn {
            field,
            title,
            true,
            true,
            [prefix](const QVariant& value) { return value.isNull() ? QString() : prefix + value.toString(); },
            {}};
    }

    static GridColumn picked(const QString& field, const QString& title, const QStringList& entries)
    {
        return GridColumn {field, title, false, false, {}, entries};
    }
};

}  // namespace kelvo::dataaware
