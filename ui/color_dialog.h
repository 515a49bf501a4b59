#pragma once
// Choosing a colour as a test stores it: by the name of one of the named colours (the
// system colours among them), or any other colour from Qt's colour dialog, which is
// then kept as its number.

#include "ui/font_setting.h"

#include <QDialog>
#include <QWidget>

#include <cstdint>

class QComboBox;
class QPushButton;

namespace kelvo {

// A list of the colour names with a swatch each, and "Other colour..." for the rest. A
// value outside the table stands in the list as its number.
class ColorChoice : public QWidget {
    Q_OBJECT
public:
    explicit ColorChoice(QWidget* parent = nullptr);

    std::uint32_t value() const;
    void setValue(std::uint32_t value);

    QComboBox* names;
    QPushButton* otherButton;

private:
    void chooseOther();
    // The entry after the names that holds a value without a name.
    void showUnnamed(std::uint32_t value);
};

// The colour dialog of the Properties page.
class ColorDialog : public QDialog {
    Q_OBJECT
public:
    explicit ColorDialog(QWidget* parent = nullptr);

    ColorChoice* choice;
};

}  // namespace kelvo
