#pragma once
// Every cell of every table of the open test file, keyed "table/row/column" (the row is
// its position in the table's key order), with the kind of value it holds: comparing two
// dumps shows exactly which cells an action changed.

#include "data/session.h"
#include "engine/connection.h"

#include <QString>
#include <QStringList>

#include <map>

namespace kelvo::testing {

using TableDump = std::map<QString, QString>;

inline QString DumpedCell(const QVariant& cell)
{
    if (cell.isNull())
        return QStringLiteral("null");
    switch (cell.typeId()) {
    case QMetaType::Double: return QStringLiteral("real:") + QString::number(cell.toDouble(), 'g', 17);
    case QMetaType::QString: return QStringLiteral("text:") + cell.toString();
    default: return QString::fromLatin1(cell.typeName()) + u':' + cell.toString();
    }
}

inline TableDump DumpTables()
{
    engine::Connection& con = Session::current().con;
    TableDump dump;
    for (const QString& table : con.tableNames()) {
        const engine::ResultSet rows = con.select(QStringLiteral("select * from %1;").arg(table));
        for (size_t r = 0; r < rows.rows.size(); ++r)
            for (int c = 0; c < rows.columnCount(); ++c)
                dump[QStringLiteral("%1/%2/%3").arg(table).arg(r).arg(rows.columns[c].name)] = DumpedCell(rows.rows[r][c]);
        dump[table + QStringLiteral("/rows")] = QString::number(rows.rows.size());
    }
    return dump;
}

// The cells in which `after` differs from `before`, "key: before -> after".
inline QStringList DumpChanges(const TableDump& before, const TableDump& after)
{
    QStringList changes;
    for (const auto& [key, value] : after) {
        const auto old = before.find(key);
        if (old == before.end())
            changes << key + QStringLiteral(": (none) -> ") + value.left(80);
        else if (old->second != value)
            changes << key + QStringLiteral(": ") + old->second.left(80) + QStringLiteral(" -> ") + value.left(80);
    }
    for (const auto& [key, value] : before)
        if (after.find(key) == after.end())
            changes << key + QStringLiteral(": ") + value.left(80) + QStringLiteral(" -> (none)");
    return changes;
}

}  // namespace kelvo::testing
