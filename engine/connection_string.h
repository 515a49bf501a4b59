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

// Keys are matched without regard to letter case; a ";" that does not begin a known
// key belongs to the value before it, so a path may hold ";".
ConnectionSettings parseConnectionString(const QString& text);

}  // namespace kelvo::engine
