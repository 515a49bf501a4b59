#include "engine/connection_string.h"

#include <QStringList>

#include <utility>
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

QString unquoted(QString value)
{
    value = value.trimmed();
    if (value.size() >= 2 && ((value.startsWith(u'"') && value.endsWith(u'"'))
                              || (value.startsWith(u'\'') && value.endsWith(u'\''))))
        value = value.mid(1, value.size() - 2);
    return value;
}

}  // namespace

ConnectionSettings parseConnectionString(const QString& text)
{
    std::vector<std::pair<QString, QString>> entries;
    for (const QString& segment : text.split(u';')) {
        const qsizetype eq = segment.indexOf(u'=');
        if (eq > 0 && isKnownKey(segment.left(eq))) {
            entries.emplace_back(segment.left(eq).trimmed().toLower(), segment.mid(eq + 1));
        } else if (!entries.empty()) {
            entries.back().second += u';' + segment;
        }
    }
    ConnectionSettings settings;
    for (auto& [key, rawValue] : entries) {
        // The split took the closing ";" of the string as part of the last value.
        QString value = rawValue;
        if (&rawValue == &entries.back().second)
            while (value.endsWith(u';'))
                value.chop(1);
        if (key == u"data source") {
            settings.dataSource = unquoted(value);
        } else if (key == u"jet oledb:database password") {
            settings.password = unquoted(value);
        } else if (key == u"mode") {
            const QString mode = value.toLower();
            settings.exclusive = mode.contains(QLatin1StringView("deny read"))
                || mode.contains(QLatin1StringView("deny write")) || mode.contains(QLatin1StringView("exclusive"));
        }
    }
    return settings;
}

}  // namespace kelvo::engine
