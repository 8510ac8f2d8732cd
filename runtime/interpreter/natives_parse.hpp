// The parse native: checks and converts its /part limit and hands the
// input and rules to the parse engine (runtime/parse/parse.hpp).
#pragma once
#include <cstdint>

namespace ixo::natives {

// input [binary! any-block! any-string!], rules [block!]; refinements in
// order /case, /part length, /trace callback.
void parse(const int32_t* refinements);

}  // namespace ixo::natives
