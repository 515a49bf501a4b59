#include "engine/export/excel_legacy_writer.h"

#include "engine/export/biff_records.h"
#include "engine/export/compound_file.h"

namespace kelvo::exporting {
namespace {

constexpr std::size_t kMostRows = 16384;
constexpr std::size_t kMostColumns = 256;
constexpr std::size_t kLongestLabel = 255;

// The cell formats: in a worksheet file of 3.0 and 4.0, formats go by position (0
// General, 1 date, 2 date and time) and XF 0 is the style, 1 to 3 the cells'; an Excel
// 5.0 workbook has the 15 style XFs first, then the General cell and formats 164, 165.
constexpr biff::CellFormats kWorksheetFileFormats{1, 2, 3};

struct LegacyWriter {
    LegacyExcelVersion version;
    const char* formatName;
    biff::RecordStream stream;
    biff::CellFormats formats = kWorksheetFileFormats;

    bool isExcel4() const { return version == LegacyExcelVersion::Excel4; }

    void header()
    {
        ByteWriter bof;
        bof.u16(0);
        bof.u16(biff::kWorksheetKind);
        bof.u16(0);
        stream.record(isExcel4() ? 0x0409 : 0x0209, bof);
        stream.record(biff::kCodePage, std::uint16_t{1252});
        stream.record(biff::kDateMode, std::uint16_t{0});
        ByteWriter font;
        font.u16(200);
        font.u16(0);
        font.u16(0x7FFF);
        font.u8(5);
        font.raw("Arial");
        stream.record(0x0231, font);
        for (const char* pattern : {"General", "yyyy-mm-dd", "yyyy-mm-dd hh:mm:ss"}) {
            ByteWriter format;
            if (isExcel4())
                format.u16(0);
            format.u8(static_cast<std::uint8_t>(std::char_traits<char>::length(pattern)));
            format.raw(pattern);
            stream.record(isExcel4() ? 0x041E : 0x001E, format);
        }
        xf(0, true);
        xf(0, false);
        xf(1, false);
        xf(2, false);
    }

    void xf(std::uint8_t format, bool style)
    {
        ByteWriter body;
        body.u8(0);
        body.u8(format);
        if (isExcel4()) {
            body.u16(style ? 0xFFF5 : 0x0001);
            body.u8(0);
            body.u8(style ? 0 : 0x04);
        } else {
            body.u8(style ? 0x05 : 0x01);
            body.u8(style ? 0 : 0x04);
            body.u16(style ? 0xFFF0 : 0x0000);
        }
        body.u16(0xCE00);
        body.u32(0);
        stream.record(isExcel4() ? 0x0443 : 0x0243, body);
    }

    void dimensions(std::size_t rows, std::size_t columns)
    {
        ByteWriter body;
        body.u16(0);
        body.u16(static_cast<std::uint16_t>(rows));
        body.u16(0);
        body.u16(static_cast<std::uint16_t>(columns));
        body.u16(0);
        stream.record(biff::kDimensions, body);
    }

    void label(std::uint16_t row, std::uint16_t column, const std::string& bytes)
    {
        ByteWriter& body = stream.cell(row, column, formats.general);
        body.u16(static_cast<std::uint16_t>(bytes.size()));
        body.raw(bytes);
        stream.endCell(biff::kLabel);
    }

    void cell(std::uint16_t row, std::uint16_t column, const Cell& value, const std::string& encoded)
    {
        if (std::holds_alternative<std::string>(value))
            label(row, column, encoded);
        else
            biff::valueCell(stream, row, column, value, formats);
    }

    // The globals of an Excel 5.0 workbook with its one sheet; where the offset of the
    // sheet's BOF goes once it is known.
    std::size_t workbookGlobals(const std::string& windows1252SheetName)
    {
        stream.bytes() = biff::globalsHead(biff::WorkbookVersion::Biff5);
        const std::size_t offset = biff::boundSheet(stream, windows1252SheetName);
        stream.record(biff::kEof, ByteWriter{});
        return offset;
    }

    void footer()
    {
        ByteWriter window;
        window.u16(0x06B6);
        window.u16(0);
        window.u16(0);
        window.u32(0);
        stream.record(biff::kWindow2, window);
        stream.record(biff::kEof, ByteWriter{});
    }
};

std::string encodedLabel(const std::string& text, const CellPlace& place, const char* formatName)
{
    std::string bytes = toWindows1252(text, place, formatName);
    requireWithinLimit(bytes.size() <= kLongestLabel, formatName,
                       "holds at most 255 characters in a text cell; row " + std::to_string(place.row) + ", column \""
                           + place.column + "\" has " + std::to_string(bytes.size()));
    return bytes;
}


const char* formatNameOf(LegacyExcelVersion version)
{
    switch (version) {
    case LegacyExcelVersion::Excel3:
        return "Excel 3.0";
    case LegacyExcelVersion::Excel4:
        return "Excel 4.0";
    case LegacyExcelVersion::Excel5:
        break;
    }
    return "Excel 5.0";
}

}  // namespace

void writeLegacyExcelSheet(const Table& table, LegacyExcelVersion version, const std::filesystem::path& target,
                           const std::string& sheetName)
{
    LegacyWriter writer{version, formatNameOf(version), {}};
    const bool workbook = version == LegacyExcelVersion::Excel5;
    std::string encodedSheetName;
    if (workbook) {
        encodedSheetName = toWindows1252(sheetName, {0, sheetName}, writer.formatName);
        biff::requireSheetName(sheetName, encodedSheetName.size(), writer.formatName);
    }
    requireWithinLimit(table.rows.size() + 1 <= kMostRows, writer.formatName,
                       "holds at most 16383 rows below the header; the table has " + std::to_string(table.rows.size()));
    requireWithinLimit(table.columns.size() <= kMostColumns, writer.formatName,
                       "holds at most 256 columns; the table has " + std::to_string(table.columns.size()));
    // Every text is encoded and measured before the file is begun.
    std::vector<std::string> names;
    for (const Column& column : table.columns)
        names.push_back(encodedLabel(column.name, {0, column.name}, writer.formatName));
    std::vector<std::vector<std::string>> texts(table.rows.size(), std::vector<std::string>(table.columns.size()));
    for (std::size_t r = 0; r < table.rows.size(); ++r)
        for (std::size_t c = 0; c < table.columns.size(); ++c)
            if (const auto* text = std::get_if<std::string>(&table.rows[r][c]))
                texts[r][c] = encodedLabel(*text, {r + 1, table.columns[c].name}, writer.formatName);

    if (workbook) {
        writer.stream.pointHere(writer.workbookGlobals(encodedSheetName));
        writer.formats = biff::kWorkbookFormats;
        biff::bof(writer.stream, biff::WorkbookVersion::Biff5, biff::kWorksheetKind);
    } else {
        writer.header();
    }
    writer.dimensions(table.rows.size() + 1, table.columns.size());
    for (std::size_t c = 0; c < names.size(); ++c)
        writer.label(0, static_cast<std::uint16_t>(c), names[c]);
    for (std::size_t r = 0; r < table.rows.size(); ++r)
        for (std::size_t c = 0; c < table.columns.size(); ++c)
            writer.cell(static_cast<std::uint16_t>(r + 1), static_cast<std::uint16_t>(c), table.rows[r][c], texts[r][c]);
    writer.footer();
    if (workbook)
        replaceFileWith(target, compoundFileWithStream(u"Book", writer.stream.bytes()));
    else
        replaceFileWith(target, writer.stream.bytes());
}

}  // namespace kelvo::exporting
