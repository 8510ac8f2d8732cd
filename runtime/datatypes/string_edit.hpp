// The actions that change a string in place: append, insert, change,
// take, swap and trim. The other any-string types and binary! inherit or
// call them. Every one keeps the unit rule of the string primitives (a
// string widens only as far as the content needs), and an error leaves
// the string's code points as they were.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::string {

// The value added by append, insert and change: a char!; a string-like
// value's text from its index; a tag!'s text between "<" and ">"; each
// value of a block!, paren! or hash! from its index formed without
// separators; any other value formed. `part` (negative: none) limits the
// text; for a block, append without `only` counts values with it, while
// append with `only`, and insert, spend it as a budget of characters across
// the formed values. `dup` (below 1 counts as 1) repeats the content.
//
// append answers the series at its head. `notify` is 1 from the
// dispatcher and 0 for the runtime's own appends.
cell* append(cell* series, cell* value, int32_t part, int32_t only, int32_t dup, int32_t notify);
// Answers the series just past the inserted content.
cell* insert(cell* series, cell* value, int32_t part, int32_t only, int32_t dup, int32_t append);
// Overwrites from the index as many units as the content holds (with
// `part` >= 0, that many units, cut at the tail, whatever the content's
// size), extending the string past its tail when needed. Answers the
// series just past the new content.
cell* change(cell* series, cell* value, int32_t part, int32_t only, int32_t dup);

// series! take; without /part, one unit taken is answered as its element:
// a char!, or an integer! for a binary!.
cell* take(cell* series, cell* part, int32_t deep, int32_t last);
// Exchanges the code points at the indexes of two strings (or binary!
// values); nothing when either is at its tail. Answers series1.
cell* swap(cell* series1, cell* series2);
// Removes whitespace from the index on: with /all or /with every code
// point of the set; with /lines every run becomes one space; otherwise the
// ends (/head, /tail: only that end), and with neither the indentation and
// trailing blanks of each line, keeping one final line feed.
cell* trim(cell* series, int32_t head, int32_t tail, int32_t auto_, int32_t lines, int32_t all,
           cell* with);

}  // namespace ixo::string
