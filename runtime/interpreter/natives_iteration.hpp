// The series iteration natives: foreach, forall and remove-each (slots 11
// to 13), which walk a series and evaluate a body for each position in a
// loop frame (natives_loop.hpp), and the multiple assignment of a block of
// words that foreach shares with `set`.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::natives {

void foreach(const int32_t* refinements);
void forall(const int32_t* refinements);
void remove_each(const int32_t* refinements);

// Sets the first `count` words of the block `words` (from its index) from
// `value`: when the value is a block!, paren!, hash!, map! or a path and
// `only` is clear, word i takes its element i (none past its end), else
// every word takes the value itself. Unless `any`, an unset! element
// raises script/need-value with its word; an element of the words that is
// no word raises script/invalid-arg; both are checked before any word is
// set. With `some` a word whose value would be none is left alone. Both
// cells must be rooted (stack cells, say).
void set_many(const cell* words, const cell* value, int32_t count, bool any, bool only, bool some);

}  // namespace ixo::natives
