// Raw DEFLATE streams: a one-pass compressor that writes a single final
// block with the fixed Huffman code, and a decoder of stored, fixed and
// dynamic blocks. Both work on caller buffers: on entry *out_length is the
// capacity, on return the size the whole result needs, whether or not it
// fitted; no byte past the capacity is written, and a null output with
// capacity 0 is a size probe.
#pragma once
#include <cstdint>

namespace ixo::deflate {

// Result codes of the codec entry points (deflate, zlib and gzip).
enum : int32_t {
  DONE = 0,
  TOO_SMALL = 1,       // *out_length holds the size needed
  BAD_DATA = 2,        // corrupt or truncated stream, bad container
  STORED_OVERRUN = 3,  // a stored block longer than the input left
  BAD_BLOCK_TYPE = 4,  // block type 3
  TOO_FAR_BACK = 5,    // a distance reaching before the first output byte
  TOO_LARGE = 6,       // a stream that decodes to more than MAX_OUTPUT bytes
};

// No stream decodes to more than this (256 MB): a longer one is refused
// with TOO_LARGE, so that a small input cannot make the caller allocate
// without bound.
constexpr int32_t MAX_OUTPUT = 1 << 28;

// A DEFLATE stream produces at most this many bytes per input byte (a
// 258-byte match coded in 2 bits).
constexpr int64_t MAX_RATIO = 1032;

// DONE or TOO_SMALL; BAD_DATA when the result would pass 2^31 - 1 bytes.
int32_t compress(uint8_t* out, int32_t* out_length, const uint8_t* in, int32_t in_length);
// DONE or TOO_SMALL, or one of the failures above. Data after the final
// block is ignored; input that ends before it is BAD_DATA.
int32_t uncompress(uint8_t* out, int32_t* out_length, const uint8_t* in, int32_t in_length);

}  // namespace ixo::deflate
