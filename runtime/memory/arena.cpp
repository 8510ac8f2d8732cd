// The arena's reserved range and its free ranges. The free ranges are kept
// sorted by offset and merged with their neighbours, in a list on the
// tracked heap; a commit takes the first that is large enough.
#include "runtime/memory/arena.hpp"

#include <algorithm>
#include <cstring>

#include "platform/posix/bindings.hpp"
#include "startup/system/catch.hpp"
#include "startup/system/heap.hpp"

namespace ixo::memory {

uint8_t* arena_base = nullptr;

namespace {

struct free_range {
  uint32_t offset;
  uint32_t size;
};

struct range_list {
  free_range* items;
  int32_t count;
  int32_t capacity;
};

range_list free_ranges{};
uint64_t reserved_size = 0;

// Room for one more range; a failure to grow the list leaves it as it was.
void make_room() {
  if (free_ranges.count < free_ranges.capacity) return;
  int32_t capacity = free_ranges.capacity * 2;
  free_ranges.items = static_cast<free_range*>(
      heap::resize_tracked(free_ranges.items, capacity * static_cast<int32_t>(sizeof(free_range))));
  free_ranges.capacity = capacity;
}

void insert_range(int32_t at, free_range range) {
  make_room();
  free_range* at_item = free_ranges.items + at;
  std::memmove(at_item + 1, at_item, (free_ranges.count - at) * sizeof(free_range));
  *at_item = range;
  ++free_ranges.count;
}

void remove_range(int32_t at) {
  free_range* at_item = free_ranges.items + at;
  std::memmove(at_item, at_item + 1, (free_ranges.count - at - 1) * sizeof(free_range));
  --free_ranges.count;
}

// `size` bytes of address space starting on a huge page, so that offsets
// and addresses agree on where huge pages start: a huge page more is
// reserved and the ends beyond the aligned range are given back.
uint8_t* reserve_aligned(uint64_t size) {
  auto* wide = static_cast<uint8_t*>(platform::reserve_virtual(size + HUGE_PAGE_SIZE));
  uint64_t skip = (HUGE_PAGE_SIZE - reinterpret_cast<uintptr_t>(wide) % HUGE_PAGE_SIZE) % HUGE_PAGE_SIZE;
  if (skip) platform::free_virtual(wide, skip);
  platform::free_virtual(wide + skip + size, HUGE_PAGE_SIZE - skip);
  return wide + skip;
}

}  // namespace

uint64_t arena_size() { return reserved_size; }

void reserve_arena(uint64_t size, uint64_t floor) {
  size = std::min(size, ARENA_LIMIT) & ~static_cast<uint64_t>(PAGE_SIZE - 1);
  floor = std::min(floor, size);
  // A limit on the address space (ulimit -v) refuses the full range: each
  // try asks for three quarters of the last. The first range that fits
  // gives back its last quarter, so that the C++ heap keeps room to grow.
  auto three_quarters = [](uint64_t n) { return (n / 4 * 3) & ~static_cast<uint64_t>(PAGE_SIZE - 1); };
  bool limited = false;
  while (catch_site(FILTER_MEMORY, [&] { arena_base = reserve_aligned(size); })) {
    system::clear_thrown();
    limited = true;
    if (three_quarters(size) < floor) system::throw_code(THROW_VMEM_ALLOC);
    size = three_quarters(size);
  }
  if (limited && three_quarters(size) >= floor) {
    platform::free_virtual(arena_base + three_quarters(size), size - three_quarters(size));
    size = three_quarters(size);
  }
  reserved_size = size;
  constexpr int32_t initial_capacity = 16;
  free_ranges = {static_cast<free_range*>(heap::alloc_tracked(initial_capacity * sizeof(free_range))),
                 0, initial_capacity};
  // The first page stays reserved so that offset 0 is never a frame.
  if (size > PAGE_SIZE) insert_range(0, {PAGE_SIZE, static_cast<uint32_t>(size - PAGE_SIZE)});
}

void release_arena() {
  if (!arena_base) return;  // the exit path may come before any reservation
  platform::free_virtual(arena_base, reserved_size);
  heap::free_tracked(free_ranges.items);
  free_ranges = {};
  arena_base = nullptr;
  reserved_size = 0;
}

uint32_t commit_range(uint64_t size, uint64_t align) {
  for (int32_t i = 0; i < free_ranges.count; ++i) {
    free_range range = free_ranges.items[i];
    uint64_t skip = (align - reinterpret_cast<uintptr_t>(arena_base + range.offset) % align) % align;
    if (range.size < skip + size) continue;
    uint32_t offset = range.offset + static_cast<uint32_t>(skip);
    // The list grows, when a split needs it, before anything is committed:
    // a failure then changes nothing.
    if (skip) make_room();
    platform::commit_virtual(arena_base + offset, size);
    free_range after = {static_cast<uint32_t>(offset + size), static_cast<uint32_t>(range.size - skip - size)};
    if (skip) {
      free_ranges.items[i].size = static_cast<uint32_t>(skip);
      if (after.size) insert_range(i + 1, after);
    } else if (after.size) {
      free_ranges.items[i] = after;
    } else {
      remove_range(i);
    }
    return offset;
  }
  system::throw_code(THROW_VMEM_ALLOC);
  return 0;
}

void decommit_range(uint32_t offset, uint32_t size) {
  platform::decommit_virtual(arena_base + offset, size);
  int32_t at = 0;
  while (at < free_ranges.count && free_ranges.items[at].offset < offset) ++at;
  bool joins_previous = at > 0 && free_ranges.items[at - 1].offset + free_ranges.items[at - 1].size == offset;
  bool joins_next = at < free_ranges.count && offset + size == free_ranges.items[at].offset;
  if (joins_previous && joins_next) {
    free_ranges.items[at - 1].size += size + free_ranges.items[at].size;
    remove_range(at);
  } else if (joins_previous) {
    free_ranges.items[at - 1].size += size;
  } else if (joins_next) {
    free_ranges.items[at].offset = offset;
    free_ranges.items[at].size += size;
  } else {
    insert_range(at, {offset, size});
  }
}

}  // namespace ixo::memory
