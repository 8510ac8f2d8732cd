// Conversions that several datatypes share: a float made a 32-bit integer
// under the range rule, and the first value that a text loads as (the
// conversions of text that go through the lexer).
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::conversions {

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

}  // namespace ixo::conversions
