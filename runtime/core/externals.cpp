// The externals table (externals.hpp): a block whose free slots chain
// through their integer values.
#include "runtime/core/externals.hpp"

#include "runtime/datatypes/block.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::externals {

using namespace memory;

cell table{};
int32_t capacity = 0;
int32_t free_head = -1;

namespace {

cell* slots() { return head_of<cell>(GET_BUFFER(&table)); }

// Chains slots from..capacity-1 free, the first becoming the head, and
// sets the block's tail at the capacity.
void chain_free(int32_t from) {
  cell* s = slots();
  for (int32_t i = from; i < capacity; ++i)
    s[i] = cell{TYPE_INTEGER, 0, static_cast<uint32_t>(i + 1 < capacity ? i + 1 : -1), 0};
  series_buffer* b = GET_BUFFER(&table);
  b->tail = b->head + static_cast<uint32_t>(capacity) * sizeof(cell);
  free_head = from;
}

}  // namespace

void init() {
  block::make_at(&table, INITIAL_CAPACITY);
  capacity = INITIAL_CAPACITY;
  chain_free(0);
}

int32_t store(const cell& value) {
  cell kept = value;
  root_guard keep(&kept);
  if (free_head < 0) {
    int32_t old = capacity;
    expand_series(GET_BUFFER(&table), old * 2 * static_cast<int32_t>(sizeof(cell)));
    capacity = old * 2;
    chain_free(old);
  }
  int32_t slot = free_head;
  cell* s = slots() + slot;
  free_head = static_cast<int32_t>(s->data2);
  *s = kept;
  return slot + 1;
}

cell* get(int32_t index) { return slots() + index - 1; }

void release(int32_t index) {
  if (index == 0) return;
  slots()[index - 1] = cell{TYPE_INTEGER, 0, static_cast<uint32_t>(free_head), 0};
  free_head = index - 1;
}

}  // namespace ixo::externals
