#include "engine/export/excel_workbook_writer.h"

#include "engine/export/biff_records.h"
#include "engine/export/compound_file.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <unordered_map>

namespace kelvo::exporting {
namespace {

constexpr const char* kFormatName = "Excel 97-2003";
constexpr std::size_t kMostRows = 65536;
constexpr std::size_t kMostColumns = 256;
constexpr std::size_t kLongestText = 32767;
constexpr std::size_t kMostRecordBody = 8224;
constexpr std::uint16_t kSharedStrings = 0x00FC;
constexpr std::uint16_t kContinue = 0x003C;
constexpr std::uint16_t kLabelSst = 0x00FD;
constexpr std::u16string_view kStreamName = u"Workbook";

constexpr auto kVersion = biff::WorkbookVersion::Biff8;

struct SheetStream {
    std::string name;   // UTF-8
    std::string bytes;  // BOF to EOF
};

// The shared strings of a workbook: every text cell refers to its entry by number.
struct SharedStrings {
    std::vector<std::u16string> texts;
    std::unordered_map<std::u16string, std::uint32_t> indexOf;
    std::uint32_t references = 0;

    std::uint32_t add(std::u16string text)
    {
        ++references;
        const auto found = indexOf.find(text);
        if (found != indexOf.end())
            return found->second;
        const auto index = static_cast<std::uint32_t>(texts.size());
        indexOf.emplace(text, index);
        texts.push_back(std::move(text));
        return index;
    }
};

// Writes the string table, continuing it in CONTINUE records; a text split between
// records repeats its option byte at the start of the next, as the format asks.
void writeSharedStrings(biff::RecordStream& stream, const SharedStrings& strings)
{
    ByteWriter body;
    body.u32(strings.references);
    body.u32(static_cast<std::uint32_t>(strings.texts.size()));
    std::uint16_t number = kSharedStrings;
    const auto flush = [&] {
        stream.record(number, body);
        body.bytes().clear();
        number = kContinue;
    };
    for (const std::u16string& text : strings.texts) {
        if (body.size() + 3 + 2 > kMostRecordBody)
            flush();
        body.u16(static_cast<std::uint16_t>(text.size()));
        body.u8(1);
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (body.size() + 2 > kMostRecordBody) {
                flush();
                body.u8(1);
            }
            body.u16(text[i]);
        }
    }
    stream.record(number, body);
}

std::string workbookStream(const SharedStrings& strings, const std::vector<SheetStream>& sheets)
{
    biff::RecordStream stream;
    // The same bytes in every workbook this writer makes, which is how it knows its own
    // files again.
    stream.bytes() = biff::globalsHead(kVersion);
    std::vector<std::size_t> offsets;
    for (const SheetStream& sheet : sheets)
        offsets.push_back(biff::boundSheet(stream, utf8ToUtf16(sheet.name)));
    writeSharedStrings(stream, strings);
    stream.record(biff::kEof, ByteWriter{});
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        stream.pointHere(offsets[i]);
        stream.bytes() += sheets[i].bytes;
    }
    return std::move(stream.bytes());
}

void checkSheet(const Sheet& sheet)
{
    biff::requireSheetName(sheet.name, characterCount(sheet.name), kFormatName);
    const Table& table = sheet.table;
    requireWithinLimit(table.rows.size() + 1 <= kMostRows, kFormatName,
                       "holds at most 65535 rows below the header in a sheet; the sheet \"" + sheet.name + "\" has "
                           + std::to_string(table.rows.size()));
    requireWithinLimit(table.columns.size() <= kMostColumns, kFormatName,
                       "holds at most 256 columns in a sheet; the sheet \"" + sheet.name + "\" has "
                           + std::to_string(table.columns.size()));
    for (std::size_t r = 0; r < table.rows.size(); ++r)
        for (std::size_t c = 0; c < table.columns.size(); ++c)
            if (const auto* text = std::get_if<std::string>(&table.rows[r][c]))
                requireWithinLimit(utf8ToUtf16(*text).size() <= kLongestText, kFormatName,
                                   "holds at most 32767 characters in a cell; row " + std::to_string(r + 1) + ", column \""
                                       + table.columns[c].name + "\" has " + std::to_string(characterCount(*text)));
}

