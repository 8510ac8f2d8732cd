// The root block: a fixed block of cells from which the collector marks
// everything that lives for the whole run: the stack blocks, the symbol
// table's block, the words made while the boot flag is set and the decoded
// boot image. It never moves, so a cell appended to it keeps its address.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::root {

constexpr int32_t ROOT_CELLS = 8942;

extern uint32_t root_node;  // the root block's series

void make();

// Appends a copy of `value`; answers the copy, whose address stays valid.
// A full root block raises internal/limit-hit.
cell* append(const cell& value);

// A block series of `cells` cells (fixed or collected) held by a block!
// cell appended to the root block; answers its node.
uint32_t make_child_block(int32_t cells, bool fixed);

}  // namespace ixo::root
