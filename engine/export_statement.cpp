#include "engine/export_statement.h"

namespace kelvo::engine {
namespace {

class Cursor {
public:
    Cursor(const QString& text, qsizetype start) : text_(text), at_(start) {}

    void skipBlanks()
    {
        while (at_ < text_.size() && text_[at_].isSpace())
            ++at_;
    }
    bool atEnd() const { return at_ >= text_.size(); }
    QString rest() const { return text_.mid(at_); }

    // A keyword followed by white space (or, for the last word, the end).
    bool word(QLatin1StringView keyword)
    {
        skipBlanks();
        if (text_.mid(at_, keyword.size()).compare(keyword, Qt::CaseInsensitive) != 0)
            return false;
        const qsizetype after = at_ + keyword.size();
        if (after < text_.size() && !text_[after].isSpace())
            return false;
        at_ = after;
        return true;
    }

    // Text between `open` and `close`; a doubled `close` inside stands for itself.
    std::optional<QString> enclosed(QChar open, QChar close)
    {
        skipBlanks();
        if (atEnd() || text_[at_] != open)
            return std::nullopt;
        QString value;
        for (qsizetype i = at_ + 1; i < text_.size(); ++i) {
            if (text_[i] != close) {
                value += text_[i];
                continue;
            }
            if (i + 1 < text_.size() && text_[i + 1] == close && close == u'"') {
                value += close;
                ++i;
                continue;
            }
            at_ = i + 1;
            return value;
        }
        return std::nullopt;
    }

    bool symbol(QChar c)
    {
        skipBlanks();
        if (atEnd() || text_[at_] != c)
            return false;
        ++at_;
        return true;
    }

private:
    const QString& text_;
    qsizetype at_;
};

// Where the word INTO stands with white space on both sides, outside quotes and brackets.
qsizetype intoPosition(const QString& text)
{
    QChar quote;
    int depth = 0;
    for (qsizetype i = 1; i + 5 < text.size(); ++i) {
        const QChar c = text[i];
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            continue;
        }
        if (c == u'\'' || c == u'"') {
            quote = c;
        } else if (c == u'[' || c == u'(') {
            ++depth;
        } else if (c == u']' || c == u')') {
            --depth;
        } else if (depth == 0 && text[i - 1].isSpace() && text.mid(i, 4).compare(QLatin1StringView("into"), Qt::CaseInsensitive) == 0
                   && text[i + 4].isSpace()) {
            return i;
        }
    }
    return -1;
}

}  // namespace

std::optional<ExportStatement> recognizeExportStatement(const QString& sql)
{
    QString text = sql.trimmed();
    while (text.endsWith(u';'))
        text.chop(1);
    if (text.size() < 7 || text.left(6).compare(QLatin1StringView("select"), Qt::CaseInsensitive) != 0 || !text[6].isSpace())
        return std::nullopt;
    const qsizetype into = intoPosition(text);
    if (into < 0)
        return std::nullopt;
    ExportStatement statement;
    statement.fields = text.mid(6, into - 6).trimmed();
    Cursor cursor(text, into + 4);
    const std::optional<QString> first = cursor.enclosed(u'[', u']');
    if (!first)
        return std::nullopt;
    if (cursor.symbol(u'.')) {
        // [Excel 8.0;Database=file].[sheet]
        const std::optional<QString> sheet = cursor.enclosed(u'[', u']');
        const qsizetype semicolon = first->indexOf(u';');
        if (!sheet || semicolon < 0)
            return std::nullopt;
        const QString option = first->mid(semicolon + 1).trimmed();
        if (!option.startsWith(QLatin1StringView("database="), Qt::CaseInsensitive))
            return std::nullopt;
        statement.isam = first->left(semicolon + 1).trimmed();
        statement.inPath = option.mid(9);
        statement.tableName = *sheet;
    } else {
        if (!cursor.word(QLatin1StringView("in")))
            return std::nullopt;
        const std::optional<QString> path = cursor.enclosed(u'"', u'"');
        if (!path)
            return std::nullopt;
        statement.tableName = *first;
        statement.inPath = *path;
        if (const std::optional<QString> isam = cursor.enclosed(u'"', u'"'))
            statement.isam = isam->trimmed();
    }
    if (!cursor.word(QLatin1StringView("from")))
        return std::nullopt;
    cursor.skipBlanks();
    statement.source = cursor.rest().trimmed();
    if (statement.source.isEmpty())
        return std::nullopt;
    if (statement.fields.isEmpty())
        statement.fields = QStringLiteral("*");
    return statement;
}

}  // namespace kelvo::engine
