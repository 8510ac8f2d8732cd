// Node frames and their free lists.
#include "runtime/memory/node.hpp"

#include "platform/posix/bindings.hpp"
#include "runtime/memory/memory.hpp"

namespace ixo::memory {

node_frame* new_node_frame(int32_t n) {
  uint64_t bytes = sizeof(node_frame) + 4ull * n;
  auto* frame = static_cast<node_frame*>(alloc_frame(bytes));
  // Every slot is written at once, chaining the free list.
  platform::prefault_virtual(frame, bytes);
  frame->node_count = n;
  uint32_t* slots = node_slots(frame);
  uint32_t first = offset_of(slots);
  for (int32_t i = 0; i < n - 1; ++i) slots[i] = first + 4 * static_cast<uint32_t>(i + 1);
  if (n > 0) slots[n - 1] = 0;
  frame->free_list = n > 0 ? first : 0;

  uint32_t self = offset_of(frame);
  if (record.node_frame_tail == 0) {
    record.node_frame_head = record.current_node_frame = self;
  } else {
    address<node_frame>(record.node_frame_tail)->next = self;
    frame->prev = record.node_frame_tail;
  }
  record.node_frame_tail = self;
  return frame;
}

uint32_t alloc_node() {
  node_frame* frame = record.current_node_frame ? address<node_frame>(record.current_node_frame) : nullptr;
  if (!frame || frame->free_list == 0) {
    frame = nullptr;
    for (uint32_t f = record.node_frame_head; f; f = address<node_frame>(f)->next) {
      node_frame* candidate = address<node_frame>(f);
      if (candidate->free_list != 0 && !candidate->released) {
        frame = candidate;
        break;
      }
    }
    if (!frame) frame = new_node_frame(NODES_PER_FRAME);
    record.current_node_frame = offset_of(frame);
  }
  uint32_t node = frame->free_list;
  uint32_t* slot = address<uint32_t>(node);
  frame->free_list = *slot;
  *slot = 0;
  ++frame->used_count;
  return node;
}

void free_node(node_frame* frame, uint32_t node) {
  *address<uint32_t>(node) = frame->free_list;
  frame->free_list = node;
  --frame->used_count;
}

void free_node_frame(node_frame* frame) {
  uint32_t self = offset_of(frame);
  if (frame->prev) address<node_frame>(frame->prev)->next = frame->next;
  else record.node_frame_head = frame->next;
  if (frame->next) address<node_frame>(frame->next)->prev = frame->prev;
  else record.node_frame_tail = frame->prev;
  if (record.current_node_frame == self) record.current_node_frame = record.node_frame_tail;
  free_frame(frame);
}

}  // namespace ixo::memory
