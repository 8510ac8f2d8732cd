// bitset!: a set of non-negative integers (above all, code points) kept as
// a byte series of bits; number n is bit 80h >> (n & 7) of byte n >> 3.
// The cell holds the node in payload word 2 and nothing else. Bit 19 of
// the buffer's flags marks a complemented bitset, of which every number at
// or beyond its stored bits is also a member.
//
// One worker, `process`, reads the spec dialect (characters,
// integers, strings and blocks of them, ranges written low `-` high) for
// make, to, append, poke, pick, find and remove.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::bitset {

constexpr uint32_t COMPLEMENTED = 0x80000;

enum process_op : int32_t { OP_MEASURE = 0, OP_SET = 1, OP_TEST = 2, OP_CLEAR = 3 };
enum error_mode : int32_t { MODE_MAKE = 0, MODE_TO = 1, MODE_OTHER = 2 };

// Applies a spec to a bitset (none for a measure): the byte count the spec
// needs for OP_MEASURE and OP_SET, whether every member it names is in the
// set for OP_TEST. Bad specs raise errors (script/out-of-range for a
// negative number outside a test, script/invalid-arg and script/past-end
// for bad ranges, internal/not-done for a binary! in a block, and for any
// other value script/bad-make-arg, bad-to-arg or invalid-arg by the mode).
int32_t process(const cell* spec, cell* bits, int32_t op, bool nested, int32_t mode);

// make (mode MODE_MAKE) and to (MODE_TO): a new bitset written into proto.
cell* make_from(cell* proto, cell* spec, int32_t mode);

// and~, or~, xor~ and the set operations (codes 5 to 12) on the first two
// argument cells; the new bitset is the result.
void do_bitwise(int32_t op);

// Registers bitset! (type 30).
void init();

}  // namespace ixo::bitset
