// The tracked heap: the runtime's own long-lived records (argument strings,
// output buffers, hook lists, tables) come from the C heap through this
// layer, which links every block into one list so that the whole heap is
// released in one sweep before the process exits. Language values never
// come from here.
#pragma once
#include <cstdint>

namespace ixo::heap {

// Header in front of every block; the caller gets the bytes just past it.
struct alignas(16) tracked_block {
  tracked_block* prev;
  tracked_block* next;
  int32_t size;  // the size the caller asked for
  int32_t reserved;
};

// Blocks in allocation order; a resized block keeps its place.
struct tracked_list {
  tracked_block* first;
  tracked_block* last;
};

extern tracked_list list;

// Every allocation failure ends the process with runtime error 94.
void* alloc_tracked(int32_t size);
// As alloc_tracked, but a C heap without room answers null: for buffers whose
// size a script chooses, where running out is the script's error.
void* try_alloc_tracked(int32_t size);
void* alloc_zeroed(int32_t size);
void free_tracked(void* p);             // a pointer not in the list is left alone
void* resize_tracked(void* p, int32_t size);  // p = 0 allocates; size 0 frees, answers 0
void free_all();

// Test seam: make the allocation that comes `count` allocations from now
// fail as the C heap would (count 0 switches the injection off).
void inject_failure(int32_t count);

}  // namespace ixo::heap
