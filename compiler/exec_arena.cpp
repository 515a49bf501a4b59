#include "compiler/exec_arena.h"

#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <bit>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <thread>
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
    // Left as mapped: each block is filled with int3 when it is first handed out, so a
    // process that places a few routines touches a few pages instead of the whole chunk.
    return chunk;
}

void unmapChunk(const Chunk& chunk)
{
    munmap(chunk.writable, chunk.bytes);
    munmap(chunk.executable, chunk.bytes);
}

// The smallest class that holds bytes (any size up to the largest class's).
int classOf(std::size_t bytes)
{
    if (bytes <= kSmallestClassBytes)
        return 0;
    return static_cast<int>(std::bit_width((bytes - 1) / kSmallestClassBytes));
}

std::size_t classBytes(int cls) { return kSmallestClassBytes << cls; }

struct Block {
    uint8_t* writable = nullptr;
    uintptr_t entry = 0;
};

// A chunk that routines share, with a mark at the start of every live block: no
// allocation per routine, and a handle is checked by its chunk, its alignment and
// its mark.
struct SharedChunk {
    Chunk memory;
    std::vector<uint8_t> starts;  // per 64-byte place: 0, or the block's class + 1

    std::size_t placeOf(uintptr_t handle) const
    {
        return (handle - reinterpret_cast<uintptr_t>(memory.executable)) / kSmallestClassBytes;
    }
};

// A routine too large for every class, in a mapping of its own.
struct LargeBlock {
    uint8_t* writable = nullptr;
    std::size_t bytes = 0;
};

// Routines are placed and freed by one thread at a time nearly always: a lock that
// costs one exchange when it is free (a system mutex costs a call and more on each
// side), and yields while another thread holds it for the few hundred instructions
// of a placement.
class SpinLock {
 public:
    void lock()
    {
        while (held_.exchange(true, std::memory_order_acquire))
            std::this_thread::yield();
    }
    void unlock() { held_.store(false, std::memory_order_release); }

 private:
    std::atomic<bool> held_{false};
};

}  // namespace

struct ExecArena::State {
    mutable SpinLock serial;
    std::vector<SharedChunk> chunks;  // the last one is being carved
    std::array<std::deque<Block>, kClassCount> freed;
    std::unordered_map<uintptr_t, LargeBlock> large;
    // The data of the routines that have any, kept alive until they are freed.
    std::unordered_map<uintptr_t, std::shared_ptr<void>> attached;
    std::size_t live = 0;
    std::size_t mappedBytes = 0;

    ~State()
    {
        for (const SharedChunk& chunk : chunks)
            unmapChunk(chunk.memory);
        for (const auto& [entry, block] : large)
            unmapChunk(Chunk{block.writable, reinterpret_cast<uint8_t*>(entry), block.bytes, 0});
    }

    SharedChunk* chunkContaining(uintptr_t address)
    {
        for (SharedChunk& chunk : chunks) {
            const auto start = reinterpret_cast<uintptr_t>(chunk.memory.executable);
            if (address >= start && address < start + chunk.memory.bytes)
                return &chunk;
        }
        return nullptr;
    }

    // The chunk and place of a live routine's entry in a shared chunk, or null.
    SharedChunk* chunkOf(uintptr_t handle, std::size_t& place)
    {
        SharedChunk* const chunk = chunkContaining(handle);
        if (chunk == nullptr || (handle - reinterpret_cast<uintptr_t>(chunk->memory.executable)) % kSmallestClassBytes != 0)
            return nullptr;
        place = chunk->placeOf(handle);
        return chunk->starts[place] != 0 ? chunk : nullptr;
    }

