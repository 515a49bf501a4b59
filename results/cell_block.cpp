#include "results/cell_block.h"

#include "results/result_grid.h"
#include "model/values.h"

namespace kelvo::results {

namespace {

// Repeated texts (the captions of chosen answers) are few per column: a short scan
// finds them faster than hashing would.
constexpr size_t kScannedTexts = 8;

}  // namespace

RowKey RowKey::of(const engine::StoredCell& cell)
{
    RowKey key;
    switch (cell.kind) {
    case engine::StoredCell::Kind::Integer:
        key.kind = Kind::Number;
        key.number = cell.integer;
        break;
    case engine::StoredCell::Kind::Real:
        if (cell.real == static_cast<double>(static_cast<qint64>(cell.real))) {
            key.kind = Kind::Number;
            key.number = static_cast<qint64>(cell.real);
        } else {
            key.kind = Kind::Text;
            key.text = QString::number(cell.real, 'g', 17);
        }
        break;
    case engine::StoredCell::Kind::Text: {
        key.text = QString::fromUtf8(cell.bytes);
        bool isNumber = false;
        const qint64 number = key.text.toLongLong(&isNumber);
        if (isNumber && QString::number(number) == key.text) {
            key.kind = Kind::Number;
            key.number = number;
            key.text.clear();
        } else {
            key.kind = Kind::Text;
        }
        break;
    }
    case engine::StoredCell::Kind::Null:
    case engine::StoredCell::Kind::Blob:
        break;
    }
    return key;
}

QString RowKey::sqlLiteral() const
{
    switch (kind) {
    case Kind::Number: return QString::number(number);
    case Kind::Text: return SqlQuote(text);
    case Kind::None: break;
    }
    return QStringLiteral("null");
}

ColumnBuffer::ColumnBuffer(int rows, engine::FieldClass type)
    : type_(type), rows_(rows), kinds_(static_cast<size_t>(rows), Kind::Null)
{
}

void ColumnBuffer::store(int row, const engine::StoredCell& cell)
{
    const auto at = static_cast<size_t>(row);
    switch (cell.kind) {
    case engine::StoredCell::Kind::Null:
        kinds_[at] = Kind::Null;
        return;
    case engine::StoredCell::Kind::Integer:
    case engine::StoredCell::Kind::Real:
        if (numbers_.empty())
            numbers_.resize(static_cast<size_t>(rows_));
        kinds_[at] = cell.kind == engine::StoredCell::Kind::Integer ? Kind::Integer : Kind::Real;
        numbers_[at] = cell.kind == engine::StoredCell::Kind::Integer ? static_cast<double>(cell.integer) : cell.real;
        return;
    case engine::StoredCell::Kind::Text:
    case engine::StoredCell::Kind::Blob:
        if (textIndexes_.empty())
            textIndexes_.resize(static_cast<size_t>(rows_));
        kinds_[at] = Kind::Text;
        textIndexes_[at] = distinctText(cell.bytes, cell);
        return;
    }
}

int ColumnBuffer::distinctText(QByteArrayView stored, const engine::StoredCell& cell)
{
    const size_t scanned = std::min(storedTexts_.size(), kScannedTexts);
    for (size_t i = 0; i < scanned; ++i)
        if (storedTexts_[i] == stored)
            return static_cast<int>(i);
    if (storedTexts_.size() > kScannedTexts) {
        const auto known = textIndex_.constFind(QByteArray::fromRawData(stored.data(), stored.size()));
        if (known != textIndex_.constEnd())
            return *known;
    }
    const auto index = static_cast<std::int32_t>(storedTexts_.size());
    storedTexts_.push_back(stored.toByteArray());
    shownTexts_.push_back(CellDisplayText(engine::storedValue(cell, type_)));
    if (storedTexts_.size() > kScannedTexts) {
        if (textIndex_.isEmpty())
            for (size_t i = 0; i < storedTexts_.size(); ++i)
                textIndex_.insert(storedTexts_[i], static_cast<std::int32_t>(i));
        else
            textIndex_.insert(storedTexts_.back(), index);
    }
    return index;
}

QString ColumnBuffer::text(int row) const
{
    const auto at = static_cast<size_t>(row);
    engine::StoredCell cell;
    switch (kinds_[at]) {
    case Kind::Null: return {};
    case Kind::Text: return shownTexts_[static_cast<size_t>(textIndexes_[at])];
    case Kind::Integer:
        cell.kind = engine::StoredCell::Kind::Integer;
        cell.integer = static_cast<qint64>(numbers_[at]);
        break;
    case Kind::Real:
        cell.kind = engine::StoredCell::Kind::Real;
        cell.real = numbers_[at];
        break;
    }
    return CellDisplayText(engine::storedValue(cell, type_));
}

}  // namespace kelvo::results
