#pragma once
// What several writers share: value texts, 8-bit and UTF-16 encodings, date serials,
// little-endian records and the replacement of the target file.

#include "engine/export/export_table.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo::exporting {

// Numbers always with ".", the shortest text that reads back to the same double.
std::string numberText(double value);
// Dates as "yyyy-MM-dd hh:mm:ss", or "yyyy-MM-dd" when the time is midnight.
std::string dateText(const DateTime& value);
// A cell as a text file shows it; Null is empty, Booleans "true"/"false".
std::string cellText(const Cell& cell);

// Where a value sits, for messages: row counted from 1 among the data rows.
struct CellPlace {
    std::size_t row = 0;
    std::string column;
};

std::u32string decodeUtf8(std::string_view text);
std::u16string utf8ToUtf16(std::string_view text);
std::string utf16ToUtf8(std::u16string_view text);
// Windows-1252 bytes of a UTF-8 text; a character the code page lacks fails the export
// naming the format, the row and the column.
std::string toWindows1252(std::string_view text, const CellPlace& place, std::string_view formatName);
// Characters, not bytes.
std::size_t characterCount(std::string_view utf8);

// A text escaped for HTML and XML content; in an attribute, line breaks and tabs are
// escaped too, since a parser would otherwise turn them into blanks.
std::string escapeMarkup(std::string_view text, bool inAttribute);

// Days since 1899-12-30 with the time as a fraction, as spreadsheets count dates.
double spreadsheetSerial(const DateTime& value);

// Fails the export when `holds` is false, naming the limit and the format.
void requireWithinLimit(bool holds, std::string_view formatName, const std::string& limit);

// Appends little-endian values, the byte order of every binary format here.
class ByteWriter {
public:
    void u8(std::uint8_t value) { bytes_.push_back(static_cast<char>(value)); }
    void u16(std::uint16_t value);
    void u32(std::uint32_t value);
    void f64(double value);
    void raw(std::string_view data) { bytes_.append(data); }
    void zeros(std::size_t count) { bytes_.append(count, '\0'); }
    // A record as Lotus and Excel files frame theirs: its number, its body's length, the
    // body.
    void record(std::uint16_t number, const ByteWriter& body)
    {
        u16(number);
        u16(static_cast<std::uint16_t>(body.size()));
        raw(body.bytes());
    }
    std::size_t size() const { return bytes_.size(); }
    std::string& bytes() { return bytes_; }
    const std::string& bytes() const { return bytes_; }
    void patchU16(std::size_t at, std::uint16_t value);
    void patchU32(std::size_t at, std::uint32_t value);

private:
    std::string bytes_;
};

// A hidden name beside a target for the file being written in its place: ".kelvo-",
// six random letters or digits and two more that check them, then the target's
// extension (for the libraries that add or check one). It is short whatever the
// target's name, so that every name the file system takes can be written.
//
// While one lives it holds a shared lock on its folder. Making one where no other lives
// (the folder's exclusive lock is free) first removes the files of this pattern that a
// killed export or creation left there: none of them can belong to a live one. The
// check letters keep a user's file that merely looks alike, and the lock keeps a live
// one of another process, from being taken for such a leftover.
class TemporaryBeside {
public:
    enum class Reserve {
        File,      // the file is created empty, so that no one else takes the name
        NameOnly,  // for a writer that must create the file itself
    };
    TemporaryBeside(const std::filesystem::path& target, Reserve reserve);
    ~TemporaryBeside();
    TemporaryBeside(const TemporaryBeside&) = delete;
    TemporaryBeside& operator=(const TemporaryBeside&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    int folderLock_ = -1;
    std::filesystem::path path_;
};

// A file written under a temporary name beside the target and renamed over it only when
// complete: a failure leaves an earlier file whole, and nothing at the temporary name.
class ReplacementFile {
public:
    explicit ReplacementFile(std::filesystem::path target);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // The temporary file, created empty.
    const std::filesystem::path& temporaryPath() const { return temporary_.path(); }
    void writeAll(std::string_view bytes);
    void commit();

private:
    std::filesystem::path target_;
    TemporaryBeside temporary_;
    bool committed_ = false;
};

// Writes `bytes` as the whole new content of `target`.
void replaceFileWith(const std::filesystem::path& target, std::string_view bytes);

}  // namespace kelvo::exporting
