#include "ui/color_dialog.h"

#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace kelvo {

namespace {

QIcon Swatch(std::uint32_t value)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(ColorOfValue(value));
    return QIcon(pixmap);
}

}  // namespace

ColorChoice::ColorChoice(QWidget* parent) : QWidget(parent)
{
    names = new QComboBox(this);
    names->setObjectName(QStringLiteral("colorNames"));
    names->setAccessibleName(QStringLiteral("Color"));
    for (const QString& name : ColorNames()) {
        const std::uint32_t value = ColorValueFromName(name);
        names->addItem(Swatch(value), name, QVariant::fromValue(value));
    }
    otherButton = new QPushButton(QStringLiteral("Other colour..."), this);
    otherButton->setObjectName(QStringLiteral("otherColor"));
    otherButton->setAccessibleName(QStringLiteral("Other colour"));
    auto* label = new QLabel(QStringLiteral("Color:"), this);
    label->setBuddy(names);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label);
    layout->addWidget(names, 1);
    layout->addWidget(otherButton);
    connect(otherButton, &QPushButton::clicked, this, [this] { chooseOther(); });
}

std::uint32_t ColorChoice::value() const { return names->currentData().value<std::uint32_t>(); }

void ColorChoice::setValue(std::uint32_t value)
{
    const QString name = ColorNameOfValue(value);
    if (const int named = names->findText(name); named >= 0 && named < ColorNames().size()) {
        names->setCurrentIndex(named);
        return;
    }
    showUnnamed(value);
}

void ColorChoice::showUnnamed(std::uint32_t value)
{
    const int unnamed = static_cast<int>(ColorNames().size());
    if (names->count() == unnamed)
        names->addItem(QString());
    names->setItemText(unnamed, ColorNameOfValue(value));
    names->setItemIcon(unnamed, Swatch(value));
    names->setItemData(unnamed, QVariant::fromValue(value));
    names->setCurrentIndex(unnamed);
}

void ColorChoice::chooseOther()
{
    QColorDialog dialog(ColorOfValue(value()), this);
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // A colour of the table chosen here is still stored by its name.
    setValue(ColorValueOf(dialog.selectedColor()));
}

ColorDialog::ColorDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("cDialog"));
    setWindowTitle(QStringLiteral("Color"));
    choice = new ColorChoice(this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(choice);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

}  // namespace kelvo
