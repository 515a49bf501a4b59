#include "engine/export/export_support.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvo::exporting {
namespace {

// Windows-1252 bytes 0x80 to 0x9F; 0 where the code page has no character.
constexpr std::array<char32_t, 32> kHighControls{
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

int windows1252Byte(char32_t code)
{
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF))
        return static_cast<int>(code);
    for (std::size_t i = 0; i < kHighControls.size(); ++i)
        if (kHighControls[i] == code && code != 0)
            return static_cast<int>(0x80 + i);
    return -1;
}

std::string systemMessage(int error) { return std::strerror(error); }

// The write bits count even for a user (root) whom the system would let write.
bool folderIsWritable(const std::filesystem::path& folder)
{
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0)
        return false;
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 && ::access(folder.c_str(), W_OK) == 0;
}

}  // namespace

std::string numberText(double value)
{
    if (std::isnan(value) || std::isinf(value))
        return std::isnan(value) ? "NaN" : (value > 0 ? "INF" : "-INF");
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

std::string dateText(const DateTime& value)
{
    char text[48];
    const int length = value.hasTime() ? std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", value.year,
                                                       value.month, value.day, value.hour, value.minute, value.second)
                                       : std::snprintf(text, sizeof text, "%04d-%02d-%02d", value.year, value.month, value.day);
    return std::string(text, static_cast<std::size_t>(std::max(length, 0)));
}

std::string cellText(const Cell& cell)
{
    struct Visitor {
        std::string operator()(std::monostate) const { return {}; }
        std::string operator()(const std::string& text) const { return text; }
        std::string operator()(std::int64_t value) const { return std::to_string(value); }
        std::string operator()(double value) const { return numberText(value); }
        std::string operator()(bool value) const { return value ? "true" : "false"; }
        std::string operator()(const DateTime& value) const { return dateText(value); }
    };
    return std::visit(Visitor{}, cell);
}

std::u32string decodeUtf8(std::string_view text)
{
    std::u32string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int length = 1;
        char32_t code = lead;
        if (lead >= 0xF0 && lead < 0xF8) {
            length = 4;
            code = lead & 0x07;
        } else if (lead >= 0xE0) {
            length = lead < 0xF0 ? 3 : 1;
            code = lead & 0x0F;
        } else if (lead >= 0xC0) {
            length = 2;
            code = lead & 0x1F;
        }
        bool whole = lead < 0x80 || length > 1;
        if (whole && i + length > text.size())
            whole = false;
        for (int k = 1; whole && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            whole = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        if (!whole) {
            // Not UTF-8: kept as a replacement character rather than losing the rest.
            result.push_back(0xFFFD);
            ++i;
            continue;
        }
        result.push_back(code);
        i += length;
    }
    return result;
}

std::u16string utf8ToUtf16(std::string_view text)
{
    std::u16string result;
    result.reserve(text.size());
    for (char32_t code : decodeUtf8(text)) {
        if (code >= 0x10000) {
            code -= 0x10000;
            result.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            result.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            result.push_back(static_cast<char16_t>(code));
        }
    }
    return result;
}

std::string utf16ToUtf8(std::u16string_view text)
{
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t code = text[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (code < 0x80) {
            result += static_cast<char>(code);
        } else if (code < 0x800) {
            result += static_cast<char>(0xC0 | (code >> 6));
            result += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            result += static_cast<char>(0xE0 | (code >> 12));
            result += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            result += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            result += static_cast<char>(0xF0 | (code >> 18));
            result += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            result += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            result += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return result;
}

std::string toWindows1252(std::string_view text, const CellPlace& place, std::string_view formatName)
{
    std::string result;
    result.reserve(text.size());
    bool plain = true;
    for (char c : text)
        plain = plain && static_cast<unsigned char>(c) < 0x80;
    if (plain)
        return std::string(text);
    for (char32_t code : decodeUtf8(text)) {
        const int byte = windows1252Byte(code);
        if (byte < 0) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(code));
            throw ExportError(std::string(formatName) + " keeps texts in the Windows-1252 code page, which has no "
                              + "character " + hex + ": row " + std::to_string(place.row) + ", column \""
                              + place.column + "\". Export to text or Excel 2007/2010 (.xlsx), which hold it.");
        }
        result.push_back(static_cast<char>(byte));
    }
    return result;
}

std::size_t characterCount(std::string_view utf8)
{
    std::size_t count = 0;
    for (char c : utf8)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++count;
    return count;
}

