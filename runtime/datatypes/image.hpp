// image!: a series of 32-bit pixels, width × height of them, row after
// row. A pixel is A << 24 | R << 16 | G << 8 | B; in the language it is the
// 4-byte tuple r.g.b.t with t = 255 − A (0 opaque), and a 3-byte tuple is
// opaque.
//
// Cell: payload word 1 the index (0-based pixel position), word 2 the node
// of the pixel buffer, word 3 the size: height << 16 | width, 16 bits
// each; header bit 16 marks an image owned by an object. The pixels live
// in an ordinary series buffer of unit 4 whose length is width × height,
// so the collector keeps and moves them like any series and the series
// actions that image! inherits (head, back, head?, index?) read the same
// length. Every image has a buffer, an empty one when its size is 0.
// Pixels are stored as little-endian words, so the bytes of a pixel in
// memory are B, G, R, A: the argb view copies them as they are.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::image {

// Neither dimension may pass 65535: the size word keeps 16 bits of each.
constexpr int32_t MAX_SIDE = 65535;

// The channel views of a path or of extract_data and set_data.
enum channel : int32_t {
  CHANNEL_ALPHA = 0,  // 1 byte per pixel: 255 − A
  CHANNEL_RGB = 1,    // 3 bytes per pixel: R, G, B
  CHANNEL_ARGB = 2,   // 4 bytes per pixel as stored: B, G, R, A
};

inline int32_t width_of(const cell* img) { return static_cast<int32_t>(img->data3 & 0xFFFF); }
inline int32_t height_of(const cell* img) { return static_cast<int32_t>(img->data3 >> 16); }

// c becomes a new image of that size, every pixel opaque white; it is
// unset while the buffer is made. A negative side or one above 65535
// raises script/out-of-range with the size as a pair!; a size whose
// pixels do not fit 31 bits of bytes raises internal/no-memory.
cell* make_at(cell* c, int32_t width, int32_t height);

// A new binary! in `result` holding the channel view of every pixel (the
// whole image, whatever its index).
cell* extract_data(const cell* img, int32_t format, cell* result);
// Writes a channel view over the pixels from the first: from a binary!
// (as many pixels as its bytes cover), or a tuple! or integer! filling
// every pixel; any other value raises script/invalid-arg. The owner hears
// of the change afterwards.
void set_data(cell* img, int32_t format, const cell* value);

// The first pixel; valid until the next allocation.
uint32_t* pixels_of(const cell* img);

// Registers image! (type 53) under series!.
void init();

}  // namespace ixo::image
