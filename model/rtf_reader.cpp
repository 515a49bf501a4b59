#include "model/rtf_reader.h"

#include "model/rtf_writer.h"

#include <QColor>
#include <QStringDecoder>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace kelvo {

namespace {

// Nesting deeper than this is counted but shares the innermost state: a file of nothing
// but opening braces must not cost memory in proportion to its size.
constexpr std::size_t kMaxGroupDepth = 512;
// Lengths beyond 22 inches and sizes beyond 1638 points are clamped.
constexpr int kMaxTwips = 31680;
constexpr int kMaxHalfPoints = 3276;

// windows-1252 bytes 0x80..0x9F; the rest of the code page is Latin-1. The five
// unassigned bytes read as the replacement character.
constexpr std::array<char16_t, 32> kWindows1252Upper = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

QString decodeWindows1252(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text += QChar(byte >= 0x80 && byte < 0xA0 ? kWindows1252Upper[byte - 0x80] : char16_t(byte));
    }
    return text;
}

QByteArray codePageName(int codePage)
{
    switch (codePage) {
    case 437: return "IBM437";
    case 850: return "IBM850";
    case 932: return "Shift_JIS";
    case 936: return "GBK";
    case 949: return "windows-949";
    case 950: return "Big5";
    case 10000: return "macintosh";
    case 65001: return "UTF-8";
    default: return "windows-" + QByteArray::number(codePage);
    }
}

// The code page of a font's \fcharset; 0 when the document's code page applies (ANSI,
// default and symbol fonts, and charsets this reader does not know).
int codePageOfCharset(int charset)
{
    switch (charset) {
    case 77: return 10000;
    case 128: return 932;
    case 129: return 949;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    default: return 0;
    }
}

// Decoders for the code pages met in one file, made once each.
class CodePages {
public:
    QString decode(int codePage, const QByteArray& bytes)
    {
        if (codePage == 1252 || codePage <= 0)
            return decodeWindows1252(bytes);
        auto found = decoders_.find(codePage);
        if (found == decoders_.end()) {
            auto decoder = std::make_unique<QStringDecoder>(codePageName(codePage).constData());
            if (!decoder->isValid())
                decoder.reset();
            found = decoders_.emplace(codePage, std::move(decoder)).first;
        }
        if (!found->second)
            return decodeWindows1252(bytes);
        found->second->resetState();
        return found->second->decode(bytes);
    }

private:
    std::map<int, std::unique_ptr<QStringDecoder>> decoders_;
};

// Groups whose content is not text of the document.
bool isSkippedDestination(std::string_view word)
{
    static constexpr std::string_view skipped[] = {
        "stylesheet", "info", "pict", "object", "objdata", "header", "headerl", "headerr",
        "headerf", "footer", "footerl", "footerr", "footerf", "footnote", "annotation",
        "fldinst", "themedata", "colorschememapping", "listtable", "listoverridetable",
        "revtbl", "rsidtbl", "xe", "tc", "txe", "rxe", "pntxta", "pntxtb", "pnseclvl",
        "filetbl", "template", "datafield", "bkmkstart", "bkmkend", "atnid", "atnauthor",
        "atrfstart", "atrfend", "atndate", "atnref", "private", "shpinst", "sp", "sn", "sv",
        "nonshppict", "ftnsep", "ftnsepc", "ftncn", "aftnsep", "aftnsepc", "aftncn",
        "latentstyles", "datastore", "generator", "userprops", "docvar", "pgdsctbl",
        "xmlnstbl", "mmathPr", "fchars", "lchars", "blipuid", "shppict", "panose", "falt"};
    return std::find(std::begin(skipped), std::end(skipped), word) != std::end(skipped);
}

