// Nodes: the 32-bit slots through which cells and records reach series
// buffers. A node in use holds its buffer's arena offset, so a buffer moves
// by rewriting one slot; a free node holds the offset of the next free node
// of its frame (0 ends the list). A node is named by its own arena offset.
//
// Nodes come from node frames: a 36-byte header, then the slots.
#pragma once
#include <cstdint>

namespace ixo::memory {

struct node_frame {
  uint32_t next;           // node frames in creation order
  uint32_t prev;
  int32_t node_count;      // slots after the header
  uint32_t free_list;      // first free slot, 0 when full
  int32_t used_count;
  int32_t birth_cycle;     // the collector's cycle count at creation
  int32_t previous_used;   // used count at the end of the last collection
  uint32_t history;        // one bit per collection: 1 when the used count held
  int32_t released;        // 1 once the collector moved every node out
};
static_assert(sizeof(node_frame) == 36, "the node-frame header is 36 bytes");

constexpr int32_t NODES_PER_FRAME = 10000;

inline uint32_t* node_slots(node_frame* frame) { return reinterpret_cast<uint32_t*>(frame + 1); }

// A frame of `n` free slots chained in address order, appended to the
// node-frame list (and made current when it is the first).
node_frame* new_node_frame(int32_t n);
// A node holding 0, from the current frame, else the first frame with a
// free slot, else a new frame of 10,000; that frame becomes current.
uint32_t alloc_node();
void free_node(node_frame* frame, uint32_t node);
// Unlinks and frees a frame; when it was current, the tail becomes current.
void free_node_frame(node_frame* frame);

}  // namespace ixo::memory