    Block takeBlock(int cls, SharedChunk*& owner)
    {
        std::deque<Block>& queue = freed[static_cast<std::size_t>(cls)];
        const std::size_t bytes = classBytes(cls);
        if (queue.size() > kQuarantineBlocks || queue.size() * bytes > kQuarantineBytes) {
            const Block block = queue.front();
            queue.pop_front();
            owner = chunkContaining(block.entry);
            return block;
        }
        if (chunks.empty() || chunks.back().memory.bytes - chunks.back().memory.used < bytes) {
            chunks.push_back(SharedChunk{mapChunk(kChunkBytes), std::vector<uint8_t>(kChunkBytes / kSmallestClassBytes, 0)});
            mappedBytes += kChunkBytes;
        }
        SharedChunk& chunk = chunks.back();
        Chunk& memory = chunk.memory;
        const Block block{memory.writable + memory.used, reinterpret_cast<uintptr_t>(memory.executable + memory.used)};
        memory.used += bytes;
        // A recycled block was filled when it was freed; a fresh one is filled now.
        std::memset(block.writable, kTrap, bytes);
        owner = &chunk;
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
    const std::lock_guard lock(state_->serial);
    Block block;
    if (size > kLargestClassBytes) {
        const Chunk chunk = mapChunk(roundUp(size, pageBytes()));
        std::memset(chunk.writable + code.size(), kTrap, chunk.bytes - code.size());
        state_->mappedBytes += chunk.bytes;
        block = Block{chunk.writable, reinterpret_cast<uintptr_t>(chunk.executable)};
        state_->large.emplace(block.entry, LargeBlock{chunk.writable, chunk.bytes});
    } else {
        const int cls = classOf(size);
        SharedChunk* chunk = nullptr;
        block = state_->takeBlock(cls, chunk);
        chunk->starts[chunk->placeOf(block.entry)] = static_cast<uint8_t>(cls + 1);
    }
    if (!code.empty())
        std::memcpy(block.writable, code.data(), code.size());
    if (attached != nullptr)
        state_->attached.emplace(block.entry, std::move(attached));
    ++state_->live;
    return block.entry;
}

bool ExecArena::release(uintptr_t handle)
{
    if (handle == 0)
        return false;
    const std::lock_guard lock(state_->serial);
    std::size_t place = 0;
    SharedChunk* const chunk = state_->chunkOf(handle, place);
    const auto large = chunk == nullptr ? state_->large.find(handle) : state_->large.end();
    if (chunk == nullptr && large == state_->large.end())
        return false;
    --state_->live;
    if (!state_->attached.empty())
        state_->attached.erase(handle);
    if (chunk == nullptr) {
        const LargeBlock block = large->second;
        state_->large.erase(large);
        unmapChunk(Chunk{block.writable, reinterpret_cast<uint8_t*>(handle), block.bytes, 0});
        state_->mappedBytes -= block.bytes;
        return true;
    }
    const int cls = chunk->starts[place] - 1;
    chunk->starts[place] = 0;
    uint8_t* const writable = chunk->memory.writable + (handle - reinterpret_cast<uintptr_t>(chunk->memory.executable));
    // A stale call into a freed block stops at int3 instead of running old code.
    std::memset(writable, kTrap, classBytes(cls));
    state_->freed[static_cast<std::size_t>(cls)].push_back(Block{writable, handle});
    return true;
}

bool ExecArena::owns(uintptr_t handle) const
{
    const std::lock_guard lock(state_->serial);
    std::size_t place = 0;
    return state_->chunkOf(handle, place) != nullptr || state_->large.contains(handle);
}

std::size_t ExecArena::blockSize(uintptr_t handle) const
{
    const std::lock_guard lock(state_->serial);
    std::size_t place = 0;
    if (const SharedChunk* chunk = state_->chunkOf(handle, place))
        return classBytes(chunk->starts[place] - 1);
    const auto found = state_->large.find(handle);
    return found == state_->large.end() ? 0 : found->second.bytes;
}

std::size_t ExecArena::liveRoutines() const
{
    const std::lock_guard lock(state_->serial);
    return state_->live;
}

std::size_t ExecArena::mappedBytes() const
{
    const std::lock_guard lock(state_->serial);
    return state_->mappedBytes;
}

}  // namespace exco
