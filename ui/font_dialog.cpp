#include "ui/font_dialog.h"

#include "ui/color_dialog.h"

#include <QDialogButtonBox>
#include <QFontDialog>
#include <QKeyEvent>
#include <QVBoxLayout>

namespace kelvo {

FontDialog::FontDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("fDialog"));
    setWindowTitle(QStringLiteral("Font"));
    // The chooser lives inside this dialog, whose buttons confirm both choices.
    fontChooser = new QFontDialog(this);
    fontChooser->setWindowFlags(Qt::Widget);
    fontChooser->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
    fontChooser->setSizeGripEnabled(false);
    colorChoice = new ColorChoice(this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fontChooser, 1);
    layout->addWidget(colorChoice);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // The chooser is a dialog of its own: left to itself, Esc would close the chooser
    // alone and leave this dialog open without it.
    fontChooser->installEventFilter(this);
}

bool FontDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == fontChooser && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Cancel) || key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            keyPressEvent(key);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

QFont FontDialog::currentFont() const { return fontChooser->currentFont(); }

void FontDialog::setCurrentFont(const QFont& font) { fontChooser->setCurrentFont(font); }

std::uint32_t FontDialog::colorValue() const { return colorChoice->value(); }

void FontDialog::setColorValue(std::uint32_t value) { colorChoice->setValue(value); }

}  // namespace kelvo
