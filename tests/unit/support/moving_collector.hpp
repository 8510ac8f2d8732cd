// A stand-in for the collector that checks the rules for holding values
// across allocations: at every series allocation it moves the buffer of
// every registered root (the nodes in words 2 and 3 of an any-string cell,
// the node of a node slot) to a new place and scribbles over the old one.
// Code that keeps a buffer address across an allocation then reads the
// scribble instead of its text.
#pragma once
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/memory/memory.hpp"
#include "runtime/memory/roots.hpp"
#include "memory.hpp"

namespace ixo::test {

inline int32_t buffer_moves = 0;

inline void move_buffer(uint32_t node) {
  memory::series_buffer* old = memory::buffer_of(node);
  memory::expand_series(old, old->size);
  memory::fill(memory::data_of(old), memory::data_end(old), 0xEE);
  ++buffer_moves;
}

inline void move_rooted_buffers() {
  collector_active = 0;  // the moves allocate
  for (int32_t i = 0; i < memory::roots.count; ++i) {
    const memory::root_slot& r = memory::roots.entries[i];
    if (r.kind == memory::ROOT_NODE) {
      uint32_t node = *static_cast<uint32_t*>(r.slot);
      if (node != 0) move_buffer(node);
      continue;
    }
    const cell* c = static_cast<const cell*>(r.slot);
    if (!any_string_q(TYPE_OF(c))) continue;
    move_buffer(c->data2);
    if (c->data3 != 0) move_buffer(c->data3);
  }
  collector_active = 1;
}

struct moving_memory : fresh_memory {
  void SetUp() override {
    fresh_memory::SetUp();
    memory::run_collector = move_rooted_buffers;
    memory::collect_every_allocation = true;
    collector_active = 1;
    buffer_moves = 0;
  }
  void TearDown() override {
    memory::collect_every_allocation = false;
    fresh_memory::TearDown();
  }
};

}  // namespace ixo::test
