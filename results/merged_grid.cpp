#include "results/merged_grid.h"

#include "engine/stored_cells.h"
#include "results/result_statements.h"

#include <QHash>

#include <unordered_map>

namespace kelvo::results {

namespace {

// Enough for the rows in view, the rows the header measures (the first and the last)
// and some scrolling back; what the grid keeps does not grow with the number of runs.
constexpr size_t kKeptBlocks = 12;

QString withoutTrailingSemicolons(QString sql)
{
    sql = sql.trimmed();
    while (sql.endsWith(u';'))
        sql = sql.chopped(1).trimmed();
    return sql;
}

QString quotedName(const QString& name) { return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"'; }

}  // namespace

GridSource GridSource::describe(const engine::Connection& connection, const QString& statement)
{
    GridSource source;
    source.rowsSql = withoutTrailingSemicolons(connection.nativeSql(rowsSelected(statement)));
    const engine::RowReader reader(connection, source.rowsSql);
    source.fields = reader.columns();
    if (!source.hasFields())
        return source;
    // Only the ids are read in order; the cells follow by id as they are shown.
    const std::optional<QString> keys = selectingOnly(statement, source.keyName());
    source.keysInOrderSql = keys ? withoutTrailingSemicolons(connection.nativeSql(*keys))
                                 : QStringLiteral("SELECT %1 FROM (%2)")
                                       .arg(quotedName(source.keyName()),
                                            withoutTrailingSemicolons(connection.nativeSql(statement)));
    return source;
}

bool GridSource::firstFieldIsId() const
{
    return hasFields() && keyName().compare(u"id", Qt::CaseInsensitive) == 0;
}

void MergedGrid::setFirst(const engine::Connection& connection, GridSource first)
{
    *this = MergedGrid();
    connection_ = &connection;
    if (!first.hasFields())
        return;
    engine::RowReader keys(connection, first.keysInOrderSql);
    while (keys.next()) {
        const RowKey key = RowKey::of(keys.cell(0));
        if (key.kind != RowKey::Kind::Number)
            otherKeys_.emplace(static_cast<int>(keys_.size()), key);
        keys_.push_back(key.number);
    }
    if (keys_.empty())
        return;
    for (int f = 0; f < static_cast<int>(first.fields.size()); ++f)
        columns_.push_back({0, f});
    sources_.push_back(std::move(first));
}

void MergedGrid::merge(GridSource source)
{
    if (rowCount() == 0 || columns_.empty() || !source.hasFields())
        return;
    const GridSource& first = sources_.front();
    engine::RowReader matched(*connection_, QStringLiteral("SELECT 1 FROM (%1) WHERE %2 IN (SELECT %3 FROM (%4)) LIMIT 1")
                                                 .arg(source.rowsSql, quotedName(source.keyName()),
                                                      quotedName(first.keyName()), first.rowsSql));
    if (!matched.next())
        return;
    const int index = static_cast<int>(sources_.size());
    for (int f = source.firstFieldIsId() ? 1 : 0; f < static_cast<int>(source.fields.size()); ++f)
        columns_.push_back({index, f});
    sources_.push_back(std::move(source));
}

QString MergedGrid::header(int column) const
{
    const Column& c = columns_[static_cast<size_t>(column)];
    return sources_[static_cast<size_t>(c.source)].fields[static_cast<size_t>(c.field)].name;
}

QString MergedGrid::text(int row, int column) const
{
    const CellBlock& cells = block(row);
    return cells.columns[static_cast<size_t>(column)].text(row - cells.first);
}

RowKey MergedGrid::keyOf(int row) const
{
    if (!otherKeys_.empty())
        if (const auto other = otherKeys_.find(row); other != otherKeys_.end())
            return other->second;
    RowKey key;
    key.kind = RowKey::Kind::Number;
    key.number = keys_[static_cast<size_t>(row)];
    return key;
}

const CellBlock& MergedGrid::block(int row) const
{
    const int first = row - row % kBlockRows;
    for (auto it = blocks_.begin(); it != blocks_.end(); ++it) {
        if (it->first != first)
            continue;
        if (it != blocks_.begin())
            blocks_.splice(blocks_.begin(), blocks_, it);
        return blocks_.front();
    }
    blocks_.push_front(readBlock(first));
    if (blocks_.size() > kKeptBlocks)
        blocks_.pop_back();
    return blocks_.front();
}

std::vector<int> MergedGrid::columnsOf(int source) const
{
    std::vector<int> columns;
    for (int c = 0; c < columnCount(); ++c)
        if (columns_[static_cast<size_t>(c)].source == source)
            columns.push_back(c);
    return columns;
}

CellBlock MergedGrid::readBlock(int first) const
{
    CellBlock cells;
    cells.first = first;
    const int rows = std::min(kBlockRows, rowCount() - first);
    cells.columns.reserve(columns_.size());
    for (const Column& c : columns_)
        cells.columns.emplace_back(rows, sources_[static_cast<size_t>(c.source)].fields[static_cast<size_t>(c.field)].type);
    for (int source = 0; source < static_cast<int>(sources_.size()); ++source) {
        try {
            readSource(source, cells);
        } catch (const engine::EngineError&) {
            // The file changed under the shown grid (a table went): its cells stay empty
            // until the grid is built again, which reports the failure.
        }
    }
    return cells;
}

void MergedGrid::readSource(int source, CellBlock& cells) const
{
    const int rows = cells.columns.empty() ? 0 : std::min(kBlockRows, rowCount() - cells.first);
    // The block's rows by key; a key held by several rows names the first of them.
    std::unordered_map<qint64, int> numberRows;
    QHash<QString, int> textRows;
    QStringList literals;
    for (int r = 0; r < rows; ++r) {
        const RowKey key = keyOf(cells.first + r);
        if (key.kind == RowKey::Kind::Number) {
            if (numberRows.emplace(key.number, r).second)
                literals << key.sqlLiteral();
        } else if (key.kind == RowKey::Kind::Text && !textRows.contains(key.text)) {
            textRows.insert(key.text, r);
            literals << key.sqlLiteral();
        }
    }
    if (literals.isEmpty())
        return;
    const GridSource& from = sources_[static_cast<size_t>(source)];
    const std::vector<int> columns = columnsOf(source);
    const int skipped = source > 0 && from.firstFieldIsId() ? 1 : 0;
    engine::RowReader reader(*connection_, QStringLiteral("SELECT * FROM (%1) WHERE %2 IN (%3)")
                                               .arg(from.rowsSql, quotedName(from.keyName()), literals.join(u',')));
    while (reader.next()) {
        const RowKey key = RowKey::of(reader.cell(0));
        int row = -1;
        if (key.kind == RowKey::Kind::Number) {
            if (const auto found = numberRows.find(key.number); found != numberRows.end())
                row = found->second;
        } else if (key.kind == RowKey::Kind::Text) {
            row = textRows.value(key.text, -1);
        }
        if (row < 0)
            continue;
        for (size_t i = 0; i < columns.size(); ++i)
            cells.columns[static_cast<size_t>(columns[i])].store(row, reader.cell(static_cast<int>(i) + skipped));
    }
}

}  // namespace kelvo::results
