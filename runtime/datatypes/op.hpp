// op!: a native!, action!, function! or routine! of two arguments that the
// interpreter calls infix. The header holds 23 in bits 0-7 and the wrapped
// value's datatype in bits 16-23; the payload is the wrapped value's. An
// op! over a function! or routine! shares its `more` block, which keeps a
// copy of the wrapped value in its fourth cell.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::op {

// The datatype of the value an op! wraps.
inline uint32_t wrapped_type(const cell* op) { return op->header >> 16 & 0xFF; }

void init();

}  // namespace ixo::op
