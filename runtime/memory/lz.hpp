// The runtime's own LZ77 decompressor, for data carried inside the
// executable: the boot image when its header says it is compressed, and the
// frame map.
//
// Container, all words 32-bit little-endian: the packed length P, the
// unpacked length U, then P bytes of blocks. A block is its output length L
// (1 to 1 MB) and a bit stream read least significant bit first, which
// starts afresh on a byte boundary in every block. Tokens: 0 and 8 bits, a
// literal byte; 1, a length code and a distance code, a copy of 3 to 566
// bytes from 1 to 262,144 bytes back within the same block.
#pragma once
#include <cstdint>

namespace ixo::lz {

// Unpacks the container held in the `size` bytes at `container` into a new
// tracked-heap buffer (free it with free_output) and stores the number of
// bytes produced in *length when length is given. A container that is
// truncated or corrupt answers null; no byte past `size` is read, and the
// output never grows beyond U + 8 bytes.
uint8_t* decompress(const uint8_t* container, int32_t size, int32_t* length);

void free_output(uint8_t* buffer);

}  // namespace ixo::lz
