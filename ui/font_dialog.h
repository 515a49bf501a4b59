#pragma once
// The font dialog of the Properties page: Qt's font chooser with the test's colour
// choice beside it, since a font setting carries its colour.

#include <QDialog>

#include <cstdint>

class QFontDialog;

namespace kelvo {

class ColorChoice;

class FontDialog : public QDialog {
    Q_OBJECT
public:
    explicit FontDialog(QWidget* parent = nullptr);

    QFont currentFont() const;
    void setCurrentFont(const QFont& font);
    std::uint32_t colorValue() const;
    void setColorValue(std::uint32_t value);

    QFontDialog* fontChooser;
    ColorChoice* colorChoice;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace kelvo