std::string escapeMarkup(std::string_view text, bool inAttribute)
{
    std::string result;
    result.reserve(text.size() + 8);
    for (char c : text) {
        switch (c) {
        case '&': result += "&amp;"; break;
        case '<': result += "&lt;"; break;
        case '>': result += "&gt;"; break;
        case '"': result += "&quot;"; break;
        case '\'': result += "&apos;"; break;
        case '\r': result += "&#13;"; break;
        case '\n': result += inAttribute ? "&#10;" : "\n"; break;
        case '\t': result += inAttribute ? "&#9;" : "\t"; break;
        default:
            // XML 1.0 allows no other control characters, not even as references.
            if (static_cast<unsigned char>(c) < 0x20)
                result += "&#xFFFD;";
            else
                result += c;
        }
    }
    return result;
}

double spreadsheetSerial(const DateTime& value)
{
    // Days from civil, counted from 1970-01-01 (H. Hinnant's algorithm).
    const int y = value.year - (value.month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int mp = (value.month + 9) % 12;
    const int doy = (153 * mp + 2) / 5 + value.day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long days1970 = static_cast<long>(era) * 146097 + doe - 719468;
    constexpr long kDays1899To1970 = 25569;
    const double fraction = (value.hour * 3600.0 + value.minute * 60.0 + value.second) / 86400.0;
    return static_cast<double>(days1970 + kDays1899To1970) + fraction;
}

void requireWithinLimit(bool holds, std::string_view formatName, const std::string& limit)
{
    if (!holds)
        throw ExportError(std::string(formatName) + " " + limit
                          + ". Nothing was written; export to text or Excel 2007/2010 (.xlsx) to keep the data whole.");
}

void ByteWriter::u16(std::uint16_t value)
{
    u8(static_cast<std::uint8_t>(value));
    u8(static_cast<std::uint8_t>(value >> 8));
}

void ByteWriter::u32(std::uint32_t value)
{
    u16(static_cast<std::uint16_t>(value));
    u16(static_cast<std::uint16_t>(value >> 16));
}

void ByteWriter::f64(double value)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    u32(static_cast<std::uint32_t>(bits));
    u32(static_cast<std::uint32_t>(bits >> 32));
}

void ByteWriter::patchU16(std::size_t at, std::uint16_t value)
{
    bytes_[at] = static_cast<char>(value);
    bytes_[at + 1] = static_cast<char>(value >> 8);
}

void ByteWriter::patchU32(std::size_t at, std::uint32_t value)
{
    patchU16(at, static_cast<std::uint16_t>(value));
    patchU16(at + 2, static_cast<std::uint16_t>(value >> 16));
}

ReplacementFile::ReplacementFile(std::filesystem::path target) : target_(std::move(target))
{
    const std::filesystem::path folder = target_.has_parent_path() ? target_.parent_path() : ".";
    if (!folderIsWritable(folder))
        throw ExportError("Cannot write the file \"" + target_.string() + "\": its folder is read-only or missing.");
    const std::string extension = target_.extension().string();
    std::string name = ".";
    name.append(target_.stem().string()).append(".kelvo-XXXXXX").append(extension);
    std::string pattern = (folder / name).string();
    const int descriptor = ::mkstemps(pattern.data(), static_cast<int>(extension.size()));
    if (descriptor < 0)
        throw ExportError("Cannot write the file \"" + target_.string() + "\": " + systemMessage(errno) + ".");
    ::close(descriptor);
    temporary_ = pattern;
}

ReplacementFile::~ReplacementFile()
{
    if (committed_)
        return;
    std::error_code ignored;
    std::filesystem::remove(temporary_, ignored);
}

void ReplacementFile::writeAll(std::string_view bytes)
{
    const int descriptor = ::open(temporary_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (descriptor < 0)
        throw ExportError("Cannot write the file \"" + target_.string() + "\": " + systemMessage(errno) + ".");
    std::size_t written = 0;
    int error = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(descriptor, bytes.data() + written, bytes.size() - written);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            break;
        }
        written += static_cast<std::size_t>(count);
    }
    if (::close(descriptor) != 0 && error == 0)
        error = errno;
    if (error != 0)
        throw ExportError("Cannot write the file \"" + target_.string() + "\": " + systemMessage(error) + ".");
}

void ReplacementFile::commit()
{
    // The temporary file is made with mode 0600; the export gets the usual mode.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    std::error_code error;
    std::filesystem::permissions(temporary_,
                                 static_cast<std::filesystem::perms>(0666 & ~mask),
                                 std::filesystem::perm_options::replace, error);
    std::filesystem::rename(temporary_, target_, error);
    if (error)
        throw ExportError("Cannot write the file \"" + target_.string() + "\": " + error.message() + ".");
    committed_ = true;
}

void replaceFileWith(const std::filesystem::path& target, std::string_view bytes)
{
    ReplacementFile file(target);
    file.writeAll(bytes);
    file.commit();
}

}  // namespace kelvo::exporting
