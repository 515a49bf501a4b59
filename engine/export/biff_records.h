#pragma once
// Framing of Excel's binary records (BIFF), shared by the Excel 3.0/4.0 and the
// Excel 97-2003 writers.

#include "engine/export/export_support.h"

#include <cstdint>
#include <string>

namespace kelvo::exporting::biff {

// Record numbers used by more than one version.
constexpr std::uint16_t kEof = 0x000A;
constexpr std::uint16_t kCodePage = 0x0042;
constexpr std::uint16_t kDateMode = 0x0022;
constexpr std::uint16_t kDimensions = 0x0200;
constexpr std::uint16_t kNumber = 0x0203;
constexpr std::uint16_t kLabel = 0x0204;
constexpr std::uint16_t kBoolErr = 0x0205;
constexpr std::uint16_t kWindow2 = 0x023E;

class RecordStream {
public:
    void record(std::uint16_t number, const ByteWriter& body)
    {
        out_.u16(number);
        out_.u16(static_cast<std::uint16_t>(body.size()));
        out_.raw(body.bytes());
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
    std::size_t size() const { return out_.size(); }
    std::string& bytes() { return out_.bytes(); }

private:
    ByteWriter out_;
    ByteWriter scratch_;
};

}  // namespace kelvo::exporting::biff
