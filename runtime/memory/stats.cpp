// The frames and the tracked heap measured into plain numbers; the `stats`
// native builds its block from them afterwards, since building allocates,
// which may collect and so move, make or free the very frames measured.
#include "runtime/memory/stats.hpp"

#include "runtime/memory/memory.hpp"
#include "runtime/memory/node.hpp"
#include "runtime/memory/series_frame.hpp"
#include "startup/system/heap.hpp"

namespace ixo::memory {

frame_measures measure_frames() {
  frame_measures m;
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

}  // namespace ixo::memory
