#pragma once
// A tokenizer for the statements the program writes. Statements are rewritten token by
// token, never as raw text, because string literals may hold any character (quotes,
// semicolons, keywords) and must pass through untouched.

#include <QString>

#include <vector>

namespace kelvo::engine::sql {

enum class TokenKind {
    Word,        // identifier or keyword, as written
    QuotedName,  // [name] or `name`; text holds the name without brackets
    String,      // 'text' or "text"; text holds the value without quotes
    Number,      // 12, 1.5, 2e3
    Parameter,   // :name, @name or ?
    DateLiteral, // #...#; text holds the ISO 8601 value
    Symbol,      // ( ) , ; . = <> <= >= + - * / || ...
};

struct Token {
    TokenKind kind = TokenKind::Symbol;
    QString text;

    bool isWord(QLatin1StringView word) const;  // letter case ignored
    bool isSymbol(QLatin1StringView symbol) const;
};

using Tokens = std::vector<Token>;

// Throws EngineError on an unterminated literal or a character that belongs to no token.
Tokens tokenize(const QString& statement);

// SQLite text of the tokens: strings in single quotes, names in double quotes.
QString render(const Tokens& tokens);

Token word(const QString& text);
Token symbol(const QString& text);

}  // namespace kelvo::engine::sql
