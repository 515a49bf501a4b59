#pragma once
// Fonts and colours as a test stores them in its settings rows. A font is seven fields,
// each ended by ";": name, colour name, size in points, and bold, italic, underline and
// strike-out as "1" or "0" ("Arial;clBlack;12;0;0;0;0;"). A colour is the name of one
// of the named colours below, or a number ("$" for hexadecimal) in the layout the file
// keeps: red in the lowest byte, a top byte of $FF for a system colour.

#include <QColor>
#include <QFont>
#include <QString>

class QWidget;

namespace kelvo {

struct SettingFont {
    QFont font;
    QColor color;
};

// The colour a stored colour name stands for. Names are read without regard to case;
// system colours take the application palette's colour of the same role. Throws
// std::invalid_argument when the text is neither a name nor a number.
QColor ColorFromName(const QString& name);

// Reads a font setting string. A size or colour that does not convert throws
// std::invalid_argument; a missing trailing ";" is accepted.
SettingFont FontFromSettingString(const QString& setting);

// Gives a control's texts (labels, buttons, edits) the colour of its setting font.
void ApplyTextColor(QWidget& widget, const QColor& color);

}  // namespace kelvo
