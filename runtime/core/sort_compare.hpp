// Sorting by a comparison function of the language: the one road by which
// the sorts of blocks and of strings run the function on two values and
// read its answer, so that a function means the same for both.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::sort {

// Runs `function` on the two cells pushed last on the value stack and
// leaves its result on the top of the stack. The interpreter installs it;
// a comparison function cannot exist before it does.
extern void (*call_function)(const cell* function);

// The comparator answer of `function` run on (first, second): true 1,
// false -1, an integer! its value, a float! its sign (0 for 0.0 and NaN),
// none -1, any other value 1. Errors raised by the function propagate.
int32_t call_compare(const cell* function, const cell& first, const cell& second);

}  // namespace ixo::sort
