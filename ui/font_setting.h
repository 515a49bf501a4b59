#pragma once
// Fonts and colours as a test stores them in its settings rows. A font is seven fields,
// each ended by ";": name, colour name, size in points, and bold, italic, underline and
// strike-out as "1" or "0" ("Arial;clBlack;12;0;0;0;0;"). A colour is the name of one
// of the named colours below, or a number ("$" for hexadecimal) in the layout the file
// keeps: red in the lowest byte, a top byte of $FF for a system colour.

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>

#include <cstdint>

class QWidget;

namespace kelvo {

struct SettingFont {
    QFont font;
    QColor color;
    // The colour as the file keeps it, so that a font read and written again keeps its
    // colour name.
    std::uint32_t colorValue = 0;
};

// The colour value a stored colour text stands for: a name (without regard to case) or
// an integer ("$" for hexadecimal). Throws std::invalid_argument otherwise.
std::uint32_t ColorValueFromName(const QString& name);
// How a colour value is stored: the name of the colour with exactly that value, else
// "$" and eight lower-case hexadecimal digits.
QString ColorNameOfValue(std::uint32_t value);
// The names of the colour table, in its order.
QStringList ColorNames();
// The colour a value shows as; system colours take the application palette's colour
// of the same role.
QColor ColorOfValue(std::uint32_t value);
// The value of a plain colour: red in the lowest byte, a top byte of 0.
std::uint32_t ColorValueOf(const QColor& color);

// The colour a stored colour name stands for. Throws std::invalid_argument when the
// text is neither a name nor a number.
QColor ColorFromName(const QString& name);

// Reads a font setting string. A size or colour that does not convert throws
// std::invalid_argument; a missing trailing ";" is accepted.
SettingFont FontFromSettingString(const QString& setting);
// The setting string of a font and colour: "Arial;clBlack;12;0;0;0;0;".
QString FontSettingString(const QFont& font, std::uint32_t colorValue);

// Gives a control's texts (labels, buttons, edits) the colour of its setting font.
void ApplyTextColor(QWidget& widget, const QColor& color);

}  // namespace kelvo
