#include "model/rtf_writer.h"

#include <QColor>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>

#include <cmath>
#include <stdexcept>
#include <vector>

namespace kelvo {

namespace {

// The character properties RTF carries for a run, as table indexes and half points.
struct RunStyle {
    int font = 0;
    int halfPoints = 24;  // \plain gives 12 pt
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    int colour = 0;  // 0 is the reader's automatic colour
};

int twips(double pixels) { return static_cast<int>(std::lround(pixels * kTwipsPerPixel)); }

// Characters of windows-1252 that differ from Latin-1 (0x80..0x9F), so a reader that
// does not understand \uN still shows the right letter.
int windows1252Byte(char16_t unit)
{
    static constexpr char16_t upper[32] = {
        0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0, 0x017D, 0, 0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013,
        0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};
    if (unit >= 0xA0 && unit <= 0xFF)
        return unit;
    for (int i = 0; i < 32; ++i)
        if (upper[i] != 0 && upper[i] == unit)
            return 0x80 + i;
    return -1;
}

void appendHexByte(QByteArray& out, int byte)
{
    static constexpr char digits[] = "0123456789abcdef";
    out += "\\'";
    out += digits[(byte >> 4) & 0xF];
    out += digits[byte & 0xF];
}

// Appends one UTF-16 unit as RTF text: ASCII as itself, the three special characters
// escaped, everything else as \uN followed by its one-character fallback.
void appendTextUnit(QByteArray& out, char16_t unit)
{
    switch (unit) {
    case u'\\': out += "\\\\"; return;
    case u'{': out += "\\{"; return;
    case u'}': out += "\\}"; return;
    case u'\t': out += "\\tab "; return;
    case 0x2028: out += "\\line "; return;            // line break inside a paragraph
    case 0x00A0: out += "\\~"; return;                // non-breaking space
    case 0x00AD: out += "\\-"; return;                // soft hyphen
    case 0xFFFC: case 0xFDD0: case 0xFDD1: case 0xFDEF:
        return;  // objects and frame marks of the document, not text
    default: break;
    }
    if (unit < 0x20)
        return;
    if (unit < 0x80) {
        out += static_cast<char>(unit);
        return;
    }
    out += "\\u";
    out += QByteArray::number(unit > 0x7FFF ? static_cast<int>(unit) - 0x10000 : static_cast<int>(unit));
    const int fallback = windows1252Byte(unit);
    if (fallback >= 0)
        appendHexByte(out, fallback);
    else
        out += '?';
}

void appendText(QByteArray& out, const QString& text)
{
    for (const QChar c : text)
        appendTextUnit(out, c.unicode());
}

// Tables of the fonts and colours the document uses, built before the body is written.
class StyleTables {
public:
    explicit StyleTables(const QTextDocument& document)
        : defaultFamily_(document.defaultFont().family()),
          defaultPointSize_(document.defaultFont().pointSizeF() > 0 ? document.defaultFont().pointSizeF() : 12.0)
    {
        fonts_.push_back(defaultFamily_);
    }

    RunStyle styleOf(const QTextCharFormat& format)
    {
        RunStyle style;
        const QStringList families = format.fontFamilies().toStringList();
        style.font = fontIndex(families.isEmpty() || families.first().isEmpty() ? defaultFamily_
                                                                               : families.first());
        const double points = format.fontPointSize() > 0 ? format.fontPointSize() : defaultPointSize_;
        style.halfPoints = std::max(1, static_cast<int>(std::lround(points * 2)));
        style.bold = format.fontWeight() > QFont::Medium;
        style.italic = format.fontItalic();
        style.underline = format.fontUnderline();
        style.strike = format.fontStrikeOut();
        if (format.hasProperty(QTextFormat::ForegroundBrush) && format.foreground().style() != Qt::NoBrush)
            style.colour = colourIndex(format.foreground().color());
        return style;
    }

    QByteArray fontTable() const
    {
        QByteArray out = "{\\fonttbl";
        for (qsizetype i = 0; i < fonts_.size(); ++i) {
            out += "{\\f" + QByteArray::number(i) + "\\fnil\\fcharset0 ";
            appendText(out, QString(fonts_[i]).remove(u';'));  // ';' ends the entry
            out += ";}";
        }
        return out + "}";
    }

    QByteArray colourTable() const
    {
        QByteArray out = "{\\colortbl;";
        for (const QRgb rgb : colours_)
            out += "\\red" + QByteArray::number(qRed(rgb)) + "\\green" + QByteArray::number(qGreen(rgb))
                   + "\\blue" + QByteArray::number(qBlue(rgb)) + ';';
        return out + "}";
    }

private:
    int fontIndex(const QString& family)
    {
        qsizetype index = fonts_.indexOf(family);
        if (index < 0) {
            fonts_.push_back(family);
            index = fonts_.size() - 1;
        }
        return static_cast<int>(index);
    }

