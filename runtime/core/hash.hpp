// Hashing of values for the hashtable: MurmurHash3 (x86, 32-bit), its
// finaliser fmix32 for single words, and the hash of a cell by datatype.
//
// Every hash the runtime computes is seeded with one process-wide value,
// fixed at start-up, so hashes differ from run to run and are never stored
// or serialised. Hashing never allocates.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::hash {

// The seed of every hash the runtime computes.
extern uint32_t seed;
void set_seed(uint32_t value);

// MurmurHash3_x86_32 of `length` bytes.
uint32_t murmur3_x86_32(const void* bytes, int32_t length, uint32_t seed);
// MurmurHash3_x86_32 of the bytes with each of A-Z lowered: every spelling
// of a symbol that differs only in ASCII case hashes alike.
uint32_t fold_name(const uint8_t* name, int32_t length);
// fmix32 of one word, unseeded: the hash of ids, nodes and small payloads;
// inline, as every word lookup in a context hashes its symbol here.
inline uint32_t mix_pointer(uint32_t h) {
  h ^= h >> 16;
  h *= 0x85EBCA6B;
  h ^= h >> 13;
  h *= 0xC2B2AE35;
  h ^= h >> 16;
  return h;
}

// The code points of a string value from its index to its tail, each
// upper-cased unless `case_sensitive`, hashed as little-endian 32-bit
// words: MurmurHash3_x86_32 of the string as UTF-32. A unit other than 1,
// 2 or 4 is runtime error 101.
uint32_t string(const cell* value, bool case_sensitive);

// The hash of a value by its datatype; strings are case-folded, words hash
// by their canonical symbol, so values that are equal ignoring case hash
// alike; -0.0 hashes as 0.0, in floats, percents and point coordinates.
// Types with no hash of their own answer 0.
uint32_t value(const cell* value);

}  // namespace ixo::hash