SheetStream sheetStream(const Sheet& sheet, SharedStrings& strings, bool first)
{
    const Table& table = sheet.table;
    biff::RecordStream stream;
    biff::bof(stream, kVersion, biff::kWorksheetKind);
    ByteWriter dimensions;
    dimensions.u32(0);
    dimensions.u32(static_cast<std::uint32_t>(table.rows.size() + 1));
    dimensions.u16(0);
    dimensions.u16(static_cast<std::uint16_t>(table.columns.size()));
    dimensions.u16(0);
    stream.record(biff::kDimensions, dimensions);
    const biff::CellFormats& formats = biff::kWorkbookFormats;
    const auto text = [&](std::uint16_t row, std::uint16_t column, const std::string& value) {
        stream.cell(row, column, formats.general).u32(strings.add(utf8ToUtf16(value)));
        stream.endCell(kLabelSst);
    };
    for (std::size_t c = 0; c < table.columns.size(); ++c)
        text(0, static_cast<std::uint16_t>(c), table.columns[c].name);
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
        const auto row = static_cast<std::uint16_t>(r + 1);
        for (std::size_t c = 0; c < table.columns.size(); ++c) {
            const auto column = static_cast<std::uint16_t>(c);
            const Cell& value = table.rows[r][c];
            if (const auto* words = std::get_if<std::string>(&value))
                text(row, column, *words);
            else
                biff::valueCell(stream, row, column, value, formats);
        }
    }
    ByteWriter window;
    for (std::uint16_t value : {static_cast<std::uint16_t>(first ? 0x06B6 : 0x00B6), std::uint16_t{0}, std::uint16_t{0},
                                std::uint16_t{0x40}, std::uint16_t{0}, std::uint16_t{0}, std::uint16_t{0}})
        window.u16(value);
    window.u32(0);
    stream.record(biff::kWindow2, window);
    stream.record(biff::kEof, ByteWriter{});
    return {sheet.name, std::move(stream.bytes())};
}

std::uint16_t readU16(std::string_view bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[at]) | (static_cast<std::uint8_t>(bytes[at + 1]) << 8));
}

std::uint32_t readU32(std::string_view bytes, std::size_t at)
{
    return readU16(bytes, at) | (static_cast<std::uint32_t>(readU16(bytes, at + 2)) << 16);
}

struct Record {
    std::uint16_t number = 0;
    std::string_view body;
};

// The records of `stream` from `at` up to and including the first EOF.
std::vector<Record> recordsFrom(std::string_view stream, std::size_t at, std::size_t* end)
{
    std::vector<Record> records;
    while (at + 4 <= stream.size()) {
        const std::uint16_t number = readU16(stream, at);
        const std::uint16_t length = readU16(stream, at + 2);
        if (at + 4 + length > stream.size())
            break;
        records.push_back({number, stream.substr(at + 4, length)});
        at += 4 + length;
        if (number == biff::kEof) {
            *end = at;
            return records;
        }
    }
    return {};
}

// The string table of one of our workbooks: texts stored as UTF-16, continued across
// records with the option byte repeated.
bool readSharedStrings(const std::vector<Record>& records, std::size_t first, SharedStrings& strings)
{
    std::string_view body = records[first].body;
    if (body.size() < 8)
        return false;
    const std::uint32_t references = readU32(body, 0);
    const std::uint32_t unique = readU32(body, 4);
    std::size_t next = first + 1;
    std::size_t at = 8;
    const auto advance = [&]() {
        if (next >= records.size() || records[next].number != kContinue)
            return false;
        body = records[next++].body;
        at = 0;
        return true;
    };
    for (std::uint32_t i = 0; i < unique; ++i) {
        if (at + 3 > body.size() && !advance())
            return false;
        const std::uint16_t length = readU16(body, at);
        at += 3;
        std::u16string text;
        while (text.size() < length) {
            if (at + 2 > body.size()) {
                if (!advance() || body.empty())
                    return false;
                ++at;  // the repeated option byte
                continue;
            }
            text.push_back(static_cast<char16_t>(readU16(body, at)));
            at += 2;
        }
        strings.add(std::move(text));
    }
    strings.references = references;
    return true;
}

