// The set operation natives and complement?. The five set natives take
// the refinements /case and /skip size, in that order; they combine blocks
// and hashes, strings, bitsets and typesets (difference also two dates)
// through the datatypes' own set workers. The result is left in the
// result slot.
#pragma once
#include <cstdint>

namespace ixo::natives {

void union_(const int32_t* refinements);      // every element of either set
void intersect(const int32_t* refinements);   // the elements both sets hold
void unique(const int32_t* refinements);      // the set with duplicates removed
void difference(const int32_t* refinements);  // the elements only one set holds; the time between two dates
void exclude(const int32_t* refinements);     // the first set less the second
void complement_q(const int32_t* refinements);  // whether a bitset is complemented

}  // namespace ixo::natives
