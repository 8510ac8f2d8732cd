// typeset!: a set of datatypes, one bit per type id in the 96 bits of the
// cell's three payload words: seen as the twelve payload bytes in memory
// order, the bit of type t lies in byte t >> 3 under the mask 0x80 >> (t & 7).
// Bit 0 and the bits above the highest registered type carry no type:
// walks over the types (count, form, mold, to block!) look only at ids 1
// to datatype::max_type_id.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::typeset {

inline bool has_q(const cell* ts, uint32_t type) {
  if (type >= 96) return false;
  return (reinterpret_cast<const uint8_t*>(&ts->data1)[type >> 3] & (0x80 >> (type & 7))) != 0;
}

// Sets the three payload words to 0.
void clear(cell* ts);
cell* push(const cell* ts);
// A typeset with the given payload at the tail of a block; answers it.
cell* make_in(cell* blk, uint32_t word1, uint32_t word2, uint32_t word3);
// The typeset of an untyped function argument: every bit but unset!'s.
cell* make_default_in(cell* blk);
// The typeset of a function argument's type block: datatypes and
// typesets, words standing for them, a word whose value is a word adding
// object!, nested blocks skipped; anything else raises
// script/invalid-type-spec with the resolved value.
cell* make_from_spec_in(cell* blk, const cell* spec);
// Adds a datatype! or typeset! (a word stands for its value) in place;
// anything else raises script/invalid-arg with the value as given.
void add_value(cell* ts, const cell* value);
// The types from 1 to the highest registered id whose bit is set.
int32_t count_types(const cell* ts);
// blk becomes a block of the words naming the types of the set, in id
// order.
cell* to_block(const cell* ts, cell* blk);
// The bitwise actions and set operations (op codes 5 to 12) on the
// typeset at the argument base and the typeset! or datatype! above it.
void do_bitwise(int32_t op);

// Registers typeset! (type 33).
void init();

}  // namespace ixo::typeset
