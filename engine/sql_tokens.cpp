#include "engine/sql_tokens.h"

#include "engine/connection.h"
#include "engine/date_text.h"

namespace kelvo::engine::sql {
namespace {

bool isWordStart(QChar c) { return c.isLetter() || c == u'_'; }
bool isWordPart(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'$'; }

[[noreturn]] void fail(const QString& what, const QString& statement)
{
    throw EngineError(QStringLiteral("Syntax error (%1) in the statement: %2").arg(what, statement).toStdString());
}

// Reads a literal closed by `close`; a doubled closing character stands for itself.
QString readQuoted(const QString& text, qsizetype& pos, QChar close, bool doubledEscapes, const QString& what)
{
    QString value;
    ++pos;
    while (pos < text.size()) {
        const QChar c = text[pos];
        if (c == close) {
            if (doubledEscapes && pos + 1 < text.size() && text[pos + 1] == close) {
                value += close;
                pos += 2;
                continue;
            }
            ++pos;
            return value;
        }
        value += c;
        ++pos;
    }
    fail(what, text);
}

QString quoted(const QString& value, QChar quote)
{
    QString doubled = value;
    doubled.replace(quote, QString(2, quote));
    return quote + doubled + quote;
}

// A text value as SQLite reads it whole: SQLite ends a statement at a NUL character, so
// each one is joined in as char(0) instead of standing inside the quotes.
QString textLiteral(const QString& value)
{
    if (!value.contains(QChar(0)))
        return quoted(value, u'\'');
    QStringList pieces;
    for (const QString& piece : value.split(QChar(0)))
        pieces << quoted(piece, u'\'');
    return u'(' + pieces.join(QLatin1StringView(" || char(0) || ")) + u')';
}

}  // namespace

bool Token::isWord(QLatin1StringView w) const
{
    return kind == TokenKind::Word && text.compare(w, Qt::CaseInsensitive) == 0;
}

bool Token::isSymbol(QLatin1StringView s) const { return kind == TokenKind::Symbol && text == s; }

Token word(const QString& text) { return Token{TokenKind::Word, text}; }
Token symbol(const QString& text) { return Token{TokenKind::Symbol, text}; }

Tokens tokenize(const QString& text)
{
    Tokens tokens;
    qsizetype pos = 0;
    const qsizetype n = text.size();
    while (pos < n) {
        const QChar c = text[pos];
        if (c.isSpace() || c == QChar(0)) {
            ++pos;
        } else if (c == u'\'') {
            tokens.push_back({TokenKind::String, readQuoted(text, pos, u'\'', true, QStringLiteral("unterminated text"))});
        } else if (c == u'"') {
            tokens.push_back({TokenKind::String, readQuoted(text, pos, u'"', true, QStringLiteral("unterminated text"))});
        } else if (c == u'[') {
            tokens.push_back({TokenKind::QuotedName, readQuoted(text, pos, u']', false, QStringLiteral("unterminated name"))});
        } else if (c == u'`') {
            tokens.push_back({TokenKind::QuotedName, readQuoted(text, pos, u'`', true, QStringLiteral("unterminated name"))});
        } else if (c == u'#') {
            const QString raw = readQuoted(text, pos, u'#', false, QStringLiteral("unterminated date"));
            const auto iso = isoDateTimeFromText(raw);
            if (!iso)
                fail(QStringLiteral("invalid date #%1#").arg(raw), text);
            tokens.push_back({TokenKind::DateLiteral, *iso});
        } else if (c.isDigit() || (c == u'.' && pos + 1 < n && text[pos + 1].isDigit())) {
            const qsizetype start = pos;
            while (pos < n && text[pos].isDigit())
                ++pos;
            if (pos < n && text[pos] == u'.') {
                ++pos;
                while (pos < n && text[pos].isDigit())
                    ++pos;
            }
            if (pos < n && (text[pos] == u'e' || text[pos] == u'E')) {
                qsizetype e = pos + 1;
                if (e < n && (text[e] == u'+' || text[e] == u'-'))
                    ++e;
                if (e < n && text[e].isDigit()) {
                    pos = e;
                    while (pos < n && text[pos].isDigit())
                        ++pos;
                }
            }
            if (pos < n && isWordStart(text[pos])) {
                // A name that begins with digits, such as a bare password word.
                while (pos < n && isWordPart(text[pos]))
                    ++pos;
                tokens.push_back({TokenKind::Word, text.mid(start, pos - start)});
            } else {
                tokens.push_back({TokenKind::Number, text.mid(start, pos - start)});
            }
        } else if (isWordStart(c)) {
            const qsizetype start = pos;
            while (pos < n && isWordPart(text[pos]))
                ++pos;
            tokens.push_back({TokenKind::Word, text.mid(start, pos - start)});
        } else if ((c == u':' || c == u'@') && pos + 1 < n && isWordPart(text[pos + 1])) {
            const qsizetype start = pos++;
            while (pos < n && isWordPart(text[pos]))
                ++pos;
            tokens.push_back({TokenKind::Parameter, text.mid(start, pos - start)});
        } else if (c == u'?') {
            tokens.push_back({TokenKind::Parameter, QStringLiteral("?")});
            ++pos;
        } else {
            static const char* const twoCharacterSymbols[] = {"<>", "<=", ">=", "!=", "==", "||"};
            const QString pair = text.mid(pos, 2);
            bool matched = false;
            for (const char* s : twoCharacterSymbols) {
                if (pair == QLatin1String(s)) {
                    tokens.push_back(symbol(pair));
                    pos += 2;
                    matched = true;
                    break;
                }
            }
            if (matched)
                continue;
            if (QStringLiteral("(),;.=<>+-*/&%|~!").contains(c)) {
                tokens.push_back(symbol(QString(c)));
                ++pos;
            } else {
                fail(QStringLiteral("unexpected character '%1'").arg(c), text);
            }
        }
    }
    return tokens;
}

QString render(const Tokens& tokens)
{
    QString out;
    for (const Token& t : tokens) {
        if (!out.isEmpty())
            out += u' ';
        switch (t.kind) {
        case TokenKind::String:
        case TokenKind::DateLiteral:
            out += textLiteral(t.text);
            break;
        case TokenKind::QuotedName:
            out += quoted(t.text, u'"');
            break;
        default:
            out += t.text;
        }
    }
    return out;
}

}  // namespace kelvo::engine::sql
