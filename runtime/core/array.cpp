// Raw arrays over series buffers. Items are read and written bytewise:
// buffers are only 4-byte aligned and a unit-1 array holds 32-bit items.
#include "runtime/core/array.hpp"

#include <bit>
#include <cstring>

#include "runtime/interpreter/fire.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::array {

using namespace memory;

uint32_t make(int32_t count, uint32_t unit) {
  int64_t bytes = static_cast<int64_t>(count) * unit;
  if (count < 0 || bytes > INT32_MAX) fire(err::internal_no_memory);
  uint32_t node = alloc_bytes(static_cast<int32_t>(bytes));
  series_buffer* b = buffer_of(node);
  b->flags = (b->flags & ~SERIES_UNIT) | (unit & SERIES_UNIT);
  return node;
}

int32_t length_q(uint32_t node) {
  series_buffer* b = buffer_of(node);
  return static_cast<int32_t>((b->tail - b->head) >> std::countr_zero(GET_UNIT(b)));
}

void clear(uint32_t node) {
  series_buffer* b = buffer_of(node);
  b->tail = b->head;
}

void set_length(uint32_t node, int32_t n) {
  series_buffer* b = buffer_of(node);
  b->tail = b->head + static_cast<uint32_t>(n - 1) * GET_UNIT(b);
}

uint32_t copy(uint32_t node) { return copy_series(buffer_of(node)); }

uint8_t* head(uint32_t node) { return head_of(buffer_of(node)); }

void append_byte(uint32_t node, uint8_t byte) { *series::alloc_tail_bytes(buffer_of(node), 1) = byte; }

uint8_t* append_bytes(uint32_t node, const void* source, int32_t length) {
  uint8_t* at = series::alloc_tail_bytes(buffer_of(node), length);
  std::memcpy(at, source, static_cast<size_t>(length));
  return at;
}

void append_int(uint32_t node, int32_t value) {
  std::memcpy(series::alloc_tail_bytes(buffer_of(node), 4), &value, 4);
}

uint8_t pick_byte(uint32_t node, int32_t n) { return head(node)[n - 1]; }

int32_t pick_int(uint32_t node, int32_t n) {
  int32_t value;
  std::memcpy(&value, head(node) + 4 * (n - 1), 4);
  return value;
}

void poke_int(uint32_t node, int32_t n, int32_t value) { std::memcpy(head(node) + 4 * (n - 1), &value, 4); }

int32_t find_int(uint32_t node, int32_t value) {
  series_buffer* b = buffer_of(node);
  int32_t bytes = static_cast<int32_t>(b->tail - b->head);
  const uint8_t* items = head_of(b);
  for (int32_t at = 0; at + 4 <= bytes; at += 4) {
    int32_t item;
    std::memcpy(&item, items + at, 4);
    if (item == value) return at;
  }
  return -1;
}

void insert_int(uint32_t node, int32_t value, int32_t index) {
  series::alloc_tail_bytes(buffer_of(node), 4);
  series_buffer* b = buffer_of(node);
  uint8_t* at = head_of(b) + 4 * index;
  std::memmove(at + 4, at, static_cast<size_t>(tail_of(b) - 4 - at));
  std::memcpy(at, &value, 4);
}

void remove_at(uint32_t node, int32_t offset, int32_t count) {
  series_buffer* b = buffer_of(node);
  uint8_t* at = head_of(b) + offset;
  std::memmove(at, at + count, static_cast<size_t>(tail_of(b) - (at + count)));
  b->tail -= static_cast<uint32_t>(count);
}

void remove_ptr(uint32_t node, uint32_t ref) {
  int32_t at = find_int(node, static_cast<int32_t>(ref));
  if (at >= 0) remove_at(node, at, 4);
}

}  // namespace ixo::array
