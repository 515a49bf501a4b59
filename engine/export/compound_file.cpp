#include "engine/export/compound_file.h"

#include "engine/export/export_support.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace kelvo::exporting {
namespace {

constexpr std::size_t kSectorSize = 512;
constexpr std::size_t kEntriesPerSector = kSectorSize / 4;
constexpr std::size_t kFatSectorsInHeader = 109;
constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFatSector = 0xFFFFFFFD;
constexpr std::uint32_t kDifatSector = 0xFFFFFFFC;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
// Streams shorter than this would belong in the mini stream; the workbook is padded to
// it instead, which readers accept and which keeps one allocation scheme.
constexpr std::size_t kMiniStreamCutoff = 4096;
constexpr char kSignature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";

std::size_t sectorsFor(std::size_t bytes) { return (bytes + kSectorSize - 1) / kSectorSize; }

void directoryEntry(ByteWriter& out, std::u16string_view name, std::uint8_t type, std::uint32_t child,
                    std::uint32_t start, std::uint32_t size)
{
    const std::size_t begin = out.size();
    for (char16_t c : name)
        out.u16(c);
    out.u16(0);
    out.zeros(64 - (out.size() - begin));
    out.u16(static_cast<std::uint16_t>(name.empty() ? 0 : (name.size() + 1) * 2));
    out.u8(type);
    out.u8(1);  // black
    out.u32(kNoStream);
    out.u32(kNoStream);
    out.u32(child);
    out.zeros(16 + 4 + 16);  // class id, state bits, times
    out.u32(start);
    out.u32(size);
    out.u32(0);
}

std::uint32_t readU32(std::string_view bytes, std::size_t at)
{
    if (at + 4 > bytes.size())
        return kEndOfChain;
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

}  // namespace

std::string compoundFileWithStream(std::u16string_view streamName, std::string_view content)
{
    const std::size_t streamSize = std::max(content.size(), kMiniStreamCutoff);
    const std::size_t streamSectors = sectorsFor(streamSize);
    constexpr std::size_t directorySectors = 1;
    // The allocation table must list its own sectors and those of the extension (DIFAT)
    // that names them once there are more than the header holds.
    std::size_t fatSectors = 1;
    std::size_t difatSectors = 0;
    for (;;) {
        const std::size_t total = streamSectors + directorySectors + fatSectors + difatSectors;
        const std::size_t neededFat = (total + kEntriesPerSector - 1) / kEntriesPerSector;
        const std::size_t neededDifat =
            neededFat > kFatSectorsInHeader ? (neededFat - kFatSectorsInHeader + kEntriesPerSector - 2) / (kEntriesPerSector - 1) : 0;
        if (neededFat == fatSectors && neededDifat == difatSectors)
            break;
        fatSectors = neededFat;
        difatSectors = neededDifat;
    }
    const std::uint32_t firstFat = static_cast<std::uint32_t>(streamSectors);
    const std::uint32_t firstDifat = firstFat + static_cast<std::uint32_t>(fatSectors);
    const std::uint32_t directory = firstDifat + static_cast<std::uint32_t>(difatSectors);

    ByteWriter out;
    out.bytes().reserve((1 + streamSectors + fatSectors + difatSectors + directorySectors) * kSectorSize);
    out.raw(std::string_view(kSignature, 8));
    out.zeros(16);
    out.u16(0x003E);
    out.u16(0x0003);
    out.u16(0xFFFE);
    out.u16(9);
    out.u16(6);
    out.zeros(6);
    out.u32(0);
    out.u32(static_cast<std::uint32_t>(fatSectors));
    out.u32(directory);
    out.u32(0);
    out.u32(kMiniStreamCutoff);
    out.u32(kEndOfChain);
    out.u32(0);
    out.u32(difatSectors > 0 ? firstDifat : kEndOfChain);
    out.u32(static_cast<std::uint32_t>(difatSectors));
    for (std::size_t i = 0; i < kFatSectorsInHeader; ++i)
        out.u32(i < fatSectors ? firstFat + static_cast<std::uint32_t>(i) : kFreeSector);

    out.raw(content);
    out.zeros(streamSectors * kSectorSize - content.size());

    std::vector<std::uint32_t> fat(fatSectors * kEntriesPerSector, kFreeSector);
    for (std::size_t i = 0; i < streamSectors; ++i)
        fat[i] = i + 1 < streamSectors ? static_cast<std::uint32_t>(i + 1) : kEndOfChain;
    for (std::size_t i = 0; i < fatSectors; ++i)
        fat[firstFat + i] = kFatSector;
    for (std::size_t i = 0; i < difatSectors; ++i)
        fat[firstDifat + i] = kDifatSector;
    fat[directory] = kEndOfChain;
    for (std::uint32_t entry : fat)
        out.u32(entry);

    for (std::size_t d = 0; d < difatSectors; ++d) {
        for (std::size_t k = 0; k < kEntriesPerSector - 1; ++k) {
            const std::size_t index = kFatSectorsInHeader + d * (kEntriesPerSector - 1) + k;
            out.u32(index < fatSectors ? firstFat + static_cast<std::uint32_t>(index) : kFreeSector);
        }
        out.u32(d + 1 < difatSectors ? firstDifat + static_cast<std::uint32_t>(d + 1) : kEndOfChain);
    }

    directoryEntry(out, u"Root Entry", 5, 1, kEndOfChain, 0);
    directoryEntry(out, streamName, 2, kNoStream, 0, static_cast<std::uint32_t>(streamSize));
    directoryEntry(out, {}, 0, kNoStream, 0, 0);
    directoryEntry(out, {}, 0, kNoStream, 0, 0);
    return std::move(out.bytes());
}

std::string streamOfCompoundFile(std::string_view file, std::u16string_view streamName)
{
    if (file.size() < kSectorSize || file.substr(0, 8) != std::string_view(kSignature, 8))
        return {};
    const auto sector = [&](std::uint32_t index) -> std::string_view {
        const std::size_t at = (static_cast<std::size_t>(index) + 1) * kSectorSize;
        if (at + kSectorSize > file.size())
            return {};
        return file.substr(at, kSectorSize);
    };
    std::vector<std::uint32_t> fatSectors;
    const std::uint32_t fatCount = readU32(file, 44);
    for (std::size_t i = 0; i < kFatSectorsInHeader && fatSectors.size() < fatCount; ++i)
        fatSectors.push_back(readU32(file, 76 + 4 * i));
    for (std::uint32_t difat = readU32(file, 68); difat < kDifatSector && fatSectors.size() < fatCount;) {
        const std::string_view entries = sector(difat);
        if (entries.empty())
            return {};
        for (std::size_t k = 0; k < kEntriesPerSector - 1 && fatSectors.size() < fatCount; ++k)
            fatSectors.push_back(readU32(entries, 4 * k));
        difat = readU32(entries, kSectorSize - 4);
    }
    std::vector<std::uint32_t> fat;
    for (std::uint32_t index : fatSectors) {
        const std::string_view entries = sector(index);
        if (entries.empty())
            return {};
        for (std::size_t k = 0; k < kEntriesPerSector; ++k)
            fat.push_back(readU32(entries, 4 * k));
    }
    const auto chain = [&](std::uint32_t start, std::size_t limit) {
        std::string bytes;
        for (std::uint32_t index = start; index < kDifatSector && bytes.size() < limit;) {
            const std::string_view data = sector(index);
            if (data.empty() || index >= fat.size())
                return std::string();
            bytes.append(data);
            index = fat[index];
        }
        return bytes;
    };
    const std::string directory = chain(readU32(file, 48), file.size());
    for (std::size_t at = 0; at + 128 <= directory.size(); at += 128) {
        const std::size_t nameBytes = static_cast<std::uint8_t>(directory[at + 64]) | (static_cast<std::uint8_t>(directory[at + 65]) << 8);
        if (directory[at + 66] != 2 || nameBytes < 2 || nameBytes > 64)
            continue;
        std::u16string name;
        for (std::size_t k = 0; k + 2 < nameBytes; k += 2)
            name.push_back(static_cast<char16_t>(static_cast<std::uint8_t>(directory[at + k])
                                                 | (static_cast<std::uint8_t>(directory[at + k + 1]) << 8)));
        if (name != streamName)
            continue;
        const std::uint32_t size = readU32(directory, at + 120);
        if (size < kMiniStreamCutoff)
            return {};  // our files never use the mini stream
        std::string content = chain(readU32(directory, at + 116), size);
        if (content.size() < size)
            return {};
        content.resize(size);
        return content;
    }
    return {};
}

}  // namespace kelvo::exporting
