#include "engine/export/export_support.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
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

std::filesystem::path folderOf(const std::filesystem::path& target)
{
    return target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
}

// The target itself, once its folder is found writable.
const std::filesystem::path& writableTarget(const std::filesystem::path& target)
{
    if (!folderIsWritable(folderOf(target)))
        throw ExportError("Cannot write the file \"" + target.string() + "\": its folder is read-only or missing.");
    return target;
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

namespace {

constexpr std::string_view kTemporaryPrefix = ".kelvo-";
constexpr std::string_view kNameLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kRandomLetters = 6;
constexpr std::size_t kLongestFileName = 255;  // NAME_MAX of the usual file systems

// The two letters that follow the random ones in a name this program made.
std::string checkLetters(std::string_view random)
{
    std::uint32_t hash = 2166136261u;
    for (char c : std::string_view("kelvo temporary:"))
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    for (char c : random)
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    const std::size_t letters = kNameLetters.size();
    return {kNameLetters[hash % letters], kNameLetters[(hash / letters) % letters]};
}

std::string randomLetters()
{
    std::array<unsigned char, kRandomLetters> bytes{};
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t count = ::getrandom(bytes.data() + filled, bytes.size() - filled, 0);
        if (count > 0)
            filled += static_cast<std::size_t>(count);
        else if (errno != EINTR)
            break;
    }
    if (filled < bytes.size()) {
        // No random source: the time and the process still make a name unlikely to exist.
        std::uint64_t seed = static_cast<std::uint64_t>(::time(nullptr)) * 1000003u ^ static_cast<std::uint64_t>(::getpid());
        for (unsigned char& byte : bytes) {
            seed = seed * 6364136223846793005u + 1442695040888963407u;
            byte = static_cast<unsigned char>(seed >> 56);
        }
    }
    std::string text;
    for (unsigned char byte : bytes)
        text += kNameLetters[byte % kNameLetters.size()];
    return text;
}

// Whether a file name is one that TemporaryBeside makes, with or without SQLite's
// journal beside a database written under it.
bool isTemporaryName(std::string_view name)
{
    if (name.substr(0, kTemporaryPrefix.size()) != kTemporaryPrefix)
        return false;
    name.remove_prefix(kTemporaryPrefix.size());
    if (name.size() < kRandomLetters + 2)
        return false;
    for (std::size_t i = 0; i < kRandomLetters + 2; ++i)
        if (kNameLetters.find(name[i]) == std::string_view::npos)
            return false;
    if (checkLetters(name.substr(0, kRandomLetters)) != name.substr(kRandomLetters, 2))
        return false;
    const std::string_view extension = name.substr(kRandomLetters + 2);
    return extension.empty() || (extension.front() == '.' && extension.find('.', 1) == std::string_view::npos);
}

// Called with the folder's exclusive lock held, so that no temporary there is live.
void removeLeftTemporaries(const std::filesystem::path& folder)
{
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
        const std::filesystem::path& path = entry->path();
        if (!isTemporaryName(path.filename().string()))
            continue;
        struct stat info {};
        if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid())
            ::unlink(path.c_str());
    }
}

// The folder's descriptor with a shared lock on it, or -1 where the folder cannot be
// locked (then nothing is removed either).
int lockFolder(const std::filesystem::path& folder)
{
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return -1;
    if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0)
        removeLeftTemporaries(folder);
    while (::flock(descriptor, LOCK_SH) != 0) {
        if (errno != EINTR) {
            ::close(descriptor);
            return -1;
        }
    }
    return descriptor;
}

}  // namespace

TemporaryBeside::TemporaryBeside(const std::filesystem::path& target, Reserve reserve)
{
    const std::filesystem::path folder = folderOf(target);
    folderLock_ = lockFolder(folder);
    std::string extension = target.extension().string();
    if (kTemporaryPrefix.size() + kRandomLetters + 2 + extension.size() > kLongestFileName)
        extension.clear();
    for (int attempt = 0;; ++attempt) {
        const std::string random = randomLetters();
        std::string name(kTemporaryPrefix);
        name.append(random).append(checkLetters(random)).append(extension);
        path_ = folder / name;
        if (reserve == Reserve::NameOnly) {
            struct stat info {};
            if (::lstat(path_.c_str(), &info) != 0 || attempt >= 100)
                return;
            continue;
        }
        const int descriptor = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (descriptor >= 0) {
            ::close(descriptor);
            return;
        }
        if (errno != EEXIST || attempt >= 100) {
            const int error = errno;
            if (folderLock_ >= 0)
                ::close(folderLock_);
            throw ExportError("Cannot write the file \"" + target.string() + "\": " + systemMessage(error) + ".");
        }
    }
}

TemporaryBeside::~TemporaryBeside()
{
    if (folderLock_ >= 0)
        ::close(folderLock_);
}

ReplacementFile::ReplacementFile(std::filesystem::path target)
    : target_(std::move(target)), temporary_(writableTarget(target_), TemporaryBeside::Reserve::File)
{
}

ReplacementFile::~ReplacementFile()
{
    if (committed_)
        return;
    std::error_code ignored;
    std::filesystem::remove(temporary_.path(), ignored);
}

void ReplacementFile::writeAll(std::string_view bytes)
{
    const int descriptor = ::open(temporary_.path().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
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
    std::filesystem::permissions(temporary_.path(),
                                 static_cast<std::filesystem::perms>(0666 & ~mask),
                                 std::filesystem::perm_options::replace, error);
    std::filesystem::rename(temporary_.path(), target_, error);
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
