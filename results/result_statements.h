#pragma once
// The SELECT texts behind the results grid: "select * from <table> <where> order by
// <column> <direction>;". Their sort part is rewritten in place as the author sorts;
// the rewriting only ever touches the statement's own ORDER BY, never text inside a
// quoted literal of a search value.

#include <QString>
#include <QStringView>

#include <optional>

namespace kelvo::results {

inline constexpr QStringView kAscendingSuffix = u" asc;";
inline constexpr QStringView kDescendingSuffix = u" desc;";

// Where the last `word` starts outside single-quoted literals; -1 when it does not occur.
qsizetype lastIndexOutsideLiterals(QStringView sql, QStringView word);

// The entry with its direction replaced by `suffix`: what follows its "asc;" (or else
// "desc;") is cut off and `suffix` goes before the last remaining character.
QString withSortSuffix(const QString& entry, QStringView suffix);

// The entry ordered by `column` in the direction `suffix` instead of its own order.
QString orderedByColumn(const QString& entry, const QString& column, QStringView suffix);

// The entry without its ORDER BY: the rows it selects, whatever their order.
QString rowsSelected(const QString& entry);

// The entry selecting only `column`, in the entry's own order; nothing when the entry
// does not begin with "select * from".
std::optional<QString> selectingOnly(const QString& entry, const QString& column);

}  // namespace kelvo::results
