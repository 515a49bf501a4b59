#include "engine/export/dbase_writer.h"

#include "engine/export/export_support.h"

#include <shapefil.h>

#include <algorithm>
#include <charconv>
#include <memory>

namespace kelvo::exporting {
namespace {

struct DbaseLimits {
    const char* formatName;
    std::size_t mostFields;
    std::size_t widestNumber;
    std::size_t longestRecord;
};

constexpr std::size_t kLongestFieldName = 10;
constexpr std::size_t kWidestText = 254;
constexpr std::size_t kMostRecords = 1000000000;
constexpr int kMostDecimals = 15;

DbaseLimits limitsOf(DbaseVersion version)
{
    switch (version) {
    case DbaseVersion::III:
        return {"dBase III", 128, 19, 4000};
    case DbaseVersion::IV:
        return {"dBase IV", 255, 20, 4000};
    case DbaseVersion::V:
        break;
    }
    return {"dBase 5", 1024, 20, 32767};
}

// How one column is laid out in the file, decided from all of its values.
struct FieldLayout {
    DBFFieldType kind = FTString;
    char nativeType = 'C';
    int width = 1;
    int decimals = 0;
    bool dateAsText = false;  // a date column whose values carry a time keeps it as text
};

struct NumberShape {
    std::size_t digitsBefore = 1;  // with the sign
    int decimals = 0;
};

NumberShape shapeOf(double value)
{
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    const std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
    const std::size_t point = text.find('.');
    if (point == std::string_view::npos)
        return {text.size(), 0};
    return {point, static_cast<int>(text.size() - point - 1)};
}

class DbaseTableWriter {
public:
    DbaseTableWriter(const Table& table, DbaseVersion version) : table_(table), limits_(limitsOf(version)) {}

    void write(const std::filesystem::path& target)
    {
        encodeTexts();
        planFields();
        ReplacementFile file(target);
        writeFile(file.temporaryPath(), target);
        file.commit();
    }

private:
    void encodeTexts()
    {
        encoded_.assign(table_.rows.size(), std::vector<std::string>(table_.columns.size()));
        for (std::size_t r = 0; r < table_.rows.size(); ++r)
            for (std::size_t c = 0; c < table_.columns.size(); ++c) {
                const Cell& cell = table_.rows[r][c];
                if (const auto* text = std::get_if<std::string>(&cell))
                    encoded_[r][c] = toWindows1252(*text, {r + 1, table_.columns[c].name}, limits_.formatName);
            }
    }

    void planFields()
    {
        const std::string name = limits_.formatName;
        requireWithinLimit(table_.columns.size() <= limits_.mostFields, name,
                           "holds at most " + std::to_string(limits_.mostFields) + " fields; the table has "
                               + std::to_string(table_.columns.size()));
        requireWithinLimit(table_.rows.size() <= kMostRecords, name,
                           "holds at most " + std::to_string(kMostRecords) + " records");
        std::size_t recordSize = 1;
        for (std::size_t c = 0; c < table_.columns.size(); ++c) {
            const Column& column = table_.columns[c];
            const std::string fieldName = toWindows1252(column.name, {0, column.name}, name);
            requireWithinLimit(fieldName.size() <= kLongestFieldName && !fieldName.empty(), name,
                               "holds field names of 1 to 10 characters; the column \"" + column.name + "\" has "
                                   + std::to_string(characterCount(column.name)));
            layouts_.push_back(layoutOf(c));
            recordSize += static_cast<std::size_t>(layouts_.back().width);
        }
        requireWithinLimit(recordSize <= limits_.longestRecord, name,
                           "holds at most " + std::to_string(limits_.longestRecord) + " bytes in a record; the table needs "
                               + std::to_string(recordSize));
    }

    FieldLayout layoutOf(std::size_t c) const
    {
        const Column& column = table_.columns[c];
        FieldLayout layout;
        switch (column.type) {
        case ColumnType::Boolean:
            return {FTLogical, 'L', 1, 0, false};
        case ColumnType::Integer:
        case ColumnType::Float: {
            NumberShape widest{1, 0};
            for (const auto& row : table_.rows) {
                NumberShape shape;
                if (const auto* integer = std::get_if<std::int64_t>(&row[c]))
                    shape = {std::to_string(*integer).size(), 0};
                else if (const auto* number = std::get_if<double>(&row[c]))
                    shape = shapeOf(*number);
                else
                    continue;
                widest.digitsBefore = std::max(widest.digitsBefore, shape.digitsBefore);
                widest.decimals = std::max(widest.decimals, shape.decimals);
            }
            requireWithinLimit(widest.decimals <= kMostDecimals, limits_.formatName,
                               "holds at most 15 decimals in a number; the column \"" + column.name + "\" has "
                                   + std::to_string(widest.decimals));
            const std::size_t width = widest.digitsBefore + (widest.decimals > 0 ? widest.decimals + 1 : 0);
            requireWithinLimit(width <= limits_.widestNumber, limits_.formatName,
                               "holds at most " + std::to_string(limits_.widestNumber)
                                   + " characters in a number field; the column \"" + column.name + "\" needs "
                                   + std::to_string(width));
            return {widest.decimals > 0 ? FTDouble : FTInteger, 'N', static_cast<int>(width), widest.decimals, false};
        }
        case ColumnType::Date: {
            const bool withTime = std::any_of(table_.rows.begin(), table_.rows.end(), [c](const auto& row) {
                const auto* moment = std::get_if<DateTime>(&row[c]);
                return moment && moment->hasTime();
            });
            if (!withTime)
                return {FTDate, 'D', 8, 0, false};
            return {FTString, 'C', 19, 0, true};
        }
        case ColumnType::Text:
        case ColumnType::LongText:
            break;
        }
        std::size_t widest = 1;
        for (std::size_t r = 0; r < table_.rows.size(); ++r) {
            const std::size_t length = std::holds_alternative<std::string>(table_.rows[r][c]) ? encoded_[r][c].size()
                                                                                                : cellText(table_.rows[r][c]).size();
            requireWithinLimit(length <= kWidestText, limits_.formatName,
                               "holds at most 254 characters in a text field; row " + std::to_string(r + 1) + ", column \""
                                   + column.name + "\" has " + std::to_string(length));
            widest = std::max(widest, length);
        }
        layout.width = static_cast<int>(widest);
        return layout;
    }

