// Executable memory for compiled routines.
//
// Every run of a test compiles its formulas afresh, so placing a routine must cost
// well under a microsecond and must not touch page protections each time. The arena
// therefore maps each chunk of code memory twice from one memory file (memfd): a
// read-write view that only the arena writes through, and a read-execute view from
// which routines run. No page is ever writable and executable at once, and placing a
// routine is a copy into the write view plus some bookkeeping, with no system call
// unless a fresh chunk is needed.
//
// Routines are packed many per page in size classes (powers of two from 64 bytes),
// each chunk marking where its live routines start (no allocation per routine);
// a freed block is recycled only after a number of later frees of its class, so that
// a stale handle freed again is unlikely to name a newer routine. Routines larger than
// the biggest class get a chunk of their own, unmapped when they are freed.
//
// x86 keeps instruction fetch coherent with stores to the same physical memory, and
// a routine is only entered by a later call, so nothing has to be flushed after a
// copy. All operations are serialised by one lock (a spin lock: placing and freeing
// a routine takes a few hundred instructions).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace exco {

class ExecArena {
 public:
  // The process-wide arena.
  static ExecArena& instance();

  ExecArena();
  ~ExecArena();
  ExecArena(const ExecArena&) = delete;
  ExecArena& operator=(const ExecArena&) = delete;

  // Copies code into executable memory and returns its entry address there (16-byte
  // aligned), which is also the routine's handle. Throws std::bad_alloc when no
  // memory can be mapped. Unused bytes of the block are filled with int3. attached
  // (the routine's data) is kept alive until the routine is freed.
  uintptr_t place(std::span<const uint8_t> code, std::shared_ptr<void> attached = {});

  // Frees the routine whose entry address is handle. Returns false, freeing nothing,
  // for 0, for an address that is no live routine's entry, and for a routine freed
  // already.
  bool release(uintptr_t handle);

  // Whether handle is the entry of a live routine.
  bool owns(uintptr_t handle) const;
  // Size of the block reserved for a live routine, 0 for anything else.
  std::size_t blockSize(uintptr_t handle) const;

  std::size_t liveRoutines() const;
  // Bytes of code memory currently mapped (each byte mapped in both views).
  std::size_t mappedBytes() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace exco
