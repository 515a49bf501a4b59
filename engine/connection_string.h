#pragma once
// The settings of an ADO-style connection string:
// "Data Source=<path>;Provider=...;Jet OLEDB:Database Password=<pw>;[Mode=...;]"

#include <QString>

namespace kelvo::engine {

struct ConnectionSettings {
    QString dataSource;
    QString password;        // empty: none given
    bool exclusive = false;  // Mode denies others reading or writing
};

// Keys are matched without regard to letter case. A value in double (or single) quotes
// is taken whole, a doubled quote standing for one; an unquoted value loses its outer
// blanks, and a ";" in it that does not begin a known key belongs to it.
ConnectionSettings parseConnectionString(const QString& text);

// A value as it must stand in a connection string to read back whole: in double quotes,
// inner ones doubled, when it holds ";", starts with a quote or starts or ends with a
// blank; as it is otherwise.
QString connectionStringValue(const QString& value);

// The connection string with the value of its Data Source replaced by `path`, where it
// stands; the rest is kept as it is. Unchanged when it names no Data Source.
QString withDataSource(const QString& connectionString, const QString& path);

// The connection string up to its Mode key, which is dropped with everything after it;
// a "Mode=" inside a value is no key. Unchanged when it has none.
QString withoutMode(const QString& connectionString);

}  // namespace kelvo::engine
