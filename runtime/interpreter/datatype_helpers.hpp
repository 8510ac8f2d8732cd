// Small conversions and fills that datatype actions and compiled code share:
// a float made a 32-bit integer under the range rule, the first value that
// a text loads as (the conversions of text that go through the lexer), and
// the doubling fill that repeats a pattern of bytes (the /dup of append and
// insert).
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::datatype_helpers {

// The float of a float! (or percent!) cell truncated toward zero; a
// truncated value outside the 32-bit range, and NaN, raise
// script/out-of-range with the cell.
int32_t float_to_integer(const cell* value);

// Loads the text of the string `s` from its index and writes its first
// value into `dst`: none when the text does not load (a syntax error),
// unset when it holds no value. The conversions check the type they get.
cell* load_from_string(const cell* s, cell* dst);

// The first value of the text of `s` when it is of `type`; any other
// answer raises script/bad-to-arg with the datatype and `s`.
cell* load_from_string_as(const cell* s, uint32_t type, cell* dst);

// Repeats the first `pattern` bytes at `start` until `count` copies lie
// end to end (the first copy is the one already there), doubling the
// copied run each time. Answers the address past the filled area.
uint8_t* fill_pattern(uint8_t* start, int32_t pattern, int32_t count);

}  // namespace ixo::datatype_helpers
