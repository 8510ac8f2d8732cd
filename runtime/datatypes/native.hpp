// native!: the language-level handle of a built-in function of the
// natives table. The cell: payload word 1 the native's slot number in that
// table (1-based; never an address), word 2 the node of its spec block,
// word 3 the node of a two-cell block, a copy of the context cell made
// from the spec (a function context, values on the stack) and none!.
// action! and op! share this layout and reuse the helpers here.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::native {

// The filled slots of the natives table; the slots after them are
// reserved and no value may name them.
constexpr int32_t NATIVE_SLOTS = 107;

// make of native! and of action! (`type`): the spec is a block of exactly
// two cells, the spec block and the slot number. Pushes the new value and
// answers it; a bad spec or slot raises script/bad-make-arg.
cell* make_value(cell* proto, cell* spec, uint32_t type);
// reflect of native!, action! and op!: `spec` the spec block, `body` the
// slot number (an op! over a function! or routine!: its body block).
cell* reflect(cell* value, cell* field);
// Values of one datatype order by their slot number (an op! over a
// function by its context node) under the equality, sort and sameness
// codes; anything else is not comparable.
int32_t compare(const cell* value1, const cell* value2, int32_t op);

void init();

}  // namespace ixo::native