    // Messages name `shownAs`, the person's file, not the temporary one at `path`.
    void writeFile(const std::filesystem::path& path, const std::filesystem::path& shownAs) const
    {
        struct Closer {
            void operator()(DBFInfo* handle) const { DBFClose(handle); }
        };
        // The language driver byte 3 marks Windows-1252 (Windows ANSI) text.
        std::unique_ptr<DBFInfo, Closer> handle(DBFCreateEx(path.c_str(), "LDID/3"));
        if (!handle)
            throw ExportError("Cannot write the file \"" + shownAs.string() + "\".");
        for (std::size_t c = 0; c < table_.columns.size(); ++c) {
            const FieldLayout& layout = layouts_[c];
            const std::string fieldName = toWindows1252(table_.columns[c].name, {0, table_.columns[c].name}, "dBase");
            if (DBFAddNativeFieldType(handle.get(), fieldName.c_str(), layout.nativeType, layout.width, layout.decimals) < 0)
                throw ExportError(std::string(limits_.formatName) + " cannot hold the field \"" + table_.columns[c].name
                                  + "\".");
        }
        for (std::size_t r = 0; r < table_.rows.size(); ++r)
            for (std::size_t c = 0; c < table_.columns.size(); ++c)
                if (!writeCell(handle.get(), static_cast<int>(r), static_cast<int>(c)))
                    throw ExportError("Cannot write row " + std::to_string(r + 1) + " to the file \"" + shownAs.string()
                                      + "\".");
        if (DBFGetRecordCount(handle.get()) != static_cast<int>(table_.rows.size()))
            throw ExportError("Cannot write the file \"" + shownAs.string() + "\".");
    }

    bool writeCell(DBFInfo* handle, int r, int c) const
    {
        const Cell& cell = table_.rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
        const FieldLayout& layout = layouts_[static_cast<std::size_t>(c)];
        if (std::holds_alternative<std::monostate>(cell))
            return DBFWriteNULLAttribute(handle, r, c) != 0;
        if (std::holds_alternative<std::string>(cell))
            return DBFWriteStringAttribute(handle, r, c,
                                           encoded_[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)].c_str())
                   != 0;
        if (const auto* flag = std::get_if<bool>(&cell)) {
            if (layout.nativeType == 'L')
                return DBFWriteLogicalAttribute(handle, r, c, *flag ? 'T' : 'F') != 0;
        }
        if (const auto* moment = std::get_if<DateTime>(&cell)) {
            if (!layout.dateAsText && layout.nativeType == 'D') {
                char stamp[16];
                std::snprintf(stamp, sizeof stamp, "%04d%02d%02d", moment->year, moment->month, moment->day);
                return DBFWriteAttributeDirectly(handle, r, c, stamp) != 0;
            }
        }
        if (layout.nativeType == 'N') {
            if (const auto* integer = std::get_if<std::int64_t>(&cell)) {
                const std::string digits = std::to_string(*integer);
                std::string padded = std::string(static_cast<std::size_t>(layout.width) - digits.size(), ' ') + digits;
                return DBFWriteAttributeDirectly(handle, r, c, padded.data()) != 0;
            }
            if (const auto* number = std::get_if<double>(&cell))
                return DBFWriteDoubleAttribute(handle, r, c, *number) != 0;
        }
        return DBFWriteStringAttribute(handle, r, c, cellText(cell).c_str()) != 0;
    }

    const Table& table_;
    DbaseLimits limits_;
    std::vector<std::vector<std::string>> encoded_;
    std::vector<FieldLayout> layouts_;
};

}  // namespace

void writeDbaseTable(const Table& table, DbaseVersion version, const std::filesystem::path& target)
{
    DbaseTableWriter(table, version).write(target);
}

}  // namespace kelvo::exporting
