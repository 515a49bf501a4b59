#include "engine/connection_string.h"

#include <algorithm>
#include <vector>

namespace kelvo::engine {
namespace {

bool isKnownKey(const QString& key)
{
    static const char* const keys[] = {"data source", "provider", "mode", "user id", "password",
                                       "persist security info", "extended properties", "locale identifier"};
    const QString k = key.trimmed().toLower();
    if (k.startsWith(QLatin1StringView("jet oledb:")))
        return true;
    for (const char* known : keys)
        if (k == QLatin1StringView(known))
            return true;
    return false;
}

bool isQuote(QChar c) { return c == u'"' || c == u'\''; }

// One "key=value" of the string; the value's text spans [valueStart, valueEnd).
struct Entry {
    qsizetype keyStart = 0;
    QString key;  // trimmed, lower case
    QString value;
    qsizetype valueStart = 0;
    qsizetype valueEnd = 0;
};

// Whether the ";" at `semicolon` ends the value before it: the string ends there, or a
// known key and its "=" follow.
bool endsValue(const QString& text, qsizetype semicolon)
{
    const qsizetype next = semicolon + 1;
    const QString rest = text.mid(next);
    if (rest.trimmed().isEmpty())
        return true;
    const qsizetype eq = text.indexOf(u'=', next);
    const qsizetype following = text.indexOf(u';', next);
    return eq > next && (following < 0 || eq < following) && isKnownKey(text.mid(next, eq - next));
}

std::vector<Entry> entriesOf(const QString& text)
{
    std::vector<Entry> entries;
    const qsizetype size = text.size();
    qsizetype pos = 0;
    while (pos < size) {
        const qsizetype eq = text.indexOf(u'=', pos);
        const qsizetype semicolon = text.indexOf(u';', pos);
        if (eq < 0)
            break;
        if (semicolon >= 0 && semicolon < eq) {  // a part without "=" means nothing
            pos = semicolon + 1;
            continue;
        }
        Entry entry;
        entry.keyStart = pos;
        entry.key = text.mid(pos, eq - pos).trimmed().toLower();
        qsizetype start = eq + 1;
        while (start < size && text[start].isSpace() && text[start] != u';')
            ++start;
        if (start < size && isQuote(text[start])) {
            const QChar quote = text[start];
            qsizetype i = start + 1;
            for (; i < size; ++i) {
                if (text[i] != quote) {
                    entry.value += text[i];
                } else if (i + 1 < size && text[i + 1] == quote) {
                    entry.value += quote;
                    ++i;
                } else {
                    break;
                }
            }
            entry.valueStart = start;
            entry.valueEnd = std::min(i + 1, size);
            const qsizetype next = text.indexOf(u';', entry.valueEnd);
            pos = next < 0 ? size : next + 1;
        } else {
            qsizetype end = text.indexOf(u';', eq + 1);
            while (end >= 0 && !endsValue(text, end))
                end = text.indexOf(u';', end + 1);
            if (end < 0)
                end = size;
            entry.valueStart = eq + 1;
            entry.valueEnd = end;
            entry.value = text.mid(eq + 1, end - eq - 1).trimmed();
            pos = end + 1;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace

ConnectionSettings parseConnectionString(const QString& text)
{
    ConnectionSettings settings;
    for (const Entry& entry : entriesOf(text)) {
        if (entry.key == u"data source") {
            settings.dataSource = entry.value;
        } else if (entry.key == u"jet oledb:database password") {
            settings.password = entry.value;
        } else if (entry.key == u"mode") {
            const QString mode = entry.value.toLower();
            settings.exclusive = mode.contains(QLatin1StringView("deny read"))
                || mode.contains(QLatin1StringView("deny write")) || mode.contains(QLatin1StringView("exclusive"));
        }
    }
    return settings;
}

QString connectionStringValue(const QString& value)
{
    const bool needsQuotes =
        value.contains(u';')
        || (!value.isEmpty() && (isQuote(value.front()) || value.front().isSpace() || value.back().isSpace()));
    if (!needsQuotes)
        return value;
    QString doubled = value;
    doubled.replace(u'"', QLatin1StringView("\"\""));
    return u'"' + doubled + u'"';
}

QString withDataSource(const QString& connectionString, const QString& path)
{
    for (const Entry& entry : entriesOf(connectionString)) {
        if (entry.key != u"data source")
            continue;
        QString result = connectionString;
        result.replace(entry.valueStart, entry.valueEnd - entry.valueStart, connectionStringValue(path));
        return result;
    }
    return connectionString;
}

QString withoutMode(const QString& connectionString)
{
    for (const Entry& entry : entriesOf(connectionString))
        if (entry.key == u"mode")
            return connectionString.left(entry.keyStart);
    return connectionString;
}

}  // namespace kelvo::engine
