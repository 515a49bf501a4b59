#include "engine/jet_dialect.h"

#include "engine/sql_tokens.h"

#include <QRegularExpression>
#include <QSet>

namespace kelvo::engine {

using sql::Token;
using sql::TokenKind;
using sql::Tokens;

bool isQuotedFieldClass(FieldClass type)
{
    return type == FieldClass::Text || type == FieldClass::Memo || type == FieldClass::Date;
}

namespace {

[[noreturn]] void fail(const QString& message) { throw EngineError(message.toStdString()); }

bool anyWord(const Token& t, std::initializer_list<const char*> words)
{
    if (t.kind != TokenKind::Word)
        return false;
    for (const char* w : words)
        if (t.isWord(QLatin1StringView(w)))
            return true;
    return false;
}

bool isName(const Token& t) { return t.kind == TokenKind::Word || t.kind == TokenKind::QuotedName; }

bool isComparison(const Token& t)
{
    if (t.kind != TokenKind::Symbol)
        return false;
    for (const char* s : {"=", "==", "<>", "!=", "<", ">", "<=", ">="})
        if (t.text == QLatin1StringView(s))
            return true;
    return false;
}

// Splits at the commas of paren depth 0.
std::vector<Tokens> splitTopLevel(const Tokens& tokens, qsizetype begin, qsizetype end)
{
    std::vector<Tokens> parts(1);
    int depth = 0;
    for (qsizetype i = begin; i < end; ++i) {
        const Token& t = tokens[i];
        if (t.isSymbol(QLatin1StringView("(")))
            ++depth;
        else if (t.isSymbol(QLatin1StringView(")")))
            --depth;
        if (depth == 0 && t.isSymbol(QLatin1StringView(","))) {
            parts.emplace_back();
            continue;
        }
        parts.back().push_back(t);
    }
    if (parts.size() == 1 && parts.front().empty())
        parts.clear();
    return parts;
}

// Index of the ")" that closes the "(" at `open`, or -1.
qsizetype closingParen(const Tokens& tokens, qsizetype open)
{
    int depth = 0;
    for (qsizetype i = open; i < static_cast<qsizetype>(tokens.size()); ++i) {
        if (tokens[i].isSymbol(QLatin1StringView("(")))
            ++depth;
        else if (tokens[i].isSymbol(QLatin1StringView(")")) && --depth == 0)
            return i;
    }
    return -1;
}

void append(Tokens& to, const Tokens& from) { to.insert(to.end(), from.begin(), from.end()); }

// --- expressions --------------------------------------------------------------------

bool stopsOperand(const Token& t)
{
    return t.isSymbol(QLatin1StringView(",")) || t.isSymbol(QLatin1StringView(";")) || isComparison(t)
        || anyWord(t, {"and", "or", "not", "where", "on", "having", "when", "then", "else", "end", "case", "select",
                       "by", "check", "set", "between", "is", "in", "like", "order", "group", "limit", "union",
                       "from", "default", "values", "escape"});
}

bool hasPositionalParameter(const Tokens& tokens)
{
    for (const Token& t : tokens)
        if (t.kind == TokenKind::Parameter && t.text == QLatin1StringView("?"))
            return true;
    return false;
}

Tokens rewriteExpressions(Tokens tokens);

// Jet's BETWEEN accepts its bounds in either order: x BETWEEN a AND b is rewritten as
// (x BETWEEN a AND b OR x BETWEEN b AND a), which keeps the column's collation and index.
Tokens rewriteBetween(const Tokens& in)
{
    Tokens out;
    const qsizetype n = static_cast<qsizetype>(in.size());
    qsizetype i = 0;
    while (i < n) {
        if (!in[i].isWord(QLatin1StringView("between"))) {
            out.push_back(in[i++]);
            continue;
        }
        const bool negated = !out.empty() && out.back().isWord(QLatin1StringView("not"));
        if (negated)
            out.pop_back();
        // The operand: back over `out` to a boundary at depth 0.
        qsizetype start = static_cast<qsizetype>(out.size());
        int depth = 0;
        while (start > 0) {
            const Token& t = out[start - 1];
            if (t.isSymbol(QLatin1StringView(")"))) {
                ++depth;
            } else if (t.isSymbol(QLatin1StringView("("))) {
                if (depth == 0)
                    break;
                --depth;
            } else if (depth == 0 && stopsOperand(t)) {
                break;
            }
            --start;
        }
        const Tokens operand(out.begin() + start, out.end());
        // The lower bound runs to the AND of depth 0.
        qsizetype j = i + 1;
        depth = 0;
        Tokens low;
        for (; j < n; ++j) {
            const Token& t = in[j];
            if (t.isSymbol(QLatin1StringView("(")))
                ++depth;
            else if (t.isSymbol(QLatin1StringView(")")))
                --depth;
            if (depth == 0 && t.isWord(QLatin1StringView("and")))
                break;
            low.push_back(t);
        }
        if (j >= n || operand.empty() || low.empty())
            fail(QStringLiteral("Syntax error in a BETWEEN expression: BETWEEN needs a value AND a value."));
        ++j;
        Tokens high;
        depth = 0;
        for (; j < n; ++j) {
            const Token& t = in[j];
            if (t.isSymbol(QLatin1StringView("("))) {
                ++depth;
            } else if (t.isSymbol(QLatin1StringView(")"))) {
                if (depth == 0)
                    break;
                --depth;
            } else if (depth == 0 && stopsOperand(t)) {
                break;
            }
            high.push_back(t);
        }
        if (high.empty())
            fail(QStringLiteral("Syntax error in a BETWEEN expression: BETWEEN needs a value AND a value."));
        low = rewriteExpressions(low);
        high = rewriteExpressions(high);
        out.resize(start);
        const Token notWord = sql::word(QStringLiteral("NOT"));
        auto one = [&](const Tokens& a, const Tokens& b) {
            append(out, operand);
            if (negated)
                out.push_back(notWord);
            out.push_back(sql::word(QStringLiteral("BETWEEN")));
            append(out, a);
            out.push_back(sql::word(QStringLiteral("AND")));
            append(out, b);
        };
        out.push_back(sql::symbol(QStringLiteral("(")));
        one(low, high);
        if (!hasPositionalParameter(operand) && !hasPositionalParameter(low) && !hasPositionalParameter(high)) {
            out.push_back(sql::word(negated ? QStringLiteral("AND") : QStringLiteral("OR")));
            one(high, low);
        }
        out.push_back(sql::symbol(QStringLiteral(")")));
        i = j;
    }
    return out;
}

// Literals and operators of Jet SQL that SQLite writes otherwise.
Tokens rewriteExpressions(Tokens tokens)
{
    bool hasBetween = false;
    const qsizetype n = static_cast<qsizetype>(tokens.size());
    for (qsizetype i = 0; i < n; ++i) {
        Token& t = tokens[i];
        const bool qualified = (i > 0 && tokens[i - 1].isSymbol(QLatin1StringView(".")))
            || (i + 1 < n && tokens[i + 1].isSymbol(QLatin1StringView(".")));
        if (!qualified && t.isWord(QLatin1StringView("true")))
            t = Token{TokenKind::Number, QStringLiteral("1")};
        else if (!qualified && t.isWord(QLatin1StringView("false")))
            t = Token{TokenKind::Number, QStringLiteral("0")};
        else if (t.isSymbol(QLatin1StringView("&")))
            t = sql::symbol(QStringLiteral("||"));
        else if (t.isWord(QLatin1StringView("between")))
            hasBetween = true;
    }
    return hasBetween ? rewriteBetween(tokens) : tokens;
}

// --- column definitions ---------------------------------------------------------------

struct MappedType {
    QString declared;     // SQLite declared type
    bool counter = false;
    bool text = false;    // gets the case-insensitive collation
    bool boolean = false; // holds 1, 0 or Null only
};

MappedType mapType(const Token& typeWord, const Tokens& arguments)
{
    const QString t = typeWord.text.toLower();
    auto with = [&](const QString& base) {
        if (arguments.empty())
            return base;
        return base + QStringLiteral("(") + sql::render(arguments).remove(u' ') + QStringLiteral(")");
    };
    if (t == u"counter" || t == u"autoincrement" || t == u"identity")
        return {QStringLiteral("INTEGER"), true, false};
    if (t == u"integer" || t == u"int" || t == u"long" || t == u"integer4")
        return {QStringLiteral("INT"), false, false};
    if (t == u"short" || t == u"smallint" || t == u"integer2")
        return {QStringLiteral("SMALLINT"), false, false};
    if (t == u"byte" || t == u"tinyint" || t == u"integer1")
        return {QStringLiteral("TINYINT"), false, false};
    if (t == u"float" || t == u"double" || t == u"float8" || t == u"number")
        return {QStringLiteral("FLOAT"), false, false};
    if (t == u"real" || t == u"single" || t == u"float4")
        return {QStringLiteral("REAL"), false, false};
    if (t == u"currency" || t == u"money")
        return {QStringLiteral("FLOAT"), false, false};
    if (t == u"decimal" || t == u"numeric" || t == u"dec")
        return {with(QStringLiteral("NUMERIC")), false, false};
    if (t == u"logical" || t == u"yesno" || t == u"bit" || t == u"boolean" || t == u"logical1")
        return {QStringLiteral("BOOLEAN"), false, false, true};
    if (t == u"date" || t == u"datetime" || t == u"time" || t == u"timestamp")
        return {QStringLiteral("DATETIME"), false, false};
    if (t == u"longtext" || t == u"memo" || t == u"note" || t == u"longchar" || t == u"ntext")
        return {QStringLiteral("LONGTEXT"), false, true};
    if (t == u"varchar" || t == u"char" || t == u"text" || t == u"string" || t == u"nvarchar" || t == u"nchar"
        || t == u"character" || t == u"alphanumeric") {
        return {arguments.empty() ? QStringLiteral("VARCHAR(255)") : with(QStringLiteral("VARCHAR")), false, true};
    }
    fail(QStringLiteral("Syntax error in field definition: unknown data type \"%1\".").arg(typeWord.text));
}

// One column definition: name, type, then its constraints.
Tokens mapColumnDefinition(const Tokens& def)
{
    if (def.size() < 2 || !isName(def[0]) || def[1].kind != TokenKind::Word)
        fail(QStringLiteral("Syntax error in field definition: %1").arg(sql::render(def)));
    qsizetype next = 2;
    Tokens arguments;
    if (next < static_cast<qsizetype>(def.size()) && def[next].isSymbol(QLatin1StringView("("))) {
        const qsizetype close = closingParen(def, next);
        if (close < 0)
            fail(QStringLiteral("Syntax error in field definition: %1").arg(sql::render(def)));
        arguments.assign(def.begin() + next + 1, def.begin() + close);
        next = close + 1;
    }
    const MappedType type = mapType(def[1], arguments);
    Tokens rest = rewriteExpressions(Tokens(def.begin() + next, def.end()));

    Tokens out{def[0], sql::word(type.declared)};
    if (type.counter) {
        // A counter is SQLite's rowid: real ascending ids that are never used twice.
        Tokens kept;
        for (qsizetype i = 0; i < static_cast<qsizetype>(rest.size()); ++i) {
            if (rest[i].isWord(QLatin1StringView("primary")) && i + 1 < static_cast<qsizetype>(rest.size())
                && rest[i + 1].isWord(QLatin1StringView("key"))) {
                ++i;
                continue;
            }
            kept.push_back(rest[i]);
        }
        append(out, {sql::word(QStringLiteral("PRIMARY")), sql::word(QStringLiteral("KEY")),
                     sql::word(QStringLiteral("AUTOINCREMENT"))});
        append(out, kept);
        return out;
    }
    if (type.text)
        append(out, {sql::word(QStringLiteral("COLLATE")), sql::word(QStringLiteral("NOCASE"))});
    bool hasNotNull = false;
    bool hasPrimaryKey = false;
    for (qsizetype i = 0; i + 1 < static_cast<qsizetype>(rest.size()); ++i) {
        if (rest[i].isWord(QLatin1StringView("not")) && rest[i + 1].isWord(QLatin1StringView("null")))
            hasNotNull = true;
        if (rest[i].isWord(QLatin1StringView("primary")) && rest[i + 1].isWord(QLatin1StringView("key")))
            hasPrimaryKey = true;
    }
    append(out, rest);
    if (type.boolean) {
        // Statements store 1/0 through the normaliser; this rule keeps writers that
        // bypass it (Qt SQL models) from storing anything else.
        append(out, {sql::word(QStringLiteral("CHECK")), sql::symbol(QStringLiteral("(")), def[0],
                     sql::word(QStringLiteral("IN")), sql::symbol(QStringLiteral("(")),
                     Token{TokenKind::Number, QStringLiteral("0")}, sql::symbol(QStringLiteral(",")),
                     Token{TokenKind::Number, QStringLiteral("1")}, sql::symbol(QStringLiteral(")")),
                     sql::symbol(QStringLiteral(")"))});
    }
    // Jet refuses Null in a key; SQLite's non-rowid keys would take it.
    if (hasPrimaryKey && !hasNotNull)
        append(out, {sql::word(QStringLiteral("NOT")), sql::word(QStringLiteral("NULL"))});
    return out;
}

bool startsTableConstraint(const Tokens& def)
{
    return !def.empty() && anyWord(def[0], {"constraint", "primary", "unique", "check", "foreign"});
}

// CREATE TABLE name ( definitions )
QString translateCreateTable(const Tokens& tokens)
{
    qsizetype pos = 2;
    const qsizetype n = static_cast<qsizetype>(tokens.size());
    Tokens head(tokens.begin(), tokens.begin() + pos);
    if (pos + 2 < n && tokens[pos].isWord(QLatin1StringView("if")) && tokens[pos + 1].isWord(QLatin1StringView("not"))
        && tokens[pos + 2].isWord(QLatin1StringView("exists"))) {
        append(head, Tokens(tokens.begin() + pos, tokens.begin() + pos + 3));
        pos += 3;
    }
    if (pos >= n || !isName(tokens[pos]))
        fail(QStringLiteral("Syntax error in CREATE TABLE statement: the table name is missing."));
    head.push_back(tokens[pos++]);
    if (pos >= n || !tokens[pos].isSymbol(QLatin1StringView("(")))
        fail(QStringLiteral("Syntax error in CREATE TABLE statement: \"(\" expected after the table name."));
    const qsizetype close = closingParen(tokens, pos);
    if (close != n - 1)
        fail(QStringLiteral("Syntax error in CREATE TABLE statement: unbalanced parentheses."));
    Tokens out = head;
    out.push_back(sql::symbol(QStringLiteral("(")));
    bool first = true;
    for (const Tokens& def : splitTopLevel(tokens, pos + 1, close)) {
        if (!first)
            out.push_back(sql::symbol(QStringLiteral(",")));
        first = false;
        append(out, startsTableConstraint(def) ? rewriteExpressions(def) : mapColumnDefinition(def));
    }
    out.push_back(sql::symbol(QStringLiteral(")")));
    return sql::render(out);
}

// ALTER TABLE t ADD [COLUMN] definition | DROP [COLUMN] name
QString translateAlterTable(const Tokens& tokens)
{
    const qsizetype n = static_cast<qsizetype>(tokens.size());
    if (n < 5 || !isName(tokens[2]))
        fail(QStringLiteral("Syntax error in ALTER TABLE statement."));
    Tokens out(tokens.begin(), tokens.begin() + 3);
    qsizetype pos = 3;
    const bool add = tokens[pos].isWord(QLatin1StringView("add"));
    const bool drop = tokens[pos].isWord(QLatin1StringView("drop"));
    if (!add && !drop)
        fail(QStringLiteral("Syntax error in ALTER TABLE statement: ADD or DROP expected."));
    ++pos;
    if (pos < n && tokens[pos].isWord(QLatin1StringView("column")))
        ++pos;
    if (pos < n && anyWord(tokens[pos], {"constraint", "primary", "unique", "foreign", "check"}))
        fail(QStringLiteral("ALTER TABLE can add and drop columns only, not constraints."));
    out.push_back(sql::word(add ? QStringLiteral("ADD") : QStringLiteral("DROP")));
    out.push_back(sql::word(QStringLiteral("COLUMN")));
    if (add) {
        const Tokens def(tokens.begin() + pos, tokens.end());
        const Tokens mapped = mapColumnDefinition(def);
        if (def.size() >= 2 && mapType(def[1], {}).counter)
            fail(QStringLiteral("A counter column can only be made with its table."));
        append(out, mapped);
    } else {
        if (pos + 1 != n || !isName(tokens[pos]))
            fail(QStringLiteral("Syntax error in ALTER TABLE statement: one column name expected after DROP."));
        out.push_back(tokens[pos]);
    }
    return sql::render(out);
}

// --- values written into Boolean and date columns ---------------------------------------

FieldClass classOf(const std::vector<FieldInfo>& columns, const Token& name)
{
    for (const FieldInfo& f : columns)
        if (f.name.compare(name.text, Qt::CaseInsensitive) == 0)
            return f.type;
    return FieldClass::Other;
}

Tokens wrapValue(const Tokens& value, FieldClass type)
{
    const char* function = type == FieldClass::Boolean ? kBooleanFunction
        : type == FieldClass::Date                     ? kDateFunction
                                                       : nullptr;
    if (!function || value.empty())
        return value;
    Tokens out{sql::word(QString::fromLatin1(function)), sql::symbol(QStringLiteral("("))};
    append(out, value);
    out.push_back(sql::symbol(QStringLiteral(")")));
    return out;
}

// INSERT INTO t [(columns)] VALUES (...)[, (...)]: Boolean and date values normalised.
Tokens normaliseInsert(const Tokens& tokens, const ColumnLookup& lookup)
{
    const qsizetype n = static_cast<qsizetype>(tokens.size());
    if (n < 4 || !tokens[1].isWord(QLatin1StringView("into")) || !isName(tokens[2]))
        return tokens;
    const std::vector<FieldInfo> columns = lookup(tokens[2].text);
    if (columns.empty())
        return tokens;
    qsizetype pos = 3;
    std::vector<FieldClass> targets;
    Tokens out(tokens.begin(), tokens.begin() + 3);
    if (tokens[pos].isSymbol(QLatin1StringView("("))) {
        const qsizetype close = closingParen(tokens, pos);
        if (close < 0)
            return tokens;
        for (const Tokens& name : splitTopLevel(tokens, pos + 1, close))
            targets.push_back(name.size() == 1 ? classOf(columns, name[0]) : FieldClass::Other);
        out.insert(out.end(), tokens.begin() + pos, tokens.begin() + close + 1);
        pos = close + 1;
    } else {
        for (const FieldInfo& f : columns)
            targets.push_back(f.type);
    }
    if (pos >= n || !tokens[pos].isWord(QLatin1StringView("values")))
        return tokens;
    out.push_back(tokens[pos++]);
    while (pos < n) {
        if (!tokens[pos].isSymbol(QLatin1StringView("(")))
            return tokens;
        const qsizetype close = closingParen(tokens, pos);
        if (close < 0)
            return tokens;
        out.push_back(tokens[pos]);
        const std::vector<Tokens> values = splitTopLevel(tokens, pos + 1, close);
        for (size_t k = 0; k < values.size(); ++k) {
            if (k > 0)
                out.push_back(sql::symbol(QStringLiteral(",")));
            append(out, wrapValue(values[k], k < targets.size() ? targets[k] : FieldClass::Other));
        }
        out.push_back(tokens[close]);
        pos = close + 1;
        if (pos < n && tokens[pos].isSymbol(QLatin1StringView(","))) {
            out.push_back(tokens[pos++]);
            continue;
        }
        break;
    }
    out.insert(out.end(), tokens.begin() + pos, tokens.end());
    return out;
}

// UPDATE t SET c = v, ... [WHERE ...]
Tokens normaliseUpdate(const Tokens& tokens, const ColumnLookup& lookup)
{
    const qsizetype n = static_cast<qsizetype>(tokens.size());
    if (n < 4 || !isName(tokens[1]) || !tokens[2].isWord(QLatin1StringView("set")))
        return tokens;
    const std::vector<FieldInfo> columns = lookup(tokens[1].text);
    if (columns.empty())
        return tokens;
    qsizetype end = 3;
    int depth = 0;
    for (; end < n; ++end) {
        if (tokens[end].isSymbol(QLatin1StringView("(")))
            ++depth;
        else if (tokens[end].isSymbol(QLatin1StringView(")")))
            --depth;
        else if (depth == 0 && tokens[end].isWord(QLatin1StringView("where")))
            break;
    }
    Tokens out(tokens.begin(), tokens.begin() + 3);
    bool first = true;
    for (const Tokens& assignment : splitTopLevel(tokens, 3, end)) {
        if (!first)
            out.push_back(sql::symbol(QStringLiteral(",")));
        first = false;
        if (assignment.size() >= 3 && isName(assignment[0]) && assignment[1].isSymbol(QLatin1StringView("="))) {
            out.push_back(assignment[0]);
            out.push_back(assignment[1]);
            append(out, wrapValue(Tokens(assignment.begin() + 2, assignment.end()), classOf(columns, assignment[0])));
        } else {
            append(out, assignment);
        }
    }
    out.insert(out.end(), tokens.begin() + end, tokens.end());
    return out;
}

// --- ALTER DATABASE PASSWORD ---------------------------------------------------------

std::optional<QString> passwordWord(QString word)
{
    if (word.compare(QLatin1StringView("null"), Qt::CaseInsensitive) == 0)
        return std::nullopt;
    if (word.size() >= 2
        && ((word.startsWith(u'[') && word.endsWith(u']')) || (word.startsWith(u'`') && word.endsWith(u'`'))
            || (word.startsWith(u'"') && word.endsWith(u'"')) || (word.startsWith(u'\'') && word.endsWith(u'\''))))
        word = word.mid(1, word.size() - 2);
    return word;
}

TranslatedStatement translateDatabasePassword(QString text)
{
    // Passwords are bare words that may begin with digits, so this form is read by
    // blanks, not by the tokenizer.
    text = text.trimmed();
    while (text.endsWith(u';'))
        text.chop(1);
    const QStringList parts = text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (parts.size() != 5)
        fail(QStringLiteral("Syntax error in ALTER DATABASE PASSWORD: the new and the old password expected "
                            "(null for none)."));
    TranslatedStatement result;
    result.kind = TranslatedStatement::Kind::DatabasePassword;
    result.newPassword = passwordWord(parts[3]);
    result.oldPassword = passwordWord(parts[4]);
    return result;
}

}  // namespace

FieldClass fieldClassOfDeclaredType(const QString& declaredType)
{
    const QString t = declaredType.section(u'(', 0, 0).trimmed().section(u' ', 0, 0).toUpper();
    static const QSet<QString> integers{"INT", "INTEGER", "SMALLINT", "TINYINT", "BIGINT", "MEDIUMINT",
                                        "LONG", "SHORT", "BYTE", "COUNTER"};
    static const QSet<QString> floats{"FLOAT", "DOUBLE", "REAL", "NUMERIC", "DECIMAL", "CURRENCY", "SINGLE"};
    static const QSet<QString> booleans{"BOOLEAN", "BOOL", "BIT", "LOGICAL", "YESNO"};
    static const QSet<QString> dates{"DATETIME", "DATE", "TIME", "TIMESTAMP"};
    static const QSet<QString> memos{"LONGTEXT", "MEMO", "NOTE", "LONGCHAR", "NTEXT", "CLOB"};
    static const QSet<QString> texts{"VARCHAR", "CHAR", "TEXT", "NVARCHAR", "NCHAR", "STRING", "CHARACTER"};
    if (integers.contains(t))
        return FieldClass::Integer;
    if (floats.contains(t))
        return FieldClass::Float;
    if (booleans.contains(t))
        return FieldClass::Boolean;
    if (dates.contains(t))
        return FieldClass::Date;
    if (memos.contains(t))
        return FieldClass::Memo;
    if (texts.contains(t))
        return FieldClass::Text;
    return FieldClass::Other;
}

TranslatedStatement translateStatement(const QString& jetText, const ColumnLookup& columns)
{
    Tokens tokens = sql::tokenize(jetText);
    while (!tokens.empty() && tokens.back().isSymbol(QLatin1StringView(";")))
        tokens.pop_back();
    for (const Token& t : tokens)
        if (t.isSymbol(QLatin1StringView(";")))
            fail(QStringLiteral("Characters found after end of SQL statement."));
    if (tokens.empty())
        fail(QStringLiteral("The statement is empty."));

    TranslatedStatement result;
    const Token& first = tokens[0];
    const bool second = tokens.size() > 1;
    if (first.isWord(QLatin1StringView("alter")) && second && tokens[1].isWord(QLatin1StringView("database")))
        return translateDatabasePassword(jetText);
    if (first.isWord(QLatin1StringView("create")) && second && tokens[1].isWord(QLatin1StringView("table"))) {
        result.kind = TranslatedStatement::Kind::Schema;
        result.sqliteText = translateCreateTable(tokens);
    } else if (first.isWord(QLatin1StringView("alter")) && second && tokens[1].isWord(QLatin1StringView("table"))) {
        result.kind = TranslatedStatement::Kind::Schema;
        result.sqliteText = translateAlterTable(tokens);
    } else if (anyWord(first, {"create", "drop", "alter"})) {
        result.kind = TranslatedStatement::Kind::Schema;
        result.sqliteText = sql::render(rewriteExpressions(tokens));
    } else if (anyWord(first, {"select", "with", "values"}) || first.isSymbol(QLatin1StringView("("))) {
        result.kind = TranslatedStatement::Kind::Query;
        result.sqliteText = sql::render(rewriteExpressions(tokens));
    } else if (first.isWord(QLatin1StringView("insert"))) {
        result.sqliteText = sql::render(normaliseInsert(rewriteExpressions(tokens), columns));
    } else if (first.isWord(QLatin1StringView("update"))) {
        result.sqliteText = sql::render(normaliseUpdate(rewriteExpressions(tokens), columns));
    } else {
        result.sqliteText = sql::render(rewriteExpressions(tokens));
    }
    return result;
}

}  // namespace kelvo::engine
