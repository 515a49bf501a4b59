#include "compiler/exec_arena.h"

#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

namespace exco {

namespace {

constexpr std::size_t kChunkBytes = 1u << 20;
constexpr std::size_t kSmallestClassBytes = 64;
constexpr int kClassCount = 13;  // 64 bytes .. 256 KiB
constexpr std::size_t kLargestClassBytes = kSmallestClassBytes << (kClassCount - 1);
// A freed block waits until this many blocks (or bytes) of its class were freed after it.
constexpr std::size_t kQuarantineBlocks = 32;
constexpr std::size_t kQuarantineBytes = 256u << 10;
constexpr uint8_t kTrap = 0xCC;  // int3
constexpr int kLargeClass = -1;

std::size_t pageBytes()
{
    static const std::size_t bytes = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return bytes;
}

std::size_t roundUp(std::size_t n, std::size_t unit) { return (n + unit - 1) / unit * unit; }

// One memory file mapped twice. The file descriptor is closed at once: the two
// mappings keep the memory alive.
struct Chunk {
    uint8_t* writable = nullptr;
    uint8_t* executable = nullptr;
    std::size_t bytes = 0;
    std::size_t used = 0;
};

Chunk mapChunk(std::size_t bytes)
{
    const int fd = memfd_create("kelvo-exco-code", MFD_CLOEXEC);
    if (fd < 0)
        throw std::bad_alloc();
    Chunk chunk;
    chunk.bytes = bytes;
    void* writable = MAP_FAILED;
    void* executable = MAP_FAILED;
    if (ftruncate(fd, static_cast<off_t>(bytes)) == 0) {
        writable = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (writable != MAP_FAILED)
            executable = mmap(nullptr, bytes, PROT_READ | PROT_EXEC, MAP_SHARED, fd, 0);
    }
    close(fd);
    if (executable == MAP_FAILED) {
        if (writable != MAP_FAILED)
            munmap(writable, bytes);
        throw std::bad_alloc();
    }
    chunk.writable = static_cast<uint8_t*>(writable);
    chunk.executable = static_cast<uint8_t*>(executable);
    std::memset(chunk.writable, kTrap, bytes);
    return chunk;
}

void unmapChunk(const Chunk& chunk)
{
    munmap(chunk.writable, chunk.bytes);
    munmap(chunk.executable, chunk.bytes);
}

int classOf(std::size_t bytes)
{
    int cls = 0;
    std::size_t classBytes = kSmallestClassBytes;
    while (classBytes < bytes) {
        classBytes <<= 1;
        ++cls;
    }
    return cls;
}

std::size_t classBytes(int cls) { return kSmallestClassBytes << cls; }

struct Block {
    uint8_t* writable = nullptr;
    uintptr_t entry = 0;
};

struct LiveBlock {
    uint8_t* writable = nullptr;
    std::size_t bytes = 0;
    int cls = kLargeClass;
    std::shared_ptr<void> attached;
};

}  // namespace

struct ExecArena::State {
    mutable std::mutex mutex;
    std::vector<Chunk> chunks;  // shared chunks, the last one is being carved
    std::array<std::deque<Block>, kClassCount> freed;
    std::unordered_map<uintptr_t, LiveBlock> live;
    std::size_t mappedBytes = 0;

    ~State()
    {
        for (const Chunk& chunk : chunks)
            unmapChunk(chunk);
        for (const auto& [entry, block] : live)
            if (block.cls == kLargeClass)
                unmapChunk(Chunk{block.writable, reinterpret_cast<uint8_t*>(entry), block.bytes, 0});
    }

    Block takeBlock(int cls)
    {
        std::deque<Block>& queue = freed[static_cast<std::size_t>(cls)];
        const std::size_t bytes = classBytes(cls);
        if (queue.size() > kQuarantineBlocks || queue.size() * bytes > kQuarantineBytes) {
            const Block block = queue.front();
            queue.pop_front();
            return block;
        }
        if (chunks.empty() || chunks.back().bytes - chunks.back().used < bytes) {
            chunks.push_back(mapChunk(kChunkBytes));
            mappedBytes += kChunkBytes;
        }
        Chunk& chunk = chunks.back();
        const Block block{chunk.writable + chunk.used,
                          reinterpret_cast<uintptr_t>(chunk.executable + chunk.used)};
        chunk.used += bytes;
        return block;
    }
};

ExecArena& ExecArena::instance()
{
    // Never destroyed: routines may still be run by destructors of other statics.
    static ExecArena* const arena = new ExecArena;
    return *arena;
}

ExecArena::ExecArena() : state_(std::make_unique<State>()) {}

ExecArena::~ExecArena() = default;

uintptr_t ExecArena::place(std::span<const uint8_t> code, std::shared_ptr<void> attached)
{
    const std::size_t size = code.empty() ? 1 : code.size();
    const std::lock_guard lock(state_->mutex);
    LiveBlock live;
    Block block;
    if (size > kLargestClassBytes) {
        const Chunk chunk = mapChunk(roundUp(size, pageBytes()));
        state_->mappedBytes += chunk.bytes;
        block = Block{chunk.writable, reinterpret_cast<uintptr_t>(chunk.executable)};
        live = LiveBlock{chunk.writable, chunk.bytes, kLargeClass, std::move(attached)};
    } else {
        const int cls = classOf(size);
        block = state_->takeBlock(cls);
        live = LiveBlock{block.writable, classBytes(cls), cls, std::move(attached)};
    }
    if (!code.empty())
        std::memcpy(block.writable, code.data(), code.size());
    state_->live.emplace(block.entry, std::move(live));
    return block.entry;
}

bool ExecArena::release(uintptr_t handle)
{
    if (handle == 0)
        return false;
    const std::lock_guard lock(state_->mutex);
    const auto found = state_->live.find(handle);
    if (found == state_->live.end())
        return false;
    const LiveBlock block = std::move(found->second);
    state_->live.erase(found);
    if (block.cls == kLargeClass) {
        unmapChunk(Chunk{block.writable, reinterpret_cast<uint8_t*>(handle), block.bytes, 0});
        state_->mappedBytes -= block.bytes;
        return true;
    }
    // A stale call into a freed block stops at int3 instead of running old code.
    std::memset(block.writable, kTrap, block.bytes);
    state_->freed[static_cast<std::size_t>(block.cls)].push_back(Block{block.writable, handle});
    return true;
}

bool ExecArena::owns(uintptr_t handle) const
{
    const std::lock_guard lock(state_->mutex);
    return state_->live.contains(handle);
}

std::size_t ExecArena::blockSize(uintptr_t handle) const
{
    const std::lock_guard lock(state_->mutex);
    const auto found = state_->live.find(handle);
    return found == state_->live.end() ? 0 : found->second.bytes;
}

std::size_t ExecArena::liveRoutines() const
{
    const std::lock_guard lock(state_->mutex);
    return state_->live.size();
}

std::size_t ExecArena::mappedBytes() const
{
    const std::lock_guard lock(state_->mutex);
    return state_->mappedBytes;
}

}  // namespace exco
