#include "engine/export/xlsx_writer.h"

#include "engine/export/export_support.h"

#include <dlfcn.h>
#include <minizip/zip.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <memory>
#include <string>

namespace kelvo::exporting {
namespace {

constexpr std::size_t kMostRows = 1048576;
constexpr std::size_t kMostColumns = 16384;
constexpr std::size_t kLongestText = 32767;
constexpr const char* kFormatName = "Excel 2007/2010 (.xlsx)";

struct WorkbookCloser {
    void operator()(lxw_workbook* workbook) const
    {
        if (workbook)
            workbook_close(workbook);
    }
};

void checkLimits(const SheetOfTable& sheet)
{
    const Table& table = sheet.table;
    requireWithinLimit(table.rows.size() + 1 <= kMostRows, kFormatName,
                       "holds at most " + std::to_string(kMostRows - 1) + " rows below the header in a sheet; the sheet \""
                           + sheet.name + "\" has " + std::to_string(table.rows.size()));
    requireWithinLimit(table.columns.size() <= kMostColumns, kFormatName,
                       "holds at most " + std::to_string(kMostColumns) + " columns in a sheet; the sheet \"" + sheet.name
                           + "\" has " + std::to_string(table.columns.size()));
    for (std::size_t r = 0; r < table.rows.size(); ++r)
        for (std::size_t c = 0; c < table.columns.size(); ++c)
            if (const auto* text = std::get_if<std::string>(&table.rows[r][c]);
                text && text->size() > kLongestText)  // never more characters than bytes
                requireWithinLimit(characterCount(*text) <= kLongestText, kFormatName,
                                   "holds at most 32767 characters in a cell; row " + std::to_string(r + 1) + ", column \""
                                       + table.columns[c].name + "\" has " + std::to_string(characterCount(*text)));
}

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Readers take "_x" with four hex digits and "_" in a cell's text for the character
// those digits name, so a text that holds one literally would come back changed. Its
// underscore goes out as the escape of an underscore, which readers turn back into "_".
std::string protectEscapes(const std::string& text)
{
    std::string protectedText;
    std::size_t copied = 0;
    for (std::size_t at = text.find("_x"); at != std::string::npos; at = text.find("_x", at + 1)) {
        if (at + 7 > text.size() || text[at + 6] != '_')
            continue;
        if (!std::all_of(text.begin() + static_cast<std::ptrdiff_t>(at + 2),
                         text.begin() + static_cast<std::ptrdiff_t>(at + 6), isHexDigit))
            continue;
        protectedText.append(text, copied, at - copied).append("_x005F_");
        copied = at + 1;
    }
    if (copied == 0)
        return text;
    return protectedText.append(text, copied, std::string::npos);
}

void writeText(lxw_worksheet* sheet, lxw_row_t row, lxw_col_t column, const std::string& text)
{
    if (text.find("_x") == std::string::npos)
        worksheet_write_string(sheet, row, column, text.c_str(), nullptr);
    else
        worksheet_write_string(sheet, row, column, protectEscapes(text).c_str(), nullptr);
}

void writeCell(lxw_worksheet* sheet, lxw_row_t row, lxw_col_t column, const Cell& cell, lxw_format* dateFormat,
               lxw_format* dateTimeFormat)
{
    if (const auto* text = std::get_if<std::string>(&cell)) {
        writeText(sheet, row, column, *text);
    } else if (const auto* integer = std::get_if<std::int64_t>(&cell)) {
        worksheet_write_number(sheet, row, column, static_cast<double>(*integer), nullptr);
    } else if (const auto* number = std::get_if<double>(&cell)) {
        worksheet_write_number(sheet, row, column, *number, nullptr);
    } else if (const auto* flag = std::get_if<bool>(&cell)) {
        worksheet_write_boolean(sheet, row, column, *flag ? 1 : 0, nullptr);
    } else if (const auto* moment = std::get_if<DateTime>(&cell)) {
        lxw_datetime value{moment->year, static_cast<std::uint8_t>(moment->month), static_cast<std::uint8_t>(moment->day),
                           static_cast<std::uint8_t>(moment->hour), static_cast<std::uint8_t>(moment->minute),
                           static_cast<double>(moment->second)};
        worksheet_write_datetime(sheet, row, column, &value, moment->hasTime() ? dateTimeFormat : dateFormat);
    }
}

}  // namespace

void writeXlsxWorkbook(const std::vector<SheetOfTable>& sheets, const std::filesystem::path& target)
{
    for (const SheetOfTable& sheet : sheets)
        checkLimits(sheet);
    ReplacementFile file(target);
    {
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        const std::string folder = file.temporaryPath().parent_path().string();
        options.tmpdir = const_cast<char*>(folder.c_str());
        std::unique_ptr<lxw_workbook, WorkbookCloser> workbook(
            workbook_new_opt(file.temporaryPath().c_str(), &options));
        if (!workbook)
            throw ExportError("Cannot write the file \"" + target.string() + "\".");
        lxw_format* dateFormat = workbook_add_format(workbook.get());
        format_set_num_format(dateFormat, "yyyy-mm-dd");
        lxw_format* dateTimeFormat = workbook_add_format(workbook.get());
        format_set_num_format(dateTimeFormat, "yyyy-mm-dd hh:mm:ss");
        for (const SheetOfTable& sheet : sheets) {
            lxw_worksheet* worksheet = workbook_add_worksheet(workbook.get(), sheet.name.c_str());
            if (!worksheet)
                throw ExportError("Excel 2007/2010 (.xlsx) cannot name a sheet \"" + sheet.name + "\".");
            for (std::size_t c = 0; c < sheet.table.columns.size(); ++c)
                writeText(worksheet, 0, static_cast<lxw_col_t>(c), sheet.table.columns[c].name);
            for (std::size_t r = 0; r < sheet.table.rows.size(); ++r)
                for (std::size_t c = 0; c < sheet.table.columns.size(); ++c)
                    writeCell(worksheet, static_cast<lxw_row_t>(r + 1), static_cast<lxw_col_t>(c), sheet.table.rows[r][c],
                              dateFormat, dateTimeFormat);
        }
        const lxw_error result = workbook_close(workbook.release());
        if (result != LXW_NO_ERROR)
            throw ExportError("Cannot write the file \"" + target.string() + "\": " + lxw_strerror(result) + ".");
    }
    file.commit();
}

}  // namespace kelvo::exporting

