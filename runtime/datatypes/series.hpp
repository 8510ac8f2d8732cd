// series!: the abstract parent of every series type. No value has type 42;
// the type carries the actions that cell series (blocks, parens, hash!, the
// path family) and unit series (strings, binary!, vector!, image!) share,
// written once over the unit view of a buffer: an element at position p
// lies at head + (p << shift), shift being log2 of the unit.
//
// A series cell holds its index in payload word 1 (elements from the head),
// its node in word 2 and, for hash!, the node of its hashtable in word 3
// (for vector!, the element type). An index may lie past the tail when the
// buffer shrank through another value; the actions read it as the tail.
//
// Cells given to these functions must lie where no allocation moves them:
// on the value stack, in a registered root or in a local.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/memory/cell.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::series {

// log2 of a unit: 1, 2, 4, 8 or 16 bytes.
inline uint32_t unit_shift(uint32_t unit) { return static_cast<uint32_t>(__builtin_ctz(unit)); }

// Elements from the head to the tail, whatever the index. Inline: the
// evaluator reads the length of the block it runs at every step.
inline int32_t rs_abs_length_q(const cell* s) {
  const memory::series_buffer* b = memory::GET_BUFFER(s);
  return static_cast<int32_t>((b->tail - b->head) >> unit_shift(memory::GET_UNIT(b)));
}
bool rs_tail_q(const cell* s);
// Moves the index by n when that does not pass the tail; answers whether
// the position (moved or not) is at or past the tail.
bool rs_skip(cell* s, int32_t n);
// Elements from the index (from the head with from_head) to the tail. An
// index past the tail is set back to the tail, and 0 answered.
int32_t get_length(cell* s, bool from_head);
// at and skip: the new index for the series in the result slot and the
// offset in the next argument cell, clamped to the head and the tail.
int32_t at_skip_index(bool at);

// The refinement! value of a spelling, for the arguments of errors that
// name a refinement (part, skip, compare).
cell refinement_value(const char* spelling);

// What a /part argument that is neither a count nor a position raises:
// invalid-refine-arg naming the refinement! /part, or the word! part (as
// find, select, the string search and parse name it), or not-same-type
// (transcode).
enum part_error { PART_REFINEMENT, PART_WORD, PART_NOT_SAME_TYPE };
// A /part argument as a signed count from `index` of the series `s`: an
// integer! is the count itself, a position in the same series (same type,
// same node) counts from `index` to it, negative when it lies before. Each
// action clamps the count to the elements it can reach.
int64_t part_length(const cell* s, int32_t index, const cell* part, part_error error = PART_REFINEMENT);

// The hashtable of a hash!, 0 for any other series.
inline uint32_t table_of(const cell* s) { return TYPE_OF(s) == TYPE_HASH ? s->data3 : 0; }
// Keeps a hash!'s table in step after `count` cells from `first` moved by
// `offset` places (a negative offset: the cells they now cover were
// removed). A run too long to renumber rebuilds the table from every cell
// of the block, and true is answered.
bool rehash_moved(const cell* s, int32_t offset, int32_t first, int32_t count);
// Re-indexes `count` cells from `first` that changed in place.
void rehash_range(const cell* s, int32_t first, int32_t count);
// Re-indexes the whole block.
void rehash_all(const cell* s);

// Repeats the first `pattern` bytes at `start` until `count` copies lie
// end to end (the first copy is the one already there), doubling the
// copied run each time. Answers the address past the filled area.
uint8_t* fill_pattern(uint8_t* start, int32_t pattern, int32_t count);

// The edits of a unit series (binary!, vector!) once the value is turned
// into `size` bytes at `data`, whole units of the series. insert_units
// puts `dup` (at least 1) copies at the index, first clamped to the tail,
// or at the tail with `append`; the owner hears of it before. The caller
// then places the index and tells the owner after, with the position and
// count answered: binary! answers append at its head, vector! at its index.
struct insertion {
  int32_t position;  // of the first unit inserted
  int32_t count;     // units inserted
};
insertion insert_units(cell* s, const cell* value, const uint8_t* data, size_t size, int32_t dup, bool append);
// change_units replaces `part` units from the index (negative: as many as
// it writes, up to the tail) by `dup` copies, leaves the index past them
// and tells the owner before and after.
void change_units(cell* s, const cell* value, const uint8_t* data, size_t size, int32_t part, int32_t dup);

// The shared copy and take, on which block! and string! build their own.
// copy writes the new series into `result` (which may be the series cell);
// take answers its new series in the series cell.
cell* copy(cell* series, cell* result, cell* part, int32_t deep, cell* types);
cell* take(cell* series, cell* part, int32_t deep, int32_t last);

// Registers series!.
void init();

}  // namespace ixo::series
