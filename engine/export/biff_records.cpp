#include "engine/export/biff_records.h"

#include <utility>

namespace kelvo::exporting::biff {
namespace {

constexpr std::uint16_t kBof = 0x0809;
constexpr std::uint16_t kWindow1 = 0x003D;
constexpr std::uint16_t kFont = 0x0031;
constexpr std::uint16_t kFormat = 0x041E;
constexpr std::uint16_t kXf = 0x00E0;
constexpr std::uint16_t kStyle = 0x0293;

// Excel 5.0 stores a short text as its bytes; Excel 97-2003 adds an option byte, 0 for
// one byte a character (all the globals' own texts are ASCII).
void asciiText(ByteWriter& body, WorkbookVersion version, std::string_view text)
{
    if (version == WorkbookVersion::Biff8)
        body.u8(0);
    body.raw(text);
}

void font(RecordStream& stream, WorkbookVersion version)
{
    ByteWriter body;
    for (std::uint16_t value : {200, 0, 0x7FFF, 400, 0})
        body.u16(value);
    body.zeros(4);
    constexpr std::string_view kName = "Arial";
    body.u8(static_cast<std::uint8_t>(kName.size()));
    asciiText(body, version, kName);
    stream.record(kFont, body);
}

void format(RecordStream& stream, WorkbookVersion version, std::uint16_t index, std::string_view pattern)
{
    ByteWriter body;
    body.u16(index);
    if (version == WorkbookVersion::Biff8)
        body.u16(static_cast<std::uint16_t>(pattern.size()));
    else
        body.u8(static_cast<std::uint8_t>(pattern.size()));
    asciiText(body, version, pattern);
    stream.record(kFormat, body);
}

void xf(RecordStream& stream, WorkbookVersion version, std::uint16_t format, bool style)
{
    const std::uint8_t usedAttributes = style ? (version == WorkbookVersion::Biff8 ? 0xF4 : 0xF0)
                                              : (format != 0 ? 0x04 : 0x00);
    ByteWriter body;
    body.u16(0);
    body.u16(format);
    body.u16(style ? 0xFFF5 : 0x0001);
    body.u8(0x20);
    if (version == WorkbookVersion::Biff8) {
        body.u8(0);
        body.u8(0);
        body.u8(usedAttributes);
        body.zeros(8);
        body.u16(0x20C0);
    } else {
        body.u8(usedAttributes);
        body.u16(0x20C0);
        body.zeros(6);
    }
    stream.record(kXf, body);
}

std::size_t boundSheetNamed(RecordStream& stream, const ByteWriter& name)
{
    ByteWriter body;
    body.u32(0);
    body.u8(0);  // visible
    body.u8(0);  // worksheet
    body.raw(name.bytes());
    const std::size_t offset = stream.size() + 4;
    stream.record(kBoundSheet, body);
    return offset;
}

}  // namespace

void valueCell(RecordStream& stream, std::uint16_t row, std::uint16_t column, const Cell& value,
               const CellFormats& formats)
{
    if (const auto* integer = std::get_if<std::int64_t>(&value)) {
        stream.cell(row, column, formats.general).f64(static_cast<double>(*integer));
        stream.endCell(kNumber);
    } else if (const auto* number = std::get_if<double>(&value)) {
        stream.cell(row, column, formats.general).f64(*number);
        stream.endCell(kNumber);
    } else if (const auto* flag = std::get_if<bool>(&value)) {
        ByteWriter& body = stream.cell(row, column, formats.general);
        body.u8(*flag ? 1 : 0);
        body.u8(0);
        stream.endCell(kBoolErr);
    } else if (const auto* moment = std::get_if<DateTime>(&value)) {
        stream.cell(row, column, moment->hasTime() ? formats.dateTime : formats.date).f64(spreadsheetSerial(*moment));
        stream.endCell(kNumber);
    }
}

void bof(RecordStream& stream, WorkbookVersion version, std::uint16_t kind)
{
    ByteWriter body;
    if (version == WorkbookVersion::Biff8) {
        body.u16(0x0600);
        body.u16(kind);
        body.u16(0x0DBB);
        body.u16(0x07CC);
        body.u32(0);
        body.u32(0x06);
    } else {
        body.u16(0x0500);
        body.u16(kind);
        body.u16(0x096C);
        body.u16(0x07C9);
    }
    stream.record(kBof, body);
}

std::string globalsHead(WorkbookVersion version)
{
    RecordStream stream;
    bof(stream, version, kGlobalsKind);
    stream.record(kCodePage, static_cast<std::uint16_t>(version == WorkbookVersion::Biff8 ? 1200 : 1252));
    ByteWriter window;
    for (std::uint16_t value : {0x01E0, 0x005A, 0x3FCF, 0x2A4E, 0x0038, 0, 0, 1, 0x0258})
        window.u16(value);
    stream.record(kWindow1, window);
    stream.record(kDateMode, std::uint16_t{0});
    for (int i = 0; i < 4; ++i)
        font(stream, version);
    format(stream, version, 164, "yyyy-mm-dd");
    format(stream, version, 165, "yyyy-mm-dd hh:mm:ss");
    for (int i = 0; i < 15; ++i)
        xf(stream, version, 0, true);
    xf(stream, version, 0, false);
    xf(stream, version, 164, false);
    xf(stream, version, 165, false);
    ByteWriter normalStyle;
    normalStyle.u16(0x8000);
    normalStyle.u8(0);
    normalStyle.u8(0xFF);
    stream.record(kStyle, normalStyle);
    return std::move(stream.bytes());
}

std::size_t boundSheet(RecordStream& stream, std::string_view windows1252Name)
{
    ByteWriter name;
    name.u8(static_cast<std::uint8_t>(windows1252Name.size()));
    name.raw(windows1252Name);
    return boundSheetNamed(stream, name);
}

std::size_t boundSheet(RecordStream& stream, std::u16string_view name)
{
    ByteWriter text;
    text.u8(static_cast<std::uint8_t>(name.size()));
    text.u8(1);  // two bytes a character
    for (char16_t c : name)
        text.u16(c);
    return boundSheetNamed(stream, text);
}

void requireSheetName(const std::string& name, std::size_t length, std::string_view formatName)
{
    requireWithinLimit(length >= 1 && length <= 31 && name.find_first_of(":\\/?*[]") == std::string::npos, formatName,
                       "holds sheet names of 1 to 31 characters without : \\ / ? * [ ]; the sheet \"" + name
                           + "\" does not fit");
}

}  // namespace kelvo::exporting::biff
