// The zlib container around DEFLATE: a two-byte header and the Adler-32 of
// the data, most significant byte first. Buffers and result codes as in
// deflate.hpp.
#pragma once
#include <cstdint>

namespace ixo::zlib {

// Header 78 01 (32 KB window, fastest level), the stream, the trailer.
int32_t compress(uint8_t* out, int32_t* out_length, const uint8_t* in, int32_t in_length);
// Any level; a preset dictionary, a method other than 8 or a window above
// 32 KB is BAD_DATA, as is an Adler-32 that does not match.
int32_t uncompress(uint8_t* out, int32_t* out_length, const uint8_t* in, int32_t in_length);

}  // namespace ixo::zlib
