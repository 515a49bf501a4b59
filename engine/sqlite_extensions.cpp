#include "engine/sqlite_extensions.h"

#include "engine/date_text.h"
#include "engine/jet_dialect.h"

#include <QString>

#include <sqlite3.h>

#include <cmath>

namespace kelvo::engine {
namespace {

QString textOf(sqlite3_value* value)
{
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_value_text(value));
    return QString::fromUtf8(bytes, sqlite3_value_bytes(value));
}

void resultText(sqlite3_context* context, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_result_text(context, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
}

int compareFolded(void*, int lengthA, const void* a, int lengthB, const void* b)
{
    const QString left = QString::fromUtf8(static_cast<const char*>(a), lengthA);
    const QString right = QString::fromUtf8(static_cast<const char*>(b), lengthB);
    const int result = left.compare(right, Qt::CaseInsensitive);
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

// true, True, 'true', -1 and every other non-zero number give 1; false, 'false', 0 give 0.
void booleanValue(sqlite3_context* context, int, sqlite3_value** argv)
{
    sqlite3_value* v = argv[0];
    switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
        sqlite3_result_null(context);
        return;
    case SQLITE_INTEGER:
        sqlite3_result_int(context, sqlite3_value_int64(v) != 0 ? 1 : 0);
        return;
    case SQLITE_FLOAT:
        sqlite3_result_int(context, sqlite3_value_double(v) != 0.0 ? 1 : 0);
        return;
    default:
        break;
    }
    const QString text = textOf(v).trimmed().toLower();
    if (text == u"true" || text == u"yes" || text == u"on") {
        sqlite3_result_int(context, 1);
        return;
    }
    if (text == u"false" || text == u"no" || text == u"off") {
        sqlite3_result_int(context, 0);
        return;
    }
    if (text.isEmpty()) {
        sqlite3_result_null(context);
        return;
    }
    bool isNumber = false;
    const double number = text.toDouble(&isNumber);
    if (isNumber) {
        sqlite3_result_int(context, number != 0.0 ? 1 : 0);
        return;
    }
    const QByteArray message =
        QStringLiteral("Data type mismatch: \"%1\" is not a yes/no value.").arg(textOf(v)).toUtf8();
    sqlite3_result_error(context, message.constData(), static_cast<int>(message.size()));
}

void dateValue(sqlite3_context* context, int, sqlite3_value** argv)
{
    sqlite3_value* v = argv[0];
    const int type = sqlite3_value_type(v);
    if (type == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
        resultText(context, isoDateTimeFromSerial(sqlite3_value_double(v)));
        return;
    }
    const QString text = textOf(v);
    if (text.trimmed().isEmpty()) {
        sqlite3_result_null(context);
        return;
    }
    if (const auto iso = isoDateTimeFromText(text)) {
        resultText(context, *iso);
        return;
    }
    const QByteArray message = QStringLiteral("Data type mismatch: \"%1\" is not a date.").arg(text).toUtf8();
    sqlite3_result_error(context, message.constData(), static_cast<int>(message.size()));
}

bool sameLetter(QChar a, QChar b) { return a == b || a.toCaseFolded() == b.toCaseFolded(); }

// LIKE with % and _ (and an optional escape character), letters matched by case
// folding. A mismatch goes back only to the last %, which then takes one character
// more: a pattern with many % costs the product of the two lengths at most, never a
// trial of every way to split the text.
bool likeMatch(const QString& pattern, const QString& text, QChar escape, bool hasEscape)
{
    qsizetype p = 0;
    qsizetype t = 0;
    qsizetype afterPercent = -1;  // where the pattern goes on after the last %
    qsizetype percentTaken = 0;   // where the text stood when that % was met
    while (t < text.size()) {
        if (p < pattern.size()) {
            const QChar c = pattern[p];
            if (hasEscape && c == escape && p + 1 < pattern.size()) {
                if (sameLetter(pattern[p + 1], text[t])) {
                    p += 2;
                    ++t;
                    continue;
                }
            } else if (c == u'%') {
                while (p < pattern.size() && pattern[p] == u'%')
                    ++p;
                afterPercent = p;
                percentTaken = t;
                continue;
            } else if (c == u'_' || sameLetter(c, text[t])) {
                ++p;
                ++t;
                continue;
            }
        }
        if (afterPercent < 0)
            return false;
        p = afterPercent;
        t = ++percentTaken;
    }
    while (p < pattern.size() && pattern[p] == u'%')
        ++p;
    return p == pattern.size();
}

void likeFunction(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    QChar escape;
    bool hasEscape = false;
    if (argc == 3) {
        const QString e = textOf(argv[2]);
        if (e.size() != 1) {
            sqlite3_result_error(context, "ESCAPE expression must be a single character", -1);
            return;
        }
        escape = e[0];
        hasEscape = true;
    }
    // like(pattern, text): SQLite passes the pattern first.
    sqlite3_result_int(context, likeMatch(textOf(argv[0]), textOf(argv[1]), escape, hasEscape) ? 1 : 0);
}

// StrComp(a, b[, compare]): -1, 0 or 1 as a sorts before, with or after b; Null when
// either is Null. Compare 0 compares the characters exactly, any other (and none) as the
// text columns do, without regard to case.
void strCompFunction(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const bool exact = argc == 3 && sqlite3_value_type(argv[2]) != SQLITE_NULL && sqlite3_value_int(argv[2]) == 0;
    const int result = textOf(argv[0]).compare(textOf(argv[1]), exact ? Qt::CaseSensitive : Qt::CaseInsensitive);
    sqlite3_result_int(context, result < 0 ? -1 : (result > 0 ? 1 : 0));
}

}  // namespace

int installExtensions(sqlite3* db)
{
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    int rc = sqlite3_create_collation(db, "NOCASE", SQLITE_UTF8, nullptr, compareFolded);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function(db, kBooleanFunction, 1, flags, nullptr, booleanValue, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function(db, kDateFunction, 1, flags, nullptr, dateValue, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function(db, "like", 2, flags, nullptr, likeFunction, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function(db, "like", 3, flags, nullptr, likeFunction, nullptr, nullptr);
    for (const int argc : {2, 3})
        if (rc == SQLITE_OK)
            rc = sqlite3_create_function(db, "strcomp", argc, flags, nullptr, strCompFunction, nullptr, nullptr);
    return rc;
}

}  // namespace kelvo::engine
