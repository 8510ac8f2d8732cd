// The externals table: a block of cells held for outside code under a
// stable 1-based index. Free slots are integer! cells chaining the free
// list by 0-based index (-1 ends it); the block's length is always its
// capacity, which starts at 100 and doubles when a store finds no free
// slot. The collector marks the block, so what it holds stays alive.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::externals {

constexpr int32_t INITIAL_CAPACITY = 100;

extern cell table;     // the block
extern int32_t capacity;
extern int32_t free_head;  // 0-based, -1 when no slot is free

void init();
// Copies the value into a free slot; answers its 1-based index.
int32_t store(const cell& value);
cell* get(int32_t index);
// Frees the slot (0 is ignored).
void release(int32_t index);

}  // namespace ixo::externals