// libxlsxwriter packs a workbook's parts through minizip at zlib's default level, and
// has no setting for it. The sheet of a large export is a great deal of XML (some 200 MB
// for 10,000 runs of 400 columns), and deflating it at that level took longer than
// everything else in the export together; the fastest level takes well under half of
// that time for a file about 30 % larger. Kelvo links libxlsxwriter and minizip
// as shared libraries, so this definition is the one that libxlsxwriter's calls reach:
// it hands each on to minizip's own with the fastest level. Stored parts stay stored.
extern "C" int zipOpenNewFileInZip4_64(zipFile file, const char* filename, const zip_fileinfo* zipfi,
                                       const void* extrafield_local, uInt size_extrafield_local,
                                       const void* extrafield_global, uInt size_extrafield_global,
                                       const char* comment, int method, int level, int raw, int windowBits,
                                       int memLevel, int strategy, const char* password, uLong crcForCrypting,
                                       uLong versionMadeBy, uLong flagBase, int zip64)
{
    using OpenEntry = decltype(&zipOpenNewFileInZip4_64);
    static const auto minizipsOwn = reinterpret_cast<OpenEntry>(dlsym(RTLD_NEXT, "zipOpenNewFileInZip4_64"));
    if (!minizipsOwn)
        return ZIP_INTERNALERROR;
    const int packedLevel = method == Z_DEFLATED && level != Z_NO_COMPRESSION ? Z_BEST_SPEED : level;
    return minizipsOwn(file, filename, zipfi, extrafield_local, size_extrafield_local, extrafield_global,
                       size_extrafield_global, comment, method, packedLevel, raw, windowBits, memLevel, strategy,
                       password, crcForCrypting, versionMadeBy, flagBase, zip64);
}