// Control words that stand for one character.
std::optional<char16_t> characterWord(std::string_view word)
{
    struct Entry {
        std::string_view word;
        char16_t unit;
    };
    static constexpr Entry entries[] = {
        {"tab", u'\t'},       {"cell", u'\t'},      {"nestcell", u'\t'},  {"line", 0x2028},
        {"emdash", 0x2014},   {"endash", 0x2013},   {"emspace", 0x2003},  {"enspace", 0x2002},
        {"qmspace", 0x2005},  {"bullet", 0x2022},   {"lquote", 0x2018},   {"rquote", 0x2019},
        {"ldblquote", 0x201C}, {"rdblquote", 0x201D}, {"zwj", 0x200D},    {"zwnj", 0x200C},
        {"ltrmark", 0x200E},  {"rtlmark", 0x200F}};
    for (const Entry& entry : entries)
        if (entry.word == word)
            return entry.unit;
    return std::nullopt;
}

bool endsParagraph(std::string_view word)
{
    return word == "par" || word == "row" || word == "nestrow" || word == "page" || word == "sect";
}

enum class Destination { Text, FontTable, ColourTable, Skip };

struct CharState {
    int font = -1;  // -1: the document's default font
    int halfPoints = 24;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool hidden = false;
    int colour = 0;
    bool operator==(const CharState&) const = default;
};

struct ParagraphState {
    Qt::Alignment alignment = Qt::AlignLeft;
    int firstIndent = 0;  // twips, may be negative
    int leftIndent = 0;
    int rightIndent = 0;
    int spaceBefore = 0;
    int spaceAfter = 0;
    QList<QTextOption::Tab> tabs;
    QTextOption::TabType nextTabType = QTextOption::LeftTab;
};

struct GroupState {
    CharState chars;
    ParagraphState paragraph;
    Destination destination = Destination::Text;
    int unicodeSkip = 1;  // \ucN: fallback characters after each \uN
};

struct FontEntry {
    QString family;
    int codePage = 0;
};

struct Parameter {
    bool present = false;
    int value = 0;
    int orDefault(int fallback) const { return present ? value : fallback; }
    bool asSwitch() const { return !present || value != 0; }  // \b on, \b0 off
};

int clampInt(std::int64_t value, int low, int high)
{
    return static_cast<int>(std::clamp<std::int64_t>(value, low, high));
}

// Control characters, object and frame marks are not text a document can hold.
bool isDroppedUnit(char16_t unit)
{
    return (unit < 0x20 && unit != u'\t') || unit == 0xFFFC || (unit >= 0xFDD0 && unit <= 0xFDEF);
}

// Keeps only what a document can hold as text; unpaired surrogates become the
// replacement character. Runs on a whole run, since a pair may come from two \uN.
QString sanitized(const QString& units)
{
    QString text;
    text.reserve(units.size());
    for (qsizetype i = 0; i < units.size(); ++i) {
        const char16_t unit = units[i].unicode();
        if (QChar::isHighSurrogate(unit)) {
            if (i + 1 < units.size() && QChar::isLowSurrogate(units[i + 1].unicode())) {
                text += units[i];
                text += units[++i];
            } else {
                text += QChar(QChar::ReplacementCharacter);
            }
            continue;
        }
        if (QChar::isLowSurrogate(unit)) {
            text += QChar(QChar::ReplacementCharacter);
            continue;
        }
        if (!isDroppedUnit(unit))
            text += QChar(unit == 0x2029 ? char16_t(0x2028) : unit);
    }
    return text;
}

class RtfParser {
public:
    RtfParser(const QByteArray& rtf, QTextDocument& document)
        : next_(rtf.constData()), end_(rtf.constData() + rtf.size()), cursor_(&document)
    {
        stack_.emplace_back();
    }

    void run()
    {
        while (next_ < end_ && !finished_) {
            const char c = *next_++;
            switch (c) {
            case '{': openGroup(); break;
            case '}': closeGroup(); break;
            case '\\': control(); break;
            case '\r': case '\n': break;
            default:
                if (!passesOverFallback())
                    textByte(c);
                break;
            }
        }
        flushBytes();
        if (paragraphOpen_) {
            flushText();
            applyParagraphFormat();
        }
    }

private:
    GroupState& state() { return stack_.back(); }

