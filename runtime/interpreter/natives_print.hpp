// Printing, reduce and compose: print and prin (slots 23, 24) form a value
// and hand it to the print hooks; reduce (35) evaluates every expression of
// a block into a new block; compose (36) copies a block, evaluating only
// its parens.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::natives {

// The worker of print and prin, also how an uncaught error is reported; it
// sets last_newline (natives.hpp). A block is reduced first (into the spare room of buffer_blk, given back
// afterwards, also when the reduction throws), a string! is printed as it
// is, any other value formed. The text goes to the print hooks, with a
// newline when `newline` is set.
void print_value(const cell* value, bool newline);

void print(const int32_t* refinements);
void prin(const int32_t* refinements);
// /into
void reduce(const int32_t* refinements);
// /deep /only /into
void compose(const int32_t* refinements);

}  // namespace ixo::natives
