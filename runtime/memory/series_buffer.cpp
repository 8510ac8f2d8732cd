// Series made, moved, grown and copied through their nodes.
#include "runtime/memory/series_buffer.hpp"

#include <cstring>

#include "runtime/interpreter/fire.hpp"
#include "runtime/memory/memory.hpp"
#include "runtime/memory/node.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_frame.hpp"

namespace ixo::memory {

namespace {

// Where a buffer was placed, as opposed to what it holds: a buffer that
// takes over another's flags keeps its own placement bits.
constexpr uint32_t PLACEMENT_BITS = SERIES_BIG | SERIES_FIXED | SERIES_HEAD_MIDDLE;

uint32_t take_node(series_buffer* b) {
  uint32_t buffer = offset_of(b);
  uint32_t node = alloc_node();  // never collects: b stays where it is
  *address<uint32_t>(node) = buffer;
  address<series_buffer>(buffer)->node = node;
  return node;
}

// Bytes from the head to the end of the data area: what a move keeps.
int32_t kept_bytes(series_buffer* b) { return static_cast<int32_t>(data_end(b) - head_of(b)); }

// The move itself; `old` receives the old buffer as read after the
// allocation, for the callers that copy from it. The allocation may
// collect, and a collection may move the node itself into another node
// frame: the node is held in a root so that it is rewritten.
series_buffer* relocate(series_buffer* b, int32_t new_size, series_buffer*& old) {
  uint32_t unit = GET_UNIT(b);
  int64_t size = new_size;
  if (size == 0) size = b->size > 0 ? 2 * static_cast<int64_t>(b->size) : 16;
  if (size <= 0 || size > INT32_MAX) fire(err::internal_no_memory);
  uint32_t node = b->node;
  root_guard keep(&node);
  // Enough whole elements to hold `size` bytes.
  int64_t count = (size + unit - 1) / unit;
  series_buffer* fresh = alloc_series_buffer(static_cast<int32_t>(count), unit, 0);
  old = buffer_of(node);
  *address<uint32_t>(node) = offset_of(fresh);
  fresh->flags = (old->flags & ~PLACEMENT_BITS) | (fresh->flags & PLACEMENT_BITS);
  fresh->node = node;
  fresh->tail = fresh->head + (old->tail - old->head);
  old->node = 0;
  old->flags &= ~SERIES_IN_USE;
  return fresh;
}

}  // namespace

uint32_t alloc_series(int32_t count, uint32_t unit, int32_t offset) {
  return take_node(alloc_series_buffer(count, unit, offset));
}

uint32_t alloc_fixed_series(int32_t count, uint32_t unit, int32_t offset) {
  int64_t bytes = (static_cast<int64_t>(count) * (unit & SERIES_UNIT) + 15) & ~int64_t{15};
  if (count < 0 || bytes + BUFFER_OVERHEAD > INT32_MAX) fire(err::internal_no_memory);
  // A frame of its own, in no frame list, so no collection ever walks it.
  auto* b = static_cast<series_buffer*>(alloc_frame(static_cast<uint64_t>(bytes) + BUFFER_OVERHEAD));
  b->flags = unit | SERIES_IN_USE | SERIES_ALLOCATED | SERIES_FIXED;
  b->size = static_cast<int32_t>(bytes);
  b->head = b->tail = offset_of(data_of(b) + offset);
  return take_node(b);
}

uint32_t alloc_cells(int32_t n) { return alloc_series(n, 16, 0); }

uint32_t alloc_unset_cells(int32_t n) {
  uint32_t node = alloc_cells(n);
  cell* c = head_of<cell>(buffer_of(node));
  for (int32_t i = 0; i < n; ++i) c[i] = {TYPE_UNSET, 0, 0, 0};
  return node;
}

uint32_t alloc_bytes(int32_t n) { return alloc_series(n == 0 ? 16 : n, 1, 0); }

uint32_t alloc_unit_series(int32_t n, uint32_t unit) {
  return alloc_series(n == 0 ? 16 >> ((unit & SERIES_UNIT) >> 1) : n, unit, 0);
}

uint32_t alloc_filled_bytes(int32_t n, uint8_t byte) {
  uint32_t node = alloc_bytes(n);
  series_buffer* b = buffer_of(node);
  fill(data_of(b), data_end(b), byte);
  return node;
}

void fill(uint8_t* begin, uint8_t* end, uint8_t byte) {
  if (end > begin) std::memset(begin, byte, static_cast<size_t>(end - begin));
}

series_buffer* move_series_buffer(series_buffer* b, int32_t new_size) {
  series_buffer* old;
  return relocate(b, new_size, old);
}

series_buffer* expand_series(series_buffer* b, int32_t new_size) {
  series_buffer* old;
  series_buffer* fresh = relocate(b, new_size, old);
  std::memcpy(head_of(fresh), head_of(old), static_cast<size_t>(kept_bytes(old)));
  return fresh;
}

series_buffer* expand_series_filled(series_buffer* b, int32_t new_size, uint8_t byte) {
  int32_t old_size = b->size;
  series_buffer* fresh = expand_series(b, new_size);
  fill(head_of(fresh) + old_size, data_end(fresh), byte);
  return fresh;
}

uint32_t copy_series(series_buffer* b) {
  uint32_t source = b->node;
  root_guard keep(&source);  // the allocation may move the node
  uint32_t node = alloc_series(b->size, 1, 0);
  b = buffer_of(source);
  series_buffer* copy = buffer_of(node);
  copy->flags = (b->flags & ~PLACEMENT_BITS) | (copy->flags & PLACEMENT_BITS);
  int32_t kept = kept_bytes(b);
  std::memcpy(head_of(copy), head_of(b), static_cast<size_t>(kept));
  copy->tail = copy->head + (b->tail - b->head);
  return node;
}

}  // namespace ixo::memory

namespace ixo::series {

using namespace memory;

void set_flags(uint32_t node, uint32_t mask) { buffer_of(node)->flags |= mask; }

uint32_t copy_part(uint32_t node, int32_t offset, int32_t length) {
  root_guard keep(&node);  // the allocation may move the node
  uint32_t unit = GET_UNIT(buffer_of(node));
  uint32_t part = alloc_series(length, unit, 0);
  series_buffer* source = buffer_of(node);
  series_buffer* copy = buffer_of(part);
  copy->flags = (source->flags & ~(PLACEMENT_BITS | SERIES_OWNED)) | (copy->flags & PLACEMENT_BITS);
  size_t bytes = static_cast<size_t>(length) * unit;
  std::memcpy(head_of(copy), head_of(source) + static_cast<size_t>(offset) * unit, bytes);
  copy->tail = copy->head + static_cast<uint32_t>(bytes);
  return part;
}

cell* alloc_tail_cell(series_buffer* b) {
  if (tail_of(b) >= data_end(b)) b = expand_series(b, 0);
  cell* c = tail_of<cell>(b);
  c->header = TYPE_UNSET;
  b->tail += sizeof(cell);
  return c;
}

series_buffer* expand_for_tail(series_buffer* b, int32_t n) {
  if (n > INT32_MAX / 2) fire(err::internal_no_memory);
  return expand_series(b, n > b->size ? 2 * n : 0);
}

}  // namespace ixo::series
