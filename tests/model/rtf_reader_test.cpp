#include "model/rtf_reader.h"
#include "model/rtf_writer.h"
#include "tests/support/rtf_test_support.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <gtest/gtest.h>

#include <random>

using namespace kelvo;
using kelvo::rtf_check::blockTexts;
using kelvo::rtf_check::runsOf;
using kelvo::rtf_check::StyledRun;

namespace {

QStringList readTexts(const QByteArray& rtf)
{
    QTextDocument document;
    readRtfInto(rtf, document);
    return blockTexts(document);
}

}  // namespace

TEST(RtfReader, ReadsTextOfTypicalFiles)
{
    struct Case {
        const char* what;
        QByteArray rtf;
        QStringList paragraphs;
    } const cases[] = {
        {"paragraphs", "{\\rtf1 one\\par two}", {"one", "two"}},
        {"final \\par ends the last paragraph", "{\\rtf1 one\\par two\\par}", {"one", "two"}},
        {"empty paragraph kept", "{\\rtf1 one\\par\\par three}", {"one", "", "three"}},
        {"line break and tab", "{\\rtf1 a\\line b\\tab c}", {u"a\u2028b\tc"_qs}},
        {"escaped specials", "{\\rtf1 \\\\\\{\\}}", {"\\{}"}},
        {"raw line ends are no text", "{\\rtf1 a\r\nb\nc}", {"abc"}},
        {"escaped line end is a paragraph", "{\\rtf1 a\\\nb}", {"a", "b"}},
        {"windows-1252 by default", "{\\rtf1\\ansi caf\\'e9 \\'80 \\'93q\\'94}", {u"café € “q”"_qs}},
        {"declared code page", "{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8}", {u"При"_qs}},
        {"font charset overrides the code page",
         "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset204 Arial Cyr;}}\\f1 \\'c6\\f0 \\'c6}",
         {u"ЖÆ"_qs}},
        {"double-byte code page", "{\\rtf1\\ansi\\ansicpg932 \\'82\\'a0}", {u"あ"_qs}},
        {"unicode with one fallback character", "{\\rtf1 \\u8364?x}", {u"€x"_qs}},
        {"unicode with hex fallback", "{\\rtf1 \\u233\\'e9t\\'e9}", {u"été"_qs}},
        {"\\uc2 skips two", "{\\rtf1\\uc2 \\u8364\\'80\\'80x}", {u"€x"_qs}},
        {"\\uc0 skips none", "{\\rtf1\\uc0 \\u8364 x}", {u"€x"_qs}},
        {"\\uc is kept per group", "{\\rtf1{\\uc2 \\u8364 ab}\\u8364 ab}", {u"€€b"_qs}},
        {"negative unicode, surrogate pair", "{\\rtf1 \\u-10179?\\u-8704?}", {u"😀"_qs}},
        {"fallback skip stops at a group end", "{\\rtf1\\uc3 {\\u8364}ab}", {u"€ab"_qs}},
        {"named characters", "{\\rtf1 \\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote\\~.}",
         {u"—–•‘’“”\u00a0."_qs}},
        {"style sheet, information and generator skipped",
         "{\\rtf1{\\stylesheet{\\s0 Normal;}{\\s1 Heading 1;}}{\\info{\\title T}{\\author A}}"
         "{\\*\\generator Writer;}A}",
         {"A"}},
        {"unknown starred destinations skipped", "{\\rtf1 a{\\*\\unknownthing {nested} text}b}", {"ab"}},
        {"picture with hex data skipped", "{\\rtf1 a{\\pict\\pngblip\\picw10 89504e470d0a}b}", {"ab"}},
        {"binary picture data skipped, braces in it too", "{\\rtf1 x{\\pict\\bin4 }{}}}y}", {"xy"}},
        {"field shows its result", "{\\rtf1 see {\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt here}}.}", {"see here."}},
        {"hidden text", "{\\rtf1 a{\\v hidden}b\\v c\\v0 d}", {"abd"}},
        {"table cells and rows", "{\\rtf1\\trowd\\cellx1000\\cellx2000 a\\cell b\\cell\\row c}", {"a\tb\t", "c"}},
        {"list numbering text", "{\\rtf1{\\listtext 1.\\tab}Item}", {"1.\tItem"}},
        {"text after the document ignored", "{\\rtf1 a}junk\\par more", {"a"}},
        {"header and footer skipped", "{\\rtf1{\\header Head}{\\footerr Foot}Body}", {"Body"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(readTexts(c.rtf), c.paragraphs) << c.what;
}

TEST(RtfReader, ReadsCharacterFormatsWithTablesAndGroups)
{
    const QByteArray rtf =
        "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}"
        "{\\f1\\fmodern\\fcharset0 Courier New{\\*\\panose 02070309020205020404};}}"
        "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green128\\blue0;}"
        "\\fs20 n{\\b b{\\i bi}}\\ul u\\ulnone{\\f1\\fs30\\cf1 c}\\cf2\\uldb g\\ul0 \\plain p}";
    QTextDocument document;
    readRtfInto(rtf, document);
    const QColor none;
    const std::vector<StyledRun> expected = {
        {"n", false, false, false, none, 10, "Arial"},
        {"b", true, false, false, none, 10, "Arial"},
        {"bi", true, true, false, none, 10, "Arial"},
        {"u", false, false, true, none, 10, "Arial"},
        {"c", false, false, false, QColor(255, 0, 0), 15, "Courier New"},
        {"g", false, false, true, QColor(0, 128, 0), 10, "Arial"},
        {"p", false, false, false, none, 12, "Arial"},  // \plain: default font, 12 pt
    };
    const std::vector<StyledRun> actual = runsOf(document);
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(actual[i], expected[i]) << "run " << i;
}

TEST(RtfReader, ReadsParagraphFormats)
{
    const QByteArray rtf =
        "{\\rtf1\\pard\\qc\\fi300\\li600\\ri150\\sb90\\sa45\\tx1500\\tqr\\tx3000 x\\par"
        "\\pard y\\qr\\par{\\pard\\qj z\\par}w}";
    QTextDocument document;
    readRtfInto(rtf, document);
    ASSERT_EQ(blockTexts(document), (QStringList{"x", "y", "z", "w"}));
    const QTextBlockFormat x = document.findBlockByNumber(0).blockFormat();
    EXPECT_EQ(x.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_DOUBLE_EQ(x.textIndent(), 20);
    EXPECT_DOUBLE_EQ(x.leftMargin(), 40);
    EXPECT_DOUBLE_EQ(x.rightMargin(), 10);
    EXPECT_DOUBLE_EQ(x.topMargin(), 6);
    EXPECT_DOUBLE_EQ(x.bottomMargin(), 3);
    EXPECT_EQ(x.tabPositions(), (QList<QTextOption::Tab>{QTextOption::Tab(100, QTextOption::LeftTab),
                                                         QTextOption::Tab(200, QTextOption::RightTab)}));
    const QTextBlockFormat y = document.findBlockByNumber(1).blockFormat();
    EXPECT_EQ(y.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight) << "the format at \\par is the paragraph's";
    EXPECT_DOUBLE_EQ(y.textIndent(), 0);
    EXPECT_TRUE(y.tabPositions().isEmpty());
    EXPECT_EQ(document.findBlockByNumber(2).blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignJustify);
    EXPECT_EQ(document.findBlockByNumber(3).blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight)
        << "paragraph properties end with their group";
}

TEST(RtfReader, MalformedInputGivesWhatCanBeRead)
{
    struct Case {
        const char* what;
        QByteArray rtf;
        QString text;  // paragraphs joined by "|"
    } const cases[] = {
        {"truncated text", "{\\rtf1 abc", "abc"},
        {"truncated after a backslash", "{\\rtf1 abc\\", "abc"},
        {"truncated hex", "{\\rtf1 abc\\'4", "abc"},
        {"truncated unicode", "{\\rtf1 abc\\u", "abc"},
        {"binary length beyond the end", "{\\rtf1 abc\\bin999999999 xx", "abc"},
        {"negative binary length", "{\\rtf1 a\\bin-5 b}", "ab"},
        {"stray closing braces first", "}}}{\\rtf1 a}", "a"},
        {"unclosed groups", "{\\rtf1 a{\\b b{\\i c", "abc"},
        {"invalid hex digits", "{\\rtf1 a\\'zzb}", "azzb"},
        {"huge size", "{\\rtf1\\fs99999999999999999999 a}", "a"},
        {"huge unicode", "{\\rtf1 \\u99999999999?x}", u"\ufffdx"_qs},
        {"huge \\uc is bounded", "{\\rtf1\\uc99999999 \\u65 abcdefghijklmnopqrstuvwxyz}", "Aqrstuvwxyz"},
        {"negative colour and font", "{\\rtf1\\cf-5\\f-3 a}", "a"},
        {"colour beyond the table", "{\\rtf1{\\colortbl;\\red1\\green2\\blue3;}\\cf99 a}", "a"},
        {"lone surrogate", "{\\rtf1 \\u-10179?x}", u"\ufffdx"_qs},
        {"control characters as unicode", "{\\rtf1\\uc0 a\\u0 \\u10 \\u13 \\u8233 b}", u"a\u2028b"_qs},
        {"unterminated font table", "{\\rtf1{\\fonttbl{\\f0 Arial", ""},
        {"text outside any group", "plain words", ""},
        {"empty", "", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(readTexts(c.rtf).join(u'|'), c.text) << c.what;
}

TEST(RtfReader, DeepNestingIsBounded)
{
    QByteArray rtf = "{\\rtf1 ";
    rtf += QByteArray(200000, '{');
    rtf += "\\b deep";
    rtf += QByteArray(200000, '}');
    rtf += "after}";
    QTextDocument document;
    readRtfInto(rtf, document);
    EXPECT_EQ(blockTexts(document), (QStringList{"deepafter"}));
}

// Random token soup and every truncation of a real file: the reader must neither
// crash nor hang, and the document must stay usable.
TEST(RtfReader, SurvivesRandomAndTruncatedInput)
{
    const char* const tokens[] = {"{", "}", "\\", "\\par ", "\\u-5", "\\u55357", "\\'", "\\'e9", "\\bin3 ",
                                  "\\*", "a", "\\fs", "\\pict ", "\\uc3 ", "12", "-", "\r\n", ";", "\\fonttbl",
                                  "\\colortbl", "\\red300", "\\f7", "\\cf2", "\\b", "\\ansicpg932 ", "\\'82",
                                  "\\tx", "\\tqdec", "\\line", "\\v", "\xff", "\0", " ", "\\rtf1"};
    std::mt19937 random(20261210);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(tokens) - 1);
    for (int round = 0; round < 2000; ++round) {
        QByteArray rtf;
        for (int i = 0; i < 60; ++i) {
            const char* const token = tokens[pick(random)];
            rtf += *token ? QByteArray(token) : QByteArray(1, '\0');
        }
        QTextDocument document;
        readRtfInto(rtf, document);
        EXPECT_GE(document.blockCount(), 1);
    }

    QTextDocument source;
    QTextCursor cursor(&source);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    bold.setForeground(Qt::red);
    cursor.insertText(u"Grüße 😀 {x}\t"_qs, bold);
    cursor.insertBlock();
    cursor.insertText(QStringLiteral("second"));
    const QByteArray full = documentToRtf(source);
    for (qsizetype length = 0; length <= full.size(); ++length) {
        QTextDocument document;
        readRtfInto(full.left(length), document);
        const QString text = document.toPlainText();
        // A number cut short may give one wrong character, and a surrogate pair cut
        // short a replacement character before it.
        ASSERT_TRUE(QStringLiteral("Grüße 😀 {x}\t\nsecond").startsWith(text.left(text.size() - 2)))
            << "prefix " << length << " read as " << text.toStdString();
    }
}

TEST(RtfReader, LoadsRichOrPlainTextFiles)
{
    struct Case {
        const char* what;
        QByteArray bytes;
        QString text;
    } const cases[] = {
        {"RTF", "{\\rtf1 {\\b Read} this}", "Read this"},
        {"RTF after blanks", "\r\n  {\\rtf1 x}", "x"},
        {"UTF-8 plain text", "Grüße\nzweite Zeile", u"Grüße\nzweite Zeile"_qs},
        {"UTF-8 with byte order mark", "\xEF\xBB\xBFPlan", "Plan"},
        {"windows-1252 plain text", "caf\xe9 \x80", u"café €"_qs},
        {"plain text with braces", "{not rtf}", "{not rtf}"},
    };
    for (const Case& c : cases) {
        QTextDocument document;
        readRtfOrPlainTextInto(c.bytes, document);
        EXPECT_EQ(document.toPlainText(), c.text) << c.what;
    }
    EXPECT_TRUE(looksLikeRtf("{\\rtf1\\ansi}"));
    EXPECT_FALSE(looksLikeRtf("{\\rt"));
}
