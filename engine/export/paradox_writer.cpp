#include "engine/export/paradox_writer.h"

#include "engine/export/export_support.h"

// pxlib's header declares its functions without C linkage.
extern "C" {
#include <paradox.h>
}

#include <algorithm>
#include <cstring>
#include <memory>

namespace kelvo::exporting {
namespace {

constexpr std::size_t kLongestFieldName = 25;
constexpr std::size_t kMostFields = 255;
constexpr std::size_t kWidestAlpha = 255;
constexpr std::size_t kLongestRecord = 4000;
constexpr long kSdnOfDayZero = 1721425;  // the day before 0001-01-01, where Paradox counts from

// pxlib writes the headers of file versions 5.0 and 7.0 only (an older number gives a
// header its own reader cannot read); 3.x and 4.x tables get the 5.0 header and only
// the field types that those versions knew.
constexpr int kOldestWrittenFileVersion = 50;

struct VersionFacts {
    const char* formatName;
    bool hasNewerTypes;  // Long, Logical and Timestamp came with 5.x
};

VersionFacts factsOf(ParadoxVersion version)
{
    switch (version) {
    case ParadoxVersion::V3:
        return {"Paradox 3.x", false};
    case ParadoxVersion::V4:
        return {"Paradox 4.x", false};
    case ParadoxVersion::V5:
        break;
    }
    return {"Paradox 5.x", true};
}

enum class Stored { Alpha, Long, Number, Logical, Date, Timestamp };

struct FieldPlan {
    Stored stored = Stored::Alpha;
    char type = pxfAlpha;
    int length = 1;
    int offset = 0;
};

long daysOf(const DateTime& moment)
{
    return static_cast<long>(PX_GregorianToSdn(moment.year, moment.month, moment.day)) - kSdnOfDayZero;
}

struct DocumentDeleter {
    void operator()(pxdoc_t* document) const
    {
        PX_close(document);
        PX_delete(document);
    }
};

// pxlib reports through a handler; its text becomes the export's failure.
void collectError(pxdoc_t*, int type, const char* message, void* data)
{
    auto* text = static_cast<std::string*>(data);
    if (type != PX_Warning && text->empty())
        *text = message;
}

}  // namespace

void writeParadoxTable(const Table& table, ParadoxVersion version, const std::filesystem::path& target)
{
    const VersionFacts facts = factsOf(version);
    requireWithinLimit(table.columns.size() <= kMostFields && !table.columns.empty(), facts.formatName,
                       "holds 1 to 255 fields; the table has " + std::to_string(table.columns.size()));
    std::vector<std::vector<std::string>> texts(table.rows.size(), std::vector<std::string>(table.columns.size()));
    std::vector<FieldPlan> plans;
    std::vector<std::string> names;
    int offset = 0;
    for (std::size_t c = 0; c < table.columns.size(); ++c) {
        const Column& column = table.columns[c];
        names.push_back(toWindows1252(column.name, {0, column.name}, facts.formatName));
        requireWithinLimit(names.back().size() <= kLongestFieldName && !names.back().empty(), facts.formatName,
                           "holds field names of 1 to 25 characters; the column \"" + column.name + "\" has "
                               + std::to_string(characterCount(column.name)));
        FieldPlan plan;
        const bool withTime = std::any_of(table.rows.begin(), table.rows.end(), [c](const auto& row) {
            const auto* moment = std::get_if<DateTime>(&row[c]);
            return moment && moment->hasTime();
        });
        switch (column.type) {
        case ColumnType::Integer:
            plan = facts.hasNewerTypes ? FieldPlan{Stored::Long, pxfLong, 4} : FieldPlan{Stored::Number, pxfNumber, 8};
            break;
        case ColumnType::Float:
            plan = {Stored::Number, pxfNumber, 8};
            break;
        case ColumnType::Boolean:
            plan = facts.hasNewerTypes ? FieldPlan{Stored::Logical, pxfLogical, 1} : FieldPlan{Stored::Alpha, pxfAlpha, 5};
            break;
        case ColumnType::Date:
            if (!withTime)
                plan = {Stored::Date, pxfDate, 4};
            else if (facts.hasNewerTypes)
                plan = {Stored::Timestamp, pxfTimestamp, 8};
            else
                plan = {Stored::Alpha, pxfAlpha, 19};
            break;
        case ColumnType::Text:
        case ColumnType::LongText:
            break;
        }
        if (plan.stored == Stored::Alpha) {
            std::size_t widest = static_cast<std::size_t>(plan.length);
            for (std::size_t r = 0; r < table.rows.size(); ++r) {
                const Cell& cell = table.rows[r][c];
                if (std::holds_alternative<std::monostate>(cell))
                    continue;
                const auto* text = std::get_if<std::string>(&cell);
                texts[r][c] = toWindows1252(text ? *text : cellText(cell), {r + 1, column.name}, facts.formatName);
                requireWithinLimit(texts[r][c].size() <= kWidestAlpha, facts.formatName,
                                   "holds at most 255 characters in an alpha field; row " + std::to_string(r + 1)
                                       + ", column \"" + column.name + "\" has " + std::to_string(texts[r][c].size()));
                widest = std::max(widest, texts[r][c].size());
            }
            plan.length = static_cast<int>(widest);
        }
        plan.offset = offset;
        offset += plan.length;
        plans.push_back(plan);
    }
    requireWithinLimit(static_cast<std::size_t>(offset) <= kLongestRecord, facts.formatName,
                       "holds at most 4000 bytes in a record; the table needs " + std::to_string(offset));

    ReplacementFile file(target);
    std::string error;
    {
        std::unique_ptr<pxdoc_t, DocumentDeleter> document(PX_new3(collectError, nullptr, nullptr, nullptr, &error));
        if (!document)
            throw ExportError("Cannot write the file \"" + target.string() + "\".");
        pxdoc_t* pxdoc = document.get();
        // pxlib frees the field list with the document, so it takes its own allocator's memory.
        auto* fields = static_cast<pxfield_t*>(pxdoc->malloc(pxdoc, plans.size() * sizeof(pxfield_t), "fields"));
        for (std::size_t c = 0; c < plans.size(); ++c) {
            fields[c].px_fname = static_cast<char*>(pxdoc->malloc(pxdoc, names[c].size() + 1, "field name"));
            std::memcpy(fields[c].px_fname, names[c].c_str(), names[c].size() + 1);
            fields[c].px_ftype = plans[c].type;
            fields[c].px_flen = plans[c].length;
            fields[c].px_fdc = 0;
        }
        if (PX_create_file(pxdoc, fields, static_cast<int>(plans.size()), file.temporaryPath().c_str(), pxfFileTypNonIndexDB) < 0)
            throw ExportError("Cannot write the file \"" + target.string() + "\": " + error);
        pxdoc->px_head->px_fileversion = kOldestWrittenFileVersion;  // the header is written on closing
        PX_set_value(pxdoc, "codepage", 1252);
        const std::string tableName = target.stem().string();
        PX_set_parameter(pxdoc, "tablename", tableName.c_str());
        std::vector<char> record(static_cast<std::size_t>(std::max(offset, 1)));
        for (std::size_t r = 0; r < table.rows.size(); ++r) {
            std::fill(record.begin(), record.end(), '\0');  // all zero: Null
            for (std::size_t c = 0; c < plans.size(); ++c) {
                const Cell& cell = table.rows[r][c];
                if (std::holds_alternative<std::monostate>(cell))
                    continue;
                const FieldPlan& plan = plans[c];
                char* at = record.data() + plan.offset;
                switch (plan.stored) {
                case Stored::Alpha:
                    PX_put_data_alpha(pxdoc, at, plan.length, texts[r][c].data());
                    break;
                case Stored::Long:
                    if (const auto* integer = std::get_if<std::int64_t>(&cell))
                        PX_put_data_long(pxdoc, at, 4, static_cast<int>(*integer));
                    break;
                case Stored::Number:
                    if (const auto* integer = std::get_if<std::int64_t>(&cell))
                        PX_put_data_double(pxdoc, at, 8, static_cast<double>(*integer));
                    else if (const auto* number = std::get_if<double>(&cell))
                        PX_put_data_double(pxdoc, at, 8, *number);
                    break;
                case Stored::Logical:
                    if (const auto* flag = std::get_if<bool>(&cell))
                        PX_put_data_byte(pxdoc, at, 1, *flag ? 1 : 0);
                    break;
                case Stored::Date:
                    if (const auto* moment = std::get_if<DateTime>(&cell))
                        PX_put_data_long(pxdoc, at, 4, static_cast<int>(daysOf(*moment)));
                    break;
                case Stored::Timestamp:
                    if (const auto* moment = std::get_if<DateTime>(&cell))
                        PX_put_data_double(pxdoc, at, 8,
                                           (static_cast<double>(daysOf(*moment)) * 86400.0 + moment->hour * 3600.0
                                            + moment->minute * 60.0 + moment->second)
                                               * 1000.0);
                    break;
                }
            }
            if (PX_put_record(pxdoc, record.data()) < 0)
                throw ExportError("Cannot write row " + std::to_string(r + 1) + " to the file \"" + target.string()
                                  + "\": " + error);
        }
    }
    if (!error.empty())
        throw ExportError("Cannot write the file \"" + target.string() + "\": " + error);
    file.commit();
}

}  // namespace kelvo::exporting
