#include "model/rtf_reader.h"
#include "model/rtf_writer.h"
#include "tests/support/rtf_test_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <gtest/gtest.h>

#include <stdexcept>

using namespace kelvo;
using kelvo::rtf_check::blockTexts;
using kelvo::rtf_check::StyledRun;
using kelvo::rtf_check::runsOf;

namespace {

QTextCharFormat charFormat(double points, bool bold, bool italic, bool underline, const QColor& colour,
                           const QString& family = QStringLiteral("DejaVu Sans"))
{
    QTextCharFormat format;
    format.setFontPointSize(points);
    format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(italic);
    format.setFontUnderline(underline);
    format.setForeground(colour);
    format.setFontFamilies({family});
    return format;
}

// Three paragraphs that use every property the writer carries.
void fillStyledDocument(QTextDocument& document)
{
    QTextCursor cursor(&document);
    QTextBlockFormat title;
    title.setAlignment(Qt::AlignHCenter);
    cursor.setBlockFormat(title);
    cursor.insertText(QStringLiteral("Validation report"), charFormat(16, true, false, false, Qt::darkBlue));

    QTextBlockFormat line;
    line.setAlignment(Qt::AlignLeft);
    line.setTextIndent(20);
    line.setLeftMargin(10);
    line.setTabPositions({QTextOption::Tab(100, QTextOption::LeftTab), QTextOption::Tab(200, QTextOption::RightTab)});
    cursor.insertBlock(line);
    cursor.insertText(QStringLiteral("Plain, "), charFormat(10, false, false, false, Qt::black));
    cursor.insertText(QStringLiteral("italic"), charFormat(10, false, true, false, Qt::black));
    cursor.insertText(QStringLiteral(" and "), charFormat(10, false, false, false, Qt::black));
    cursor.insertText(QStringLiteral("underlined red"), charFormat(12, false, false, true, Qt::red, "Liberation Serif"));
    cursor.insertText(QStringLiteral("\tcol\u2028next line"), charFormat(10, true, true, false, Qt::black));

    QTextBlockFormat right;
    right.setAlignment(Qt::AlignRight);
    cursor.insertBlock(right);
    cursor.insertText(QStringLiteral("Grüße {braces} \\ € Жук 한 😀"), charFormat(9, false, false, false, QColor(1, 2, 3)));
}

QByteArray toRtf(const QString& plain)
{
    QTextDocument document;
    document.setPlainText(plain);
    return documentToRtf(document);
}

}  // namespace

TEST(RtfWriter, WritesValidHeaderWithFontAndColourTables)
{
    QTextDocument document;
    fillStyledDocument(document);
    const QByteArray rtf = documentToRtf(document);
    EXPECT_TRUE(rtf.startsWith("{\\rtf1\\ansi\\ansicpg1252\\deff0")) << rtf.left(60).constData();
    EXPECT_TRUE(rtf.contains("{\\fonttbl{\\f0"));
    EXPECT_TRUE(rtf.contains("Liberation Serif;}"));
    EXPECT_TRUE(rtf.contains("{\\colortbl;"));
    EXPECT_TRUE(rtf.contains("\\red255\\green0\\blue0;"));
    EXPECT_TRUE(rtf.trimmed().endsWith('}'));

    int depth = 0;
    for (qsizetype i = 0; i < rtf.size(); ++i) {
        const auto byte = static_cast<unsigned char>(rtf[i]);
        ASSERT_LT(byte, 0x80) << "RTF must be 7-bit text, byte " << i;
        if (rtf[i] == '\\') {
            ++i;  // an escaped brace or backslash is no group
            continue;
        }
        depth += rtf[i] == '{' ? 1 : rtf[i] == '}' ? -1 : 0;
        ASSERT_GE(depth, 0) << "group closed before it opened at " << i;
    }
    EXPECT_EQ(depth, 0);
}

TEST(RtfWriter, EscapesSpecialAndNonAsciiCharacters)
{
    struct Case {
        QString text;
        QByteArray expected;
    } const cases[] = {
        {QStringLiteral("a\\b{c}d"), "a\\\\b\\{c\\}d"},
        {QStringLiteral("café"), "caf\\u233\\'e9"},        // Latin-1 fallback byte
        {QStringLiteral("5 €"), "5 \\u8364\\'80"},          // windows-1252 fallback byte
        {QStringLiteral("Жук"), "\\u1046?\\u1091?\\u1082?"},
        {QStringLiteral("한"), "\\u-10916?"},               // above 32767: signed 16 bits
        {QStringLiteral("😀"), "\\u-10179?\\u-8704?"},      // one \u per UTF-16 unit
        {QStringLiteral("a\tb"), "a\\tab b"},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(toRtf(c.text).contains(c.expected))
            << c.text.toStdString() << " not written as " << c.expected.constData() << " in\n"
            << toRtf(c.text).constData();
}

TEST(RtfWriter, RoundTripKeepsTextParagraphAndCharacterFormats)
{
    QTextDocument written;
    fillStyledDocument(written);
    QTextDocument read;
    readRtfInto(documentToRtf(written), read);

    EXPECT_EQ(blockTexts(read), blockTexts(written));
    const std::vector<StyledRun> expected = runsOf(written);
    const std::vector<StyledRun> actual = runsOf(read);
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(actual[i], expected[i]) << "run " << i;

    QTextBlock writtenBlock = written.begin();
    QTextBlock readBlock = read.begin();
    for (; writtenBlock.isValid() && readBlock.isValid(); writtenBlock = writtenBlock.next(), readBlock = readBlock.next()) {
        const QTextBlockFormat w = writtenBlock.blockFormat();
        const QTextBlockFormat r = readBlock.blockFormat();
        EXPECT_EQ(r.alignment() & Qt::AlignHorizontal_Mask, w.alignment() & Qt::AlignHorizontal_Mask);
        EXPECT_DOUBLE_EQ(r.textIndent(), w.textIndent());
        EXPECT_DOUBLE_EQ(r.leftMargin(), w.leftMargin());
        EXPECT_EQ(r.tabPositions(), w.tabPositions());
    }
}

TEST(RtfWriter, RoundTripKeepsEmptyParagraphs)
{
    for (const QString& text : {QString(), QStringLiteral("one\n\nthree\n"), QStringLiteral("\n\n")}) {
        QTextDocument written;
        written.setPlainText(text);
        QTextDocument read;
        readRtfInto(documentToRtf(written), read);
        EXPECT_EQ(blockTexts(read), blockTexts(written)) << text.toStdString();
    }
}

TEST(RtfWriter, SaveReplacesTheFileAndReportsFailure)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("log.rtf"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100000, 'x'));
    }
    QTextDocument document;
    document.setPlainText(QStringLiteral("short"));
    saveDocumentAsRtf(document, path);
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), documentToRtf(document));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList{"log.rtf"}) << "no temporary left behind";

    const QString unreachable = folder.filePath(QStringLiteral("missing/log.rtf"));
    try {
        saveDocumentAsRtf(document, unreachable);
        FAIL() << "saving into a missing folder succeeded";
    } catch (const std::runtime_error& e) {
        EXPECT_TRUE(QString::fromStdString(e.what()).contains(unreachable)) << e.what();
    }
}