    // The characters after a \uN stand in for it in readers without Unicode (as many as
    // \ucN says): true while one of them is passed over, which it then counts.
    bool passesOverFallback()
    {
        if (fallbackToSkip_ <= 0)
            return false;
        --fallbackToSkip_;
        return true;
    }

    void openGroup()
    {
        flushBytes();
        fallbackToSkip_ = 0;
        if (stack_.size() >= kMaxGroupDepth) {
            ++overflowDepth_;
            return;
        }
        stack_.push_back(stack_.back());
    }

    void closeGroup()
    {
        flushBytes();
        fallbackToSkip_ = 0;
        if (overflowDepth_ > 0) {
            --overflowDepth_;
            return;
        }
        if (stack_.size() <= 1)
            return;  // a stray closing brace
        if (state().destination == Destination::FontTable)
            commitFont();
        if (stack_.size() == 2) {
            // The document's own group closes: what follows is not part of it, and its
            // last paragraph takes the properties in force here.
            finished_ = true;
            return;
        }
        stack_.pop_back();
    }

    // A backslash has been read.
    void control()
    {
        if (next_ >= end_)
            return;
        const char first = *next_;
        if (isLetter(first)) {
            const char* start = next_;
            while (next_ < end_ && isLetter(*next_))
                ++next_;
            const std::string_view word(start, static_cast<std::size_t>(next_ - start));
            const Parameter parameter = readParameter();
            if (next_ < end_ && *next_ == ' ')
                ++next_;
            if (word == "bin") {  // binary data is skipped whatever the destination
                const std::int64_t length = std::max(0, parameter.value);
                next_ += std::min<std::int64_t>(length, end_ - next_);
                return;
            }
            flushBytes();
            if (!passesOverFallback())
                controlWord(word, parameter);
            return;
        }
        ++next_;
        if (first == '\'') {
            const int byte = readHexByte();
            if (!passesOverFallback() && byte >= 0)
                textByte(static_cast<char>(byte));
            return;
        }
        flushBytes();
        if (!passesOverFallback())
            controlSymbol(first);
    }

    static bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static bool isDigit(char c) { return c >= '0' && c <= '9'; }

    Parameter readParameter()
    {
        Parameter parameter;
        bool negative = false;
        if (next_ + 1 < end_ && *next_ == '-' && isDigit(next_[1])) {
            negative = true;
            ++next_;
        }
        std::int64_t value = 0;
        while (next_ < end_ && isDigit(*next_)) {
            parameter.present = true;
            value = std::min<std::int64_t>(value * 10 + (*next_ - '0'), INT32_MAX);
            ++next_;
        }
        parameter.value = static_cast<int>(negative ? -value : value);
        return parameter;
    }

