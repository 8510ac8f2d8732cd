// A started runtime with words: the cycles stack, runtime::init, then the symbol!, context!
// and word family registrations, the global context and the runtime's own
// words, in start-up order, with collections on as start-up turns them on. Also block cells made by hand, and a stand-in
// collector that moves every buffer at every allocation, so that code
// keeping a buffer address across an allocation reads a scribble.
#pragma once
#include <initializer_list>
#include <string>

#include "runtime/core/cycles.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/get_word.hpp"
#include "runtime/datatypes/issue.hpp"
#include "runtime/datatypes/lit_word.hpp"
#include "runtime/datatypes/refinement.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/set_word.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/memory/memory.hpp"
#include "runtime/memory/node.hpp"
#include "runtime/memory/series_buffer.hpp"
#include "startup/start.hpp"
#include "kept.hpp"
#include "raised.hpp"
#include "memory.hpp"

namespace ixo::test {

// Without `tables`, the runtime word tables are left unbuilt.
inline void start_words() {
  cycles::init();
  collector_active = 0;  // an earlier test's collector has no tables to walk yet
  runtime::init();
  open_bottom_try_frame();
  collector_active = 1;
}

inline int32_t symbol_of(const std::string& s) {
  return symbol::make_part(reinterpret_cast<const uint8_t*>(s.data()), static_cast<int32_t>(s.size()));
}

inline cell word_of(uint32_t type, const std::string& spelling, uint32_t ctx = 0, int32_t index = -1) {
  return cell{type, ctx, static_cast<uint32_t>(symbol_of(spelling)), static_cast<uint32_t>(index)};
}

// A block! cell at index 0 over a new series holding copies of the cells,
// kept until the test ends.
inline cell block_of(std::initializer_list<cell> cells, uint32_t type = TYPE_BLOCK) {
  uint32_t node = memory::alloc_cells(static_cast<int32_t>(cells.size()) + 1);
  for (const cell& c : cells) *series::alloc_tail_cell(memory::buffer_of(node)) = c;
  return keep(cell{type, 0, node, 0});
}

// A context kept until the test ends, marked as an object!'s context is.
inline uint32_t kept_context(uint32_t ctx) {
  keep(cell{TYPE_OBJECT, ctx, 0, 0});
  return ctx;
}

inline cell* cells_in(const cell& block) { return memory::head_of<cell>(memory::GET_BUFFER(&block)); }

inline int32_t cell_count(uint32_t series) {
  memory::series_buffer* b = memory::buffer_of(series);
  return static_cast<int32_t>((b->tail - b->head) / sizeof(cell));
}

inline int32_t everything_moves = 0;

// Moves every movable buffer to a new place and scribbles over the old.
inline void move_every_buffer() {
  memory::run_collector = nullptr;
  ++everything_moves;
  using namespace memory;
  for (uint32_t f = record.node_frame_head; f; f = address<node_frame>(f)->next) {
    node_frame* frame = address<node_frame>(f);
    uint32_t* slots = node_slots(frame);
    uint32_t low = offset_of(frame), high = offset_of(slots + frame->node_count);
    for (int32_t i = 0; i < frame->node_count; ++i) {
      uint32_t at = slots[i];
      if (at == 0 || (at >= low && at < high)) continue;  // free: the next free node
      series_buffer* b = address<series_buffer>(at);
      if (b->node != offset_of(slots + i) || !(b->flags & SERIES_IN_USE) || (b->flags & SERIES_FIXED)) continue;
      expand_series(b, b->size > 0 ? b->size : 16);
      fill(data_of(b), data_end(b), 0xEE);
    }
  }
  memory::run_collector = move_every_buffer;
}

// Runs `body` with every allocation moving every buffer, then puts the
// collection that was installed back.
template <class Body>
void while_moving_everything(Body body) {
  collector_restorer restored;
  everything_moves = 0;
  memory::run_collector = move_every_buffer;
  memory::collect_every_allocation = true;
  collector_active = 1;
  body();
}

}  // namespace ixo::test
