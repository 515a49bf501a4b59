#include "engine/export/lotus_writer.h"

#include "engine/export/export_support.h"

#include <cmath>
#include <cstring>

namespace kelvo::exporting {
namespace {

constexpr std::size_t kLongestLabel = 240;
constexpr std::size_t kMostColumns = 256;

struct LotusLimits {
    const char* formatName;
    std::size_t mostRows;
};

LotusLimits limitsOf(LotusVersion version)
{
    return version == LotusVersion::Wk1 ? LotusLimits{"Lotus WK1", 8192} : LotusLimits{"Lotus WK3", 8192};
}

class LotusStream {
public:
    explicit LotusStream(LotusVersion version) : version_(version) {}

    void record(std::uint16_t number, const ByteWriter& body) { out_.record(number, body); }

    void begin(std::size_t rows, std::size_t columns)
    {
        ByteWriter bof;
        if (version_ == LotusVersion::Wk1) {
            bof.u16(0x0406);
            record(0x0000, bof);
            ByteWriter range;
            range.u16(0);
            range.u16(0);
            range.u16(static_cast<std::uint16_t>(columns - 1));
            range.u16(static_cast<std::uint16_t>(rows - 1));
            record(0x0006, range);
            return;
        }
        bof.u16(0x1000);  // release 3
        bof.u16(0x0004);
        bof.u16(0);       // first row, sheet, column of the active area
        bof.u8(0);
        bof.u8(0);
        bof.u16(static_cast<std::uint16_t>(rows - 1));
        bof.u8(0);
        bof.u8(static_cast<std::uint8_t>(columns - 1));
        bof.zeros(26 - bof.size());
        record(0x0000, bof);
    }

    void label(std::size_t row, std::size_t column, const std::string& bytes)
    {
        ByteWriter body;
        place(body, row, column, kGeneral);
        body.u8('\'');
        body.raw(bytes);
        body.u8(0);
        record(version_ == LotusVersion::Wk1 ? 0x000F : 0x0016, body);
    }

    void number(std::size_t row, std::size_t column, double value, std::uint8_t format = kGeneral)
    {
        ByteWriter body;
        place(body, row, column, format);
        if (version_ == LotusVersion::Wk1) {
            body.f64(value);
            record(0x000E, body);
            return;
        }
        body.raw(extended(value));
        record(0x0017, body);
    }

    void end() { record(0x0001, ByteWriter{}); }
    const std::string& bytes() const { return out_.bytes(); }

    // Release 2 keeps a format byte per cell: unprotected, "special" kind, and then
    // 0x71 general, 0x72 the day-month-year date.
    static constexpr std::uint8_t kGeneral = 0x71;
    static constexpr std::uint8_t kDate = 0x72;

private:
    void place(ByteWriter& body, std::size_t row, std::size_t column, std::uint8_t format) const
    {
        if (version_ == LotusVersion::Wk1) {
            body.u8(format);
            body.u16(static_cast<std::uint16_t>(column));
            body.u16(static_cast<std::uint16_t>(row));
            return;
        }
        body.u16(static_cast<std::uint16_t>(row));
        body.u8(0);  // sheet
        body.u8(static_cast<std::uint8_t>(column));
    }

    // Release 3 stores numbers as 80-bit extended reals, little-endian.
    static std::string extended(double value)
    {
        const long double wide = value;
        char bytes[sizeof(long double)];
        std::memcpy(bytes, &wide, sizeof wide);
        return std::string(bytes, 10);
    }

    LotusVersion version_;
    ByteWriter out_;
};

std::string encodedLabel(const std::string& text, const CellPlace& place, const char* formatName)
{
    std::string bytes = toWindows1252(text, place, formatName);
    requireWithinLimit(bytes.size() <= kLongestLabel, formatName,
                       "holds at most 240 characters in a label; row " + std::to_string(place.row) + ", column \""
                           + place.column + "\" has " + std::to_string(bytes.size()));
    return bytes;
}

}  // namespace

void writeLotusSheet(const Table& table, LotusVersion version, const std::filesystem::path& target)
{
    const LotusLimits limits = limitsOf(version);
    requireWithinLimit(table.rows.size() + 1 <= limits.mostRows, limits.formatName,
                       "holds at most " + std::to_string(limits.mostRows - 1) + " rows below the header; the table has "
                           + std::to_string(table.rows.size()));
    requireWithinLimit(table.columns.size() <= kMostColumns && !table.columns.empty(), limits.formatName,
                       "holds 1 to 256 columns; the table has " + std::to_string(table.columns.size()));
    std::vector<std::string> names;
    for (const Column& column : table.columns)
        names.push_back(encodedLabel(column.name, {0, column.name}, limits.formatName));
    std::vector<std::vector<std::string>> texts(table.rows.size(), std::vector<std::string>(table.columns.size()));
    for (std::size_t r = 0; r < table.rows.size(); ++r)
        for (std::size_t c = 0; c < table.columns.size(); ++c)
            if (const auto* text = std::get_if<std::string>(&table.rows[r][c]))
                texts[r][c] = encodedLabel(*text, {r + 1, table.columns[c].name}, limits.formatName);

    LotusStream stream(version);
    stream.begin(table.rows.size() + 1, table.columns.size());
    for (std::size_t c = 0; c < names.size(); ++c)
        stream.label(0, c, names[c]);
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
        for (std::size_t c = 0; c < table.columns.size(); ++c) {
            const Cell& cell = table.rows[r][c];
            if (std::holds_alternative<std::string>(cell))
                stream.label(r + 1, c, texts[r][c]);
            else if (const auto* integer = std::get_if<std::int64_t>(&cell))
                stream.number(r + 1, c, static_cast<double>(*integer));
            else if (const auto* number = std::get_if<double>(&cell))
                stream.number(r + 1, c, *number);
            else if (const auto* flag = std::get_if<bool>(&cell))
                stream.number(r + 1, c, *flag ? 1.0 : 0.0);  // the sheet's @TRUE and @FALSE
            else if (const auto* moment = std::get_if<DateTime>(&cell))
                stream.number(r + 1, c, spreadsheetSerial(*moment), LotusStream::kDate);
        }
    }
    stream.end();
    replaceFileWith(target, stream.bytes());
}

}  // namespace kelvo::exporting
