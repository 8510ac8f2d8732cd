// block!: the language's list of values, a series of 16-byte cells. The
// helpers and constructors here are what the rest of the runtime builds
// and walks blocks with; the actions block! registers itself (make, to,
// form, mold, eval-path, compare, append and insert, change, copy, find,
// put, select, sort, swap, take, trim) live in block.cpp, and the
// navigation and removal actions come from series!. paren!, hash! and the
// path family inherit from block!, so every function here serves them too:
// a hash!'s table (payload word 3) is kept in step with its cells.
//
// A block cell given to these functions must lie where no allocation moves
// it (the value stack, a registered root, a local); cell addresses they
// answer are valid until the next allocation.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::block {

// ---- Readers and writers -------------------------------------------------------

// Cells from the index to the tail (0 past the tail).
int32_t rs_length_q(const cell* blk);
// The cell at the index; an index past the tail is first set to the tail.
cell* rs_head(cell* blk);
cell* rs_tail(const cell* blk);
bool rs_tail_q(const cell* blk);
// The cells from the index, read only, and their count (0 past the tail).
const cell* values_of(const cell* blk, int32_t& count);
// Moves the index by one when a cell remains there; answers whether the
// index is then at the tail.
bool rs_next(cell* blk);
// Cell n counted from the buffer's head. Inline: the evaluator and the
// call path read their blocks' cells with it at every step.
inline cell* rs_abs_at(const cell* blk, int32_t n) { return memory::head_of<cell>(memory::GET_BUFFER(blk)) + n; }
// Cells from the head to the tail, whatever the index: the length of any
// block type, with no unit to look up (the evaluator reads it at every step).
inline int32_t rs_abs_cells(const cell* blk) {
  const memory::series_buffer* b = memory::GET_BUFFER(blk);
  return static_cast<int32_t>((b->tail - b->head) / sizeof(cell));
}
// Cuts the block at its index.
void rs_clear(cell* blk);
// Cuts the block after n cells from the head.
void rs_truncate(cell* blk, int32_t n);
// Drops the last cell; the index is clamped to the new tail.
void rs_remove_last(cell* blk);
// Appends a copy of `value` (which may lie anywhere, even in this block)
// and answers the new cell; a hash! indexes it.
cell* rs_append(cell* blk, const cell* value);
// Appends copies of the source's cells from its index; answers the target.
cell* rs_append_block(cell* target, const cell* source);

// ---- Keys ------------------------------------------------------------------------

// The cell after the first cell from the index equal to `key` under the
// find-equality (code 12), or the none cell when the key is absent or last.
cell* select_key(cell* blk, const cell* key);
// Removes the first cell equal to `key` (code 12), searching from the head
// or from the index; answers whether it lay at or before the index.
bool remove_key(cell* blk, const cell* key, bool from_head);
// The cell after the first word of any kind (word!, set-word!, lit-word!,
// get-word!) from the index with the word's symbol (canonical symbols
// unless case_sensitive), or the none cell when absent or last.
cell* select_word(cell* blk, const cell* word, bool case_sensitive);
// The position of the first record (of `skip` cells) from the index whose
// first cell equals `value` under `op`, one cell compared (find with /only
// and /skip); -1 when there is none.
int32_t find_value(cell* blk, const cell* value, int32_t op, int32_t skip);

// ---- Construction ----------------------------------------------------------------

// c becomes an empty block! with room for n cells (1 when n < 0); it is
// unset while the buffer is made.
cell* make_at(cell* c, int32_t n);
// As make_at; with `fixed` the buffer is a fixed series that no collection
// moves or frees, else a series of n unset cells (none of them in use).
cell* make_fixed(cell* c, int32_t n, bool fixed);
// A new empty block of room n in a new cell at the tail of a block-like
// parent; answers that cell.
cell* make_in(cell* parent, int32_t n);
// Pushes a copy of a block cell.
cell* push(const cell* blk);
// Pushes a new empty block with room for n cells (1 when n is 0).
cell* push_only(int32_t n);
// Pushes a new block holding the cells from the index, of the source's
// type (room for 1 cell when empty). With `deep`, nested block! cells are
// cloned in turn, and with `paths` also paren! and path cells, each
// keeping its type.
cell* clone(const cell* blk, bool deep, bool paths);

// Inserts a copy of one cell at the index (or at the head); with `advance`
// the index moves past it.
void insert_value(cell* blk, const cell* value, bool advance, bool at_head);
// Inserts each cell of the source from its index, advancing.
void insert_block(cell* target, const cell* source);
// The result slot's value into the block in the cell below it, advancing.
void insert_result();
// The result slot's value at the tail of the block in the cell below it.
void append_result();
// A copy of the cell above the result slot at the tail of the block in the
// result slot.
void append_to_result();

// ---- Walks -----------------------------------------------------------------------

// Molds the cells from the index into the output string, each preceded by a
// space or, when it carries the new-line marker, by a line break and the
// indentation; answers the part budget left.
int32_t mold_each(cell* blk, cell* buffer, int32_t only, int32_t all, int32_t flat, cell* arg,
                  int32_t part, int32_t indent);
// Compares two blocks cell by cell from their indexes: 0 when equal, else
// the sign of the first difference, or of the length difference.
int32_t compare_each(const cell* blk1, const cell* blk2, int32_t op);
// Replaces the cells first, first + step, ... below `end` of the block by
// their copies: those of series types, or with `types` (a datatype! or a
// typeset!) those of the given types among series, bitset!, object!,
// error! and map!. The copies are deep with `deep` (and then take `types`).
void copy_nested(cell* blk, int32_t first, int32_t end, int32_t step, bool deep, cell* types);

// ---- Set operations ----------------------------------------------------------------

// unique (op 8), union (9), intersect (10), exclude (11), difference (12)
// of the first two argument cells, with the case flag and the /skip size
// argument; the result replaces the first argument.
void do_set_op(int32_t case_sensitive, cell* skip, int32_t op);

// Registers block!.
void init();

}  // namespace ixo::block
