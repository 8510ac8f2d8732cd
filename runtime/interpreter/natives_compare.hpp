// The comparison natives, same?, not and type?. Each takes its arguments
// at the argument base and one integer per refinement (-1 when the
// refinement is not used, else the argument index where its arguments
// begin), and leaves its result in the result slot.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::natives {

void equal_q(const int32_t* refinements);             // value1 = value2
void not_equal_q(const int32_t* refinements);         // value1 <> value2
void strict_equal_q(const int32_t* refinements);      // equal and of the same datatype
void lesser_q(const int32_t* refinements);            // value1 < value2
void greater_q(const int32_t* refinements);           // value1 > value2
void lesser_or_equal_q(const int32_t* refinements);   // value1 <= value2
void greater_or_equal_q(const int32_t* refinements);  // value1 >= value2
void same_q(const int32_t* refinements);              // the two values have the same identity
void not_(const int32_t* refinements);                // true for none and false, else false
void type_q(const int32_t* refinements);              // the value's datatype (/word: its name word)

// Identity of two values: the payload words that name the value, by type.
bool same_value_q(const cell* value1, const cell* value2);

}  // namespace ixo::natives
