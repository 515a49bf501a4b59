#include "compiler/exco_h.h"
#include "compiler/exec_arena.h"
#include "tests/compiler/machine_code.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

using exco::ExecArena;
using testcode::Code;

namespace {

// A routine that returns value, padded with nops to about size bytes.
std::vector<uint8_t> routineReturning(int value, std::size_t size)
{
    Code code;
    code.add(testcode::kFldz);
    for (int i = 0; i < value; ++i)
        code.add(testcode::kFld1).add(testcode::kFaddp);
    std::vector<uint8_t> bytes = code.bytes();
    if (bytes.size() + 1 < size)
        bytes.insert(bytes.begin(), size - bytes.size() - 1, 0x90);
    bytes.push_back(testcode::kRet);
    return bytes;
}

}  // namespace

TEST(ExecArena, RoutinesRunFromReadExecuteMemoryManyPerPage)
{
    ExecArena& arena = ExecArena::instance();
    std::vector<uintptr_t> entries;
    std::set<uintptr_t> pages;
    for (int i = 0; i < 40; ++i) {
        entries.push_back(arena.place(routineReturning(i % 5, 30)));
        pages.insert(entries.back() & ~uintptr_t{4095});
    }
    EXPECT_LT(pages.size(), 4u) << "small routines share pages";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i] % 16, 0u);
        EXPECT_EQ(ExcoRunRoutine(static_cast<intptr_t>(entries[i])), static_cast<long double>(i % 5));
        EXPECT_EQ(testcode::permissionsAt(entries[i]).substr(0, 3), "r-x");
    }
    EXPECT_TRUE(testcode::writableExecutableMappings().empty())
        << testcode::writableExecutableMappings().front();
    for (const uintptr_t entry : entries)
        EXPECT_TRUE(arena.release(entry));
}

TEST(ExecArena, ReleaseFreesOnlyLiveEntries)
{
    ExecArena& arena = ExecArena::instance();
    const std::size_t liveBefore = arena.liveRoutines();
    const uintptr_t first = arena.place(routineReturning(1, 16));
    const uintptr_t second = arena.place(routineReturning(2, 16));
    EXPECT_FALSE(arena.release(0));
    EXPECT_FALSE(arena.release(second + 1)) << "an address inside a routine is no handle";
    EXPECT_FALSE(arena.release(0x1000));
    EXPECT_TRUE(arena.release(first));
    EXPECT_FALSE(arena.release(first)) << "second free of the same handle";
    EXPECT_EQ(arena.liveRoutines(), liveBefore + 1);
    EXPECT_TRUE(arena.owns(second));
    EXPECT_EQ(ExcoRunRoutine(static_cast<intptr_t>(second)), 2.0L);

    // New routines do not take the freed block at once, so a stale handle freed once
    // more still names no live routine.
    std::vector<uintptr_t> later;
    for (int i = 0; i < 20; ++i)
        later.push_back(arena.place(routineReturning(3, 16)));
    EXPECT_FALSE(arena.release(first));
    for (const uintptr_t entry : later) {
        EXPECT_EQ(ExcoRunRoutine(static_cast<intptr_t>(entry)), 3.0L);
        EXPECT_TRUE(arena.release(entry));
    }
    EXPECT_TRUE(arena.release(second));
    EXPECT_EQ(arena.liveRoutines(), liveBefore);
}

TEST(ExecArena, HundredThousandCompileFreeCyclesKeepMemoryAndMappingsFlat)
{
    ExecArena& arena = ExecArena::instance();
    std::mt19937 random(7);
    std::uniform_int_distribution<std::size_t> size(8, 3000);
    const auto cycle = [&](int count) {
        std::vector<uintptr_t> batch;
        for (int i = 0; i < count; ++i) {
            batch.push_back(arena.place(routineReturning(1, size(random))));
            if (batch.size() == 10) {
                // A run compiles a few formulas, runs one of them and frees them all.
                EXPECT_EQ(ExcoRunRoutine(static_cast<intptr_t>(batch[i % 10])), 1.0L);
                for (const uintptr_t entry : batch)
                    ASSERT_TRUE(arena.release(entry));
                batch.clear();
            }
        }
    };
    cycle(10000);
    const std::size_t mappingsBefore = testcode::mappingLines().size();
    const std::size_t bytesBefore = arena.mappedBytes();
    cycle(100000);
    EXPECT_EQ(arena.mappedBytes(), bytesBefore);
    EXPECT_LE(testcode::mappingLines().size(), mappingsBefore + 2);
    EXPECT_TRUE(testcode::writableExecutableMappings().empty());
}

