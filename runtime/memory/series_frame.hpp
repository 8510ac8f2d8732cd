// Series frames and big frames, and the cutting of buffers from them.
//
// A series frame holds buffers laid end to end from its header up to its
// bump pointer. The first takes a run of 1 MB of the arena, every later
// one a run of 2 MB placed and backed as one huge page, so that filling it
// costs one page fault and one address-translation entry; a buffer whose
// footprint does not fit such a frame gets a big frame of its own instead.
// All buffer allocation goes through alloc_series_buffer, the one place
// where an allocation may run a collection.
#pragma once
#include <cstdint>

#include "runtime/memory/series_buffer.hpp"

namespace ixo::memory {

struct series_frame {
  uint32_t next;       // series frames in ascending address order
  uint32_t prev;
  int32_t total_size;  // data bytes + 20
  uint32_t bump;       // first free byte
  uint32_t end;        // one past the last byte
};
static_assert(sizeof(series_frame) == 20, "the series-frame header is 20 bytes");
// A frame's run holds, besides its data, the size word that precedes every
// frame and the header.
constexpr int32_t FRAME_OVERHEAD = 4 + sizeof(series_frame);

struct big_frame {
  uint32_t next;   // big frames, singly linked
  uint32_t link;   // always 0
  int32_t size;    // bytes of the buffer area
};
static_assert(sizeof(big_frame) == 12, "the big-frame header is 12 bytes");

// A frame free enough to be worth filling after a collection.
constexpr int32_t FRAME_REUSE_ROOM = 0xCCCC;

// A frame of record.next_frame_size data bytes: a spare one of that size
// when one is kept, else a new one with its pages faulted in.
series_frame* new_series_frame();
// The first frame in address order where n more bytes stay below its end.
series_frame* find_series_frame(int32_t n);
// Unlinks a frame and gives it back: one of the size new frames take as a
// spare while there is room for one (retire_frame), any other to the
// system; when it was current, the tail becomes current.
void free_series_frame(series_frame* frame);

// A buffer for `count` elements of `unit` (which may carry flag bits) with
// its head at `offset`, or in the middle of the data when -1. Its node is
// left 0 for the caller to fill.
series_buffer* alloc_series_buffer(int32_t count, uint32_t unit, int32_t offset);

// A big frame of n bytes of buffer area, at the end of the big-frame list;
// answers the buffer's place.
series_buffer* alloc_big_series(int32_t n);
void free_big_series(series_buffer* b);

}  // namespace ixo::memory
