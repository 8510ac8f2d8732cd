// A stand-in for the collector that checks how block code holds values
// across allocations: at every series allocation it moves every buffer
// reachable from the registered roots and the value stack (blocks and
// their cells, strings, a hash!'s table and its arrays) to a new place and
// scribbles over the old one. Code that keeps a buffer address across an
// allocation then reads the scribble.
#pragma once
#include <set>

#include "runtime/core/array.hpp"
#include "runtime/core/hashtable.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/memory.hpp"
#include "runtime/memory/roots.hpp"
#include "memory.hpp"

namespace ixo::test {

inline int32_t block_buffer_moves = 0;

struct buffer_mover {
  std::set<uint32_t> moved;

  void move(uint32_t node) {
    if (!node || !moved.insert(node).second) return;
    memory::series_buffer* old = memory::buffer_of(node);
    if (old->flags & memory::SERIES_FIXED) return;
    memory::expand_series(old, old->size);
    memory::fill(memory::data_of(old), memory::data_end(old), 0xEE);
    ++block_buffer_moves;
  }

  void move_table(uint32_t table) {
    if (!table || moved.count(table)) return;
    hashtable::hashtable_record rec = *hashtable::record_of(table);
    move(table);
    move(rec.flags);
    move(rec.keys);
    move(rec.indexes);
    if (rec.chains) {
      for (int32_t n = 1; n <= array::length_q(rec.chains); ++n) move(array::pick_ptr(rec.chains, n));
      move(rec.chains);
    }
  }

  void move_value(const cell* c) {
    uint32_t type = TYPE_OF(c);
    if (any_string_q(type)) {
      move(c->data2);
      move(c->data3);
      return;
    }
    if (!any_block_q(type)) return;
    if (type == TYPE_HASH) move_table(c->data3);
    if (moved.count(c->data2)) return;
    move(c->data2);
    // The cells are walked after the move: each is read from the new place.
    for (int32_t i = 0;; ++i) {
      memory::series_buffer* b = memory::GET_BUFFER(c);
      if (i >= static_cast<int32_t>((b->tail - b->head) / sizeof(cell))) break;
      cell inner = memory::head_of<cell>(b)[i];
      move_value(&inner);
    }
  }
};

inline void move_reachable_buffers() {
  collector_active = 0;  // the moves allocate
  buffer_mover mover;
  for (int32_t i = 0; i < memory::roots.count; ++i) {
    const memory::root_slot& r = memory::roots.entries[i];
    if (r.kind == memory::ROOT_NODE) {
      mover.move(*static_cast<uint32_t*>(r.slot));
    } else {
      mover.move_value(static_cast<const cell*>(r.slot));
    }
  }
  for (cell* c = stack::bottom; c < stack::top; ++c) mover.move_value(c);
  collector_active = 1;
}

// Runs `body` with every allocation moving the reachable buffers, then
// puts the collection that was installed back.
template <class Body>
void with_moving_buffers(Body&& body) {
  collector_restorer restored;
  memory::run_collector = move_reachable_buffers;
  memory::collect_every_allocation = true;
  collector_active = 1;
  block_buffer_moves = 0;
  body();
}

}  // namespace ixo::test
