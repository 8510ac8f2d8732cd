// The gzip container around DEFLATE: a header of at least ten bytes, then
// the CRC-32 and the length (modulo 2^32) of the data, least significant
// byte first. Buffers and result codes as in deflate.hpp.
#pragma once
#include <cstdint>

namespace ixo::gzip {

// A bare header (no name, time 0, OS 4), the stream, the trailer; input
// that already looks like gzip is compressed like any other.
int32_t compress(uint8_t* out, int32_t* out_length, const uint8_t* in, int32_t in_length);
// One member. The header's optional fields are skipped (its CRC checked
// when present); the length field says the size before any decoding, and a
// size that the stream could not produce is BAD_DATA, one above
// deflate::MAX_OUTPUT is TOO_LARGE. A CRC or length that does not match the
// data is BAD_DATA.
int32_t uncompress(uint8_t* out, int32_t* out_length, const uint8_t* in, int32_t in_length);

}  // namespace ixo::gzip
