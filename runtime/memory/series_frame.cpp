// Series frames, big frames and buffer allocation: a bump of the current
// frame's pointer in the common case.
#include "runtime/memory/series_frame.hpp"

#include <cstdint>

#include "platform/posix/bindings.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/memory/memory.hpp"

namespace ixo::memory {

series_frame* new_series_frame() {
  int32_t s = record.next_frame_size;
  uint64_t bytes = static_cast<uint64_t>(s) + sizeof(series_frame);
  auto* frame = static_cast<series_frame*>(reuse_frame(bytes));
  if (!frame) {
    uint64_t align = s + FRAME_OVERHEAD == HUGE_PAGE_SIZE ? HUGE_PAGE_SIZE : PAGE_SIZE;
    frame = static_cast<series_frame*>(alloc_frame(bytes, align));
    // Buffers are cut from the frame front to back until it is full.
    platform::prefault_virtual(frame, bytes);
  }
  record.next_frame_size = record.big_series_threshold;
  uint32_t self = offset_of(frame);
  frame->next = frame->prev = 0;  // a spare frame still holds its old links
  frame->total_size = s + static_cast<int32_t>(sizeof(series_frame));
  frame->bump = self + sizeof(series_frame);
  frame->end = frame->bump + static_cast<uint32_t>(s);

  if (record.series_frame_head == 0) {
    record.series_frame_head = record.series_frame_tail = record.current_series_frame = self;
    return frame;
  }
  uint32_t at = record.series_frame_head;
  while (at < self && address<series_frame>(at)->next) at = address<series_frame>(at)->next;
  series_frame* neighbour = address<series_frame>(at);
  if (at < self) {  // the last frame, below the new one
    neighbour->next = self;
    frame->prev = at;
    record.series_frame_tail = self;
  } else {
    frame->next = at;
    frame->prev = neighbour->prev;
    if (neighbour->prev) address<series_frame>(neighbour->prev)->next = self;
    else record.series_frame_head = self;
    neighbour->prev = self;
  }
  return frame;
}

series_frame* find_series_frame(int32_t n) {
  for (uint32_t f = record.series_frame_head; f; f = address<series_frame>(f)->next) {
    series_frame* frame = address<series_frame>(f);
    if (static_cast<uint64_t>(frame->bump) + static_cast<uint64_t>(n) < frame->end) return frame;
  }
  return nullptr;
}

void free_series_frame(series_frame* frame) {
  uint32_t self = offset_of(frame);
  if (frame->prev) address<series_frame>(frame->prev)->next = frame->next;
  else record.series_frame_head = frame->next;
  if (frame->next) address<series_frame>(frame->next)->prev = frame->prev;
  else record.series_frame_tail = frame->prev;
  if (record.current_series_frame == self) record.current_series_frame = record.series_frame_tail;
  // Only a frame of the size new frames take can serve one again; the
  // smaller first frame goes back to the system.
  if (frame->total_size == record.big_series_threshold + static_cast<int32_t>(sizeof(series_frame))) retire_frame(frame);
  else free_frame(frame);
}

namespace {

// The current frame when n bytes fit there, else the first that has room.
series_frame* frame_with_room(int32_t n) {
  if (record.current_series_frame) {
    series_frame* current = address<series_frame>(record.current_series_frame);
    if (static_cast<uint64_t>(current->bump) + static_cast<uint64_t>(n) < current->end) return current;
  }
  return find_series_frame(n);
}

// The place for a buffer of `need` bytes when the current frame has no
// room for it (or it is big, or every allocation collects): the one place
// where an allocation collects, so buffers may move here.
[[gnu::noinline]] series_buffer* place_buffer(int32_t need) {
  bool big = need >= record.big_series_threshold;
  series_frame* frame = big ? nullptr : frame_with_room(need);
  if (big || !frame || collect_every_allocation) {
    bool had_room = frame != nullptr;
    if (collector_active && run_collector && collection_due(need)) run_collector();
    if (big) return alloc_big_series(need);
    frame = frame_with_room(need);
    // A frame that only a collection made room in is reused when it has
    // enough room left to be worth it.
    if (frame && !had_room && frame->end - frame->bump < static_cast<uint32_t>(FRAME_REUSE_ROOM)) frame = nullptr;
    if (!frame) {
      if (need >= record.next_frame_size) record.next_frame_size = record.big_series_threshold;
      frame = new_series_frame();
    }
  }
  record.current_series_frame = offset_of(frame);
  auto* b = address<series_buffer>(frame->bump);
  frame->bump += static_cast<uint32_t>(need);
  return b;
}

}  // namespace

series_buffer* alloc_series_buffer(int32_t count, uint32_t unit, int32_t offset) {
  int64_t bytes = (static_cast<int64_t>(count) * (unit & SERIES_UNIT) + 15) & ~int64_t{15};
  if (count < 0 || bytes + BUFFER_OVERHEAD > INT32_MAX) fire(err::internal_no_memory);
  int32_t need = static_cast<int32_t>(bytes) + BUFFER_OVERHEAD;
  allocated_since_cycle += static_cast<uint64_t>(need);
  uint32_t flags = unit | SERIES_IN_USE | SERIES_ALLOCATED;
  if (need >= record.big_series_threshold) flags |= SERIES_BIG;

  // The common case: a bump of the current frame's pointer.
  series_buffer* b = nullptr;
  if (!(flags & SERIES_BIG) && !collect_every_allocation && record.current_series_frame) {
    series_frame* current = address<series_frame>(record.current_series_frame);
    if (static_cast<uint64_t>(current->bump) + static_cast<uint64_t>(need) < current->end) {
      b = address<series_buffer>(current->bump);
      current->bump += static_cast<uint32_t>(need);
    }
  }
  if (!b) b = place_buffer(need);

  b->node = 0;
  b->size = static_cast<int32_t>(bytes);
  uint8_t* head = data_of(b) + offset;
  if (offset == -1) {
    head = data_of(b) + bytes / 2;
    flags |= SERIES_HEAD_MIDDLE;
  }
  b->flags = flags;
  b->head = b->tail = offset_of(head);
  return b;
}

series_buffer* alloc_big_series(int32_t n) {
  auto* frame = static_cast<big_frame*>(alloc_frame(static_cast<uint64_t>(n) + sizeof(big_frame)));
  frame->size = n;
  uint32_t self = offset_of(frame);
  if (record.big_frame_head == 0) {
    record.big_frame_head = self;
  } else {
    uint32_t last = record.big_frame_head;
    while (address<big_frame>(last)->next) last = address<big_frame>(last)->next;
    address<big_frame>(last)->next = self;
  }
  return reinterpret_cast<series_buffer*>(frame + 1);
}

void free_big_series(series_buffer* b) {
  big_frame* frame = reinterpret_cast<big_frame*>(b) - 1;
  uint32_t self = offset_of(frame);
  if (record.big_frame_head == self) {
    record.big_frame_head = frame->next;
  } else {
    uint32_t before = record.big_frame_head;
    while (address<big_frame>(before)->next != self) before = address<big_frame>(before)->next;
    address<big_frame>(before)->next = frame->next;
  }
  free_frame(frame);
}

}  // namespace ixo::memory
