// The word and value natives: get, set (slots 21, 22), bind, in (38, 39),
// value? (69), unset (88) and context? (92); they read and write the values
// of words and bind words to contexts. construct (68) lives with the
// conversion natives.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::natives {

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
