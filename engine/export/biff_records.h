#pragma once
// Excel's binary records (BIFF) as the Excel 3.0/4.0, the Excel 5.0 and the Excel
// 97-2003 writers share them: the framing, the value cells, and the globals of a
// workbook, which Excel 5.0 (BIFF5) and Excel 97-2003 (BIFF8) lay out alike.

#include "engine/export/export_support.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kelvo::exporting::biff {

// Record numbers used by more than one version.
constexpr std::uint16_t kEof = 0x000A;
constexpr std::uint16_t kCodePage = 0x0042;
constexpr std::uint16_t kDateMode = 0x0022;
constexpr std::uint16_t kBoundSheet = 0x0085;
constexpr std::uint16_t kDimensions = 0x0200;
constexpr std::uint16_t kNumber = 0x0203;
constexpr std::uint16_t kLabel = 0x0204;
constexpr std::uint16_t kBoolErr = 0x0205;
constexpr std::uint16_t kWindow2 = 0x023E;

// Kinds of a BOF record: what the records up to the matching EOF make.
constexpr std::uint16_t kGlobalsKind = 0x0005;
constexpr std::uint16_t kWorksheetKind = 0x0010;

// The versions that store a workbook of sheets.
enum class WorkbookVersion { Biff5, Biff8 };

class RecordStream {
public:
    void record(std::uint16_t number, const ByteWriter& body) { out_.record(number, body); }
    // A record whose body is one 16-bit value (a code page, a date mode).
    void record(std::uint16_t number, std::uint16_t value)
    {
        ByteWriter body;
        body.u16(value);
        record(number, body);
    }
    // A cell record with row, column and format first, the commonest kind.
    ByteWriter& cell(std::uint16_t row, std::uint16_t column, std::uint16_t format)
    {
        scratch_.bytes().clear();
        scratch_.u16(row);
        scratch_.u16(column);
        scratch_.u16(format);
        return scratch_;
    }
    void endCell(std::uint16_t number) { record(number, scratch_); }
    // Writes at `at` where the next record will start, as a sheet's entry in the globals
    // points at the sheet's BOF.
    void pointHere(std::size_t at) { out_.patchU32(at, static_cast<std::uint32_t>(out_.size())); }
    std::size_t size() const { return out_.size(); }
    std::string& bytes() { return out_.bytes(); }

private:
    ByteWriter out_;
    ByteWriter scratch_;
};

// The cell formats (XF numbers) of numbers and texts, of dates, and of dates with a time.
struct CellFormats {
    std::uint16_t general;
    std::uint16_t date;
    std::uint16_t dateTime;
};

// The cell formats of a workbook begun with `globalsHead`: its 15 style XFs come first.
constexpr CellFormats kWorkbookFormats{15, 16, 17};

// A number, Boolean or date cell; a text or Null is the caller's to write (or leave out).
void valueCell(RecordStream& stream, std::uint16_t row, std::uint16_t column, const Cell& value,
               const CellFormats& formats);

void bof(RecordStream& stream, WorkbookVersion version, std::uint16_t kind);

// The globals of a workbook before its sheet list, from the BOF to the Normal style:
// the same bytes in every workbook of that version.
std::string globalsHead(WorkbookVersion version);

// A sheet's entry in the globals, its name in Windows-1252 (Excel 5.0) or UTF-16
// (Excel 97-2003); where the offset of the sheet's BOF goes, for `pointHere`.
std::size_t boundSheet(RecordStream& stream, std::string_view windows1252Name);
std::size_t boundSheet(RecordStream& stream, std::u16string_view name);

// Fails the export unless a sheet name of `length` characters is one Excel takes.
void requireSheetName(const std::string& name, std::size_t length, std::string_view formatName);

}  // namespace kelvo::exporting::biff
