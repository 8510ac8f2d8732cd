// The word and value natives: get, set (slots 21, 22), bind, in (38, 39),
// value? (69), unset (88) and context? (92); they read and write the values
// of words and bind words to contexts. construct (68) lives with the
// conversion natives.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::natives {

// The multiple assignment shared by set and the iteration natives: the
// first `count` words of the block (from its index) take the values of
// `value` one by one when it is a block!, paren!, hash!, path or map! (its
// key/value pairs) and `only` is clear, none past its end; else each takes
// `value` itself. A non-word element raises script/invalid-arg, an unset!
// value without `any` script/need-value, both before any word is set; with
// `some` a none value leaves its word alone.
void set_many(const cell* words, const cell* value, int32_t count, bool any, bool only, bool some);

// /any /case
void get(const int32_t* refinements);
// /any /case /only /some
void set(const int32_t* refinements);
// /copy
void bind(const int32_t* refinements);
void in(const int32_t* refinements);
void value_q(const int32_t* refinements);
void unset(const int32_t* refinements);
void context_q(const int32_t* refinements);

}  // namespace ixo::natives
