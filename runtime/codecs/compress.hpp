// The method words of `compress` and `decompress` and the codec half of
// those natives: the method chosen by word, the buffer sized and the codec
// run over raw bytes into a block of the tracked heap, which the native
// copies into its binary! result and frees.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::compress {

// Symbol ids of the method words, made by init_methods.
extern int32_t sym_zlib, sym_deflate, sym_gzip;

// Makes the words zlib, deflate and gzip (runtime initialisation, after the
// symbol table).
void init_methods();

// Compresses `length` bytes with the method word (any letter case). Answers
// a new tracked-heap block and sets *out_length to its byte count. A word
// other than the three raises script/invalid-arg with the word; a failed
// codec, script/invalid-data.
uint8_t* compress(const cell* method, const uint8_t* data, int32_t length, int32_t* out_length);
// Decompresses as compress compresses. `size` (0 when not given) is the
// expected size for zlib and deflate, used when it is above the input
// length; otherwise, and always for gzip, the codec reports the size first.
// Corrupt data, and output above deflate::MAX_OUTPUT, raise
// script/invalid-data.
uint8_t* decompress(const cell* method, const uint8_t* data, int32_t length, int32_t size,
                    int32_t* out_length);

}  // namespace ixo::compress