[[noreturn]] void notOurs(const std::filesystem::path& target)
{
    throw ExportError("The workbook \"" + target.string()
                      + "\" was not written by this program's Excel 97-2003 export; a sheet can only be added to such "
                        "a workbook.");
}

void readWorkbook(const std::filesystem::path& target, SharedStrings& strings, std::vector<SheetStream>& sheets)
{
    std::ifstream file(target, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const std::string stream = streamOfCompoundFile(bytes, kStreamName);
    const std::string head = biff::globalsHead(kVersion);
    if (stream.size() < head.size() || stream.compare(0, head.size(), head) != 0)
        notOurs(target);
    std::size_t end = 0;
    const std::vector<Record> globals = recordsFrom(stream, head.size(), &end);
    bool stringsRead = false;
    for (std::size_t i = 0; i < globals.size(); ++i) {
        const Record& record = globals[i];
        if (record.number == biff::kBoundSheet) {
            if (record.body.size() < 8)
                notOurs(target);
            const std::size_t length = static_cast<std::uint8_t>(record.body[6]);
            if (record.body[7] != 1 || record.body.size() < 8 + 2 * length)
                notOurs(target);
            std::u16string name;
            for (std::size_t k = 0; k < length; ++k)
                name.push_back(static_cast<char16_t>(readU16(record.body, 8 + 2 * k)));
            std::size_t sheetEnd = 0;
            const std::size_t start = readU32(record.body, 0);
            if (recordsFrom(stream, start, &sheetEnd).empty())
                notOurs(target);
            sheets.push_back({utf16ToUtf8(name), stream.substr(start, sheetEnd - start)});
        } else if (record.number == kSharedStrings) {
            stringsRead = readSharedStrings(globals, i, strings);
        }
    }
    if (!stringsRead || sheets.empty())
        notOurs(target);
}

std::string caseFolded(const std::string& text)
{
    std::string folded = text;
    std::transform(folded.begin(), folded.end(), folded.begin(),
                   [](unsigned char c) { return static_cast<char>(c < 0x80 ? std::tolower(c) : c); });
    return folded;
}

}  // namespace

void writeExcelWorkbook(const std::vector<Sheet>& sheets, const std::filesystem::path& target)
{
    for (const Sheet& sheet : sheets)
        checkSheet(sheet);
    SharedStrings strings;
    std::vector<SheetStream> streams;
    for (const Sheet& sheet : sheets)
        streams.push_back(sheetStream(sheet, strings, streams.empty()));
    replaceFileWith(target, compoundFileWithStream(kStreamName, workbookStream(strings, streams)));
}

void addExcelWorkbookSheet(const Sheet& sheet, const std::filesystem::path& target)
{
    std::error_code missing;
    if (!std::filesystem::exists(target, missing)) {
        writeExcelWorkbook({sheet}, target);
        return;
    }
    checkSheet(sheet);
    SharedStrings strings;
    std::vector<SheetStream> streams;
    readWorkbook(target, strings, streams);
    for (const SheetStream& existing : streams)
        if (caseFolded(existing.name) == caseFolded(sheet.name))
            throw ExportError("Table '" + sheet.name + "' already exists.");
    streams.push_back(sheetStream(sheet, strings, false));
    replaceFileWith(target, compoundFileWithStream(kStreamName, workbookStream(strings, streams)));
}

}  // namespace kelvo::exporting
