// The frames are measured first into plain numbers, then the block is
// built: building allocates, which may collect and so move, make or free
// the very frames being measured.
#include "runtime/memory/stats.hpp"

#include <vector>

#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/float.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/memory.hpp"
#include "runtime/memory/node.hpp"
#include "runtime/memory/series_frame.hpp"
#include "startup/system/heap.hpp"

namespace ixo::memory {

namespace {

struct frame_sizes {
  int32_t free, used, total;
};

struct measures {
  std::vector<frame_sizes> node_frames, series_frames;
  std::vector<int32_t> big_frames;
  double big_and_heap = 0, heap = 0;
};

measures measure() {
  measures m;
  for (uint32_t f = record.node_frame_head; f; f = address<node_frame>(f)->next) {
    const node_frame* nf = address<node_frame>(f);
    m.node_frames.push_back({nf->node_count - nf->used_count, nf->used_count, nf->node_count});
  }
  for (uint32_t f = record.series_frame_head; f; f = address<series_frame>(f)->next) {
    const series_frame* sf = address<series_frame>(f);
    uint32_t start = f + sizeof(series_frame);
    m.series_frames.push_back({static_cast<int32_t>(sf->end - sf->bump),
                               static_cast<int32_t>(sf->bump - start),
                               static_cast<int32_t>(sf->end - start)});
  }
  for (uint32_t f = record.big_frame_head; f; f = address<big_frame>(f)->next) {
    int32_t size = address<big_frame>(f)->size;
    m.big_frames.push_back(size);
    m.big_and_heap += size + 12.0;
  }
  for (const heap::tracked_block* b = heap::list.first; b; b = b->next) m.heap += b->size + 16.0;
  m.big_and_heap += m.heap;
  return m;
}

void mark_new_line(cell* c) { c->header |= NEWLINE_FLAG; }

// Appends a block of the numbers to `target`, on a line of its own.
void append_numbers(cell* target, std::initializer_list<int32_t> numbers) {
  cell* entry = block::make_at(stack::push_slot(), static_cast<int32_t>(numbers.size()));
  for (int32_t n : numbers) integer::make_in(entry, n);
  mark_new_line(block::rs_append(target, entry));
  stack::pop(1);
}

void append_total(cell* target, double total) {
  cell value = total <= 2147483647.0 ? integer::make_cell(static_cast<int32_t>(total)) : float_::make_cell(total);
  mark_new_line(block::rs_append(target, &value));
}

}  // namespace

double stats(cell* block, int32_t level) {
  if (level < 1) return 0.0;
  if (level == 1) return stats_in_use();
  measures m = measure();
  cell* nodes = block::make_at(stack::push_slot(), 8);
  for (const frame_sizes& s : m.node_frames) append_numbers(nodes, {s.free, s.used, s.total});
  mark_new_line(block::rs_append(block, nodes));
  cell* series = block::make_at(nodes, 8);
  for (const frame_sizes& s : m.series_frames) append_numbers(series, {s.free, s.used, s.total});
  mark_new_line(block::rs_append(block, series));
  cell* bigs = block::make_at(series, 8);
  for (int32_t size : m.big_frames) mark_new_line(integer::make_in(bigs, size));
  mark_new_line(block::rs_append(block, bigs));
  stack::pop(1);
  append_total(block, m.big_and_heap);
  append_total(block, m.heap);
  return 0.0;
}

}  // namespace ixo::memory