    int readHexByte()
    {
        int byte = 0;
        for (int i = 0; i < 2; ++i) {
            if (next_ >= end_)
                return -1;
            const char c = *next_;
            int digit = -1;
            if (isDigit(c))
                digit = c - '0';
            else if (c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            if (digit < 0)
                return -1;
            byte = byte * 16 + digit;
            ++next_;
        }
        return byte;
    }

    void controlSymbol(char symbol)
    {
        switch (symbol) {
        case '\\': case '{': case '}': textByte(symbol); break;
        case '~': addText(QString(QChar(0x00A0))); break;
        case '-': addText(QString(QChar(0x00AD))); break;
        case '_': addText(QString(QChar(0x2011))); break;
        case '*': if (state().destination != Destination::Skip) state().destination = Destination::Skip; break;
        case '\r': case '\n': if (state().destination == Destination::Text) endParagraph(); break;
        default: break;  // index entries, formulas and the like
        }
    }

    void controlWord(std::string_view word, Parameter parameter)
    {
        GroupState& group = state();
        if (group.destination == Destination::Skip)
            return;
        if (isSkippedDestination(word)) {
            group.destination = Destination::Skip;
            return;
        }
        if (word == "fonttbl") {
            group.destination = Destination::FontTable;
            return;
        }
        if (word == "colortbl") {
            group.destination = Destination::ColourTable;
            return;
        }
        if (word == "uc") {
            group.unicodeSkip = clampInt(parameter.value, 0, 16);
            return;
        }
        switch (group.destination) {
        case Destination::FontTable: fontTableWord(word, parameter); return;
        case Destination::ColourTable: colourTableWord(word, parameter); return;
        case Destination::Text: break;
        case Destination::Skip: return;
        }
        if (documentWord(word, parameter) || characterFormatWord(group.chars, word, parameter)
            || paragraphFormatWord(group.paragraph, word, parameter))
            return;
        if (word == "u") {
            int unit = parameter.value;
            if (unit < 0)
                unit += 0x10000;
            addText(QString(QChar(unit >= 0 && unit <= 0xFFFF ? char16_t(unit) : char16_t(0xFFFD))));
            fallbackToSkip_ = group.unicodeSkip;
        } else if (const std::optional<char16_t> unit = characterWord(word)) {
            addText(QString(QChar(*unit)));
        } else if (endsParagraph(word)) {
            endParagraph();
        }
    }

    bool documentWord(std::string_view word, Parameter parameter)
    {
        if (word == "ansi")
            codePage_ = 1252;
        else if (word == "mac")
            codePage_ = 10000;
        else if (word == "pc")
            codePage_ = 437;
        else if (word == "pca")
            codePage_ = 850;
        else if (word == "ansicpg")
            codePage_ = parameter.orDefault(1252);
        else if (word == "deff")
            defaultFont_ = parameter.value;
        else
            return false;
        return true;
    }

    static bool characterFormatWord(CharState& chars, std::string_view word, Parameter parameter)
    {
        if (word == "plain")
            chars = CharState();
        else if (word == "b")
            chars.bold = parameter.asSwitch();
        else if (word == "i")
            chars.italic = parameter.asSwitch();
        else if (word == "strike" || word == "striked")
            chars.strike = parameter.asSwitch();
        else if (word == "ulnone")
            chars.underline = false;
        else if (word == "ul" || (word.starts_with("ul") && word != "ulc"))  // every underline style
            chars.underline = parameter.asSwitch();
        else if (word == "v")
            chars.hidden = parameter.asSwitch();
        else if (word == "f")
            chars.font = parameter.present ? parameter.value : -1;
        else if (word == "fs")
            chars.halfPoints = clampInt(parameter.orDefault(24), 2, kMaxHalfPoints);
        else if (word == "cf")
            chars.colour = std::max(0, parameter.value);
        else
            return false;
        return true;
    }

    static bool paragraphFormatWord(ParagraphState& paragraph, std::string_view word, Parameter parameter)
    {
        const int twips = clampInt(parameter.value, -kMaxTwips, kMaxTwips);
        if (word == "pard")
            paragraph = ParagraphState();
        else if (word == "ql")
            paragraph.alignment = Qt::AlignLeft;
        else if (word == "qr")
            paragraph.alignment = Qt::AlignRight;
        else if (word == "qc")
            paragraph.alignment = Qt::AlignHCenter;
        else if (word == "qj")
            paragraph.alignment = Qt::AlignJustify;
        else if (word == "fi")
            paragraph.firstIndent = twips;
        else if (word == "li" || word == "lin")
            paragraph.leftIndent = twips;
        else if (word == "ri" || word == "rin")
            paragraph.rightIndent = twips;
        else if (word == "sb")
            paragraph.spaceBefore = std::max(0, twips);
        else if (word == "sa")
            paragraph.spaceAfter = std::max(0, twips);
        else if (word == "tqr")
            paragraph.nextTabType = QTextOption::RightTab;
        else if (word == "tqc")
            paragraph.nextTabType = QTextOption::CenterTab;
        else if (word == "tqdec")
            paragraph.nextTabType = QTextOption::DelimiterTab;
        else if (word == "tx") {
            QTextOption::Tab tab(std::max(0, twips) / kTwipsPerPixel, paragraph.nextTabType);
            if (tab.type == QTextOption::DelimiterTab)
                tab.delimiter = u'.';
            paragraph.tabs.append(tab);
            paragraph.nextTabType = QTextOption::LeftTab;
        } else
            return false;
        return true;
    }

    void fontTableWord(std::string_view word, Parameter parameter)
    {
        if (word == "f") {
            commitFont();
            tableFont_ = parameter.value;
        } else if (word == "fcharset") {
            tableFontCharset_ = parameter.value;
        }
    }

    void colourTableWord(std::string_view word, Parameter parameter)
    {
        const int component = clampInt(parameter.value, 0, 255);
        if (word == "red")
            tableColour_.setRed(component);
        else if (word == "green")
            tableColour_.setGreen(component);
        else if (word == "blue")
            tableColour_.setBlue(component);
        else
            return;
        tableColourSet_ = true;
    }

    void commitFont()
    {
        const QByteArray name = tableFontName_.trimmed();
        tableFontName_.clear();
        if (name.isEmpty())
            return;
        const int codePage = codePageOfCharset(tableFontCharset_);
        fonts_[tableFont_] = {codePages_.decode(codePage ? codePage : codePage_, name).trimmed(), codePage};
        tableFontCharset_ = 0;
    }

    // A byte of text, decoded later with its neighbours so that double-byte code pages
    // come out right.
    void textByte(char byte)
    {
        switch (state().destination) {
        case Destination::Text: pendingBytes_ += byte; break;
        case Destination::FontTable:
            if (byte == ';')
                commitFont();
            else
                tableFontName_ += byte;
            break;
        case Destination::ColourTable:
            if (byte == ';') {
                colours_.push_back(tableColourSet_ ? std::optional<QColor>(tableColour_) : std::nullopt);
                tableColour_ = QColor(0, 0, 0);
                tableColourSet_ = false;
            }
            break;
        case Destination::Skip: break;
        }
    }

    void flushBytes()
    {
        if (pendingBytes_.isEmpty())
            return;
        const QByteArray bytes = std::exchange(pendingBytes_, QByteArray());
        addText(codePages_.decode(currentCodePage(), bytes));
    }

    int currentCodePage() const
    {
        const int font = stack_.back().chars.font < 0 ? defaultFont_ : stack_.back().chars.font;
        const auto found = fonts_.find(font);
        return found != fonts_.end() && found->second.codePage ? found->second.codePage : codePage_;
    }

    void addText(const QString& units)
    {
        const GroupState& group = state();
        if (stack_.size() < 2 || group.destination != Destination::Text || group.chars.hidden)
            return;  // text outside the document's group is not part of it
        if (std::all_of(units.begin(), units.end(), [](QChar c) { return isDroppedUnit(c.unicode()); }))
            return;
        openParagraph();
        if (!pendingText_.isEmpty() && !(pendingChars_ == group.chars))
            flushText();
        pendingChars_ = group.chars;
        pendingText_ += units;
    }

    void flushText()
    {
        if (pendingText_.isEmpty())
            return;
        const QString text = sanitized(pendingText_);
        if (!text.isEmpty())
            cursor_.insertText(text, charFormat(pendingChars_));
        pendingText_.clear();
    }

    void openParagraph()
    {
        if (paragraphOpen_)
            return;
        if (!firstParagraph_)
            cursor_.insertBlock();
        firstParagraph_ = false;
        paragraphOpen_ = true;
    }

    void endParagraph()
    {
        flushBytes();
        openParagraph();
        flushText();
        applyParagraphFormat();
        paragraphOpen_ = false;
    }

    // The paragraph properties in force at its end are the paragraph's.
    void applyParagraphFormat()
    {
        const ParagraphState& paragraph = state().paragraph;
        QTextBlockFormat format;
        format.setAlignment(paragraph.alignment);
        format.setTextIndent(paragraph.firstIndent / kTwipsPerPixel);
        format.setLeftMargin(paragraph.leftIndent / kTwipsPerPixel);
        format.setRightMargin(paragraph.rightIndent / kTwipsPerPixel);
        format.setTopMargin(paragraph.spaceBefore / kTwipsPerPixel);
        format.setBottomMargin(paragraph.spaceAfter / kTwipsPerPixel);
        if (!paragraph.tabs.isEmpty())
            format.setTabPositions(paragraph.tabs);
        cursor_.setBlockFormat(format);
        cursor_.setBlockCharFormat(charFormat(state().chars));
    }

    QTextCharFormat charFormat(const CharState& chars) const
    {
        QTextCharFormat format;
        const auto font = fonts_.find(chars.font < 0 ? defaultFont_ : chars.font);
        if (font != fonts_.end() && !font->second.family.isEmpty())
            format.setFontFamilies({font->second.family});
        format.setFontPointSize(chars.halfPoints / 2.0);
        format.setFontWeight(chars.bold ? QFont::Bold : QFont::Normal);
        format.setFontItalic(chars.italic);
        format.setFontUnderline(chars.underline);
        format.setFontStrikeOut(chars.strike);
        if (chars.colour < static_cast<int>(colours_.size()) && colours_[chars.colour])
            format.setForeground(*colours_[chars.colour]);
        return format;
    }

    const char* next_;
    const char* const end_;
    bool finished_ = false;

    std::vector<GroupState> stack_;
    int overflowDepth_ = 0;
    int fallbackToSkip_ = 0;

    int codePage_ = 1252;
    int defaultFont_ = 0;
    CodePages codePages_;
    std::map<int, FontEntry> fonts_;
    std::vector<std::optional<QColor>> colours_;

    int tableFont_ = 0;
    int tableFontCharset_ = 0;
    QByteArray tableFontName_;
    QColor tableColour_ = QColor(0, 0, 0);
    bool tableColourSet_ = false;

    QTextCursor cursor_;
    bool firstParagraph_ = true;
    bool paragraphOpen_ = false;
    QByteArray pendingBytes_;
    QString pendingText_;
    CharState pendingChars_;
};

// Loading a file is not an edit the person could undo.
class UndoPause {
public:
    explicit UndoPause(QTextDocument& document) : document_(document), was_(document.isUndoRedoEnabled())
    {
        document_.setUndoRedoEnabled(false);
    }
    ~UndoPause() { document_.setUndoRedoEnabled(was_); }
    UndoPause(const UndoPause&) = delete;
    UndoPause& operator=(const UndoPause&) = delete;

private:
    QTextDocument& document_;
    bool was_;
};

QByteArrayView withoutByteOrderMark(const QByteArray& bytes)
{
    const QByteArrayView view(bytes);
    return view.startsWith("\xEF\xBB\xBF") ? view.sliced(3) : view;
}

}  // namespace

bool looksLikeRtf(const QByteArray& bytes)
{
    return withoutByteOrderMark(bytes).trimmed().startsWith("{\\rtf");
}

void readRtfInto(const QByteArray& rtf, QTextDocument& document)
{
    const UndoPause pause(document);
    document.clear();
    RtfParser(rtf, document).run();
}

void readRtfOrPlainTextInto(const QByteArray& bytes, QTextDocument& document)
{
    if (looksLikeRtf(bytes)) {
        readRtfInto(bytes, document);
        return;
    }
    const QByteArrayView view = withoutByteOrderMark(bytes);
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(view);
    if (utf8.hasError())
        text = decodeWindows1252(view.toByteArray());
    const UndoPause pause(document);
    document.setPlainText(text);
}

}  // namespace kelvo
