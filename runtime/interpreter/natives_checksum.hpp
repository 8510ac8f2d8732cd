// The natives over the codecs: checksums, digests and HMACs, and DEFLATE
// compression in its raw, zlib and gzip forms. Each takes one integer per
// refinement (-1 when not given, else the index of its first argument cell
// from the argument base) and leaves its result in the result slot.
#pragma once
#include <cstdint>

namespace ixo::natives {

void checksum(const int32_t* refinements);    // a CRC, checksum, digest or HMAC of the data
void compress(const int32_t* refinements);    // the data compressed by a method word
void decompress(const int32_t* refinements);  // compressed data given back

}  // namespace ixo::natives
