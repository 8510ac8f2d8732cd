// How strings compare, search and answer path elements: the compare
// action and the comparison primitive that words, the hashtable and the
// parse engine share; find and select (which binary! and vector!
// inherit); eval-path;
// and the three matching tests of the parse engine.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::string {

// -2 when value2 is not of value1's type (but for equal and not-equal
// between any-strings), else equal_q.
int32_t compare(const cell* value1, const cell* value2, int32_t op);

// -1, 0 or 1: the code points from both indexes compared in turn, folded
// but for strict equality and the case sort; a shorter string that is a
// prefix of the other is the lesser, and under the equality codes strings
// of different lengths differ. With `match`, 0 when value2 is a prefix of
// value1 from its index.
int32_t equal_q(const cell* value1, const cell* value2, int32_t op, bool match);

// The series at the found position, or none. With /tail the position after
// the matched text (after a single code point or element: one /skip step
// past it). In a vector!, an integer! or float! equals an element by value
// (as doubles); a float vector holds nothing else.
// Backward searches (/last, /reverse) find a text that ends at a candidate.
// /any and /with raise internal/not-done.
cell* find(cell* series, cell* value, cell* part, int32_t only, int32_t case_, int32_t same,
           int32_t any, cell* with, cell* skip, int32_t last, int32_t reverse, int32_t tail,
           int32_t match);
// The element after the match (a char!, an integer! in a binary!, a value
// of the element type in a vector!), or none.
cell* select(cell* series, cell* value, cell* part, int32_t only, int32_t case_, int32_t same,
             int32_t any, cell* with, cell* skip, int32_t last, int32_t reverse);

// A path element applied to a string: an integer picks or pokes (`data`
// is null for a read), a word is script/invalid-path, anything else
// selects, or, when setting, pokes the code point that follows its match.
cell* eval_path(cell* value, cell* element, cell* data, cell* path, cell* parent,
                cell* previous, int32_t element_index, int32_t case_, int32_t get, int32_t last,
                int32_t notify);

// The parse engine's tests at the string's index: the code point in a
// bitset; a tag's angle brackets around its length; a string-like value as
// a prefix (under `op`'s case rule), a char!, or a tag! with its brackets.
bool match_bitset_q(const cell* s, const cell* bitset);
bool match_tag_q(const cell* s, const cell* tag);
bool match_value_q(const cell* s, const cell* value, int32_t op);

}  // namespace ixo::string
