// Series buffers: a 20-byte header, then `size` bytes of data, then 4 bytes
// that belong to the buffer, so a buffer takes exactly size + 24 bytes of
// its frame and the next buffer starts right after it. Head and tail are
// arena offsets inside the data area; the elements lie between them.
//
// A series is always reached through its node: any operation here that
// allocates may run a collection, which moves buffers, so a buffer address
// held across one must be read again through the node afterwards. The
// operations that take a buffer do that themselves, and answer the new one.
#pragma once
#include <cstdint>

#include "runtime/memory/arena.hpp"
#include "runtime/memory/cell.hpp"

namespace ixo::memory {

struct series_buffer {
  uint32_t flags;  // unit in bits 0-4, then the SERIES_ bits
  uint32_t node;   // the node holding this buffer; 0 once given up by a move
  int32_t size;    // data bytes: element count times unit, rounded up to 16
  uint32_t head;   // first element
  uint32_t tail;   // one past the last element
};
static_assert(sizeof(series_buffer) == 20, "a buffer header is 20 bytes");

constexpr uint32_t SERIES_UNIT = 0x1F;
constexpr uint32_t SERIES_IN_USE = 0x80000000;
constexpr uint32_t SERIES_ALLOCATED = 0x20000000;   // set on every buffer made
constexpr uint32_t SERIES_HEAD_MIDDLE = 0x10000000; // room for growth at both ends
constexpr uint32_t SERIES_MARK = 0x08000000;        // the collector's mark
constexpr uint32_t SERIES_BIG = 0x01000000;         // alone in a big frame
constexpr uint32_t SERIES_FIXED = 0x00100000;       // never moved or freed by the collector
constexpr uint32_t SERIES_OWNED = 0x00020000;       // changes are reported to an owner
// Header plus the trailing word: a buffer's footprint is size + 24.
constexpr int32_t BUFFER_OVERHEAD = 24;

inline series_buffer* buffer_of(uint32_t node) { return address<series_buffer>(*address<uint32_t>(node)); }
// The buffer of a series value, whose node is in payload word 2.
inline series_buffer* GET_BUFFER(const cell* value) { return buffer_of(value->data2); }
inline uint32_t GET_UNIT(const series_buffer* b) { return b->flags & SERIES_UNIT; }

inline uint8_t* data_of(series_buffer* b) { return reinterpret_cast<uint8_t*>(b + 1); }
inline uint8_t* data_end(series_buffer* b) { return data_of(b) + b->size; }
template <class T = uint8_t>
inline T* head_of(const series_buffer* b) {
  return address<T>(b->head);
}
template <class T = uint8_t>
inline T* tail_of(const series_buffer* b) {
  return address<T>(b->tail);
}
inline void set_tail(series_buffer* b, const void* p) { b->tail = offset_of(p); }

// Series allocation. `unit` is the element size and may carry further flag
// bits; `offset` places the head that many bytes into the data area, or in
// its middle when -1. Sizes whose bytes do not fit 31 bits raise
// internal/no-memory, as does an exhausted arena.
uint32_t alloc_series(int32_t count, uint32_t unit, int32_t offset);
// A buffer outside the series frames, which no collection moves (the root
// block, the stacks).
uint32_t alloc_fixed_series(int32_t count, uint32_t unit, int32_t offset);
uint32_t alloc_cells(int32_t n);
// n unset cells in the data area; the tail stays at the head.
uint32_t alloc_unset_cells(int32_t n);
// n = 0 is taken as 16 bytes.
uint32_t alloc_bytes(int32_t n);
// n = 0 is taken as 16 bytes' worth of elements.
uint32_t alloc_unit_series(int32_t n, uint32_t unit);
// The whole data area filled with `byte`; the tail stays at the head.
uint32_t alloc_filled_bytes(int32_t n, uint8_t byte);
void fill(uint8_t* begin, uint8_t* end, uint8_t byte);

// A new buffer of at least `new_size` bytes (0: twice the size, 16 bytes
// for an empty buffer) takes over the node, the length and the flags but
// those saying where a buffer lies (big, fixed, head in the middle); the
// content is not copied and the head is at the start of the data. The old
// buffer loses its node and in-use bit. `new_size` must hold the bytes
// from the head to the end of the data area.
series_buffer* move_series_buffer(series_buffer* b, int32_t new_size);
// A move that copies the content from the head to the end of the data area.
series_buffer* expand_series(series_buffer* b, int32_t new_size);
// An expansion whose new bytes, from the old size up to the new size
// counted from the new head, are set to `byte`.
series_buffer* expand_series_filled(series_buffer* b, int32_t new_size, uint8_t byte);
// A new series of the same size, flags (placement bits aside), content and
// length.
uint32_t copy_series(series_buffer* b);

}  // namespace ixo::memory

namespace ixo::series {

void set_flags(uint32_t node, uint32_t mask);
// `length` elements from `offset` elements past the source's head, same
// unit; the copy is not owned.
uint32_t copy_part(uint32_t node, int32_t offset, int32_t length);
// A new unset cell at the tail (doubling the buffer when full); its
// payload is left as it was.
cell* alloc_tail_cell(memory::series_buffer* b);
// The growth behind alloc_tail_bytes, for a buffer without room for n more
// bytes.
memory::series_buffer* expand_for_tail(memory::series_buffer* b, int32_t n);
// Room for n bytes at the tail (doubling, or 2n when n exceeds the size);
// answers where they start. Inline: appends to raw arrays and strings run
// through here byte by byte.
inline uint8_t* alloc_tail_bytes(memory::series_buffer* b, int32_t n) {
  if (memory::tail_of(b) + n > memory::data_end(b)) b = expand_for_tail(b, n);
  uint8_t* at = memory::tail_of(b);
  b->tail += static_cast<uint32_t>(n);
  return at;
}

}  // namespace ixo::series