    int colourIndex(const QColor& colour)
    {
        const QRgb rgb = colour.rgb() & 0xFFFFFF;
        for (std::size_t i = 0; i < colours_.size(); ++i)
            if (colours_[i] == rgb)
                return static_cast<int>(i) + 1;
        colours_.push_back(rgb);
        return static_cast<int>(colours_.size());
    }

    QString defaultFamily_;
    double defaultPointSize_;
    QStringList fonts_;
    std::vector<QRgb> colours_;
};

// Control words that turn the style `from` into `to`; empty when they are the same.
QByteArray styleChange(const RunStyle& from, const RunStyle& to)
{
    QByteArray out;
    auto toggle = [&out](bool was, bool now, const char* on, const char* off) {
        if (was != now)
            out += now ? on : off;
    };
    if (from.font != to.font)
        out += "\\f" + QByteArray::number(to.font);
    if (from.halfPoints != to.halfPoints)
        out += "\\fs" + QByteArray::number(to.halfPoints);
    toggle(from.bold, to.bold, "\\b", "\\b0");
    toggle(from.italic, to.italic, "\\i", "\\i0");
    toggle(from.underline, to.underline, "\\ul", "\\ulnone");
    toggle(from.strike, to.strike, "\\strike", "\\strike0");
    if (from.colour != to.colour)
        out += "\\cf" + QByteArray::number(to.colour);
    if (!out.isEmpty())
        out += ' ';
    return out;
}

QByteArray paragraphControls(const QTextDocument& document, const QTextBlockFormat& format)
{
    QByteArray out = "\\pard";
    const Qt::Alignment horizontal = format.alignment() & Qt::AlignHorizontal_Mask;
    if (horizontal & (Qt::AlignRight | Qt::AlignTrailing))
        out += "\\qr";
    else if (horizontal & Qt::AlignHCenter)
        out += "\\qc";
    else if (horizontal & Qt::AlignJustify)
        out += "\\qj";
    else
        out += "\\ql";
    const double left = format.leftMargin() + format.indent() * document.indentWidth();
    if (const int fi = twips(format.textIndent()); fi != 0)
        out += "\\fi" + QByteArray::number(fi);
    if (const int li = twips(left); li != 0)
        out += "\\li" + QByteArray::number(li);
    if (const int ri = twips(format.rightMargin()); ri != 0)
        out += "\\ri" + QByteArray::number(ri);
    if (const int sb = twips(format.topMargin()); sb != 0)
        out += "\\sb" + QByteArray::number(sb);
    if (const int sa = twips(format.bottomMargin()); sa != 0)
        out += "\\sa" + QByteArray::number(sa);
    for (const QTextOption::Tab& tab : format.tabPositions()) {
        switch (tab.type) {
        case QTextOption::RightTab: out += "\\tqr"; break;
        case QTextOption::CenterTab: out += "\\tqc"; break;
        case QTextOption::DelimiterTab: out += "\\tqdec"; break;
        case QTextOption::LeftTab: break;
        }
        out += "\\tx" + QByteArray::number(twips(tab.position));
    }
    return out + "\\plain ";
}

}  // namespace

QByteArray documentToRtf(const QTextDocument& document)
{
    StyleTables tables(document);
    const RunStyle plain;
    QByteArray body;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        body += paragraphControls(document, block.blockFormat());
        const RunStyle blockStyle = tables.styleOf(block.charFormat());
        body += styleChange(plain, blockStyle);
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            const QByteArray change = styleChange(blockStyle, tables.styleOf(fragment.charFormat()));
            if (change.isEmpty()) {
                appendText(body, fragment.text());
                continue;
            }
            body += '{' + change;
            appendText(body, fragment.text());
            body += '}';
        }
        body += "\\par\n";
    }
    QByteArray out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n";
    out += tables.fontTable() + '\n';
    out += tables.colourTable() + '\n';
    out += "{\\*\\generator Kelvo;}\n";
    out += body;
    out += "}\n";
    return out;
}

void saveDocumentAsRtf(const QTextDocument& document, const QString& path)
{
    QSaveFile file(path);
    const QByteArray rtf = documentToRtf(document);
    if (!file.open(QIODevice::WriteOnly) || file.write(rtf) != rtf.size() || !file.commit())
        throw std::runtime_error(
            QStringLiteral("Cannot write the file \"%1\": %2").arg(path, file.errorString()).toStdString());
}

}  // namespace kelvo