TEST(ExecArena, RoutineLargerThanEveryClassGetsItsOwnMapping)
{
    ExecArena& arena = ExecArena::instance();
    const std::size_t bytesBefore = arena.mappedBytes();
    const uintptr_t big = arena.place(routineReturning(4, 600 * 1024));
    EXPECT_GE(arena.mappedBytes(), bytesBefore + 600 * 1024);
    EXPECT_EQ(ExcoRunRoutine(static_cast<intptr_t>(big)), 4.0L);
    EXPECT_EQ(testcode::permissionsAt(big).substr(0, 3), "r-x");
    EXPECT_TRUE(arena.release(big));
    EXPECT_FALSE(arena.release(big));
    EXPECT_EQ(arena.mappedBytes(), bytesBefore);
    EXPECT_EQ(testcode::permissionsAt(big), "") << "unmapped with its routine";
}

TEST(ExecArena, DataAttachedToARoutineLivesUntilTheRoutineIsFreed)
{
    ExecArena& arena = ExecArena::instance();
    const auto data = std::make_shared<int>(5);
    const uintptr_t withData = arena.place(routineReturning(1, 16), data);
    const uintptr_t without = arena.place(routineReturning(2, 16));
    EXPECT_EQ(data.use_count(), 2);
    EXPECT_FALSE(arena.release(withData + 16));
    EXPECT_TRUE(arena.release(without));
    EXPECT_EQ(data.use_count(), 2) << "freeing another routine keeps it";
    EXPECT_TRUE(arena.release(withData));
    EXPECT_EQ(data.use_count(), 1);
    EXPECT_FALSE(arena.release(withData));
}

// A jump into a block past its routine must stop at int3, whether the block is fresh
// from its chunk, recycled after a free, or a mapping of its own.
TEST(ExecArena, BytesOfABlockPastItsRoutineAreTraps)
{
    ExecArena& arena = ExecArena::instance();
    const auto expectTrapsAfter = [&](uintptr_t entry, std::size_t codeBytes, const char* which) {
        const std::size_t block = arena.blockSize(entry);
        ASSERT_GT(block, codeBytes) << which;
        const auto* bytes = reinterpret_cast<const uint8_t*>(entry);
        std::size_t traps = 0;
        for (std::size_t k = codeBytes; k < block; ++k)
            traps += bytes[k] == 0xCC ? 1 : 0;
        EXPECT_EQ(traps, block - codeBytes) << which;
    };
    struct Case {
        std::size_t codeBytes;
        const char* which;
    };
    // Sizes of several classes, so that some blocks come fresh from a chunk.
    for (const Case& c : {Case{20, "64-byte class"}, Case{700, "1 KiB class"}, Case{5000, "8 KiB class"},
                          Case{300 * 1024 + 100, "own mapping"}}) {
        const std::vector<uint8_t> code = routineReturning(3, c.codeBytes);
        const uintptr_t entry = arena.place(code);
        expectTrapsAfter(entry, code.size(), c.which);
        EXPECT_EQ(ExcoRunRoutine(static_cast<intptr_t>(entry)), 3.0L) << c.which;
        EXPECT_TRUE(arena.release(entry));
    }
    // Enough frees of one class that its blocks come back, first filled with a longer
    // routine and then with a short one.
    std::vector<uintptr_t> entries;
    for (int k = 0; k < 80; ++k)
        entries.push_back(arena.place(routineReturning(1, 60)));
    for (const uintptr_t entry : entries)
        EXPECT_TRUE(arena.release(entry));
    for (int k = 0; k < 80; ++k) {
        const std::vector<uint8_t> code = routineReturning(2, 8);
        const uintptr_t entry = arena.place(code);
        expectTrapsAfter(entry, code.size(), "recycled block");
        EXPECT_TRUE(arena.release(entry));
    }
}
