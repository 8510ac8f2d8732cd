// issue!: a word written after "#", used as a literal name (it is never
// bound by `bind`). Molded with "#" before the spelling. Made from text,
// it takes the text as its spelling with no check: an issue may hold
// characters no word could.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::issue {

// The cell (which no allocation may move) becomes an issue! of the text,
// bound to the global context and unresolved.
cell* make_at(cell* c, const char* text);
// make_at on a new cell at the tail of the block whose node is given.
cell* make_in(const char* text, uint32_t block);
// While the boot flag is set an issue appended to the root block, else one
// pushed on the value stack.
cell* load(const char* text);
// Pushes a copy of the cell retyped, its other header flags kept.
cell* push(const cell& c);

void init();

}  // namespace ixo::issue
