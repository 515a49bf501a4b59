#include "ui/font_setting.h"

#include <QApplication>
#include <QFontInfo>
#include <QPalette>
#include <QWidget>

#include <array>
#include <cstdint>
#include <stdexcept>
#include <utility>

namespace kelvo {

namespace {

struct NamedColor {
    const char* name;
    std::uint32_t value;
};

constexpr std::array<NamedColor, 52> kNamedColors{{
    {"clBlack", 0x00000000u}, {"clMaroon", 0x00000080u}, {"clGreen", 0x00008000u},
    {"clOlive", 0x00008080u}, {"clNavy", 0x00800000u}, {"clPurple", 0x00800080u},
    {"clTeal", 0x00808000u}, {"clGray", 0x00808080u}, {"clSilver", 0x00C0C0C0u},
    {"clRed", 0x000000FFu}, {"clLime", 0x0000FF00u}, {"clYellow", 0x0000FFFFu},
    {"clBlue", 0x00FF0000u}, {"clFuchsia", 0x00FF00FFu}, {"clAqua", 0x00FFFF00u},
    {"clWhite", 0x00FFFFFFu}, {"clMoneyGreen", 0x00C0DCC0u}, {"clSkyBlue", 0x00F0CAA6u},
    {"clCream", 0x00F0FBFFu}, {"clMedGray", 0x00A4A0A0u}, {"clNone", 0x1FFFFFFFu},
    {"clDefault", 0x20000000u}, {"clScrollBar", 0xFF000000u}, {"clBackground", 0xFF000001u},
    {"clActiveCaption", 0xFF000002u}, {"clInactiveCaption", 0xFF000003u}, {"clMenu", 0xFF000004u},
    {"clWindow", 0xFF000005u}, {"clWindowFrame", 0xFF000006u}, {"clMenuText", 0xFF000007u},
    {"clWindowText", 0xFF000008u}, {"clCaptionText", 0xFF000009u}, {"clActiveBorder", 0xFF00000Au},
    {"clInactiveBorder", 0xFF00000Bu}, {"clAppWorkSpace", 0xFF00000Cu}, {"clHighlight", 0xFF00000Du},
    {"clHighlightText", 0xFF00000Eu}, {"clBtnFace", 0xFF00000Fu}, {"clBtnShadow", 0xFF000010u},
    {"clGrayText", 0xFF000011u}, {"clBtnText", 0xFF000012u}, {"clInactiveCaptionText", 0xFF000013u},
    {"clBtnHighlight", 0xFF000014u}, {"cl3DDkShadow", 0xFF000015u}, {"cl3DLight", 0xFF000016u},
    {"clInfoText", 0xFF000017u}, {"clInfoBk", 0xFF000018u}, {"clHotLight", 0xFF00001Au},
    {"clGradientActiveCaption", 0xFF00001Bu}, {"clGradientInactiveCaption", 0xFF00001Cu},
    {"clMenuHighlight", 0xFF00001Du}, {"clMenuBar", 0xFF00001Eu},
}};

// The palette role nearest to a system colour index; the desktop's own look stands in
// for the system colours of the platform the files were first made on.
QPalette::ColorRole SystemColorRole(std::uint32_t index)
{
    switch (index) {
    case 0x05: return QPalette::Base;             // window background
    case 0x07:
    case 0x08:
    case 0x12:
    case 0x09: return QPalette::Text;             // menu, window, button and caption texts
    case 0x0D:
    case 0x1D:
    case 0x02: return QPalette::Highlight;
    case 0x0E: return QPalette::HighlightedText;
    case 0x10: return QPalette::Dark;
    case 0x11: return QPalette::PlaceholderText;
    case 0x14: return QPalette::Light;
    case 0x15: return QPalette::Shadow;
    case 0x16: return QPalette::Midlight;
    case 0x17: return QPalette::ToolTipText;
    case 0x18: return QPalette::ToolTipBase;
    default: return QPalette::Window;             // button faces, menus, borders
    }
}

}  // namespace

QColor ColorOfValue(std::uint32_t value)
{
    if ((value & 0xFF000000u) == 0xFF000000u)
        return QApplication::palette().color(SystemColorRole(value & 0x00FFFFFFu));
    if (value == 0x1FFFFFFFu)
        return QColor(Qt::transparent);
    if (value == 0x20000000u)
        return QApplication::palette().color(QPalette::Base);
    return QColor(static_cast<int>(value & 0xFFu), static_cast<int>((value >> 8) & 0xFFu),
                  static_cast<int>((value >> 16) & 0xFFu));
}

std::uint32_t ColorValueFromName(const QString& name)
{
    const QString text = name.trimmed();
    for (const NamedColor& named : kNamedColors)
        if (text.compare(QLatin1String(named.name), Qt::CaseInsensitive) == 0)
            return named.value;
    bool ok = false;
    qlonglong number = 0;
    if (text.startsWith(QLatin1Char('$')))
        number = text.mid(1).toLongLong(&ok, 16);
    else
        number = text.toLongLong(&ok, 10);
    if (!ok || number < -2147483648LL || number > 0xFFFFFFFFLL)
        throw std::invalid_argument(
            QStringLiteral("'%1' is not a valid colour").arg(text).toStdString());
    return static_cast<std::uint32_t>(number);
}

QString ColorNameOfValue(std::uint32_t value)
{
    for (const NamedColor& named : kNamedColors)
        if (named.value == value)
            return QLatin1String(named.name);
    return QStringLiteral("$%1").arg(value, 8, 16, QLatin1Char('0'));
}

QStringList ColorNames()
{
    QStringList names;
    for (const NamedColor& named : kNamedColors)
        names << QLatin1String(named.name);
    return names;
}

std::uint32_t ColorValueOf(const QColor& color)
{
    const QColor rgb = color.toRgb();
    return static_cast<std::uint32_t>(rgb.red()) | static_cast<std::uint32_t>(rgb.green()) << 8
           | static_cast<std::uint32_t>(rgb.blue()) << 16;
}

namespace {

// The text before the first ";" of the trimmed rest (all of it without one), at most
// 255 characters; the token and its ";" leave the rest.
QString NextToken(QString& rest)
{
    rest = rest.trimmed();
    const qsizetype end = rest.indexOf(QLatin1Char(';'));
    QString token = end < 0 ? rest : rest.left(end);
    rest = end < 0 ? QString() : rest.mid(end + 1);
    return token.left(255);
}

}  // namespace

QColor ColorFromName(const QString& name) { return ColorOfValue(ColorValueFromName(name)); }

SettingFont FontFromSettingString(const QString& setting)
{
    QString rest = setting;
    SettingFont result;
    result.font.setFamily(NextToken(rest));
    result.colorValue = ColorValueFromName(NextToken(rest));
    result.color = ColorOfValue(result.colorValue);
    const QString sizeText = NextToken(rest);
    bool ok = false;
    const int size = sizeText.toInt(&ok);
    if (!ok)
        throw std::invalid_argument(
            QStringLiteral("'%1' is not a valid integer value").arg(sizeText).toStdString());
    if (size > 0)
        result.font.setPointSize(size);
    const auto flag = [&rest] { return NextToken(rest).toLower() == QLatin1String("1"); };
    result.font.setBold(flag());
    result.font.setItalic(flag());
    result.font.setUnderline(flag());
    result.font.setStrikeOut(flag());
    return result;
}

QString FontSettingString(const QFont& font, std::uint32_t colorValue)
{
    // A font given in pixels still has a size in points.
    const int size = font.pointSize() > 0 ? font.pointSize() : QFontInfo(font).pointSize();
    const auto flag = [](bool on) { return on ? QStringLiteral("1;") : QStringLiteral("0;"); };
    return font.family() + u';' + ColorNameOfValue(colorValue) + u';' + QString::number(size) + u';'
           + flag(font.bold()) + flag(font.italic()) + flag(font.underline()) + flag(font.strikeOut());
}

void ApplyTextColor(QWidget& widget, const QColor& color)
{
    QPalette palette = widget.palette();
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        palette.setColor(role, color);
    widget.setPalette(palette);
}

}  // namespace kelvo
