// Font setting strings and colour names as a test stores them, read and written.
#include "ui/font_setting.h"

#include <QApplication>
#include <QPalette>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace kelvo;

namespace {

struct ReadCase {
    const char* setting;
    const char* family;
    int size;
    bool bold, italic, underline, strikeOut;
    std::uint32_t color;
};

TEST(FontSetting, ReadsEachFieldAndToleratesAMissingLastSemicolon)
{
    const ReadCase cases[] = {
        {"Arial;clBlack;12;0;0;0;0;", "Arial", 12, false, false, false, false, 0x000000u},
        {"Times New Roman;clRed;14;1;1;0;0", "Times New Roman", 14, true, true, false, false, 0x0000FFu},
        {"  DejaVu Serif; CLBLUE; 9;0;0;1;1;", "DejaVu Serif", 9, false, false, true, true, 0xFF0000u},
        // A colour without a name, in hexadecimal or decimal; flags other than "1" are off.
        {"Mono;$00563412;10;true;2;1;x;", "Mono", 10, false, false, true, false, 0x563412u},
        {"Mono;255;10;0;0;0;0;", "Mono", 10, false, false, false, false, 0x0000FFu},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.setting);
        const SettingFont font = FontFromSettingString(QString::fromUtf8(c.setting));
        EXPECT_EQ(font.font.family(), c.family);
        EXPECT_EQ(font.font.pointSize(), c.size);
        EXPECT_EQ(font.font.bold(), c.bold);
        EXPECT_EQ(font.font.italic(), c.italic);
        EXPECT_EQ(font.font.underline(), c.underline);
        EXPECT_EQ(font.font.strikeOut(), c.strikeOut);
        EXPECT_EQ(font.colorValue, c.color);
    }
}

TEST(FontSetting, ASizeOrColourThatDoesNotConvertFails)
{
    for (const char* setting : {"Arial;clBlack;big;0;0;0;0;", "Arial;clPlaid;12;0;0;0;0;", "Arial;$zz;12;0;0;0;0;",
                                "Arial"})
        EXPECT_THROW(FontFromSettingString(QString::fromUtf8(setting)), std::invalid_argument) << setting;
}

TEST(FontSetting, WritesTheDialogsFontWithTheColourByNameOrAsItsNumber)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(10);
    font.setBold(true);
    font.setUnderline(true);
    EXPECT_EQ(FontSettingString(font, 0xFF0000u), "Arial;clBlue;10;1;0;1;0;");
    font.setItalic(true);
    font.setStrikeOut(true);
    font.setBold(false);
    EXPECT_EQ(FontSettingString(font, 0x563412u), "Arial;$00563412;10;0;1;1;1;");
    // Read back, the string gives the same font and colour.
    const SettingFont read = FontFromSettingString(FontSettingString(font, 0xFF00000Fu));
    EXPECT_EQ(FontSettingString(read.font, read.colorValue), "Arial;clBtnFace;10;0;1;1;1;");
}

TEST(ColorNames, ValuesKeepTheByteOrderOfTheFile)
{
    // Blue is the high byte of a plain colour, red the low one.
    EXPECT_EQ(ColorValueFromName(QStringLiteral("clBlue")), 0x00FF0000u);
    EXPECT_EQ(ColorValueFromName(QStringLiteral("clskyblue")), 0x00F0CAA6u);
    EXPECT_EQ(ColorOfValue(0x00FF0000u), QColor(0, 0, 255));
    EXPECT_EQ(ColorOfValue(0x00563412u), QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(ColorValueOf(QColor(0x12, 0x34, 0x56)), 0x00563412u);
    EXPECT_EQ(ColorNameOfValue(ColorValueOf(QColor(255, 0, 0))), "clRed");
    EXPECT_EQ(ColorNameOfValue(0x00C0DCC0u), "clMoneyGreen");
    EXPECT_EQ(ColorNameOfValue(0x1FFFFFFFu), "clNone");
    EXPECT_EQ(ColorNameOfValue(0x00000001u), "$00000001");
    // Every name of the table reads back to itself.
    for (const QString& name : ColorNames())
        EXPECT_EQ(ColorNameOfValue(ColorValueFromName(name)), name);
    // System colours follow the desktop's palette.
    EXPECT_EQ(ColorFromName(QStringLiteral("clWindow")), QApplication::palette().color(QPalette::Base));
}

}  // namespace
