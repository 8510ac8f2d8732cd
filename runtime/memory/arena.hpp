// The arena: one address range reserved at start-up that holds every node
// frame, series frame, big frame and fixed series. Whatever the runtime
// stores about them (node contents, buffer headers, frame links, the
// memory record) is a 32-bit offset from the arena's base, never a host
// pointer. Offset 0 is never handed out: it means "none".
//
// Reserving costs no memory; pages are committed when a frame is made and
// decommitted when it is freed, and freed ranges are reused lowest offset
// first. The range starts on a huge page, so a huge page starts at every
// offset that is a multiple of HUGE_PAGE_SIZE. Only this file and the
// accessors below know the base address.
#pragma once
#include <cstdint>

namespace ixo::memory {

constexpr uint32_t PAGE_SIZE = 4096;
// The huge page of the x86-64 and AArch64 page tables with 4 KB pages.
constexpr uint32_t HUGE_PAGE_SIZE = 0x200000;
// The largest arena: every offset, and one past the last byte of the last
// frame, fit in 32 bits.
constexpr uint64_t ARENA_LIMIT = 0xFFFFF000;

extern uint8_t* arena_base;

template <class T = uint8_t>
inline T* address(uint32_t offset) {
  return reinterpret_cast<T*>(arena_base + offset);
}

inline uint32_t offset_of(const void* p) {
  return static_cast<uint32_t>(static_cast<const uint8_t*>(p) - arena_base);
}

// Reserves the arena: `size` is cut down to whole pages and to ARENA_LIMIT.
// When the system refuses that much address space, smaller ranges are
// tried down to `floor`; below it the failure throws THROW_VMEM_ALLOC.
void reserve_arena(uint64_t size, uint64_t floor = ARENA_LIMIT);
// The bytes reserved, 0 when none are.
uint64_t arena_size();
// Gives the whole range back, committed pages and all; nothing when none
// is reserved.
void release_arena();

// Commits `size` bytes, a multiple of the page size, at the lowest offset
// where they fit with their address a multiple of `align` (a power of two,
// at least a page), and answers that offset; the bytes read as zero. What
// the alignment skips stays free. Throws THROW_VMEM_ALLOC when no free
// range is large enough or the system refuses the memory.
uint32_t commit_range(uint64_t size, uint64_t align = PAGE_SIZE);
// Decommits a range that commit_range answered and makes it free again.
// Failure throws THROW_VMEM_FREE.
void decommit_range(uint32_t offset, uint32_t size);

}  // namespace ixo::memory
