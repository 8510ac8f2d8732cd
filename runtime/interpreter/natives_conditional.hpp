// The conditional natives: if, unless, either, any, all, switch and case
// (slots 1 to 5, 18 and 19). Truth as the language has it: none and false
// are false, every other value (unset included) is not; either and case
// refuse an unset condition with script/no-return.
#pragma once
#include <cstdint>

namespace ixo::natives {

void if_(const int32_t* refinements);
void unless(const int32_t* refinements);
void either(const int32_t* refinements);
void any(const int32_t* refinements);
void all(const int32_t* refinements);
// /default case
void switch_(const int32_t* refinements);
// /all
void case_(const int32_t* refinements);

}  // namespace ixo::natives
