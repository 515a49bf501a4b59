// Small helpers for tests that run hand-assembled x86-64 / x87 code.
#pragma once

#include "compiler/exec_arena.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

namespace testcode {

// x87 and x86-64 encodings the tests use.
inline constexpr uint8_t kRet = 0xC3;
inline const std::vector<uint8_t> kFld1{0xD9, 0xE8};
inline const std::vector<uint8_t> kFldz{0xD9, 0xEE};
inline const std::vector<uint8_t> kFaddp{0xDE, 0xC1};
inline const std::vector<uint8_t> kFmulp{0xDE, 0xC9};
inline const std::vector<uint8_t> kFdivp{0xDE, 0xF9};
inline const std::vector<uint8_t> kFchs{0xD9, 0xE0};
inline const std::vector<uint8_t> kFsqrt{0xD9, 0xFA};

// Builds a routine from byte pieces.
class Code {
 public:
    Code& add(const std::vector<uint8_t>& bytes)
    {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    Code& add(std::initializer_list<uint8_t> bytes) { return add(std::vector<uint8_t>(bytes)); }
    Code& imm32(uint32_t value) { return raw(&value, sizeof value); }
    Code& imm64(uint64_t value) { return raw(&value, sizeof value); }
    // movabs r11, address
    Code& r11(const void* address)
    {
        add({0x49, 0xBB});
        return imm64(reinterpret_cast<uint64_t>(address));
    }
    // movabs rax, address
    Code& rax(const void* address)
    {
        add({0x48, 0xB8});
        return imm64(reinterpret_cast<uint64_t>(address));
    }
    // fld tbyte [r11]
    Code& fldExtendedAt(const long double* cell) { return r11(cell).add({0x41, 0xDB, 0x2B}); }
    Code& ret() { return add({kRet}); }
    Code& raw(const void* data, std::size_t size)
    {
        const auto* p = static_cast<const uint8_t*>(data);
        bytes_.insert(bytes_.end(), p, p + size);
        return *this;
    }
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    uintptr_t place() const { return exco::ExecArena::instance().place(bytes_); }

 private:
    std::vector<uint8_t> bytes_;
};

inline uint16_t hostControlWord()
{
    uint16_t word = 0;
    asm volatile("fnstcw %0" : "=m"(word));
    return word;
}

inline void setHostControlWord(uint16_t word) { asm volatile("fldcw %0" : : "m"(word)); }

inline uint32_t hostMxcsr()
{
    uint32_t word = 0;
    asm volatile("stmxcsr %0" : "=m"(word));
    return word;
}

inline std::vector<std::string> mappingLines()
{
    std::ifstream maps("/proc/self/maps");
    std::vector<std::string> lines;
    for (std::string line; std::getline(maps, line);)
        lines.push_back(line);
    return lines;
}

// The permission field ("r-xp") of the mapping that holds address, or "".
inline std::string permissionsAt(uintptr_t address)
{
    for (const std::string& line : mappingLines()) {
        std::istringstream in(line);
        std::string range, perms;
        in >> range >> perms;
        const auto dash = range.find('-');
        const uintptr_t from = std::stoull(range.substr(0, dash), nullptr, 16);
        const uintptr_t to = std::stoull(range.substr(dash + 1), nullptr, 16);
        if (address >= from && address < to)
            return perms;
    }
    return "";
}

inline std::vector<std::string> writableExecutableMappings()
{
    std::vector<std::string> found;
    for (const std::string& line : mappingLines()) {
        std::istringstream in(line);
        std::string range, perms;
        in >> range >> perms;
        if (perms.size() >= 3 && perms[1] == 'w' && perms[2] == 'x')
            found.push_back(line);
    }
    return found;
}

}  // namespace testcode
