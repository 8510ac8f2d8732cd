// Tracked heap: a doubly linked list threaded through block headers.
#include "startup/system/heap.hpp"

#include <cstdlib>

#include "startup/system/runtime_error.hpp"

namespace ixo::heap {

tracked_list list;

namespace {

int32_t failure_countdown = 0;

[[noreturn]] void out_of_memory(const void* site) {
  system::runtime_error(94, system::code_address(site));
}

bool injected_failure() {
  if (failure_countdown == 0) return false;
  return --failure_countdown == 0;
}

void link_last(tracked_block* block) {
  block->prev = list.last;
  block->next = nullptr;
  if (list.last) list.last->next = block; else list.first = block;
  list.last = block;
}

tracked_block* header_of(void* p) { return static_cast<tracked_block*>(p) - 1; }

// Links a block fresh from the C heap (null passes through) and answers
// the bytes past its header.
void* track(void* raw, int32_t size) {
  if (!raw) return nullptr;
  auto* block = static_cast<tracked_block*>(raw);
  block->size = size;
  block->reserved = 0;
  link_last(block);
  return block + 1;
}

}  // namespace

void inject_failure(int32_t count) { failure_countdown = count; }

void* alloc_tracked(int32_t size) {
  void* p = try_alloc_tracked(size);
  if (!p) out_of_memory(__builtin_return_address(0));
  return p;
}

void* try_alloc_tracked(int32_t size) {
  size_t bytes = sizeof(tracked_block) + static_cast<size_t>(size);
  return track(size < 0 || injected_failure() ? nullptr : std::malloc(bytes), size);
}

// calloc leaves fresh pages as the system gave them, already zero: a large
// table costs a page only where it is written or read.
void* alloc_zeroed(int32_t size) {
  size_t bytes = sizeof(tracked_block) + static_cast<size_t>(size);
  void* p = track(size < 0 || injected_failure() ? nullptr : std::calloc(1, bytes), size);
  if (!p) out_of_memory(__builtin_return_address(0));
  return p;
}

void free_tracked(void* p) {
  if (!p) return;
  tracked_block* target = header_of(p);
  for (tracked_block* b = list.first; b; b = b->next) {
    if (b != target) continue;
    if (b->prev) b->prev->next = b->next; else list.first = b->next;
    if (b->next) b->next->prev = b->prev; else list.last = b->prev;
    std::free(b);
    return;
  }
}

void* resize_tracked(void* p, int32_t size) {
  if (!p) return alloc_tracked(size);
  if (size == 0) {
    free_tracked(p);
    return nullptr;
  }
  tracked_block* old = header_of(p);
  tracked_block* prev = old->prev;
  tracked_block* next = old->next;
  void* raw = (size < 0 || injected_failure())
                  ? nullptr
                  : std::realloc(old, sizeof(tracked_block) + static_cast<size_t>(size));
  if (!raw) out_of_memory(__builtin_return_address(0));
  auto* block = static_cast<tracked_block*>(raw);
  block->size = size;
  if (next) next->prev = block; else list.last = block;
  if (prev) prev->next = block; else list.first = block;
  return block + 1;
}

void free_all() {
  tracked_block* b = list.first;
  while (b) {
    tracked_block* next = b->next;
    std::free(b);
    b = next;
  }
  list.first = list.last = nullptr;
}

}  // namespace ixo::heap
